#include "Tindrel/store/TimePitchSettings.h"

#include <gtest/gtest.h>

namespace tindrel {

TEST(WarpMode, TimePitchSettingsPerMode) {
    struct Case {
        WarpMode mode;
        float rate, semitones;
        TimePitchSettings expected;
    };
    const Case cases[] = {
        {WarpMode::musical, 1.5f, 2.0f, {12.0f, 1.5f, 200.0f}},
        {WarpMode::beats, 1.25f, -3.0f, {3.5f, 1.25f, -300.0f}},
        // Tape ignores the semitones: the pitch follows the rate.
        {WarpMode::tape, 0.5f, 7.0f, {8.0f, 0.5f, -1200.0f}},
        {WarpMode::tape, 2.0f, 0.0f, {8.0f, 2.0f, 1200.0f}},
        {WarpMode::tape, 4.0f, 0.0f, {8.0f, 4.0f, 2400.0f}},
    };
    for (const Case& c : cases) {
        const TimePitchSettings got = warpedTimePitchSettings(c.mode, c.rate, c.semitones);
        EXPECT_FLOAT_EQ(got.overlap, c.expected.overlap);
        EXPECT_FLOAT_EQ(got.rate, c.expected.rate);
        EXPECT_NEAR(got.pitchCents, c.expected.pitchCents, 1e-3);
    }
}

} // namespace tindrel
