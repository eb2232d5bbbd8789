#pragma once

// A shown WaveformScrubberCanvas of the given size over a private store (see StoreTestRig).

#include "Tindrel/canvas/WaveformScrubberCanvas.h"
#include "tests/store_support/StoreTestRig.h"

#include <gtest/gtest.h>

#include <memory>

namespace tindrel::test {

class ScrubberCanvasFixture : public testing::Test {
protected:
    ScrubberCanvasFixture(int width, int height)
        : canvas(std::make_unique<WaveformScrubberCanvas>(rig.store())) {
        canvas->resize(width, height);
        canvas->show();
    }

    TindrelStore& store() { return rig.store(); }
    // Loads a generated tone of `seconds`, paused at 0.
    void loadTone(double seconds = 10.0) { rig.loadTone("tone.wav", seconds, false); }

    StoreTestRig rig;
    std::unique_ptr<WaveformScrubberCanvas> canvas;
};

} // namespace tindrel::test
