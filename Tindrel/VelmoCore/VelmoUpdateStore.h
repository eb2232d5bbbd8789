#pragma once

// The observable state of the self-update component: which product it updates, which version
// runs, which newer release is known, whether checks or an install are running, the last status
// message, and the six-hourly automatic checks (or, under the simulate switch, a fixed
// out-of-date state and no network at all). Views read the fields and redraw on changed();
// they change the store only through checkForUpdates() and downloadAndInstallUpdate().
//
// GUI thread only. Network calls are asynchronous and report back on the GUI thread; an
// install unpacks and stages on a thread of its own, which the store stops and waits for when
// it is destroyed. Every install holds its work folder locked and removes it whatever its
// outcome (a quit stops that removal at once); each check removes the work and staging folders
// that carry this product's mark and that no install holds (left by one that was stopped). After an
// update was rolled back, the failure stays in the status text and the banner until the user's next
// action there: silent checks keep it. The store owns its transport and timer; the environment's
// callbacks must outlive it.

#include "Tindrel/VelmoCore/VelmoBundleArchive.h"
#include "Tindrel/VelmoCore/VelmoProductReleaseInfo.h"
#include "Tindrel/VelmoCore/VelmoUpdateEnvironment.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <filesystem>
#include <memory>
#include <optional>

class QThread;
class QTimer;
class QUrl;

namespace velmo {

class VelmoReleaseTransport;

class VelmoUpdateStore : public QObject {
    Q_OBJECT
public:
    VelmoUpdateStore(const QString& productId, const QString& productName,
                     const std::optional<QString>& currentVersion,
                     VelmoUpdateEnvironment environment = VelmoUpdateEnvironment::forProcess(),
                     QObject* parent = nullptr);
    ~VelmoUpdateStore() override;

    static constexpr int automaticCheckIntervalSeconds = 21600;

    const QString& productId() const { return productId_; }
    const QString& productName() const { return productName_; }
    const QString& currentVersion() const { return currentVersion_; }
    bool isOutOfDate() const { return isOutOfDate_; }
    const std::optional<QString>& availableVersion() const { return availableVersion_; }
    const QString& updateNotes() const { return updateNotes_; }
    const QString& updateDownloadURL() const { return updateDownloadURL_; }
    // True while at least one check runs; overlapping checks are counted.
    bool checkingForUpdates() const { return runningChecks_ > 0; }
    bool installingUpdate() const { return installingUpdate_; }
    const QString& updateStatusText() const { return updateStatusText_; }
    // "Update failed: <reason>" after a rolled-back update, until dismissed; empty otherwise.
    const QString& updateFailureText() const { return updateFailureText_; }
    // The user acted on the update row: a failure shown until now is taken as seen.
    void dismissUpdateFailure();

    // Asks the versions endpoints in turn and applies the first record found for the product.
    // `silent` keeps the start message and the message after finding nothing off the status.
    void checkForUpdates(bool silent = false);
    // Downloads, unpacks and swaps in the known release, then asks the application to end;
    // where a step cannot go on, the download goes to the web browser instead.
    void downloadAndInstallUpdate();

    // True when `candidate` names a higher dotted version than `reference`.
    static bool isVersionNewer(const QString& candidate, const QString& reference);

    // The product download page on the release host ("#downloads" fragment).
    QString productDownloadPage() const;
    // Shows `url` in the web browser when it is an http or https address; anything else a
    // manifest may name is ignored.
    void openInBrowser(const QUrl& url) const;

signals:
    void changed();
    void checkFinished();
    void installFinished();

private:
    void startAutomaticUpdateChecks();
    bool simulateSwitchIsOn() const;
    void askEndpoint(int index, bool silent);
    void finishCheck(bool foundRecord, bool silent);
    void applyRemoteReleaseInfo(const VelmoProductReleaseInfo& release, bool silent);

    void continueInstall(const QUrl& downloadURL);
    void unpackAndStage(const std::shared_ptr<VelmoBundleArchive::LockedFolder>& workFolder,
                        const QUrl& downloadURL);
    void endInstall(const QUrl& browserURL, const QString& statusText);
    bool isOwnWorkFolderName(const std::string& name) const;
    void removeLeftovers() const;
    // A silent check's texts give way to a failure the user has not seen yet.
    void setCheckStatusText(const QString& value, bool silent);

    // Stores a published field and announces the change, when there is one.
    template <typename Value> void publish(Value& field, const Value& value);
    void setOutOfDate(bool value);
    void setAvailableVersion(const std::optional<QString>& value);
    void setUpdateNotes(const QString& value);
    void setUpdateDownloadURL(const QString& value);
    void setInstallingUpdate(bool value);
    void setUpdateStatusText(const QString& value);

    const QString productId_;
    const QString productName_;
    const QString currentVersion_;
    bool isOutOfDate_ = false;
    std::optional<QString> availableVersion_;
    QString updateNotes_;
    QString updateDownloadURL_;
    int runningChecks_ = 0;
    bool installingUpdate_ = false;
    QString updateStatusText_;
    QString updateFailureText_;
    QTimer* updateTimer_ = nullptr;
    // The simulate switch's version stands for no real release: the new program may print any.
    bool availableVersionIsSimulated_ = false;
    QThread* unpackThread_ = nullptr;
    std::atomic<bool> stopUnpacking_{false};

    VelmoUpdateEnvironment environment_;
    VelmoReleaseTransport* transport_;
};

} // namespace velmo
