// Decodes and exports hold the main thread; the shell keeps the windows painted meanwhile
// through keepResponsiveDuringWork, and the store keeps its own timer and deliveries out of it.

#include "Tindrel/store/TindrelStore.h"

#include "Tindrel/platform/audio/WorkHeartbeat.h"

namespace tindrel {

TindrelStore::SynchronousWorkScope::SynchronousWorkScope(TindrelStore& store)
    : store_(store),
      heartbeat_(store.keepResponsiveDuringWork
                     ? std::make_unique<platform::WorkHeartbeat>(store.keepResponsiveDuringWork)
                     : std::make_unique<platform::WorkHeartbeat>()) {
    ++store_.synchronousWorkDepth_;
}

TindrelStore::SynchronousWorkScope::~SynchronousWorkScope() {
    if (--store_.synchronousWorkDepth_ > 0)
        return;
    // After the operation that ran the work has returned, in the order they arrived.
    TindrelStore* store = &store_;
    for (auto& deliver : std::exchange(store_.deliveriesAfterSynchronousWork_, {}))
        QMetaObject::invokeMethod(store, std::move(deliver), Qt::QueuedConnection);
}

void TindrelStore::deliverOutsideSynchronousWork(std::function<void()> deliver) {
    if (isInSynchronousWork())
        deliveriesAfterSynchronousWork_.push_back(std::move(deliver));
    else
        deliver();
}

bool TindrelStore::putOffDuringSynchronousWork(std::function<void()> operation) {
    if (!isInSynchronousWork())
        return false;
    deliveriesAfterSynchronousWork_.push_back(std::move(operation));
    return true;
}

} // namespace tindrel
