#include "Tindrel/mainwindow/HeaderBar.h"
#include "Tindrel/mainwindow/ChipButton.h"
#include "Tindrel/mainwindow/FolderMenuButton.h"
#include "Tindrel/mainwindow/PillButton.h"
#include "Tindrel/mainwindow/SettingsPopup.h"
#include "Tindrel/mainwindow/TindrelMainView.h"
#include "Tindrel/platform/ui/SystemColors.h"
#include "tests/store_support/StoreTestRig.h"

#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace tindrel;
using platform::SystemColors;
using test::StoreTestRig;

namespace {

void click(QWidget& button) {
    QTest::mouseClick(&button, Qt::LeftButton, {}, button.rect().center());
}

// The menu's items, as shown: headings, item titles and "-" for the divider.
QStringList menuTitles(FolderMenuButton& folderMenu) {
    emit folderMenu.menu().aboutToShow();
    QStringList titles;
    for (const QAction* item : folderMenu.menu().actions())
        titles << (item->isSeparator() ? QStringLiteral("-") : item->text());
    return titles;
}

QAction* menuItem(FolderMenuButton& folderMenu, const QString& title) {
    emit folderMenu.menu().aboutToShow();
    for (QAction* item : folderMenu.menu().actions())
        if (item->text() == title)
            return item;
    return nullptr;
}

} // namespace

TEST(HeaderBar, TheFileActionsWaitForACurrentFile) {
    StoreTestRig rig;
    HeaderBar header(rig.store());
    header.show();
    PillButton* fileActions[] = {&header.exportButton(), &header.copyButton(),
                                 &header.revealButton()};
    for (PillButton* action : fileActions) {
        EXPECT_FALSE(action->isEnabled()) << action->title().toStdString();
        click(*action);
    }
    EXPECT_TRUE(rig.clipboard().copies.empty());
    EXPECT_TRUE(rig.revealer().revealedFiles.empty());
    EXPECT_EQ(rig.store().statusBanner.get(), QStringLiteral("Ready"));
    EXPECT_TRUE(header.openButton().isEnabled());
    EXPECT_TRUE(header.settingsButton().isEnabled());
    EXPECT_TRUE(header.exitButton().isEnabled());

    const auto tone = rig.loadTone("a.wav", 0.3);
    for (PillButton* action : fileActions)
        EXPECT_TRUE(action->isEnabled()) << action->title().toStdString();
    click(header.copyButton());
    click(header.revealButton());
    EXPECT_EQ(rig.clipboard().copies, std::vector<std::vector<std::filesystem::path>>{{tone}});
    EXPECT_EQ(rig.revealer().revealedFiles,
              std::vector<std::vector<std::filesystem::path>>{{tone}});
}

TEST(HeaderBar, BackAndForwardFollowTheFolderHistory) {
    StoreTestRig rig;
    TindrelStore& store = rig.store();
    HeaderBar header(store);
    header.show();
    const auto a = rig.home() / "a";
    const auto b = rig.home() / "b";
    std::filesystem::create_directories(a);
    std::filesystem::create_directories(b);

    struct Step {
        const char* what;
        std::function<void()> act;
        bool back;
        bool forward;
        std::filesystem::path folder;
    };
    const Step steps[] = {
        {"no history", [] {}, false, false, store.currentFolderURL.get()},
        {"one entry", [&] { store.navigateToFolder(a, true, false); }, false, false, a},
        {"two entries", [&] { store.navigateToFolder(b, true, false); }, true, false, b},
        {"back", [&] { click(header.backButton()); }, false, true, a},
        {"back again is ignored", [&] { click(header.backButton()); }, false, true, a},
        {"forward", [&] { click(header.forwardButton()); }, true, false, b},
    };
    for (const Step& step : steps) {
        step.act();
        EXPECT_EQ(header.backButton().isEnabled(), step.back) << step.what;
        EXPECT_EQ(header.forwardButton().isEnabled(), step.forward) << step.what;
        EXPECT_EQ(store.currentFolderURL.get(), step.folder) << step.what;
        // Usable: primary symbol on white 0.08; not: the faded look under the chip's dimming.
        EXPECT_EQ(header.backButton().look().foreground,
                  step.back ? SystemColors::primaryLabel() : SystemColors::secondaryLabel())
            << step.what;
    }
}

