#include "Tindrel/store/RecentPathsSetting.h"

#include "tests/support/FileText.h"
#include "tests/support/ScopedFileSizeLimit.h"
#include "tests/support/TemporaryFolder.h"

#include <QSettings>
#include <QStringList>

#include <gtest/gtest.h>

#include <fstream>

#include <sys/stat.h>

using namespace tindrel;
using Paths = std::vector<std::filesystem::path>;

namespace {

QSettings qtSettings(const std::filesystem::path& file) {
    return QSettings(QString::fromStdString(file.string()), QSettings::IniFormat);
}

QStringList asStrings(const Paths& paths) {
    QStringList strings;
    for (const auto& path : paths)
        strings << QString::fromStdString(path.string());
    return strings;
}

} // namespace

TEST(RecentPathsSetting, pathsKeepTheirBytesAndQtReadsWhatItCan) {
    const struct {
        Paths paths;
        bool utf8; // Qt's reader can only take these
    } cases[] = {
        {{"/music/take.wav"}, true},
        {{"/a, b=c;d.wav", "/\"quoted\" \\back\\.wav", "/ blanks .wav"}, true},
        {{"/tab\t1.wav", "/new\nline\r.wav",
          "/x\x01"
          "a.wav",
          "/@at.wav"},
         true},
        {{"/m\xc3\xbasica/caf\xc3\xa9.wav", "/\xe2\x82\xac.wav"}, true},
        {{"/bytes/\xff\xfe.wav", "/latin1/caf\xe9.wav"}, false},
        {{}, true},
    };
    for (const auto& c : cases) {
        tindrel::test::TemporaryFolder folder;
        const auto file = folder / "orlimar" / "Tindrel.conf";
        ASSERT_TRUE(writeRecentPaths(file, c.paths));
        EXPECT_EQ(readRecentPaths(file), c.paths) << tindrel::test::readFileText(file);
        if (c.utf8) {
            EXPECT_EQ(qtSettings(file).value("Tindrel.recentPaths").toStringList(),
                      asStrings(c.paths))
                << tindrel::test::readFileText(file);
        }
        // What Qt's own settings stored reads back the same.
        if (c.utf8 && !c.paths.empty()) {
            qtSettings(folder / "qt.conf").setValue("Tindrel.recentPaths", asStrings(c.paths));
            EXPECT_EQ(readRecentPaths(folder / "qt.conf"), c.paths)
                << tindrel::test::readFileText(folder / "qt.conf");
        }
    }
}

TEST(RecentPathsSetting, otherSettingsStayAndAFileThatCannotBeReadIsNeverWrittenOver) {
    const std::string others = "[General]\nother=1\n\n[Window]\nsize=@Size(1 2)\n";
    const struct {
        const char* what;
        std::string before; // "" for nothing
        std::string after;
    } texts[] = {
        {"no file", "", "[General]\nTindrel.recentPaths=/new.wav\n"},
        {"other keys", others,
         "[General]\nTindrel.recentPaths=/new.wav\nother=1\n\n[Window]\nsize=@Size(1 2)\n"},
        {"no General group", "[Window]\nx=1\n",
         "[General]\nTindrel.recentPaths=/new.wav\n\n[Window]\nx=1\n"},
        {"replaced in place", "[General]\na=1\nTindrel.recentPaths=/old.wav\nb=2\n",
         "[General]\na=1\nTindrel.recentPaths=/new.wav\nb=2\n"},
        {"the same key in another group", "[Other]\nTindrel.recentPaths=/x.wav\n",
         "[General]\nTindrel.recentPaths=/new.wav\n\n[Other]\nTindrel.recentPaths=/x.wav\n"},
    };
    for (const auto& t : texts) {
        tindrel::test::TemporaryFolder folder;
        if (!t.before.empty())
            std::ofstream(folder / "Tindrel.conf") << t.before;
        ASSERT_TRUE(writeRecentPaths(folder / "Tindrel.conf", {"/new.wav"})) << t.what;
        EXPECT_EQ(tindrel::test::readFileText(folder / "Tindrel.conf"), t.after) << t.what;
    }

    tindrel::test::TemporaryFolder folder;
    const std::string stored = "[General]\nTindrel.recentPaths=/old.wav\n";
    std::ofstream(folder / "full.conf") << stored;
    ASSERT_EQ(::mkfifo((folder / "fifo.conf").c_str(), 0600), 0);
    for (const char* name : {"full.conf", "fifo.conf"}) {
        const auto file = folder / name;
        const auto type = std::filesystem::symlink_status(file).type();
        bool written = true;
        {
            const tindrel::test::ScopedFileSizeLimit full(10);
            written = writeRecentPaths(file, {"/new.wav", "/newer.wav"});
        }
        EXPECT_FALSE(written) << name;
        EXPECT_EQ(std::filesystem::symlink_status(file).type(), type) << name;
    }
    EXPECT_EQ(tindrel::test::readFileText(folder / "full.conf"), stored);
    EXPECT_EQ(readRecentPaths(folder / "full.conf"), Paths{"/old.wav"});
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 2);
}
