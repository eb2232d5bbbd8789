#include "Tindrel/VelmoCore/VelmoUpdateStore.h"

#include "Tindrel/VelmoCore/VelmoBundleArchive.h"
#include "Tindrel/VelmoCore/VelmoBundleSwap.h"
#include "Tindrel/VelmoCore/VelmoReleaseTransport.h"

#include <QDateTime>
#include <QThread>
#include <QUrl>

#include <memory>

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
    // One install at a time: a second would race the first for the same program folder.
    if (installingUpdate_)
        return;
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
    const std::optional<std::filesystem::path> workFolder = VelmoBundleArchive::makeWorkFolder(
        environment_.temporaryDirectory, "VelmoUpdate-" + productId_.toStdString() + "-" +
                                             std::to_string(QDateTime::currentSecsSinceEpoch()));
    if (!workFolder) {
        endInstall(downloadURL, openedDownload);
        return;
    }
    const VelmoUpdateLimits& limits = environment_.limits;
    const VelmoReleaseTransport::Bounds bounds{limits.downloadBytes, limits.downloadBaseTime,
                                               limits.downloadTimePerMiB};
    transport_->download(
        downloadURL, bounds, *workFolder / "download.zip",
        [this, downloadURL,
         workFolder = *workFolder](const VelmoReleaseTransport::Response& response) {
            if (response.answered && response.statusCode == 200) {
                unpackAndStage(workFolder, downloadURL);
                return;
            }
            std::error_code ignored;
            std::filesystem::remove_all(workFolder, ignored);
            if (!response.answered) {
                endInstall(downloadURL, openedDownload);
                return;
            }
            const QUrl productPage(environment_.releaseHost + QLatin1Char('/') + productId_,
                                   QUrl::StrictMode);
            endInstall(productPage.isValid() ? productPage : downloadURL, openedDownloadPage);
        });
}

// Unpacking and staging write up to the unpack bounds to disk: they run on a thread of their
// own so that the window keeps answering. The work folder goes with the thread's last step.
void VelmoUpdateStore::unpackAndStage(const std::filesystem::path& workFolder,
                                      const QUrl& downloadURL) {
    auto foundBundle = std::make_shared<bool>(false);
    auto staged = std::make_shared<std::optional<VelmoBundleSwap>>();
    unpackThread_ = QThread::create([workFolder, foundBundle, staged, limits = environment_.limits,
                                     bundle = *environment_.bundleLocation,
                                     program = productId_.toStdString(), stop = &stopUnpacking_] {
        const std::filesystem::path unpacked = workFolder / "unpacked";
        std::error_code error;
        std::filesystem::create_directory(unpacked, error);
        if (!error &&
            VelmoBundleArchive::unpack(workFolder / "download.zip", unpacked, limits, *stop)) {
            const std::optional<std::filesystem::path> newBundle =
                VelmoBundleArchive::findBundle(unpacked, program);
            *foundBundle = newBundle.has_value();
            if (newBundle && !*stop)
                *staged = VelmoBundleSwap::stage(*newBundle, bundle);
        }
        std::filesystem::remove_all(workFolder, error);
    });
    connect(unpackThread_, &QThread::finished, this, [this, downloadURL, foundBundle, staged] {
        // finished() comes just before the thread's end: wait for that before deleting it.
        unpackThread_->wait();
        delete unpackThread_;
        unpackThread_ = nullptr;
        if (!*foundBundle) {
            endInstall(downloadURL, openedInstallerDownload);
            return;
        }
        setUpdateStatusText(QStringLiteral("Installing v") +
                            availableVersion_.value_or(QStringLiteral("latest")) +
                            QStringLiteral(" & relaunching..."));
        const std::string expectedVersion =
            availableVersionIsSimulated_ ? std::string()
                                         : availableVersion_.value_or(QString()).toStdString();
        if (!*staged ||
            !(*staged)->startRelaunch(environment_.runningProcessId, productId_.toStdString(),
                                      expectedVersion, environment_.relaunchEnvironment)) {
            endInstall(downloadURL, openedDownload);
            return;
        }
        if (environment_.requestTermination)
            environment_.requestTermination();
        setInstallingUpdate(false);
        emit installFinished();
    });
    unpackThread_->start();
}

void VelmoUpdateStore::endInstall(const QUrl& browserURL, const QString& statusText) {
    openInBrowser(browserURL);
    setUpdateStatusText(statusText);
    setInstallingUpdate(false);
    emit installFinished();
}

// "VelmoUpdate-<product id>-<seconds>-<six random characters>", as continueInstall makes them;
// other products' folders, and this product's with another shape, are not ours to remove.
bool VelmoUpdateStore::isStaleWorkFolderName(const std::string& name) const {
    // A day covers the longest download and unpack; a younger folder may be another
    // instance's install still under way.
    constexpr std::int64_t staleAfterSeconds = 24 * 3600;
    const std::string prefix = "VelmoUpdate-" + productId_.toStdString() + "-";
    if (!name.starts_with(prefix))
        return false;
    const std::string_view rest = std::string_view(name).substr(prefix.size());
    const size_t dash = rest.find('-');
    const std::string_view seconds = rest.substr(0, dash);
    if (dash == std::string_view::npos || seconds.empty() || seconds.size() > 18 ||
        seconds.find_first_not_of("0123456789") != std::string_view::npos ||
        rest.size() - dash - 1 != 6)
        return false;
    const std::int64_t made = std::stoll(std::string(seconds));
    return made < QDateTime::currentSecsSinceEpoch() - staleAfterSeconds;
}

} // namespace velmo
