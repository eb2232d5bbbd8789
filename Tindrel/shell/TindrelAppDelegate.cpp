#include "Tindrel/shell/TindrelAppDelegate.h"

#include "Tindrel/VelmoCore/VelmoRelaunch.h"
#include "Tindrel/mainwindow/OpenFileOrFolder.h"
#include "Tindrel/mainwindow/TindrelMainView.h"
#include "Tindrel/platform/desktop/single_instance/SingleInstance.h"
#include "Tindrel/shell/KeyShortcutFilter.h"
#include "Tindrel/shell/LaunchArguments.h"
#include "Tindrel/shell/PopoverWindow.h"
#include "Tindrel/shell/TindrelMainWindow.h"
#include "Tindrel/shell/TindrelMiniPopoverView.h"
#include "Tindrel/shell/TindrelSettingsPopover.h"
#include "Tindrel/shell/TindrelStatusItem.h"
#include "Tindrel/store/DefaultAudioHandlerRegistrar.h"
#include "Tindrel/store/TindrelStore.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDir>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>

#include <utility>

namespace tindrel {

TindrelAppDelegate::TindrelAppDelegate(TindrelStore& store,
                                       std::function<bool()> isSystemTrayAvailable, QObject* parent)
    : QObject(parent), store_(store),
      isSystemTrayAvailable_(isSystemTrayAvailable ? std::move(isSystemTrayAvailable)
                                                   : &QSystemTrayIcon::isSystemTrayAvailable) {}

TindrelAppDelegate::~TindrelAppDelegate() = default;

void TindrelAppDelegate::applicationDidFinishLaunching(const QByteArrayList& arguments,
                                                       const std::filesystem::path& workingFolder) {
    const bool background = LaunchArguments::hasBackgroundFlag(arguments);
    // The same reading as a later launch's hand-over: file URLs become paths.
    const std::optional<std::filesystem::path> opened = LaunchArguments::firstOpenablePath(
        platform::SingleInstance::handOverArguments(arguments.mid(1), workingFolder),
        std::filesystem::path("/"));
    pendingLaunch_ = PendingLaunch{opened, background};
    if (!opened && background) {
        finishLaunching();
        return;
    }
    // The window goes on screen first; the rest of the launch waits for its first paint (a
    // window that is never exposed does not hold it up for long).
    showMainWindow();
    if (mainWindow_->hasBeenPainted()) {
        finishLaunching();
        return;
    }
    connect(mainWindow_.get(), &TindrelMainWindow::firstPainted, this,
            &TindrelAppDelegate::finishLaunching, Qt::SingleShotConnection);
    QTimer::singleShot(unexposedWindowWait, this, &TindrelAppDelegate::finishLaunching);
}

void TindrelAppDelegate::finishLaunching() {
    if (!pendingLaunch_)
        return;
    const PendingLaunch launch = *std::exchange(pendingLaunch_, std::nullopt);
    // Before the file: Ctrl+Q must reach a decode that the file starts.
    installKeyShortcuts();
    // The file first, so that its sound does not wait for the tray.
    if (launch.opened) {
        showMainWindow();
        openFileOrFolder(store_, *launch.opened);
    } else if (!store_.currentURL->has_value()) {
        if (!store_.recentFiles->empty())
            store_.loadAndPlay(store_.recentFiles->front(), false);
        else
            store_.navigateToFolder(
                std::filesystem::path(QDir::homePath().toStdString()) / "Downloads", true, false);
    }
    setupMenuBarMiniPlayer();
    // Its title follows the status from now on; what was opened before it existed shows at once.
    updateStatusButton();
    if (!DefaultAudioHandlerRegistrar::isDefaultForWAVAndMP3())
        DefaultAudioHandlerRegistrar::registerAllAsDefault();
    // After an update that was rolled back the window shows why, whatever the launch asked for.
    if (!launch.background || !isSystemTrayAvailable_() ||
        !velmo::VelmoRelaunch::failedUpdateReason().empty())
        showMainWindow();
    velmo::VelmoRelaunch::reportRunning();
}

void TindrelAppDelegate::setupMenuBarMiniPlayer() {
    statusItem_ = std::make_unique<TindrelStatusItem>();
    // Both may come over D-Bus: they run from the event loop, not inside the bus's delivery.
    connect(statusItem_.get(), &TindrelStatusItem::clicked, this,
            &TindrelAppDelegate::toggleMiniPopover, Qt::QueuedConnection);
    // Without the tray the window is the only way left to reach the program.
    connect(
        statusItem_.get(), &TindrelStatusItem::trayWentAway, this,
        [this] {
            if (!mainWindow_ || !mainWindow_->isVisible())
                showMainWindow();
        },
        Qt::QueuedConnection);
    miniPopover_ = std::make_unique<PopoverWindow>(new TindrelMiniPopoverView(store_));

    const QPointer<TindrelAppDelegate> self(this);
    store_.onStatusChanged = [self] {
        if (self)
            self->updateStatusButton();
    };
    store_.onOpenMainWindowRequested = [self] {
        if (self)
            self->miniPopover_->closePopover();
        if (self)
            self->showMainWindow();
    };
}

void TindrelAppDelegate::updateStatusButton() {
    const QString text = store_.statusBarPillText();
    // The space parts the title from the symbol where a tray shows both.
    statusItem_->setTitle(text.isEmpty() ? QString() : QLatin1Char(' ') + text);
}

void TindrelAppDelegate::toggleMiniPopover() {
    if (!statusItem_)
        return;
    if (miniPopover_->isVisible())
        miniPopover_->closePopover();
    else if (!miniPopover_->closedItselfJustNow())
        miniPopover_->showNear(statusItem_->geometry(), QCursor::pos());
}

void TindrelAppDelegate::openDocuments(const QByteArrayList& arguments) {
    // The first path is opened whether or not it exists: the store's status line then says
    // what is missing. Later paths are not looked at. A path is taken as a launch takes it,
    // never against this process's own working folder.
    for (const QByteArray& argument : arguments) {
        if (argument.isEmpty() || argument.startsWith('-'))
            continue;
        showMainWindow();
        openFileOrFolder(store_, LaunchArguments::resolvedPath(argument, "/"));
        return;
    }
    if (!LaunchArguments::hasBackgroundFlag(arguments))
        showMainWindow();
}

void TindrelAppDelegate::showMainWindow() {
    if (!mainWindow_) {
        mainWindow_ = std::make_unique<TindrelMainWindow>(store_);
        connect(mainWindow_.get(), &TindrelMainWindow::closing, this,
                &TindrelAppDelegate::windowWillClose);
        // Also asked for by the updater from a network reply: queued like every request from
        // outside.
        connect(&mainWindow_->mainView(), &TindrelMainView::exitRequested, this,
                &TindrelAppDelegate::terminate, Qt::QueuedConnection);
        mainWindow_->mainView().setSettingsPopoverContent(
            [this](QWidget* parent) { return new TindrelSettingsPopover(store_, parent); });
    }
    // A minimized window is brought back too, not just marked active.
    mainWindow_->setWindowState(mainWindow_->windowState() & ~Qt::WindowMinimized);
    mainWindow_->show();
    mainWindow_->raise();
    mainWindow_->activateWindow();
}

void TindrelAppDelegate::terminate() {
    terminating_ = true;
    store_.shutGate();
    store_.stopAndCleanup();
    QCoreApplication::quit();
}

void TindrelAppDelegate::applicationWillTerminate() {
    store_.stopAndCleanup();
}

void TindrelAppDelegate::installKeyShortcuts() {
    if (keyMonitor_)
        return;
    keyMonitor_ = std::make_unique<KeyShortcutFilter>(store_, [this] { terminate(); });
    QCoreApplication::instance()->installEventFilter(keyMonitor_.get());
}

void TindrelAppDelegate::windowWillClose() {
    terminate();
}

} // namespace tindrel
