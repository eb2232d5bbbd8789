#include "Tindrel/analysis/WaveformAndLUFS.h"
#include "Tindrel/platform/audio/AudioFile.h"
#include "tests/support/ExternalEncoder.h"
#include "tests/support/GeneratedAudio.h"
#include "tests/support/TemporaryFolder.h"

#include <ebur128.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

using namespace tindrel;
namespace fs = std::filesystem;

namespace {

struct Reference {
    double integrated; // LUFS
    double truePeakDb; // dBTP, the largest over the channels
};

Reference libebur128Measure(const test::Signal& signal) {
    ebur128_state* state =
        ebur128_init(unsigned(signal.channels), static_cast<unsigned long>(signal.sampleRate),
                     EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
    ebur128_add_frames_float(state, signal.samples.data(), size_t(signal.frames()));
    Reference r{};
    ebur128_loudness_global(state, &r.integrated);
    double peak = 0;
    for (int c = 0; c < signal.channels; ++c) {
        double channelPeak = 0;
        ebur128_true_peak(state, unsigned(c), &channelPeak);
        peak = std::max(peak, channelPeak);
    }
    r.truePeakDb = 20 * std::log10(peak);
    ebur128_destroy(&state);
    return r;
}

// A stereo 1 kHz tone held through sections of (seconds, level in dBFS), without phase jumps.
test::Signal toneSections(std::initializer_list<std::pair<double, double>> sections) {
    test::Signal signal = test::silenceSignal(0);
    double seconds = 0;
    for (const auto& [length, levelDb] : sections) {
        const test::Signal section =
            test::sineSignal(1000, std::pow(10, levelDb / 20), length, 44100, 2,
                             2 * std::numbers::pi * 1000 * seconds);
        signal.samples.insert(signal.samples.end(), section.samples.begin(), section.samples.end());
        seconds += length;
    }
    return signal;
}

// The file read from start to end through its reader, interleaved.
test::Signal decodeSequentially(const fs::path& path) {
    auto file = platform::AudioFile::openForReading(path);
    test::Signal decoded;
    decoded.sampleRate = file->processingFormat().sampleRate;
    decoded.channels = int(file->processingFormat().channelCount);
    platform::AudioPcmBuffer buffer(uint32_t(decoded.channels), 8192);
    while (file->read(buffer, 8192) && buffer.frameLength() > 0)
        for (int64_t i = 0; i < buffer.frameLength(); ++i)
            for (int c = 0; c < decoded.channels; ++c)
                decoded.samples.push_back(buffer.channelData(uint32_t(c))[i]);
    return decoded;
}

double rmsDb(const test::Signal& signal) {
    double sum = 0;
    for (float v : signal.samples)
        sum += double(v) * v;
    return 10 * std::log10(sum / double(signal.samples.size()));
}

std::optional<AudioFileSpec> measure(const fs::path& path, int64_t size = 1000, int bitDepth = 16) {
    return extractWaveformAndLUFS(path, path, size, bitDepth, 7.5);
}

// Writes `signal` to `path` as 32-bit float samples and measures the file.
std::optional<AudioFileSpec> measureFloatFile(const fs::path& path, const test::Signal& signal) {
    test::writeAudioFile(path, signal, test::SampleEncoding::Float32);
    return measure(path);
}

void expectAllFinite(const AudioFileSpec& spec) {
    for (float v :
         {spec.lufsIntegrated, spec.lufsShortTermMax, spec.truePeakDBTP, spec.rmsDB, spec.crestDB})
        EXPECT_TRUE(std::isfinite(v));
    EXPECT_TRUE(std::isfinite(spec.duration));
    for (float v : spec.peaks)
        EXPECT_TRUE(std::isfinite(v));
    for (float v : spec.rmsEnvelope)
        EXPECT_TRUE(std::isfinite(v));
}

} // namespace

TEST(WaveformAndLUFS, LoudnessWithinTwoTenthsOfLibebur128) {
    test::TemporaryFolder folder;
    struct Case {
        const char* name;
        test::Signal signal;
    } cases[] = {
        {"tone1k.wav", test::sineSignal(1000, 0.1, 10, 48000, 2)},
        {"pink20.wav", test::pinkNoiseSignal(-20, 20, 44100, 2, 3)},
        // Long enough that the bins are read with gaps between them.
        {"pink240.wav", test::pinkNoiseSignal(-18, 240, 44100, 2, 5)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto spec = measureFloatFile(folder / c.name, c.signal);
        ASSERT_TRUE(spec);
        EXPECT_NEAR(spec->lufsIntegrated, libebur128Measure(c.signal).integrated, 0.2);
        EXPECT_GE(spec->lufsShortTermMax, spec->lufsIntegrated);
        fs::remove(folder / c.name);
    }
}

TEST(WaveformAndLUFS, TonalMp3MeasuresAsItsDecodeDoes) {
    test::TemporaryFolder folder;
    struct Case {
        const char* name;
        test::Signal signal;
    } cases[] = {
        {"tone-23.mp3", toneSections({{12, -23}})},
        // The quiet sections lie clearly below the relative gate, not on it.
        {"steps.mp3", toneSections({{3, -36}, {12, -23}, {3, -36}})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path source = folder / (std::string(c.name) + ".wav");
        const fs::path path = folder / c.name;
        test::writeAudioFile(source, c.signal, test::SampleEncoding::Float32);
        ASSERT_TRUE(test::encodeWithFfmpeg(source, path, {"-c:a", "libmp3lame", "-q:a", "5"}));
        const test::Signal decoded = decodeSequentially(path);
        const auto spec = measure(path);
        ASSERT_TRUE(spec);
        EXPECT_NEAR(spec->lufsIntegrated, libebur128Measure(decoded).integrated, 0.2);
        EXPECT_NEAR(spec->rmsDB, rmsDb(decoded), 0.3);
    }
}

TEST(WaveformAndLUFS, TruePeakWithinToleranceOfLibebur128) {
    test::TemporaryFolder folder;
    const double quarter = 44100.0 / 4;
    struct Case {
        const char* name;
        test::Signal signal;
    } cases[] = {
        // Samples fall at +-0.707 of the crest: 3 dB of inter-sample peak.
        {"quarter45.wav", test::sineSignal(quarter, 0.5, 2, 44100, 2, std::numbers::pi / 4)},
        {"low-full.wav", test::sineSignal(997, 0.999, 2, 44100, 2)},
        {"high.wav", test::sineSignal(15011, 0.7, 2, 44100, 1, 0.3)},
        {"quarter48k.wav", test::sineSignal(12000, 0.9, 2, 48000, 2, std::numbers::pi / 4)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto spec = measureFloatFile(folder / c.name, c.signal);
        ASSERT_TRUE(spec);
        const double reference = libebur128Measure(c.signal).truePeakDb;
        EXPECT_LE(spec->truePeakDBTP, reference + 0.2);
        EXPECT_GE(spec->truePeakDBTP, reference - 0.4);
    }
}

TEST(WaveformAndLUFS, SilenceGivesTheFloorsAndScaledMinimumEnvelopes) {
    test::TemporaryFolder folder;
    const fs::path path = folder / "silence.wav";
    test::writeAudioFile(path, test::silenceSignal(3, 44100, 2));
    const auto spec = measure(path, 529244, 24);
    ASSERT_TRUE(spec);
    EXPECT_EQ(spec->url, path);
    EXPECT_EQ(spec->fileName, "silence.wav");
    EXPECT_EQ(spec->formatName, "WAV");
    EXPECT_EQ(spec->sampleRate, 44100);
    EXPECT_EQ(spec->channels, 2);
    EXPECT_EQ(spec->bitDepth, 24);
    EXPECT_EQ(spec->fileSizeBytes, 529244);
    EXPECT_DOUBLE_EQ(spec->duration, 3.0);
    EXPECT_EQ(spec->lufsIntegrated, -70.0f);
    EXPECT_EQ(spec->lufsShortTermMax, -70.0f);
    EXPECT_FLOAT_EQ(spec->truePeakDBTP, -100.0f);
    EXPECT_FLOAT_EQ(spec->rmsDB, -100.0f);
    EXPECT_EQ(spec->crestDB, 0.0f);
    ASSERT_EQ(spec->peaks.size(), 2048u);
    for (size_t i = 0; i < 2048; ++i) {
        ASSERT_FLOAT_EQ(spec->peaks[i], 0.0375f);
        ASSERT_FLOAT_EQ(spec->rmsEnvelope[i], 0.02f);
    }
    EXPECT_TRUE(spec->transientTimes.empty());
}

TEST(WaveformAndLUFS, DisplayNormalisationFollowsTheLargestPeak) {
    test::TemporaryFolder folder;
    struct Case {
        double amplitude;
        float expectedLargest; // after normalisation
    } cases[] = {{0.5, 0.92f}, {0.2, 0.5f}, {0.98, 0.98f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.amplitude);
        const fs::path path = folder / "tone.wav";
        test::writeAudioFile(path, test::sineSignal(441, c.amplitude, 2, 44100, 1),
                             test::SampleEncoding::Float32);
        const auto spec = measure(path);
        ASSERT_TRUE(spec);
        EXPECT_NEAR(*std::max_element(spec->peaks.begin(), spec->peaks.end()), c.expectedLargest,
                    0.01);
        EXPECT_NEAR(spec->rmsDB, 20 * std::log10(c.amplitude / std::sqrt(2.0)), 0.05);
        EXPECT_NEAR(spec->crestDB, 3.01, 0.05);
    }
}

TEST(WaveformAndLUFS, ShortFilesFillOnlyTheirOwnBins) {
    test::TemporaryFolder folder;
    const fs::path path = folder / "short";
    test::Signal signal = test::silenceSignal(1000.0 / 44100, 44100, 1);
    // A gentle rise to 0.5 (a step from silence would ring above 0.5 between samples).
    for (size_t i = 0; i < signal.samples.size(); ++i)
        signal.samples[i] = 0.5f * std::min(1.0f, float(i) / 200);
    test::writeAudioFile(path.string() + ".wav", signal, test::SampleEncoding::Float32);
    fs::rename(path.string() + ".wav", path);
    const auto spec = measure(path);
    ASSERT_TRUE(spec);
    EXPECT_EQ(spec->formatName, "");
    // Bins past the last frame keep their starting values, scaled with the rest by 0.92/0.5.
    EXPECT_NEAR(spec->peaks[999], 0.92f, 1e-3);
    EXPECT_NEAR(spec->peaks[1000], 0.01f * 1.84f, 1e-4);
    EXPECT_NEAR(spec->rmsEnvelope[2047], 0.005f * 1.84f, 1e-4);
}

TEST(WaveformAndLUFS, ChannelPowersAddUp) {
    test::TemporaryFolder folder;
    const test::Signal mono = test::pinkNoiseSignal(-20, 5, 48000, 1, 9);
    test::Signal stereo{48000, 2, {}};
    for (float v : mono.samples)
        stereo.samples.insert(stereo.samples.end(), {v, v});
    const auto one = measureFloatFile(folder / "mono.wav", mono);
    const auto two = measureFloatFile(folder / "stereo.wav", stereo);
    ASSERT_TRUE(one && two);
    EXPECT_NEAR(two->lufsIntegrated - one->lufsIntegrated, 3.01, 0.02);
}

TEST(WaveformAndLUFS, NonFiniteSamplesCountAsZero) {
    test::TemporaryFolder folder;
    test::Signal clean = test::sineSignal(440, 0.5, 2, 44100, 2);
    test::Signal dirty = clean;
    // Beside NaN and the infinities, finite values whose squares overflow a float.
    const float specials[] = {std::numeric_limits<float>::quiet_NaN(),
                              std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::infinity(), 1e30f, -3e25f};
    for (size_t i = 0; i < clean.samples.size(); i += 997) {
        clean.samples[i] = 0;
        dirty.samples[i] = specials[(i / 997) % std::size(specials)];
    }
    auto fromClean = measureFloatFile(folder / "clean.wav", clean);
    const auto fromDirty = measureFloatFile(folder / "dirty.wav", dirty);
    ASSERT_TRUE(fromClean && fromDirty);
    expectAllFinite(*fromDirty);
    fromClean->url = fromDirty->url;
    fromClean->fileName = fromDirty->fileName;
    EXPECT_EQ(*fromClean, *fromDirty);
}

TEST(WaveformAndLUFS, FindsSeparatedOnsets) {
    test::TemporaryFolder folder;
    test::Signal signal = test::silenceSignal(4, 44100, 1);
    const double bursts[] = {0.5, 1.5, 2.5, 3.2};
    for (double at : bursts) {
        const test::Signal burst = test::sineSignal(1000, 0.8, 0.08, 44100, 1);
        std::copy(burst.samples.begin(), burst.samples.end(),
                  signal.samples.begin() + std::lround(at * 44100));
    }
    const auto spec = measureFloatFile(folder / "bursts.wav", signal);
    ASSERT_TRUE(spec);
    ASSERT_EQ(spec->transientTimes.size(), std::size(bursts));
    for (size_t i = 0; i < std::size(bursts); ++i)
        EXPECT_NEAR(spec->transientTimes[i], bursts[i], 0.01);
}

TEST(WaveformAndLUFS, NoRecordForUnreadableEmptyOrCancelledMeasurement) {
    test::TemporaryFolder folder;
    test::writeAudioFile(folder / "empty.wav", test::silenceSignal(0));
    test::writeAudioFile(folder / "tone.wav", test::sineSignal(440, 0.5, 1));
    EXPECT_FALSE(measure(folder / "missing.wav"));
    EXPECT_FALSE(measure(folder / "empty.wav"));
    std::atomic<bool> cancelled{true};
    EXPECT_FALSE(
        extractWaveformAndLUFS(folder / "tone.wav", folder / "tone.wav", 1, 16, 0, &cancelled));
    std::atomic<bool> running{false};
    EXPECT_TRUE(
        extractWaveformAndLUFS(folder / "tone.wav", folder / "tone.wav", 1, 16, 0, &running));
}

TEST(WaveformAndLUFS, SameRecordWhateverTheThreadCount) {
    test::TemporaryFolder folder;
    test::writeAudioFile(folder / "contiguous.wav", test::pinkNoiseSignal(-20, 20, 44100, 2, 4));
    // At 8 kHz, 330 s leave gaps between the bins that are read.
    test::writeAudioFile(folder / "gapped.wav", test::pinkNoiseSignal(-16, 330, 8000, 1, 6));
    test::writeAudioFile(folder / "source.wav", test::pinkNoiseSignal(-18, 30, 44100, 2, 8));
    ASSERT_TRUE(test::encodeWithFfmpeg(folder / "source.wav", folder / "reopened.mp3",
                                       {"-c:a", "libmp3lame", "-b:a", "160k"}));
    for (const char* name : {"contiguous.wav", "gapped.wav", "reopened.mp3"}) {
        SCOPED_TRACE(name);
        const fs::path path = folder / name;
        const auto alone = extractWaveformAndLUFS(path, path, 1, 16, 0, nullptr, 1);
        ASSERT_TRUE(alone);
        for (const int threads : {2, 8}) {
            const auto shared = extractWaveformAndLUFS(path, path, 1, 16, 0, nullptr, threads);
            ASSERT_TRUE(shared);
            EXPECT_EQ(*shared, *alone) << threads << " threads";
        }
    }
}
