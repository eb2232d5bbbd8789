#include "Tindrel/mainwindow/FolderCrateSidebar.h"
#include "Tindrel/mainwindow/ChipButton.h"
#include "Tindrel/mainwindow/FolderCrateList.h"
#include "Tindrel/mainwindow/FolderCrateModel.h"
#include "tests/store_support/StoreTestRig.h"

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

using namespace tindrel;
using test::StoreTestRig;

namespace {

using Paths = std::vector<std::filesystem::path>;

// A crate over a private store, with home/music holding the given audio files.
class Crate : public testing::Test {
protected:
    Crate() : crate(rig.store(), rig.revealer(), rig.clipboard()) {
        crate.resize(FolderCrateSidebar::columnWidth, 600);
        crate.show();
    }

    std::filesystem::path music() const { return rig.home() / "music"; }

    // The listing goes by name: one short WAV tone under every name (a hidden seed aside).
    void listMusic(std::initializer_list<const char*> names) {
        const auto seed = rig.writeTone(".seed.wav", 0.2);
        for (const char* name : names)
            std::filesystem::copy_file(seed, music() / name);
        rig.store().navigateToFolder(music(), true, false);
    }

    QStringList rowTitles() const {
        QStringList titles;
        for (int row = 0; row < crate.model().rowCount(); ++row)
            titles << crate.model().title(row);
        return titles;
    }

    int rowOf(const QString& title) const { return int(rowTitles().indexOf(title)); }

    void clickRow(int row) {
        FolderCrateList& list = crate.list();
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.rowRect(row).center());
    }

    void chooseFromRowMenu(int row, const QString& title) {
        const std::unique_ptr<QMenu> menu = crate.makeRowMenu(row);
        ASSERT_TRUE(menu);
        for (QAction* item : menu->actions())
            if (item->text() == title)
                return item->trigger();
        FAIL() << "no item " << title.toStdString();
    }

    StoreTestRig rig;
    FolderCrateSidebar crate;
};

} // namespace

TEST_F(Crate, TheFilterNarrowsTheRowsAndTheCount) {
    listMusic({"Kick.wav", "snare.WAV", "pad loop.flac.wav", "bass.mp3"});
    struct Case {
        QString filter;
        QStringList rows;
        bool clearShown;
    };
    const Case cases[] = {
        {"", {"bass.mp3", "Kick.wav", "pad loop.flac.wav", "snare.WAV"}, false},
        {"wav", {"Kick.wav", "pad loop.flac.wav", "snare.WAV"}, true}, // extension, any case
        {"KICK", {"Kick.wav"}, true},
        {"d l", {"pad loop.flac.wav"}, true}, // inner spaces count
        {"   ", {"bass.mp3", "Kick.wav", "pad loop.flac.wav", "snare.WAV"}, true},
    };
    for (const Case& c : cases) {
        rig.store().siblingFilter = c.filter;
        EXPECT_EQ(rowTitles(), c.rows) << c.filter.toStdString();
        EXPECT_EQ(crate.headerTitle(), QStringLiteral("FOLDER CRATE (%1)").arg(c.rows.size()))
            << c.filter.toStdString();
        EXPECT_EQ(crate.clearFilterButton().isVisible(), c.clearShown) << c.filter.toStdString();
        EXPECT_EQ(crate.filterField().text(), c.filter);
    }

    // Typing goes to the store; the clear button empties it and takes the field's focus.
    rig.store().siblingFilter = QString();
    crate.activateWindow();
    crate.filterField().setFocus();
    QTest::keyClicks(&crate.filterField(), QStringLiteral("sna"));
    EXPECT_EQ(rig.store().siblingFilter.get(), QStringLiteral("sna"));
    EXPECT_EQ(rowTitles(), QStringList{"snare.WAV"});
    QTest::mouseClick(&crate.clearFilterButton(), Qt::LeftButton);
    EXPECT_EQ(rig.store().siblingFilter.get(), QString());
    EXPECT_EQ(crate.model().rowCount(), 4);
    EXPECT_FALSE(crate.filterField().hasFocus());
}

TEST_F(Crate, WithNoMatchingFileTheSubfoldersAndRecentFilesShowInstead) {
    const auto older = rig.writeTone("older.wav", 0.2);
    const auto newer = rig.writeTone("newer.wav", 0.2);
    rig.store().loadAndPlay(older, false);
    rig.store().loadAndPlay(newer, false);
    for (int i = 1; i <= 20; ++i)
        std::filesystem::create_directories(music() / ("set " + std::to_string(i)));
    std::filesystem::copy_file(older, music() / "set 2" / "only.wav");
    rig.store().navigateToFolder(music(), true, false);

    rig.store().siblingFilter = QStringLiteral("nothing like it");
    EXPECT_EQ(crate.headerTitle(), QStringLiteral("FOLDER CRATE (0)"));
    QStringList expected;
    for (int i = 1; i <= 15; ++i)
        expected << QStringLiteral("set %1").arg(i);
    expected << "newer.wav"
             << "older.wav";
    EXPECT_EQ(rowTitles(), expected);
    EXPECT_EQ(crate.model().kind(14), FolderCrateModel::RowKind::folder);
    EXPECT_EQ(crate.model().kind(15), FolderCrateModel::RowKind::recent);

    // A folder row browses and loads the folder's first file (the filter aside) without playing.
    clickRow(rowOf(QStringLiteral("set 2")));
    EXPECT_EQ(rig.store().currentFolderURL.get(), music() / "set 2");
    EXPECT_EQ(rig.store().folderHistory->back(), music() / "set 2");
    EXPECT_EQ(rig.store().currentURL.get(), music() / "set 2" / "only.wav");
    EXPECT_FALSE(rig.store().isPlaying.get());

    // A recent-file row plays it.
    clickRow(rowOf(QStringLiteral("older.wav")));
    EXPECT_EQ(rig.store().currentURL.get(), older);
    EXPECT_TRUE(rig.store().isPlaying.get());
}

