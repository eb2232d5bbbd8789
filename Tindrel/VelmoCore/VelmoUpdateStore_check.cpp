#include "Tindrel/VelmoCore/VelmoUpdateStore.h"

#include "Tindrel/VelmoCore/VelmoBundleArchive.h"
#include "Tindrel/VelmoCore/VelmoReleaseTransport.h"
#include "Tindrel/VelmoCore/VelmoVersionsManifest.h"

#include <QUrl>

#include <array>
#include <charconv>
#include <cstdint>
#include <vector>

namespace velmo {

namespace {

const std::array<QString, 2> versionsEndpointPaths{QStringLiteral("/releases/versions.json"),
                                                   QStringLiteral("/api/releases/versions")};

bool isTrimmedFromVersions(QChar c) {
    return c == QLatin1Char('v') || c == QLatin1Char('V') || c == QLatin1Char(' ');
}

QString trimmedVersion(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && isTrimmedFromVersions(text.at(first)))
        ++first;
    while (last > first && isTrimmedFromVersions(text.at(last - 1)))
        --last;
    return text.mid(first, last - first);
}

// One piece reads when it is an optional sign and decimal digits only, within 64 bits.
std::optional<std::int64_t> readPiece(const QString& piece) {
    const std::string text = piece.toStdString();
    std::string_view digits(text);
    bool negative = false;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    // A second sign ("+-1") is no number: from_chars would take the "-" after the "+".
    if (digits.empty() || digits.front() < '0' || digits.front() > '9')
        return std::nullopt;
    const std::string signedDigits = (negative ? "-" : "") + std::string(digits);
    std::int64_t value = 0;
    const auto [end, error] =
        std::from_chars(signedDigits.data(), signedDigits.data() + signedDigits.size(), value);
    if (error != std::errc() || end != signedDigits.data() + signedDigits.size())
        return std::nullopt;
    return value;
}

std::vector<std::int64_t> versionNumbers(const QString& text) {
    std::vector<std::int64_t> numbers;
    for (const QString& piece : trimmedVersion(text).split(QLatin1Char('.'), Qt::SkipEmptyParts))
        if (const std::optional<std::int64_t> number = readPiece(piece))
            numbers.push_back(*number);
    return numbers;
}

} // namespace

bool VelmoUpdateStore::isVersionNewer(const QString& candidate, const QString& reference) {
    const std::vector<std::int64_t> a = versionNumbers(candidate);
    const std::vector<std::int64_t> b = versionNumbers(reference);
    for (size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
        const std::int64_t left = i < a.size() ? a[i] : 0;
        const std::int64_t right = i < b.size() ? b[i] : 0;
        if (left != right)
            return left > right;
    }
    return false;
}

void VelmoUpdateStore::checkForUpdates(bool silent) {
    ++runningChecks_;
    emit changed();
    if (!installingUpdate_)
        VelmoBundleArchive::removeWorkFolders(
            environment_.temporaryDirectory,
            [this](const std::string& name) { return isStaleWorkFolderName(name); });
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

void VelmoUpdateStore::applyRemoteReleaseInfo(const VelmoProductReleaseInfo& release, bool) {
    const QString remoteVersion = trimmedVersion(release.version);
    if (isVersionNewer(remoteVersion, currentVersion_)) {
        setOutOfDate(true);
        setAvailableVersion(remoteVersion);
        availableVersionIsSimulated_ = false;
        setUpdateNotes(release.notes);
        setUpdateDownloadURL(release.downloadURL);
        setUpdateStatusText(QStringLiteral("Out of date: v") + remoteVersion +
                            QStringLiteral(" available (you have v") + currentVersion_ +
                            QLatin1Char(')'));
        return;
    }
    setOutOfDate(false);
    setAvailableVersion(std::nullopt);
    setUpdateStatusText(QStringLiteral("Up to date (v") + currentVersion_ + QLatin1Char(')'));
}

} // namespace velmo
