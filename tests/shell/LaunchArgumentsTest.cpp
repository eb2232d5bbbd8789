#include "Tindrel/shell/LaunchArguments.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <fstream>

using tindrel::LaunchArguments;

TEST(LaunchArguments, OpensTheFirstExistingPathThatIsNotAnOption) {
    tindrel::test::TemporaryFolder folder;
    std::filesystem::create_directories(folder / "rel" / "sub");
    std::ofstream(folder / "rel" / "ok.wav") << "x";
    std::ofstream(folder / "-dash.wav") << "x";
    const std::string ok = (folder / "rel" / "ok.wav").string();
    const std::string sub = (folder / "rel" / "sub").string();

    struct Case {
        QByteArrayList arguments;
        std::optional<std::string> opened;
    } cases[] = {
        {{"-x", "/missing", "rel/ok.wav"}, ok},
        {{"rel/ok.wav", "rel/sub"}, ok},
        {{"rel/sub", "rel/ok.wav"}, sub},      // a folder passes like a file
        {{"./rel/../rel/ok.wav"}, ok},         // relative to the working folder
        {{QByteArray::fromStdString(ok)}, ok}, // absolute stays
        {{"-dash.wav"}, std::nullopt},         // options never name paths
        {{"--background"}, std::nullopt},
        {{"", "missing.wav"}, std::nullopt},
        {{}, std::nullopt},
    };
    for (const Case& c : cases) {
        const auto opened = LaunchArguments::firstOpenablePath(c.arguments, folder.path());
        EXPECT_EQ(opened ? std::optional(opened->string()) : std::nullopt, c.opened)
            << c.arguments.join(' ').toStdString();
    }
}

TEST(LaunchArguments, BackgroundOnlyForTheExactWordAnywhere) {
    EXPECT_TRUE(LaunchArguments::hasBackgroundFlag({"tindrel", "a.wav", "--background"}));
    EXPECT_TRUE(LaunchArguments::hasBackgroundFlag({"--background"}));
    EXPECT_FALSE(LaunchArguments::hasBackgroundFlag({"tindrel", "--background=1", "-background"}));
    EXPECT_FALSE(LaunchArguments::hasBackgroundFlag({"tindrel", "--BACKGROUND"}));
}
