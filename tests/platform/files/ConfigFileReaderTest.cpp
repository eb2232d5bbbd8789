#include "Tindrel/platform/files/ConfigFileReader.h"

#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <fstream>

#include <sys/stat.h>

using tindrel::platform::ConfigFileContents;
using tindrel::platform::readConfigFile;
using State = ConfigFileContents::State;

TEST(ConfigFileReader, readsOnlyRegularFilesWithinTheBoundAndNamesEachOtherOnce) {
    tindrel::test::TemporaryFolder folder;
    std::ofstream(folder / "settings") << "[General]\n";
    std::ofstream(folder / "bound") << std::string(100, 'x');
    std::ofstream(folder / "over") << std::string(101, 'x');
    std::filesystem::create_symlink(folder / "settings", folder / "link");
    std::filesystem::create_symlink("/dev/zero", folder / "zero");
    ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0); // no writer: open() would wait
    std::filesystem::create_directories(folder / "folder");

    const struct {
        const char* name;
        State state;
        std::string bytes;
    } cases[] = {
        {"settings", State::read, "[General]\n"},
        {"bound", State::read, std::string(100, 'x')},
        {"link", State::read, "[General]\n"},
        {"missing", State::absent, ""},
        {"settings/below", State::absent, ""},
        {"over", State::unusable, ""},
        {"zero", State::unusable, ""},
        {"fifo", State::unusable, ""},
        {"folder", State::unusable, ""},
    };
    testing::internal::CaptureStderr();
    for (int round = 0; round < 2; ++round) {
        for (const auto& c : cases) {
            const ConfigFileContents contents = readConfigFile(folder / c.name, 100);
            EXPECT_EQ(contents.state, c.state) << c.name;
            EXPECT_EQ(contents.bytes, c.bytes) << c.name;
            EXPECT_EQ(contents.problem.empty(), c.state != State::unusable) << c.name;
        }
    }
    const std::string told = testing::internal::GetCapturedStderr();
    for (const auto& c : cases) {
        const std::string line = "tindrel: ignoring " + (folder / c.name).string() + ": ";
        const size_t first = told.find(line);
        EXPECT_EQ(first != std::string::npos, c.state == State::unusable) << c.name << told;
        if (first != std::string::npos) {
            EXPECT_EQ(told.find(line, first + 1), std::string::npos) << "told twice: " << c.name;
        }
    }
}
