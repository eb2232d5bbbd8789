#pragma once

// A private TindrelStore for canvas tests: a ManualOutput instead of the sound card, a
// manual UI ticker and analysis executor, settings and home in a temporary folder, and a
// generated ten-second tone loaded without playing.

#include "Tindrel/store/TindrelStore.h"
#include "tests/support/TemporaryFolder.h"

#include <memory>

namespace tindrel::test {

class CanvasTestStore {
public:
    CanvasTestStore();

    TindrelStore& store() { return *store_; }
    ManualUiTicker& ticker() { return *ticker_; }
    // Writes and loads a stereo sine of `seconds` seconds, paused at 0.
    void loadTone(double seconds = 10.0);
    // Replaces the record's transient times, keeping the rest.
    void setTransients(std::vector<double> times);

private:
    TemporaryFolder folder_;
    ManualUiTicker* ticker_ = nullptr;
    std::unique_ptr<TindrelStore> store_;
};

} // namespace tindrel::test
