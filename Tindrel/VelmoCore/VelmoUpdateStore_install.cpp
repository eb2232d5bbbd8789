#include "Tindrel/VelmoCore/VelmoUpdateStore.h"

#include "Tindrel/VelmoCore/VelmoBundleArchive.h"
#include "Tindrel/VelmoCore/VelmoBundleSwap.h"
#include "Tindrel/VelmoCore/VelmoReleaseTransport.h"
#include "Tindrel/VelmoCore/VelmoWorkFolderMark.h"

#include <QDateTime>
#include <QThread>
#include <QUrl>

#include <memory>

namespace velmo {

namespace {

const QString openedDownload = QStringLiteral("Opened download in browser.");
const QString openedDownloadPage = QStringLiteral("Opened download page in browser.");
const QString openedInstallerDownload = QStringLiteral("Opened installer download in browser.");
const QString unpackFailed = QStringLiteral("Update failed: the update could not be unpacked");

bool isArchiveAddress(const QString& address) {
    return address.contains(QStringLiteral(".zip")) ||
           address.contains(QStringLiteral("platform="));
}

} // namespace

void VelmoUpdateStore::downloadAndInstallUpdate() {
    // One install at a time: a second would race the first for the same program folder.
    if (installingUpdate_)
        return;
    dismissUpdateFailure();
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
    // Locked until the unpack has removed it: a check meanwhile leaves it alone.
    std::optional<VelmoBundleArchive::LockedFolder> made =
        VelmoBundleArchive::makeWorkFolder(environment_.temporaryDirectory,
                                           "VelmoUpdate-" + productId_.toStdString() + "-" +
                                               std::to_string(QDateTime::currentSecsSinceEpoch()),
                                           productId_.toStdString());
    if (!made) {
        endInstall(downloadURL, openedDownload);
        return;
    }
    auto workFolder = std::make_shared<VelmoBundleArchive::LockedFolder>(std::move(*made));
    const VelmoUpdateLimits& limits = environment_.limits;
    const VelmoReleaseTransport::Bounds bounds{limits.downloadBytes, limits.downloadBaseTime,
                                               limits.downloadTimePerMiB};
    transport_->download(
        downloadURL, bounds, workFolder->path / "download.zip",
        [this, downloadURL, workFolder](const VelmoReleaseTransport::Response& response) {
            if (response.answered && response.statusCode == 200) {
                unpackAndStage(workFolder, downloadURL);
                return;
            }
            VelmoWorkFolderMark::removeFolder(workFolder->path);
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
// Whatever goes wrong there (memory, the file system) ends the install; nothing is thrown out
// of the thread.
void VelmoUpdateStore::unpackAndStage(
    const std::shared_ptr<VelmoBundleArchive::LockedFolder>& workFolder, const QUrl& downloadURL) {
    struct Outcome {
        bool foundBundle = false;
        bool failed = false;
        std::optional<VelmoBundleSwap> staged;
    };
    auto outcome = std::make_shared<Outcome>();
    unpackThread_ = QThread::create([workFolder, outcome, limits = environment_.limits,
                                     bundle = *environment_.bundleLocation,
                                     tool = environment_.relaunchTool,
                                     program = productId_.toStdString(), stop = &stopUnpacking_] {
        const std::filesystem::path unpacked = workFolder->path / "unpacked";
        std::error_code error;
        try {
            std::filesystem::create_directory(unpacked, error);
            if (!error && VelmoBundleArchive::unpack(workFolder->path / "download.zip", unpacked,
                                                     limits, *stop)) {
                const std::optional<std::filesystem::path> newBundle =
                    VelmoBundleArchive::findBundle(unpacked, program);
                outcome->foundBundle = newBundle.has_value();
                if (newBundle && tool && !*stop)
                    outcome->staged = VelmoBundleSwap::stage(*newBundle, bundle, *tool, program);
            }
        } catch (...) {
            outcome->failed = true;
            outcome->staged.reset();
        }
        // Stopped by a quit, the rest waits for the next check: the folder keeps its mark.
        VelmoWorkFolderMark::removeFolder(workFolder->path, stop);
    });
    connect(unpackThread_, &QThread::finished, this, [this, downloadURL, workFolder, outcome] {
        // finished() comes just before the thread's end: wait for that before deleting it.
        unpackThread_->wait();
        delete unpackThread_;
        unpackThread_ = nullptr;
        if (outcome->failed) {
            setUpdateStatusText(unpackFailed);
            setInstallingUpdate(false);
            emit installFinished();
            return;
        }
        if (!outcome->foundBundle) {
            endInstall(downloadURL, openedInstallerDownload);
            return;
        }
        setUpdateStatusText(QStringLiteral("Installing v") +
                            availableVersion_.value_or(QStringLiteral("latest")) +
                            QStringLiteral(" & relaunching..."));
        const std::string expectedVersion =
            availableVersionIsSimulated_ ? std::string()
                                         : availableVersion_.value_or(QString()).toStdString();
        if (!outcome->staged ||
            !outcome->staged->startRelaunch(environment_.runningProcessId, productId_.toStdString(),
                                            expectedVersion, environment_.limits.relaunchReportTime,
                                            environment_.relaunchEnvironment)) {
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
bool VelmoUpdateStore::isOwnWorkFolderName(const std::string& name) const {
    const std::string prefix = "VelmoUpdate-" + productId_.toStdString() + "-";
    if (!name.starts_with(prefix))
        return false;
    const std::string_view rest = std::string_view(name).substr(prefix.size());
    const size_t dash = rest.find('-');
    const std::string_view seconds = rest.substr(0, dash);
    return dash != std::string_view::npos && !seconds.empty() && seconds.size() <= 18 &&
           seconds.find_first_not_of("0123456789") == std::string_view::npos &&
           rest.size() - dash - 1 == 6;
}

void VelmoUpdateStore::removeLeftovers() const {
    const std::string product = productId_.toStdString();
    VelmoBundleArchive::removeWorkFolders(
        environment_.temporaryDirectory, product,
        [this](const std::string& name) { return isOwnWorkFolderName(name); });
    if (environment_.bundleLocation)
        VelmoBundleSwap::removeLeftovers(*environment_.bundleLocation, product);
}

} // namespace velmo
