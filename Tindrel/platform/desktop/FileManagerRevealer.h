#pragma once

// Reveals files through the file manager's D-Bus interface (org.freedesktop.FileManager1:
// ShowItems selects files, ShowFolders opens folders). The call is asynchronous, so the
// interface never waits for a file manager to start; when the call fails (no file manager
// on the bus, or an error reply) the folder is opened with the desktop's URL handler instead.
// Main thread; the connection's replies arrive through the main thread's event loop.

#include "Tindrel/platform/desktop/FileRevealer.h"

#include <QDBusConnection>
#include <QUrl>

#include <functional>

namespace tindrel::platform {

class FileManagerRevealer : public FileRevealer {
public:
    // Opens a folder URL without the file manager's D-Bus interface.
    using FolderOpener = std::function<void(const QUrl& folder)>;

    FileManagerRevealer(QDBusConnection bus, FolderOpener openFolderFallback,
                        int replyTimeoutMilliseconds = 10000);

    void revealFiles(const std::vector<std::filesystem::path>& files) override;
    void openFolder(const std::filesystem::path& folder) override;

private:
    void callFileManager(const QString& method, const std::vector<std::filesystem::path>& items,
                         std::vector<std::filesystem::path> fallbackFolders);

    QDBusConnection bus_;
    FolderOpener openFolderFallback_;
    int replyTimeoutMilliseconds_;
};

} // namespace tindrel::platform