TEST_F(Crate, AClickPlaysTheRowAndOnlyTheCurrentRowIsMarked) {
    listMusic({"a.wav", "b.wav", "c.wav"});
    clickRow(1);
    EXPECT_EQ(rig.store().currentURL.get(), music() / "b.wav");
    EXPECT_TRUE(rig.store().isPlaying.get());
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(crate.model().isCurrent(row), row == 1) << row;

    // The current row is drawn on cyan, the others on a faint white.
    QApplication::processEvents(); // the list lays out the reloaded rows
    const QImage drawn = crate.list().viewport()->grab().toImage();
    const auto fillOf = [&](int row) {
        const QRect rect = crate.list().rowRect(row);
        return drawn.pixelColor(rect.left() + 4, rect.center().y());
    };
    const QColor current = fillOf(1);
    const QColor other = fillOf(0);
    EXPECT_GT(current.blue() - current.red(), 20);
    EXPECT_LT(std::abs(other.blue() - other.red()), 20);
}

TEST_F(Crate, TheRowMenuActsOnItsOwnRowWhicheverFileIsCurrent) {
    listMusic({"a.wav", "b.wav"});
    rig.store().loadAndPlay(music() / "a.wav", true);
    const QString status = rig.store().statusBanner.get();

    chooseFromRowMenu(1, QStringLiteral("Copy Audio File"));
    chooseFromRowMenu(1, QStringLiteral("Show in File Manager"));
    EXPECT_EQ(rig.clipboard().copies, std::vector<Paths>{{music() / "b.wav"}});
    EXPECT_EQ(rig.revealer().revealedFiles, std::vector<Paths>{{music() / "b.wav"}});
    EXPECT_EQ(rig.store().statusBanner.get(), status);
    EXPECT_EQ(rig.store().currentURL.get(), music() / "a.wav");

    chooseFromRowMenu(1, QStringLiteral("Rename File..."));
    EXPECT_EQ(rig.store().currentURL.get(), music() / "b.wav");
    EXPECT_FALSE(rig.store().isPlaying.get());
    EXPECT_TRUE(rig.store().isRenamingCurrentFile.get());
    EXPECT_EQ(rig.store().renameDraftText.get(), QStringLiteral("b"));
    EXPECT_EQ(crate.makeRowMenu(5), nullptr);
}

TEST_F(Crate, RenamingAVanishedFileOpensNoEditorForAnotherFile) {
    listMusic({"a.wav", "b.wav"});
    rig.store().loadAndPlay(music() / "a.wav", true);
    std::filesystem::remove(music() / "b.wav");
    std::filesystem::remove(music() / "a.wav");
    const struct {
        int row;
        const char* name;
    } vanished[] = {{1, "b.wav"}, {0, "a.wav"}}; // another file's row, the current file's row
    for (const auto& file : vanished) {
        chooseFromRowMenu(file.row, QStringLiteral("Rename File..."));
        EXPECT_EQ(rig.store().statusBanner.get(), QStringLiteral("File not found: ") + file.name);
        EXPECT_EQ(rig.store().currentURL.get(), music() / "a.wav");
        EXPECT_FALSE(rig.store().isRenamingCurrentFile.get()) << file.name;
    }
}

TEST_F(Crate, UpGoesToTheParentFolderAndIsAbsentAtTheRoot) {
    listMusic({"a.wav"});
    rig.store().loadAndPlay(music() / "a.wav", false);
    const struct {
        std::filesystem::path folder;
        bool shown;
        QString help;
    } cases[] = {
        {"/", false, {}},
        {"/tmp", true, "Go to parent folder (/)"},
        {music(), true,
         QStringLiteral("Go to parent folder (%1)")
             .arg(QString::fromStdString(rig.home().filename().string()))},
    };
    for (const auto& c : cases) {
        rig.store().navigateToFolder(c.folder, true, false);
        EXPECT_EQ(crate.upButton().isVisible(), c.shown) << c.folder;
        if (c.shown) {
            EXPECT_EQ(crate.upButton().toolTip(), c.help) << c.folder;
        }
    }
    QTest::mouseClick(&crate.upButton(), Qt::LeftButton);
    EXPECT_EQ(rig.store().currentFolderURL.get(), rig.home());
    EXPECT_EQ(rig.store().folderHistory->back(), rig.home());
    EXPECT_EQ(rig.store().currentURL.get(), music() / "a.wav"); // nothing else is loaded
}
