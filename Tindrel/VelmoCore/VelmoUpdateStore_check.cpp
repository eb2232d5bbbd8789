#include "Tindrel/VelmoCore/VelmoUpdateStore.h"

#include "Tindrel/VelmoCore/VelmoBundleArchive.h"
#include "Tindrel/VelmoCore/VelmoReleaseTransport.h"
#include "Tindrel/VelmoCore/VelmoVersionNumbers.h"
#include "Tindrel/VelmoCore/VelmoVersionsManifest.h"

#include <QUrl>

#include <array>

namespace velmo {

namespace {

const std::array<QString, 2> versionsEndpointPaths{QStringLiteral("/releases/versions.json"),
                                                   QStringLiteral("/api/releases/versions")};

// The version rule reads bytes; the characters it looks at are all ASCII.
QString trimmedVersion(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    const std::string_view kept =
        VelmoVersionNumbers::trimmed(std::string_view(bytes.constData(), bytes.size()));
    return QString::fromUtf8(kept.data(), static_cast<qsizetype>(kept.size()));
}

} // namespace

bool VelmoUpdateStore::isVersionNewer(const QString& candidate, const QString& reference) {
    return VelmoVersionNumbers::isNewer(candidate.toStdString(), reference.toStdString());
}

void VelmoUpdateStore::checkForUpdates(bool silent) {
    if (!silent)
        dismissUpdateFailure();
    ++runningChecks_;
    emit changed();
    if (!installingUpdate_)
        removeLeftovers();
    if (!silent)
        setUpdateStatusText(QStringLiteral("Checking for ") + productName_ +
                            QStringLiteral(" updates..."));
    askEndpoint(0, silent);
}

void VelmoUpdateStore::askEndpoint(int index, bool silent) {
    if (index >= static_cast<int>(versionsEndpointPaths.size())) {
        finishCheck(false, silent);
        return;
    }
    const QUrl url(environment_.releaseHost + versionsEndpointPaths[index], QUrl::StrictMode);
    if (!url.isValid()) {
        askEndpoint(index + 1, silent);
        return;
    }
    const VelmoReleaseTransport::Bounds bounds{environment_.limits.manifestBytes,
                                               environment_.limits.manifestTime};
    transport_->get(url, bounds,
                    [this, index, silent](const VelmoReleaseTransport::Response& response) {
                        if (!response.answered || response.statusCode != 200) {
                            askEndpoint(index + 1, silent);
                            return;
                        }
                        const std::optional<VelmoVersionsManifest> manifest =
                            VelmoVersionsManifest::decode(response.body);
                        if (!manifest || !manifest->products.contains(productId_)) {
                            askEndpoint(index + 1, silent);
                            return;
                        }
                        const auto record = manifest->products.find(productId_);
                        applyRemoteReleaseInfo(record->second, silent);
                        finishCheck(true, silent);
                    });
}

void VelmoUpdateStore::finishCheck(bool foundRecord, bool silent) {
    // Nothing usable came back: a user who asked is told so rather than "up to date".
    if (!foundRecord && !silent)
        setUpdateStatusText(QStringLiteral("Could not check for updates (v") + currentVersion_ +
                            QLatin1Char(')'));
    --runningChecks_;
    emit changed();
    emit checkFinished();
}

void VelmoUpdateStore::applyRemoteReleaseInfo(const VelmoProductReleaseInfo& release, bool silent) {
    const QString remoteVersion = trimmedVersion(release.version);
    if (isVersionNewer(remoteVersion, currentVersion_)) {
        setOutOfDate(true);
        setAvailableVersion(remoteVersion);
        availableVersionIsSimulated_ = false;
        setUpdateNotes(release.notes);
        setUpdateDownloadURL(release.downloadURL);
        setCheckStatusText(QStringLiteral("Out of date: v") + remoteVersion +
                               QStringLiteral(" available (you have v") + currentVersion_ +
                               QLatin1Char(')'),
                           silent);
        return;
    }
    setOutOfDate(false);
    setAvailableVersion(std::nullopt);
    setCheckStatusText(QStringLiteral("Up to date (v") + currentVersion_ + QLatin1Char(')'),
                       silent);
}

} // namespace velmo
