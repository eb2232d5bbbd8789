#include "Tindrel/platform/desktop/FileManagerRevealer.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFile>
#include <QStringList>

#include <algorithm>

namespace tindrel::platform {

namespace {

QUrl fileUrl(const std::filesystem::path& path) {
    return QUrl::fromLocalFile(QFile::decodeName(path.lexically_normal().c_str()));
}

} // namespace

FileManagerRevealer::FileManagerRevealer(QDBusConnection bus, FolderOpener openFolderFallback,
                                         int replyTimeoutMilliseconds)
    : bus_(std::move(bus)), openFolderFallback_(std::move(openFolderFallback)),
      replyTimeoutMilliseconds_(replyTimeoutMilliseconds) {}

void FileManagerRevealer::revealFiles(const std::vector<std::filesystem::path>& files) {
    std::vector<std::filesystem::path> folders;
    for (const std::filesystem::path& file : files) {
        std::filesystem::path folder = file.lexically_normal().parent_path();
        if (std::find(folders.begin(), folders.end(), folder) == folders.end())
            folders.push_back(std::move(folder));
    }
    callFileManager(QStringLiteral("ShowItems"), files, std::move(folders));
}

void FileManagerRevealer::openFolder(const std::filesystem::path& folder) {
    callFileManager(QStringLiteral("ShowFolders"), {folder}, {folder});
}

void FileManagerRevealer::callFileManager(const QString& method,
                                          const std::vector<std::filesystem::path>& items,
                                          std::vector<std::filesystem::path> fallbackFolders) {
    if (items.empty())
        return;
    QStringList uris;
    for (const std::filesystem::path& item : items)
        uris << QString::fromUtf8(fileUrl(item).toEncoded());

    auto fallBack = [opener = openFolderFallback_, folders = std::move(fallbackFolders)] {
        if (!opener)
            return;
        for (const std::filesystem::path& folder : folders)
            opener(fileUrl(folder));
    };
    if (!bus_.isConnected()) {
        fallBack();
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"),
                                       QStringLiteral("/org/freedesktop/FileManager1"),
                                       QStringLiteral("org.freedesktop.FileManager1"), method);
    call << uris << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, replyTimeoutMilliseconds_));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [fallBack](QDBusPendingCallWatcher* finished) {
                         if (finished->isError())
                             fallBack();
                         finished->deleteLater();
                     });
}

} // namespace tindrel::platform
