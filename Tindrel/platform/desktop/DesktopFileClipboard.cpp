#include "Tindrel/platform/desktop/DesktopFileClipboard.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QList>
#include <QMimeData>
#include <QUrl>

namespace tindrel::platform {

QMimeData* DesktopFileClipboard::mimeDataForFiles(const std::vector<std::filesystem::path>& files) {
    QList<QUrl> urls;
    QStringList paths;
    QByteArray gnomeCopiedFiles = "copy";
    for (const std::filesystem::path& file : files) {
        const QString path = QFile::decodeName(file.lexically_normal().c_str());
        const QUrl url = QUrl::fromLocalFile(path);
        urls << url;
        paths << path;
        gnomeCopiedFiles += "\n" + url.toEncoded();
    }
    auto* data = new QMimeData;
    data->setUrls(urls);
    data->setData(QStringLiteral("x-special/gnome-copied-files"), gnomeCopiedFiles);
    data->setText(paths.join(QLatin1Char('\n')));
    return data;
}

bool DesktopFileClipboard::copyFiles(const std::vector<std::filesystem::path>& files) {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return false;
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    clipboard->setMimeData(mimeDataForFiles(files));
    return true;
}

} // namespace tindrel::platform
