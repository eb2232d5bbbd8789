#include "Tindrel/store/DefaultAudioHandlerRegistrar.h"

#include "Tindrel/platform/desktop/DefaultHandlerService.h"
#include "tests/store_support/StoreTestRig.h"
#include "tests/support/ExternalEncoder.h"
#include "tests/support/FileText.h"
#include "tests/support/ScopedEnvironmentVariable.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include <sys/stat.h>

using tindrel::DefaultAudioHandlerRegistrar;
using tindrel::test::readFileText;
using tindrel::test::StoreTestRig;

namespace {

const std::filesystem::path packaging = TINDREL_PACKAGING_FOLDER;

TEST(DefaultAudioHandlerRegistrar, tableMatchesTheShippedDesktopEntry) {
    std::set<std::string> tableTypes;
    int count = 0;
    for (const auto& family : DefaultAudioHandlerRegistrar::formatAssociations()) {
        for (const QString& type : family.utis) {
            EXPECT_TRUE(
                tindrel::platform::DefaultHandlerService::isWellFormedMimeType(type.toStdString()));
            tableTypes.insert(type.toStdString());
            ++count;
        }
    }
    EXPECT_EQ(count, 14);
    EXPECT_EQ(tableTypes.size(), 14u);

    // The desktop entry must offer every type the registrar makes it the default for.
    std::istringstream entry(readFileText(packaging / "com.orlimar.tindrel.desktop"));
    std::set<std::string> entryTypes;
    for (std::string line; std::getline(entry, line);) {
        if (line.rfind("MimeType=", 0) != 0)
            continue;
        std::istringstream types(line.substr(9));
        for (std::string type; std::getline(types, type, ';');)
            entryTypes.insert(type);
    }
    EXPECT_EQ(entryTypes, tableTypes);
    EXPECT_EQ(DefaultAudioHandlerRegistrar::desktopFileID(), "com.orlimar.tindrel.desktop");
}

TEST(DefaultAudioHandlerRegistrar, shippedDefinitionGivesCafFilesAType) {
    // A folder of its own, outside every data folder this process looks in.
    tindrel::test::TemporaryFolder folder;
    const std::filesystem::path mime = folder / "mime";
    std::filesystem::create_directories(mime / "packages");
    std::filesystem::copy_file(packaging / "com.orlimar.tindrel-caf.xml",
                               mime / "packages/com.orlimar.tindrel-caf.xml");
    const int status = tindrel::test::runProgram("update-mime-database", {mime.string()});
    if (status == -1)
        GTEST_SKIP() << "update-mime-database is not installed";
    ASSERT_EQ(status, 0);
    EXPECT_NE(readFileText(mime / "globs2").find("audio/x-caf:*.caf"), std::string::npos);
}

class RegistrarTest : public testing::Test {
protected:
    std::filesystem::path list() const { return rig.desktop().configHome() / "mimeapps.list"; }

