#pragma once

// Test access to the engine side of a TindrelStore: what the time-pitch unit was told, the
// player's frame base, and the main-thread end of the meter tap.

#include "Tindrel/store/TimePitchSettings.h"
#include "Tindrel/store/TindrelStore.h"

#include <cstdint>

namespace tindrel {

class TindrelStoreProbe {
public:
    static TimePitchSettings timePitch(const TindrelStore& store);
    static float playerVolume(const TindrelStore& store);
    static int64_t scheduledStartFrame(const TindrelStore& store);
    // As the meter tap's levels arrive on the main thread.
    static void receiveMeterLevels(TindrelStore& store, float leftDB, float rightDB);
    // Waits until the engine's render-ahead worker rests; false after 20 s.
    static bool waitForRenderAhead(const TindrelStore& store);
};

} // namespace tindrel
