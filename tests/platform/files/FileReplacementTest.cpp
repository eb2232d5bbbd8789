#include "Tindrel/platform/files/FileReplacement.h"

#include "tests/support/FileText.h"
#include "tests/support/FolderListing.h"
#include "tests/support/ScopedFileSizeLimit.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <set>

#include <sys/stat.h>

using tindrel::platform::replaceFileContents;
using namespace tindrel::test;

namespace {

const std::string oldText = "[Default Applications]\ntext/plain=gedit.desktop;\n";
const std::string newText(64 * 1024, 'n');

} // namespace

TEST(FileReplacement, aShortWriteLeavesTheOldFileAndNoTemporary) {
    // Limits that stop the new file at its first byte, inside a page, and never.
    const struct {
        rlim_t limit;
        bool replaced;
    } cases[] = {{0, false}, {5000, false}, {RLIM_INFINITY, true}};
    for (const auto& c : cases) {
        TemporaryFolder folder;
        const auto file = folder / "mimeapps.list";
        std::ofstream(file) << oldText;
        ::chmod(file.c_str(), 0640);
        bool written = false;
        std::string error;
        {
            const ScopedFileSizeLimit full(c.limit);
            written = replaceFileContents(file, newText, &error);
        }
        EXPECT_EQ(written, c.replaced) << c.limit;
        EXPECT_EQ(error.empty(), c.replaced) << error;
        EXPECT_EQ(readFileText(file), c.replaced ? newText : oldText) << c.limit;
        EXPECT_EQ(tindrel::test::folderListing(folder.path()),
                  std::set<std::string>{"mimeapps.list"})
            << c.limit;
        struct stat info {};
        ::stat(file.c_str(), &info);
        EXPECT_EQ(info.st_mode & 07777, 0640u) << "the mode is kept, " << c.limit;
    }
}

TEST(FileReplacement, onlyARegularFileOrALinkToOneIsReplaced) {
    TemporaryFolder folder;
    std::filesystem::create_directories(folder / "dotfiles");
    std::ofstream(folder / "dotfiles" / "target") << oldText;
    std::filesystem::create_symlink(folder / "dotfiles" / "target", folder / "linked");
    std::filesystem::create_symlink("/dev/zero", folder / "device");
    std::filesystem::create_symlink(folder / "nothing", folder / "dangling");
    ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
    std::filesystem::create_directories(folder / "folder");

    const struct {
        const char* name;
        bool replaced;
    } cases[] = {{"new", true},       {"linked", true}, {"device", false},
                 {"dangling", false}, {"fifo", false},  {"folder", false}};
    for (const auto& c : cases) {
        std::string error;
        EXPECT_EQ(replaceFileContents(folder / c.name, "new", &error), c.replaced) << c.name;
        EXPECT_EQ(error.empty(), c.replaced) << c.name << ": " << error;
    }
    EXPECT_EQ(readFileText(folder / "new"), "new");
    EXPECT_TRUE(std::filesystem::is_symlink(folder / "linked"));
    EXPECT_EQ(readFileText(folder / "dotfiles" / "target"), "new");
    EXPECT_TRUE(std::filesystem::is_fifo(folder / "fifo"));
    EXPECT_TRUE(std::filesystem::is_symlink(folder / "dangling"));
    EXPECT_FALSE(std::filesystem::exists(folder / "nothing"));
}
