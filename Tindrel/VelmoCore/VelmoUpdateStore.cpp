#include "Tindrel/VelmoCore/VelmoUpdateStore.h"

#include "Tindrel/VelmoCore/VelmoReleaseTransport.h"

#include <QThread>
#include <QTimer>

namespace velmo {

namespace {

const QString fallbackVersion = QStringLiteral("0.9.0");
const QString simulatedVersion = QStringLiteral("0.9.9");

QString resolvedVersion(const std::optional<QString>& given, const QString& bundleVersion) {
    if (given)
        return *given;
    return bundleVersion.isEmpty() ? fallbackVersion : bundleVersion;
}

} // namespace

VelmoUpdateStore::VelmoUpdateStore(const QString& productId, const QString& productName,
                                   const std::optional<QString>& currentVersion,
                                   VelmoUpdateEnvironment environment, QObject* parent)
    : QObject(parent), productId_(productId), productName_(productName),
      currentVersion_(resolvedVersion(currentVersion, environment.bundleShortVersion)),
      environment_(std::move(environment)),
      transport_(new VelmoReleaseTransport(environment_, this)) {
    // Left by the relaunch of an update that was rolled back: the user learns why.
    const auto failure =
        environment_.environmentVariables.find(QStringLiteral("VELMO_UPDATE_FAILED"));
    if (failure != environment_.environmentVariables.end() && !failure->second.isEmpty()) {
        updateFailureText_ = QStringLiteral("Update failed: ") + failure->second;
        setUpdateStatusText(updateFailureText_);
    }
    startAutomaticUpdateChecks();
}

VelmoUpdateStore::~VelmoUpdateStore() {
    if (!unpackThread_)
        return;
    stopUnpacking_ = true;
    unpackThread_->wait();
    delete unpackThread_;
}

QString VelmoUpdateStore::productDownloadPage() const {
    return environment_.releaseHost + QLatin1Char('/') + productId_ + QStringLiteral("#downloads");
}

bool VelmoUpdateStore::simulateSwitchIsOn() const {
    const auto variable =
        environment_.environmentVariables.find(QStringLiteral("VELMO_SIMULATE_OUT_OF_DATE"));
    if (variable != environment_.environmentVariables.end() &&
        variable->second == QLatin1String("1"))
        return true;
    return environment_.arguments.contains(QStringLiteral("--simulate-out-of-date"));
}

void VelmoUpdateStore::startAutomaticUpdateChecks() {
    if (simulateSwitchIsOn()) {
        setOutOfDate(true);
        setAvailableVersion(simulatedVersion);
        availableVersionIsSimulated_ = true;
        setUpdateNotes(QStringLiteral("This release is simulated to try out the update path."));
        setUpdateDownloadURL(environment_.releaseHost + QStringLiteral("/api/download?platform=") +
                             productId_ + QStringLiteral("-zip"));
        setUpdateStatusText(QStringLiteral("Out of date (v") + currentVersion_ +
                            QStringLiteral(" -> v") + simulatedVersion +
                            QStringLiteral(" available)"));
        return;
    }
    // The first check runs once the work that is building the store has finished.
    QTimer::singleShot(0, this, [this] { checkForUpdates(true); });
    delete updateTimer_;
    updateTimer_ = new QTimer(this);
    updateTimer_->setInterval(automaticCheckIntervalSeconds * 1000);
    connect(updateTimer_, &QTimer::timeout, this, [this] { checkForUpdates(true); });
    updateTimer_->start();
}

void VelmoUpdateStore::dismissUpdateFailure() {
    if (updateFailureText_.isEmpty())
        return;
    updateFailureText_.clear();
    emit changed();
}

void VelmoUpdateStore::setCheckStatusText(const QString& value, bool silent) {
    if (!silent || updateFailureText_.isEmpty())
        setUpdateStatusText(value);
}

void VelmoUpdateStore::openInBrowser(const QUrl& url) const {
    // A manifest may name any scheme; only web pages go to the browser.
    if (url.scheme() != QLatin1String("https") && url.scheme() != QLatin1String("http"))
        return;
    if (environment_.openInBrowser)
        environment_.openInBrowser(url);
}

template <typename Value> void VelmoUpdateStore::publish(Value& field, const Value& value) {
    if (field == value)
        return;
    field = value;
    emit changed();
}

void VelmoUpdateStore::setOutOfDate(bool value) {
    publish(isOutOfDate_, value);
}

void VelmoUpdateStore::setAvailableVersion(const std::optional<QString>& value) {
    publish(availableVersion_, value);
}

void VelmoUpdateStore::setUpdateNotes(const QString& value) {
    publish(updateNotes_, value);
}

void VelmoUpdateStore::setUpdateDownloadURL(const QString& value) {
    publish(updateDownloadURL_, value);
}

void VelmoUpdateStore::setInstallingUpdate(bool value) {
    publish(installingUpdate_, value);
}

void VelmoUpdateStore::setUpdateStatusText(const QString& value) {
    publish(updateStatusText_, value);
}

} // namespace velmo
