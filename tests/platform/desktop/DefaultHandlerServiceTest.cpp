#include "Tindrel/platform/desktop/DefaultHandlerService.h"

#include "tests/platform/desktop/XdgSandbox.h"
#include "tests/support/FileText.h"

#include <gtest/gtest.h>

#include <fstream>

using tindrel::platform::DefaultHandlerService;
using tindrel::platform::XdgLocations;
using tindrel::test::readFileText;

namespace {

void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

class DefaultHandlerServiceTest : public testing::Test {
protected:
    DefaultHandlerServiceTest() { sandbox.installDesktopFile("t.desktop"); }
    DefaultHandlerService service() const {
        return DefaultHandlerService(XdgLocations::fromEnvironment());
    }

    tindrel::test::XdgSandbox sandbox;
};

TEST_F(DefaultHandlerServiceTest, settingKeepsEveryOtherEntry) {
    const std::string before = "# user notes\n"
                               "[Default Applications]\n"
                               "audio/x-wav=vlc.desktop;\n"
                               "text/plain=gedit.desktop;\n"
                               "\n"
                               "[Removed Associations]\n"
                               "audio/mpeg=rhythmbox.desktop;\n"
                               "audio/x-wav=t.desktop;totem.desktop;\n";
    writeFile(sandbox.configHome() / "mimeapps.list", before);

    EXPECT_EQ(
        service().setDefaultApplication("t.desktop", {"audio/x-wav", "audio/mpeg", "not a type"}),
        2);

    EXPECT_EQ(readFileText(sandbox.configHome() / "mimeapps.list"),
              "# user notes\n"
              "[Default Applications]\n"
              "audio/x-wav=t.desktop;vlc.desktop;\n"
              "text/plain=gedit.desktop;\n"
              "audio/mpeg=t.desktop;\n"
              "\n"
              "[Removed Associations]\n"
              "audio/mpeg=rhythmbox.desktop;\n"
              "audio/x-wav=totem.desktop;\n"
              "\n"
              "[Added Associations]\n"
              "audio/x-wav=t.desktop;\n"
              "audio/mpeg=t.desktop;\n");
    EXPECT_EQ(service().defaultApplication({"audio/x-wav"}), "t.desktop");
    EXPECT_EQ(service().defaultApplication({"audio/mpeg"}), "t.desktop");

    // Setting again changes nothing: our id stays listed once.
    const std::string once = readFileText(sandbox.configHome() / "mimeapps.list");
    EXPECT_EQ(service().setDefaultApplication("t.desktop", {"audio/x-wav", "audio/mpeg"}), 2);
    EXPECT_EQ(readFileText(sandbox.configHome() / "mimeapps.list"), once);
}

TEST_F(DefaultHandlerServiceTest, withoutHomeTheUserListIsNeverInTheWorkingFolder) {
    const tindrel::test::ScopedEnvironmentVariable home("HOME", std::nullopt);
    const tindrel::test::ScopedEnvironmentVariable config("XDG_CONFIG_HOME", std::nullopt);
    EXPECT_TRUE(service().userListPath().is_absolute()) << service().userListPath();
}

TEST_F(DefaultHandlerServiceTest, defaultFollowsPrecedenceAndInstalledApplications) {
    sandbox.installDesktopFile("other.desktop");
    writeFile(sandbox.systemData() / "applications/mimeapps.list",
              "[Default Applications]\naudio/flac=t.desktop;\naudio/ogg=other.desktop;\n");
    writeFile(
        sandbox.configHome() / "mimeapps.list",
        "[Default Applications]\naudio/ogg=missing.desktop;t.desktop;\naudio/aac=missing.desktop;\n"
        "audio/wav=other.desktop;\n");

    struct Case {
        std::vector<std::string> names;
        std::optional<std::string> expected;
    };
    const std::vector<Case> cases{
        {{"audio/flac"}, "t.desktop"}, // only the system list names one
        {{"audio/ogg"}, "t.desktop"},  // the user's list wins; uninstalled ids skipped
        {{"audio/aac"}, std::nullopt}, // nothing installed anywhere
        {{"audio/x-wav", "audio/wav"}, "other.desktop"}, // found under an alias
        {{"audio/mpeg"}, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(service().defaultApplication(c.names), c.expected) << c.names.front();

    // A desktop-specific list comes before the plain one.
    setenv("XDG_CURRENT_DESKTOP", "Test:GNOME", 1);
    writeFile(sandbox.configHome() / "gnome-mimeapps.list",
              "[Default Applications]\naudio/ogg=other.desktop;\n");
    EXPECT_EQ(service().defaultApplication({"audio/ogg"}), "other.desktop");
}

} // namespace
