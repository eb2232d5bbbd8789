#include "Tindrel/analysis/TruePeakOversampler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

using namespace tindrel;

// The block path must give the very figures of the sample-by-sample one, whatever the block
// sizes, the samples left out at the front and the restarts in between.
TEST(TruePeakOversampler, BlocksMatchSampleBySampleBitForBit) {
    std::mt19937 random(11);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    struct Case {
        const char* name;
        std::vector<int64_t> blockSizes;
        int64_t from; // of each block
        bool restart; // before each block
    } cases[] = {
        {"one long block", {5000}, 0, false},
        {"odd sizes across the inner span", {1, 7, 255, 256, 257, 600, 9}, 0, false},
        {"leads left out", {300, 1200, 40}, 25, false},
        {"restarted, with leads shorter than the taps", {100, 3, 700, 20}, 5, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TruePeakOversampler one, block;
        for (const int64_t size : c.blockSizes) {
            std::vector<float> samples(static_cast<size_t>(size));
            for (float& s : samples)
                s = noise(random) * noise(random);
            if (c.restart) {
                one.restart();
                block.restart();
            }
            float expected = 0;
            for (int64_t i = 0; i < size; ++i) {
                const float peak = one.process(samples[size_t(i)]);
                if (i >= c.from)
                    expected = std::max(expected, peak);
            }
            EXPECT_EQ(block.processBlock(samples.data(), size, c.from), expected) << size;
        }
        // Both carry the same history on.
        EXPECT_EQ(block.process(0.5f), one.process(0.5f));
    }
}
