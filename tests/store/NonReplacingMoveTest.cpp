#include "Tindrel/store/NonReplacingMove.h"

#include "tests/support/FileText.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

using tindrel::test::readFileText;

TEST(NonReplacingMove, movesButNeverReplaces) {
    tindrel::test::TemporaryFolder folder;
    std::ofstream(folder / "a.wav") << "A";
    std::ofstream(folder / "b.wav") << "B";
    std::filesystem::create_directory(folder / "dir.wav");
    std::string error;

    EXPECT_FALSE(tindrel::moveWithoutReplacing(folder / "a.wav", folder / "b.wav", &error));
    EXPECT_EQ(error, "An item named \"b.wav\" already exists");
    EXPECT_FALSE(tindrel::moveWithoutReplacing(folder / "a.wav", folder / "dir.wav", &error));
    EXPECT_EQ(readFileText(folder / "a.wav"), "A");
    EXPECT_EQ(readFileText(folder / "b.wav"), "B");
    EXPECT_TRUE(std::filesystem::is_directory(folder / "dir.wav"));

    EXPECT_FALSE(tindrel::moveWithoutReplacing(folder / "gone.wav", folder / "c.wav", &error));
    EXPECT_EQ(error, "No such file or directory");

    ASSERT_TRUE(tindrel::moveWithoutReplacing(folder / "a.wav", folder / "c.wav", &error));
    EXPECT_FALSE(std::filesystem::exists(folder / "a.wav"));
    EXPECT_EQ(readFileText(folder / "c.wav"), "A");
}

} // namespace
