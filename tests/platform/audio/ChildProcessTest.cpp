#include "Tindrel/platform/audio/ChildProcess.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

using tindrel::platform::ChildProcess;
namespace fs = std::filesystem;

TEST(ChildProcess, ReportsExitStatusAndPassesArgumentsVerbatim) {
    tindrel::test::TemporaryFolder folder;
    const fs::path script = folder / "record.sh";
    std::ofstream(script) << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \""
                          << (folder / "args.txt").string() << "\"\nexit 3\n";
    fs::permissions(script, fs::perms::owner_all);

    const std::vector<std::string> arguments{"-name with space.wav", "$(touch x)", "a;b", ""};
    EXPECT_EQ(ChildProcess::run(script, arguments), 3);
    std::ifstream recorded(folder / "args.txt");
    std::vector<std::string> lines;
    for (std::string line; std::getline(recorded, line);)
        lines.push_back(line);
    EXPECT_EQ(lines, arguments);
    EXPECT_FALSE(fs::exists(folder / "x"));
}

TEST(ChildProcess, StandardInputIsEmptyAndFailuresAreNotStatuses) {
    // cat copies standard input; from /dev/null it ends at once instead of waiting.
    EXPECT_EQ(ChildProcess::run("/bin/cat", {}), 0);
    EXPECT_EQ(ChildProcess::run("/bin/sh", {"-c", "kill -9 $$"}), std::nullopt);
    EXPECT_EQ(ChildProcess::run("/nonexistent/program", {}), std::nullopt);

    tindrel::test::TemporaryFolder folder;
    std::ofstream(folder / "plain.txt") << "x";
    EXPECT_FALSE(ChildProcess::isExecutableFile(folder / "plain.txt"));
    EXPECT_FALSE(ChildProcess::isExecutableFile(folder.path()));
    EXPECT_TRUE(ChildProcess::isExecutableFile("/bin/sh"));
}
