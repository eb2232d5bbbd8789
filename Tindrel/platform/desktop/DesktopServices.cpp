#include "Tindrel/platform/desktop/DesktopServices.h"

#include "Tindrel/platform/desktop/DesktopFileClipboard.h"
#include "Tindrel/platform/desktop/FileManagerRevealer.h"

#include <QDesktopServices>

namespace tindrel::platform {

std::unique_ptr<FileRevealer> makeDesktopFileRevealer() {
    return std::make_unique<FileManagerRevealer>(
        QDBusConnection::sessionBus(),
        [](const QUrl& folder) { QDesktopServices::openUrl(folder); });
}

std::unique_ptr<FileClipboard> makeDesktopFileClipboard() {
    return std::make_unique<DesktopFileClipboard>();
}

} // namespace tindrel::platform
