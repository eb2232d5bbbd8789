#include "Tindrel/store/FrameMath.h"
#include "Tindrel/platform/audio/AudioPcmBuffer.h"
#include "Tindrel/store/OutputMeterLevels.h"
#include "Tindrel/store/StandardizedPath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tindrel {

TEST(FrameMath, NonFiniteAndHugeTimesGiveDefinedFrames) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    constexpr int64_t max = std::numeric_limits<int64_t>::max();
    constexpr int64_t min = std::numeric_limits<int64_t>::min();
    const std::tuple<double, double, int64_t> cases[] = {
        {1.5, 44100, 66150}, {-0.00001, 44100, 0}, {2.99999, 1, 2},     {std::nan(""), 44100, 0},
        {inf, 44100, max},   {-inf, 44100, min},   {1e300, 48000, max},
    };
    for (const auto& [seconds, rate, frames] : cases)
        EXPECT_EQ(framesForSeconds(seconds, rate), frames) << seconds;
}

TEST(StandardizedPath, ResolvesDotsAndTrailingSeparators) {
    EXPECT_EQ(standardizedPath("/a/b/../c/./d/"), "/a/c/d");
    EXPECT_EQ(standardizedPath("/"), "/");
    EXPECT_TRUE(standardizedPath("relative/x").is_absolute());
}

TEST(OutputMeterLevels, LevelsOfOneTapBlock) {
    struct Case {
        uint32_t channels;
        int64_t frames;
        float left, right; // sample values
        float expectedLeft, expectedRight;
    };
    const Case cases[] = {
        {2, 1024, 0.0f, 0.0f, -60.0f, -60.0f}, // silence rests on the floor, not at -100
        {2, 1024, 0.5f, -0.5f, -6.0206f, -6.0206f},
        {2, 1024, 2.0f, 1.0f, 6.0206f, 0.0f},           // beyond full scale is not limited
        {1, 100, 0.25f, 0.0f, -12.0412f, -12.0412f},    // mono shows on both meters
        {2, 4800, 0.1f, std::nanf(""), -20.0f, -60.0f}, // a NaN sample counts as silence
    };
    for (const Case& c : cases) {
        platform::AudioPcmBuffer buffer(c.channels, c.frames);
        buffer.setFrameLength(c.frames);
        for (int64_t i = 0; i < c.frames; ++i) {
            buffer.channelData(0)[i] = c.left;
            if (c.channels > 1)
                buffer.channelData(1)[i] = c.right;
        }
        const std::optional<OutputMeterLevels> levels = measureOutputMeterLevels(buffer);
        ASSERT_TRUE(levels);
        EXPECT_NEAR(levels->leftDB, c.expectedLeft, 0.01);
        EXPECT_NEAR(levels->rightDB, c.expectedRight, 0.01);
    }
    platform::AudioPcmBuffer empty(2, 1024);
    EXPECT_FALSE(measureOutputMeterLevels(empty));
}

TEST(OutputMeterLevels, ReadsEveryStepthFrameOnly) {
    // A 1024-frame block is read at frames 0, 8, ..., 1016: loud samples elsewhere are unseen.
    platform::AudioPcmBuffer buffer(1, 1024);
    buffer.setFrameLength(1024);
    for (int64_t i = 0; i < 1024; ++i)
        buffer.channelData(0)[i] = i % 8 == 0 ? 0.0f : 1.0f;
    EXPECT_FLOAT_EQ(measureOutputMeterLevels(buffer)->leftDB, -60.0f);
}

} // namespace tindrel