TEST(HeaderBar, TheFolderMenuIsBuiltFromTheFolderWhenItOpens) {
    StoreTestRig rig(StoreTestRig::Desktop::sandboxed);
    TindrelStore& store = rig.store();
    HeaderBar header(store);
    FolderMenuButton& folderMenu = header.folderMenu();
    const auto music = rig.home() / "Music";
    const auto crowded = music / "crowded";
    for (int i = 1; i <= 30; ++i)
        std::filesystem::create_directories(crowded / ("sub" + std::to_string(i)));
    rig.writeTone("x.wav", 0.2);
    std::filesystem::copy_file(rig.home() / "music" / "x.wav", crowded / "sub3" / "x.wav");

    store.navigateToFolder(crowded, true, false);
    QStringList titles = menuTitles(folderMenu);
    const QString home = QString::fromStdString(rig.home().filename().string());
    ASSERT_GE(titles.size(), 1);
    EXPECT_EQ(titles.first(), QStringLiteral("Folder Hierarchy (Click to Jump Up)"));
    EXPECT_EQ(titles.mid(1, 3), (QStringList{"crowded", "Music", home}));
    const qsizetype subfolders = titles.indexOf(QStringLiteral("Subfolders in crowded"));
    ASSERT_GT(subfolders, 0);
    EXPECT_EQ(titles[subfolders - 1], QStringLiteral("File System (/)"));
    QStringList expectedSubfolders;
    for (int i = 1; i <= 25; ++i) // natural name order: sub1, sub2, ... sub25
        expectedSubfolders << QStringLiteral("sub%1").arg(i);
    EXPECT_EQ(titles.mid(subfolders + 1, 25), expectedSubfolders);
    EXPECT_EQ(titles.mid(subfolders + 26),
              (QStringList{"Quick Locations", "Downloads", "Documents", "Desktop", "Music", home,
                           "-", "Choose Any Folder...", "Show in File Manager"}));

    // A subfolder item browses it and loads its first file without playing.
    menuItem(folderMenu, QStringLiteral("sub3"))->trigger();
    EXPECT_EQ(store.currentFolderURL.get(), crowded / "sub3");
    EXPECT_EQ(store.folderHistory->back(), crowded / "sub3");
    EXPECT_EQ(store.currentURL.get(), crowded / "sub3" / "x.wav");
    EXPECT_FALSE(store.isPlaying.get());
    EXPECT_FALSE(menuTitles(folderMenu).join('|').contains(QStringLiteral("Subfolders in")));

    // A quick location the user does not have changes nothing.
    std::filesystem::remove_all(music);
    const QString status = store.statusBanner.get();
    const auto history = store.folderHistory.get();
    menuItem(folderMenu, QStringLiteral("Music"))->trigger();
    EXPECT_EQ(store.currentFolderURL.get(), crowded / "sub3");
    EXPECT_EQ(store.folderHistory.get(), history);
    EXPECT_EQ(store.statusBanner.get(), status);
    menuItem(folderMenu, QStringLiteral("Downloads"))->trigger();
    EXPECT_EQ(store.currentFolderURL.get(), rig.home() / "Downloads");

    // The root's subfolders are headed by its path, the root having no name.
    store.navigateToFolder("/", true, false);
    EXPECT_TRUE(menuTitles(folderMenu).contains(QStringLiteral("Subfolders in /")));

    QSignalSpy chooseFolder(&header, &HeaderBar::chooseFolderRequested);
    menuItem(folderMenu, QStringLiteral("Choose Any Folder..."))->trigger();
    EXPECT_EQ(chooseFolder.size(), 1);
}

