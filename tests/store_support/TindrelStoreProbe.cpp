#include "tests/store_support/TindrelStoreProbe.h"

#include "Tindrel/platform/audio/engine/AudioPlayerNode.h"
#include "Tindrel/platform/audio/engine/TimePitchUnit.h"

#include <chrono>
#include <thread>

namespace tindrel {

TimePitchSettings TindrelStoreProbe::timePitch(const TindrelStore& store) {
    return {store.timePitchNode().overlap(), store.timePitchNode().rate(),
            store.timePitchNode().pitch()};
}

float TindrelStoreProbe::playerVolume(const TindrelStore& store) {
    return store.playerNode().volume();
}

int64_t TindrelStoreProbe::scheduledStartFrame(const TindrelStore& store) {
    return store.scheduledStartFrame_;
}

void TindrelStoreProbe::receiveMeterLevels(TindrelStore& store, float leftDB, float rightDB) {
    store.receiveMeterLevels(leftDB, rightDB);
}

bool TindrelStoreProbe::waitForRenderAhead(const TindrelStore& store) {
    // Not a sleep for timing: the wait ends when the worker has nothing left to do; the
    // deadline only keeps a broken engine from hanging the test.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!store.engine().renderAheadSettled()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::yield();
    }
    return true;
}

} // namespace tindrel
