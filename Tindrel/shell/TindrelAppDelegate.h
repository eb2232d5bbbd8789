#pragma once

// The application's delegate: runs the launch sequence (the tray icon and its mini player,
// default-handler registration, the command line, the first load, the main window, the keyboard
// table), owns the one main window (made on first showing, kept for the life of the process), the
// tray icon and the mini player popover (made at launch, kept), opens what later launches hand
// over, and ends the process on its ways out. Every way out runs the store's clean-up before the
// event loop is asked to quit; the application's last moment runs it once more (it is harmless
// twice).
//
// GUI thread only. The delegate uses the store it is given (the shared one in the program, a
// private one in tests) and never owns it. It owns the keyboard table, which stays installed
// on the application for the delegate's lifetime.

#include <QByteArrayList>
#include <QObject>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

namespace tindrel {

class KeyShortcutFilter;
class PopoverWindow;
class TindrelMainWindow;
class TindrelStatusItem;
class TindrelStore;

class TindrelAppDelegate : public QObject {
    Q_OBJECT
public:
    // `isSystemTrayAvailable` is asked at the end of the launch: without a tray a launch for
    // the background shows the window all the same, or nothing would be on screen to reach.
    explicit TindrelAppDelegate(TindrelStore& store,
                                std::function<bool()> isSystemTrayAvailable = nullptr,
                                QObject* parent = nullptr);
    ~TindrelAppDelegate() override;

    // The launch sequence. `arguments` as the process got them (bytes), the program path
    // first; relative paths are taken against `workingFolder`. When the main window is to
    // show, it is shown here and the rest (the file, the tray icon, the registration, the
    // keyboard table) follows its first paint; the launch for the background alone runs it all
    // at once.
    void applicationDidFinishLaunching(const QByteArrayList& arguments,
                                       const std::filesystem::path& workingFolder);

    // A later launch's arguments (already absolute): its first path is opened in the main
    // window, a missing one too (the store reports it missing); with no path at all, a launch
    // that did not ask for the background just brings the window forward.
    void openDocuments(const QByteArrayList& arguments);

    // Makes the main window on first use, then shows it and brings it to the front.
    void showMainWindow();

    // A way out: clean-up, then the event loop is asked to quit. The clean-up shuts the
    // store's gate, so input that queued up while long work held the window starts nothing more.
    void terminate();
    // True once a way out was taken; long work in progress stops at its next turn.
    bool isTerminating() const { return terminating_; }
    // The application's last moment (QCoreApplication::aboutToQuit).
    void applicationWillTerminate();

    // Opens the mini player below the tray icon, or closes it when open. A click that comes
    // right after the popover closed itself is the click that closed it: nothing happens.
    void toggleMiniPopover();

    // Null until the main window is first shown.
    TindrelMainWindow* mainWindow() const { return mainWindow_.get(); }
    // Null until the launch sequence made them.
    TindrelStatusItem* statusItem() const { return statusItem_.get(); }
    PopoverWindow* miniPopover() const { return miniPopover_.get(); }

private:
    // The launch's steps after the window's first paint; runs once.
    void finishLaunching();
    void setupMenuBarMiniPlayer();
    void updateStatusButton();
    void windowWillClose();
    // The first step after the window's first paint: the keyboard table goes onto the
    // application, once.
    void installKeyShortcuts();

    TindrelStore& store_;
    std::function<bool()> isSystemTrayAvailable_;
    std::unique_ptr<TindrelStatusItem> statusItem_;
    std::unique_ptr<PopoverWindow> miniPopover_;
    std::unique_ptr<TindrelMainWindow> mainWindow_;
    std::unique_ptr<KeyShortcutFilter> keyMonitor_;
    bool terminating_ = false;

    struct PendingLaunch {
        std::optional<std::filesystem::path> opened;
        bool background = false;
    };
    std::optional<PendingLaunch> pendingLaunch_;
    // How long a window that is never exposed holds up the rest of the launch.
    static constexpr int unexposedWindowWait = 1000;
};

} // namespace tindrel
