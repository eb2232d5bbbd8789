// Decodes and exports hold the main thread; the shell keeps the windows painted and input
// handled meanwhile through keepResponsiveDuringWork, and the gate keeps every store operation
// that this runs out of the work until it is over.

#include "Tindrel/store/TindrelStore.h"

#include "Tindrel/platform/audio/WorkHeartbeat.h"
#include "Tindrel/platform/text/LocaleFreeNumber.h"

#include <QMetaObject>
#include <QThread>

#include <algorithm>
#include <cmath>

namespace tindrel {

namespace {

// Work that ends sooner is over before a status line about it could be read.
constexpr std::chrono::milliseconds progressShownAfter{500};

} // namespace

TindrelStore::SynchronousWorkScope::SynchronousWorkScope(TindrelStore& store, QString activity,
                                                         QString name)
    : store_(store), activity_(std::move(activity)), name_(std::move(name)),
      bannerBefore_(store.statusBanner.get()),
      heartbeat_(std::make_unique<platform::WorkHeartbeat>([this] { return beat(); })) {
    ++store_.synchronousWorkDepth_;
}

TindrelStore::SynchronousWorkScope::~SynchronousWorkScope() {
    --store_.synchronousWorkDepth_;
    // Work that was stopped, or ended without a word of its own, leaves no trace of itself.
    if (!shownProgress_.isEmpty() && store_.statusBanner.get() == shownProgress_)
        store_.statusBanner = bannerBefore_;
}

bool TindrelStore::SynchronousWorkScope::beat() {
    if (store_.shutDown_ || store_.workStopRequested_)
        return false;
    if (std::chrono::steady_clock::now() - began_ >= progressShownAfter)
        showProgress();
    const bool keepGoing = !store_.keepResponsiveDuringWork || store_.keepResponsiveDuringWork();
    // A way out taken in the caller's turn.
    return keepGoing && !store_.shutDown_ && !store_.workStopRequested_;
}

void TindrelStore::SynchronousWorkScope::showProgress() {
    QString text = activity_ + QLatin1Char(' ') + name_ + QChar(0x2026);
    if (const std::optional<double> done = heartbeat_->progress())
        text += QString::fromStdString(
            formatNumber(" %d %%", static_cast<int>(std::floor(*done * 100.0))));
    if (text == shownProgress_)
        return;
    shownProgress_ = text;
    store_.statusBanner = text;
}

TindrelStore::LongOperation::LongOperation(TindrelStore& store) : store_(store) {
    ++store_.longOperationDepth_;
}

TindrelStore::LongOperation::~LongOperation() {
    if (--store_.longOperationDepth_ > 0)
        return;
    store_.workStopRequested_ = false;
    store_.settleAfterLongOperation();
}

void TindrelStore::shutGate() {
    shutDown_ = true;
    held_.clear();
    heldLoadTarget_.reset();
}

bool TindrelStore::isGateOpen() const {
    return synchronousWorkDepth_ == 0 && !settling_ && !shutDown_;
}

void TindrelStore::holdAtGate(const void* kind, std::function<void()> call, Held held) {
    if (shutDown_)
        return;
    if (held == Held::replacingEarlier)
        held_.erase(
            std::remove_if(held_.begin(), held_.end(),
                           [kind](const HeldCall& earlier) { return earlier.kind == kind; }),
            held_.end());
    held_.push_back({kind, std::move(call)});
}

void TindrelStore::settleAfterLongOperation() {
    // A caller that drives the store outside an event loop has nothing queued up behind it.
    if (shutDown_ || (held_.empty() && QThread::currentThread()->loopLevel() == 0))
        return;
    settling_ = true;
    if (std::exchange(releasePosted_, true))
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            releasePosted_ = false;
            settling_ = false;
            releaseGate();
        },
        Qt::QueuedConnection);
}

void TindrelStore::releaseGate() {
    // A released call that shuts the gate again (a load) holds the ones after it anew.
    for (HeldCall& held : std::exchange(held_, {}))
        held.call();
}

} // namespace tindrel