TEST(HeaderBar, TheFolderLabelKeepsTheEndOfALongPath) {
    StoreTestRig rig;
    HeaderBar header(rig.store());
    auto deep = rig.home();
    for (const char* name : {"a-rather-long-folder-name", "and-another-long-one", "samples-final"})
        deep /= name;
    std::filesystem::create_directories(deep);
    rig.store().navigateToFolder(deep, true, false);
    header.resize(1200, 40);
    header.show();
    FolderMenuButton& folderMenu = header.folderMenu();
    EXPECT_LE(folderMenu.width(), FolderMenuButton::maximumButtonWidth);
    EXPECT_TRUE(folderMenu.displayedPath().startsWith(QChar(0x2026)));
    EXPECT_TRUE(folderMenu.displayedPath().endsWith(QStringLiteral("/samples-final")));
}

TEST(HeaderBar, SettingsOpensFreshContentAndAnOutsideCloseIsNotUndoneByTheSameClick) {
    StoreTestRig rig;
    TindrelMainView view(rig.store());
    view.show();
    SettingsPopup& popup = view.settingsPopup();
    ChipButton& settings = view.header().settingsButton();
    auto now = std::chrono::steady_clock::now();
    popup.setClock([&now] { return now; });

    click(settings);
    EXPECT_TRUE(view.showSettingsPopover());
    EXPECT_TRUE(popup.isVisible());
    EXPECT_EQ(popup.content(), nullptr); // nothing set yet: an empty pop-up
    click(settings);
    EXPECT_FALSE(view.showSettingsPopover());
    EXPECT_FALSE(popup.isVisible());

    int made = 0;
    view.setSettingsPopoverContent([&made](QWidget* parent) {
        ++made;
        return new QLabel(QStringLiteral("content"), parent);
    });
    now += std::chrono::seconds(1);
    click(settings);
    QPointer<QWidget> first = popup.content();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->parentWidget(), &popup);

    popup.hide(); // a click outside the pop-up
    EXPECT_FALSE(view.showSettingsPopover());
    now += std::chrono::milliseconds(100);
    click(settings); // the very click that closed it, arriving on the button
    EXPECT_FALSE(view.showSettingsPopover());
    now += std::chrono::milliseconds(200);
    click(settings);
    EXPECT_TRUE(view.showSettingsPopover());
    EXPECT_EQ(made, 2);
    EXPECT_TRUE(first.isNull()); // the previous content is gone, the new one shows
    EXPECT_NE(popup.content(), nullptr);
}

TEST(HeaderBar, SettingsStaysInsideTheScreenWhereverTheWindowIs) {
    StoreTestRig rig;
    TindrelMainView view(rig.store());
    view.setSettingsPopoverContent([](QWidget* parent) {
        auto* content = new QLabel(QStringLiteral("content"), parent);
        content->setFixedSize(340, 260);
        return content;
    });
    view.show();
    const QRect screen = view.screen()->availableGeometry();
    const ChipButton& settings = view.header().settingsButton();
    // Window positions that put the Settings button near or past the screen's edges.
    const QPoint windowAt[] = {
        screen.topLeft(),
        screen.topRight() - settings.mapTo(&view, QPoint(settings.width() / 2, 0)),
        screen.bottomRight() - settings.mapTo(&view, QPoint(settings.width(), settings.height())),
    };
    for (const QPoint& at : windowAt) {
        SCOPED_TRACE(testing::Message() << "window at " << at.x() << "," << at.y());
        view.move(at);
        view.setShowSettingsPopover(true);
        const QRect popup = view.settingsPopup().frameGeometry();
        EXPECT_TRUE(screen.contains(popup))
            << popup.x() << "," << popup.y() << " " << popup.width() << "x" << popup.height();
        view.setShowSettingsPopover(false);
    }
}

TEST(HeaderBar, ExitCleansUpAndAsksToLeave) {
    StoreTestRig rig;
    TindrelMainView view(rig.store());
    view.show();
    rig.loadTone("a.wav", 0.5);
    ASSERT_TRUE(rig.store().isPlaying.get());
    QSignalSpy exit(&view, &TindrelMainView::exitRequested);
    click(view.header().exitButton());
    EXPECT_FALSE(rig.store().isPlaying.get());
    EXPECT_FALSE(rig.ticker().isRunning());
    EXPECT_EQ(exit.size(), 1);
}
