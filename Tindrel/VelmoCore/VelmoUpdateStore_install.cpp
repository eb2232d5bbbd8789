#include "Tindrel/VelmoCore/VelmoUpdateStore.h"

#include "Tindrel/VelmoCore/VelmoBundleArchive.h"
#include "Tindrel/VelmoCore/VelmoBundleSwap.h"
#include "Tindrel/VelmoCore/VelmoReleaseTransport.h"

#include <QDateTime>
#include <QFile>
#include <QUrl>

namespace velmo {

namespace {

const QString openedDownload = QStringLiteral("Opened download in browser.");
const QString openedDownloadPage = QStringLiteral("Opened download page in browser.");
const QString openedInstallerDownload = QStringLiteral("Opened installer download in browser.");

bool isArchiveAddress(const QString& address) {
    return address.contains(QStringLiteral(".zip")) ||
           address.contains(QStringLiteral("platform="));
}

} // namespace

void VelmoUpdateStore::downloadAndInstallUpdate() {
    const QString addressText =
        updateDownloadURL_.isEmpty() ? productDownloadPage() : updateDownloadURL_;
    const QUrl downloadURL(addressText, QUrl::StrictMode);
    if (!downloadURL.isValid() || downloadURL.isRelative())
        return;
    if (!environment_.bundleLocation || !isArchiveAddress(addressText)) {
        openInBrowser(downloadURL);
        return;
    }
    continueInstall(downloadURL);
}

void VelmoUpdateStore::continueInstall(const QUrl& downloadURL) {
    setInstallingUpdate(true);
    setUpdateStatusText(QStringLiteral("Downloading ") + productName_ +
                        QStringLiteral(" update..."));
    transport_->get(
        downloadURL, [this, downloadURL](const VelmoReleaseTransport::Response& response) {
            if (!response.answered) {
                endInstall(downloadURL, openedDownload);
                return;
            }
            if (response.statusCode != 200) {
                const QUrl productPage(environment_.releaseHost + QLatin1Char('/') + productId_,
                                       QUrl::StrictMode);
                endInstall(productPage.isValid() ? productPage : downloadURL, openedDownloadPage);
                return;
            }
            installDownloadedArchive(response.body, downloadURL);
        });
}

void VelmoUpdateStore::installDownloadedArchive(const QByteArray& archiveBytes,
                                                const QUrl& downloadURL) {
    const std::string folderPrefix = "VelmoUpdate-" + productId_.toStdString() + "-" +
                                     std::to_string(QDateTime::currentSecsSinceEpoch());
    const std::optional<std::filesystem::path> workFolder =
        VelmoBundleArchive::makeWorkFolder(environment_.temporaryDirectory, folderPrefix);
    if (!workFolder) {
        endInstall(downloadURL, openedDownload);
        return;
    }
    const QString archivePath = QString::fromStdString((*workFolder / "download.zip").string());
    QFile archive(archivePath);
    if (!archive.open(QIODevice::WriteOnly) || archive.write(archiveBytes) != archiveBytes.size() ||
        !archive.flush()) {
        endInstall(downloadURL, openedDownload);
        return;
    }
    archive.close();

    const std::filesystem::path unpacked = *workFolder / "unpacked";
    std::error_code error;
    std::filesystem::create_directory(unpacked, error);
    const bool unpackedWhole =
        !error && VelmoBundleArchive::unpack(archivePath.toStdString(), unpacked);
    const std::optional<std::filesystem::path> newBundle =
        unpackedWhole ? VelmoBundleArchive::findBundle(unpacked, productId_.toStdString())
                      : std::nullopt;
    if (!newBundle) {
        endInstall(downloadURL, openedInstallerDownload);
        return;
    }

    setUpdateStatusText(QStringLiteral("Installing v") +
                        availableVersion_.value_or(QStringLiteral("latest")) +
                        QStringLiteral(" & relaunching..."));
    std::optional<VelmoBundleSwap> swap =
        VelmoBundleSwap::stage(*newBundle, *environment_.bundleLocation);
    if (!swap || !swap->startRelaunch(environment_.runningProcessId, productId_.toStdString(),
                                      environment_.relaunchEnvironment)) {
        endInstall(downloadURL, openedDownload);
        return;
    }
    if (environment_.requestTermination)
        environment_.requestTermination();
    setInstallingUpdate(false);
    emit installFinished();
}

void VelmoUpdateStore::endInstall(const QUrl& browserURL, const QString& statusText) {
    openInBrowser(browserURL);
    setUpdateStatusText(statusText);
    setInstallingUpdate(false);
    emit installFinished();
}

} // namespace velmo
