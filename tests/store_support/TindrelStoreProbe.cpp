#include "tests/store_support/TindrelStoreProbe.h"

#include "Tindrel/platform/audio/engine/AudioPlayerNode.h"
#include "Tindrel/platform/audio/engine/TimePitchUnit.h"

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

} // namespace tindrel
