// The tray side of the delegate on a private store: the icon's title (its tool tip) follows
// the open file and the playback state, and a tray click toggles the mini player.

#include "Tindrel/shell/TindrelStatusItem.h"

#include "Tindrel/mainwindow/ChipButton.h"
#include "Tindrel/platform/text/LocaleFreeNumber.h"
#include "Tindrel/shell/PopoverWindow.h"
#include "Tindrel/shell/TindrelAppDelegate.h"
#include "Tindrel/shell/TindrelMainWindow.h"
#include "Tindrel/shell/TindrelMiniPopoverView.h"
#include "tests/store_support/StoreTestRig.h"

#include <QCoreApplication>
#include <QSystemTrayIcon>

#include <gtest/gtest.h>

using namespace tindrel;
using tindrel::test::StoreTestRig;

namespace {

class TrayTest : public testing::Test {
protected:
    TrayTest() {
        // A tray is there: a launch for the background then shows no window.
        delegate.applicationDidFinishLaunching({"tindrel", "--background"}, rig.home());
    }

    TindrelStatusItem& item() { return *delegate.statusItem(); }
    PopoverWindow& popover() { return *delegate.miniPopover(); }
    // The click reaches the delegate through the event loop, as one over D-Bus does.
    void clickTray() {
        emit item().trayIcon().activated(QSystemTrayIcon::Trigger);
        QCoreApplication::processEvents();
    }

    StoreTestRig rig{StoreTestRig::Desktop::sandboxed};
    TindrelStore& store = rig.store();
    TindrelAppDelegate delegate{store, [] { return true; }};
};

TEST_F(TrayTest, TitleFollowsTheFileAndThePlaybackState) {
    EXPECT_EQ(item().title(), "");
    EXPECT_EQ(item().toolTip(), "Tindrel");
    // Only the store's callback refreshes the title, not a change of state alone.
    store.isPlaying = true;
    store.isPlaying = false;
    EXPECT_EQ(item().title(), "");

    struct Case {
        std::string name;
        QString shown;
    } cases[] = {
        {"short.wav", "short.wav"},
        {"eighteen-chars.wav", "eighteen-chars.wav"},
        {"nineteen-chars1.wav", QStringLiteral("nineteen-chars1.\u2026")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        rig.loadTone(c.name, 1.0, false);
        EXPECT_EQ(item().title(), QLatin1Char(' ') + c.shown);
        EXPECT_EQ(item().toolTip(), QStringLiteral("Tindrel\n ") + c.shown);
    }

    store.togglePlayPause();
    EXPECT_EQ(item().title(), QStringLiteral(" \u25B6 nineteen-chars1.\u2026 \u00B7 -14.0 LUFS"));
    rig.analysis().runAll();
    ASSERT_NE(store.spec->value().lufsIntegrated, -14.0f);
    EXPECT_TRUE(item().title().endsWith(QString::fromStdString(
        formatNumber(" %.1f LUFS", double(store.spec->value().lufsIntegrated)))))
        << item().title().toStdString();

    store.togglePlayPause();
    EXPECT_EQ(item().title(), QStringLiteral(" nineteen-chars1.\u2026"));
}

TEST_F(TrayTest, ATrayClickTogglesTheMiniPlayer) {
    ASSERT_EQ(delegate.mainWindow(), nullptr);
    EXPECT_FALSE(popover().isVisible());
    EXPECT_EQ(popover().size(), TindrelMiniPopoverView::contentSize);

    clickTray();
    EXPECT_TRUE(popover().isVisible());
    clickTray();
    EXPECT_FALSE(popover().isVisible());
    clickTray();
    EXPECT_TRUE(popover().isVisible());

    // A click outside closes it; the same click reaching the tray does not reopen it.
    popover().close();
    clickTray();
    EXPECT_FALSE(popover().isVisible());

    // Stepping past the moment, a click opens it again.
    popover().setClock(
        [] { return std::chrono::steady_clock::now() + PopoverWindow::sameClickWindow; });
    clickTray();
    EXPECT_TRUE(popover().isVisible());

    // "Open Window" closes the popover and makes and shows the main window.
    auto& view = static_cast<TindrelMiniPopoverView&>(popover().content());
    view.openWindowButton().click();
    EXPECT_FALSE(popover().isVisible());
    ASSERT_NE(delegate.mainWindow(), nullptr);
    EXPECT_TRUE(delegate.mainWindow()->isVisible());
    TindrelMainWindow* window = delegate.mainWindow();
    clickTray();
    view.openWindowButton().click();
    EXPECT_EQ(delegate.mainWindow(), window);
}

} // namespace
