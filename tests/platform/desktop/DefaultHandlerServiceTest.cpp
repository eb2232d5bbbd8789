#include "Tindrel/platform/desktop/DefaultHandlerService.h"

#include "tests/platform/desktop/XdgSandbox.h"
#include "tests/support/FileText.h"
#include "tests/support/ScopedFileSizeLimit.h"

#include <gtest/gtest.h>

#include <fstream>

#include <sys/stat.h>

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

TEST_F(DefaultHandlerServiceTest, aListThatIsNoSmallFileIsPassedOverAndNeverWrittenOver) {
    writeFile(sandbox.systemData() / "applications/mimeapps.list",
              "[Default Applications]\naudio/ogg=t.desktop;\n");
    const std::string userText = "[Default Applications]\ntext/plain=gedit.desktop;\n";
    const auto userList = sandbox.configHome() / "mimeapps.list";
    const auto dataList = sandbox.dataHome() / "applications/mimeapps.list";
    const auto fifo = [](const std::filesystem::path& path) {
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    };
    const struct {
        const char* what;
        std::filesystem::path list; // where the odd file sits
        std::function<void(const std::filesystem::path&)> make;
        rlim_t fileSizeLimit;
        int typesSet;
    } cases[] = {
        {"a full disk", userList, [&](const auto& path) { writeFile(path, userText); }, 10, 0},
        {"a FIFO", userList, fifo, RLIM_INFINITY, 0},
        {"a FIFO among the data lists", dataList, fifo, RLIM_INFINITY, 1},
    };
    for (const auto& c : cases) {
        std::filesystem::create_directories(c.list.parent_path());
        c.make(c.list);
        const auto type = std::filesystem::symlink_status(c.list).type();
        const std::string before =
            type == std::filesystem::file_type::regular ? readFileText(c.list) : "";
        EXPECT_EQ(service().defaultApplication({"audio/ogg"}), "t.desktop") << c.what;
        int typesSet = -1;
        {
            const tindrel::test::ScopedFileSizeLimit full(c.fileSizeLimit);
            typesSet = service().setDefaultApplication("t.desktop", {"audio/flac"});
        }
        EXPECT_EQ(typesSet, c.typesSet) << c.what;
        EXPECT_EQ(std::filesystem::symlink_status(c.list).type(), type) << c.what;
        if (type == std::filesystem::file_type::regular) {
            EXPECT_EQ(readFileText(c.list), before) << c.what;
        }
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(sandbox.configHome()), {}), 1)
            << c.what << ": a temporary was left";
        std::filesystem::remove(c.list);
        std::filesystem::remove(userList);
    }
}

} // namespace
