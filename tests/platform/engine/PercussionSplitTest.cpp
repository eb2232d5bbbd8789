// The beats path's split finds the hits over silence, under a held tone and in a dense mix,
// takes the hits whole and leaves a held tone where it is.

#include "tests/platform/engine/BeatsSoundMeasures.h"
#include "tests/platform/engine/EngineTestRig.h"
#include "tests/platform/engine/WarpSoundMeasures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace tindrel::test {
namespace {

double energyDb(const std::vector<float>& x) {
    double sum = 0;
    for (float v : x) {
        sum += static_cast<double>(v) * v;
    }
    return 10 * std::log10(std::max(sum, 1e-30));
}

TEST(PercussionSplit, FindsHitsAndKeepsHeldSoundApart) {
    struct Case {
        const char* name;
        Signal signal;
        size_t fewestHits;
        size_t mostHits;
        bool tone;  // a 1 kHz tone to find in the held part, not in the hits
        bool drums; // only drums: nothing to hold
    };
    const Case cases[] = {
        {"held tone", sineSignal(1000, 0.5, 3.0), 0, 0, true, false},
        {"clicks over silence", clickTrainSignal(3.0), 11, 11, false, true},
        {"hits over a held tone", toneUnderHitsSignal(3.0), 11, 11, true, false},
        {"dense mix", drumMixSignal(10.0), 39, 41, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const SplitParts parts = splitAsBeatsDoes(c.signal);
        EXPECT_GE(parts.hitsFound, c.fewestHits);
        EXPECT_LE(parts.hitsFound, c.mostHits);
        std::vector<float> input(parts.held.size());
        for (size_t k = 0; k < input.size(); ++k) {
            input[k] = c.signal.at(static_cast<int64_t>(k), 0);
        }
        if (c.fewestHits == 0) {
            EXPECT_EQ(energyDb(parts.hits), -300);
            for (size_t k = 0; k < input.size(); ++k) {
                ASSERT_NEAR(parts.held[k], input[k], 1e-5) << "frame " << k;
            }
        }
        if (c.tone) {
            const double held = tonePower(parts.held, 1000, c.signal.sampleRate);
            EXPECT_NEAR(10 * std::log10(held / tonePower(input, 1000, c.signal.sampleRate)), 0,
                        0.1);
            EXPECT_LE(10 * std::log10(tonePower(parts.hits, 1000, c.signal.sampleRate) / held),
                      -40);
        }
        if (c.drums) {
            EXPECT_LE(energyDb(parts.held) - energyDb(input), -100);
        }
    }
}

} // namespace
} // namespace tindrel::test
