#include "Tindrel/shell/TindrelAppDelegate.h"

#include "Tindrel/mainwindow/OpenFileOrFolder.h"
#include "Tindrel/mainwindow/TindrelMainView.h"
#include "Tindrel/shell/LaunchArguments.h"
#include "Tindrel/shell/TindrelMainWindow.h"
#include "Tindrel/store/DefaultAudioHandlerRegistrar.h"
#include "Tindrel/store/TindrelStore.h"

#include <QCoreApplication>
#include <QDir>

namespace tindrel {

TindrelAppDelegate::TindrelAppDelegate(TindrelStore& store, QObject* parent)
    : QObject(parent), store_(store) {}

TindrelAppDelegate::~TindrelAppDelegate() = default;

void TindrelAppDelegate::applicationDidFinishLaunching(const QStringList& arguments,
                                                       const std::filesystem::path& workingFolder) {
    if (!DefaultAudioHandlerRegistrar::isDefaultForWAVAndMP3())
        DefaultAudioHandlerRegistrar::registerAllAsDefault();

    const bool background = LaunchArguments::hasBackgroundFlag(arguments);
    const std::optional<std::filesystem::path> opened =
        LaunchArguments::firstOpenablePath(arguments.mid(1), workingFolder);
    if (opened) {
        showMainWindow();
        openFileOrFolder(store_, *opened);
    } else if (!store_.currentURL->has_value()) {
        if (!store_.recentFiles->empty())
            store_.loadAndPlay(store_.recentFiles->front(), false);
        else
            store_.navigateToFolder(
                std::filesystem::path(QDir::homePath().toStdString()) / "Downloads", true, false);
    }
    if (!background)
        showMainWindow();
}

void TindrelAppDelegate::openDocuments(const QStringList& arguments) {
    const std::optional<std::filesystem::path> opened =
        LaunchArguments::firstOpenablePath(arguments, std::filesystem::path("/"));
    if (opened) {
        showMainWindow();
        openFileOrFolder(store_, *opened);
        return;
    }
    // Nothing there exists: the first path still goes to the store, whose status line then
    // says what is missing.
    for (const QString& argument : arguments) {
        if (argument.isEmpty() || argument.startsWith(QLatin1Char('-')))
            continue;
        showMainWindow();
        store_.loadAndPlay(std::filesystem::path(argument.toStdString()), true);
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
        connect(&mainWindow_->mainView(), &TindrelMainView::terminateRequested, this,
                &TindrelAppDelegate::terminate);
    }
    // A minimized window is brought back too, not just marked active.
    mainWindow_->setWindowState(mainWindow_->windowState() & ~Qt::WindowMinimized);
    mainWindow_->show();
    mainWindow_->raise();
    mainWindow_->activateWindow();
}

void TindrelAppDelegate::terminate() {
    store_.stopAndCleanup();
    QCoreApplication::quit();
}

void TindrelAppDelegate::applicationWillTerminate() {
    store_.stopAndCleanup();
}

void TindrelAppDelegate::windowWillClose() {
    terminate();
}

} // namespace tindrel