    StoreTestRig rig{StoreTestRig::Desktop::sandboxed};
    tindrel::TindrelStore& store = rig.store();
};

TEST_F(RegistrarTest, registeringAllCountsTypesAndKeepsOtherEntries) {
    std::filesystem::create_directories(list().parent_path());
    const std::string before =
        "[Default Applications]\ntext/plain=gedit.desktop;\naudio/mpeg=vlc.desktop;\n";
    std::ofstream(list()) << before;
    rig.desktop().installDesktopFile("vlc.desktop");
    EXPECT_FALSE(DefaultAudioHandlerRegistrar::isDefault("mp3"));

    // Not installed (a run from the build tree): the desktop would pass over every line.
    store.makeTindrelDefaultForAllAudio();
    EXPECT_EQ(store.statusBanner.get(),
              "Set Tindrel as default audio player (0 MIME type handlers)");
    EXPECT_EQ(readFileText(list()), before);

    rig.desktop().installDesktopFile("com.orlimar.tindrel.desktop");
    store.makeTindrelDefaultForAllAudio();
    EXPECT_EQ(store.statusBanner.get(),
              "Set Tindrel as default audio player (14 MIME type handlers)");
    const std::string text = readFileText(list());
    EXPECT_NE(text.find("text/plain=gedit.desktop;\n"), std::string::npos);
    EXPECT_NE(text.find("audio/mpeg=com.orlimar.tindrel.desktop;vlc.desktop;\n"),
              std::string::npos);
    for (const char* ext : {"wav", "aiff", "mp3", "flac", "m4a", "ogg"})
        EXPECT_TRUE(DefaultAudioHandlerRegistrar::isDefault(ext)) << ext;
    EXPECT_TRUE(DefaultAudioHandlerRegistrar::isDefaultForWAVAndMP3());
    EXPECT_FALSE(DefaultAudioHandlerRegistrar::isDefault("no-such-extension"));
}

TEST_F(RegistrarTest, countsOnlyWhatTheDesktopNowOpensWithTindrelAndRewritesNothingUnchanged) {
    rig.desktop().installDesktopFile("com.orlimar.tindrel.desktop");
    rig.desktop().installDesktopFile("vlc.desktop");
    // The desktop's own list outranks the user's shared one.
    const tindrel::test::ScopedEnvironmentVariable desktop("XDG_CURRENT_DESKTOP", "GNOME");
    std::filesystem::create_directories(list().parent_path());
    std::ofstream(list().parent_path() / "gnome-mimeapps.list")
        << "[Default Applications]\naudio/mpeg=vlc.desktop;\n";

    EXPECT_EQ(DefaultAudioHandlerRegistrar::registerAllAsDefault(), 13);
    EXPECT_FALSE(DefaultAudioHandlerRegistrar::isDefault("mp3"));
    EXPECT_TRUE(DefaultAudioHandlerRegistrar::isDefault("wav"));
    EXPECT_FALSE(DefaultAudioHandlerRegistrar::isDefaultForWAVAndMP3());

    // What the next start does: the list already says all it can, so it stays untouched.
    const auto identity = [this] {
        struct stat status {};
        ::stat(list().c_str(), &status);
        return std::pair(status.st_ino, status.st_mtim.tv_nsec);
    };
    const auto written = identity();
    EXPECT_EQ(DefaultAudioHandlerRegistrar::registerAllAsDefault(), 13);
    EXPECT_EQ(identity(), written);
}

TEST_F(RegistrarTest, oneFamilyAndTheAnswerForWavAndMp3) {
    rig.desktop().installDesktopFile("com.orlimar.tindrel.desktop");
    const auto& families = DefaultAudioHandlerRegistrar::formatAssociations();
    const auto family = [&](const char* ext) {
        return *std::find_if(families.begin(), families.end(),
                             [&](const auto& f) { return f.ext == ext; });
    };

    DefaultAudioHandlerRegistrar::registerFormat(family("caf"));
    EXPECT_NE(readFileText(list()).find("audio/x-caf=com.orlimar.tindrel.desktop;"),
              std::string::npos);
    EXPECT_EQ(readFileText(list()).find("audio/mpeg"), std::string::npos);

    DefaultAudioHandlerRegistrar::registerFormat(family("mp3"));
    EXPECT_TRUE(DefaultAudioHandlerRegistrar::isDefault("mp3"));
    EXPECT_FALSE(DefaultAudioHandlerRegistrar::isDefaultForWAVAndMP3());
    DefaultAudioHandlerRegistrar::registerFormat(family("wav"));
    EXPECT_TRUE(DefaultAudioHandlerRegistrar::isDefaultForWAVAndMP3());
}

TEST_F(RegistrarTest, anUnwritableListCountsNothing) {
    rig.desktop().installDesktopFile("com.orlimar.tindrel.desktop");
    std::filesystem::create_directories(list());
    store.makeTindrelDefaultForAllAudio();
    EXPECT_EQ(store.statusBanner.get(),
              "Set Tindrel as default audio player (0 MIME type handlers)");
    EXPECT_TRUE(std::filesystem::is_directory(list()));
}

} // namespace
