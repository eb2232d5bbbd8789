#include "Tindrel/analysis/AudioFileSpec.h"
#include "tests/support/ScopedLocale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using tindrel::AudioFileSpec;

TEST(AudioFileSpec, LabelsUseAPointAndTheirThresholdsUnderACommaLocale) {
    tindrel::test::ScopedCommaDecimalLocale comma;
    ASSERT_TRUE(comma.available());
    const std::pair<double, const char*> rates[] = {
        {44100, "44.1 kHz"}, {48000, "48 kHz"},   {96000, "96 kHz"},  {1000, "1 kHz"},
        {22050, "22.1 kHz"}, {11025, "11.0 kHz"}, {999.99, "999 Hz"}, {0, "0 Hz"},
    };
    for (const auto& [rate, label] : rates) {
        AudioFileSpec spec;
        spec.sampleRate = rate;
        EXPECT_EQ(spec.sampleRateLabel(), label) << rate;
    }
    const std::pair<int64_t, const char*> sizes[] = {
        {1048576, "1.00 MB"}, {5242880, "5.00 MB"}, {123456789, "117.74 MB"},
        {1048575, "1024 KB"}, {1536, "2 KB"},       {500, "1 KB"},
        {0, "1 KB"},
    };
    for (const auto& [bytes, label] : sizes) {
        AudioFileSpec spec;
        spec.fileSizeBytes = bytes;
        EXPECT_EQ(spec.fileSizeLabel(), label) << bytes;
    }
    const std::pair<int, const char*> channels[] = {
        {1, "Mono (1 ch)"},
        {2, "Stereo (2 ch)"},
        {6, "6 Channels"},
        {0, "0 Channels"},
    };
    for (const auto& [count, label] : channels) {
        AudioFileSpec spec;
        spec.channels = count;
        EXPECT_EQ(spec.channelLabel(), label) << count;
    }
}

TEST(AudioFileSpec, NonFiniteRateGivesALabelInsteadOfAFault) {
    for (double rate :
         {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
          -std::numeric_limits<double>::infinity()}) {
        AudioFileSpec spec;
        spec.sampleRate = rate;
        EXPECT_FALSE(spec.sampleRateLabel().empty());
    }
}

TEST(AudioFileSpec, EqualityComparesEveryFieldAndNaNIsNeverEqual) {
    const AudioFileSpec base{"/music/a.wav", "a.wav",       "WAV",        44100, 2,    16,
                             1000,           1.5,           -14,          -12,   -0.5, -14,
                             13.5,           {0.18f, 0.2f}, {0.09f, 0.1f}};
    EXPECT_TRUE(base.transientTimes.empty());
    EXPECT_EQ(base, base);

    AudioFileSpec moved = base;
    moved.transientTimes = {0.5};
    AudioFileSpec other = moved;
    other.transientTimes = {0.25};
    EXPECT_NE(moved, other);

    AudioFileSpec longer = base;
    longer.peaks.push_back(0.1f);
    EXPECT_NE(longer, base);

    AudioFileSpec notANumber = base;
    notANumber.lufsIntegrated = std::nanf("");
    const AudioFileSpec copy = notANumber;
    EXPECT_NE(copy, notANumber);
}
