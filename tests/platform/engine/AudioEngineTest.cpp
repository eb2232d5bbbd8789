#include "tests/platform/engine/EngineTestRig.h"

#include "Tindrel/platform/audio/engine/RubberBandTimePitch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace tindrel::test {
namespace {

constexpr double rate44k = 44100;

struct WarpCase {
    std::string name;
    float overlap;
    float rate;
    float cents;
};

const std::vector<WarpCase>& warpCases(float rate) {
    static std::map<float, std::vector<WarpCase>> cases;
    auto& list = cases[rate];
    if (list.empty()) {
        list = {{"musical", 12, rate, 0},
                {"beats", 3.5f, rate, 0},
                {"tape", 8, rate, static_cast<float>(1200 * std::log2(rate))}};
    }
    return list;
}

TEST(AudioEngine, ToneAtPlusTwelveSemitonesComesOutAnOctaveUp) {
    EngineTestRig rig(sineSignal(440, 0.5, 3.0));
    for (float overlap : {12.0f, 3.5f}) {
        SCOPED_TRACE(overlap);
        rig.setWarp(overlap, 1, 1200);
        rig.playFrom(0);
        rig.pump(8192);
        const auto out = rig.pump(16384);
        const double octave = tonePower(out, 880, rate44k);
        EXPECT_GT(octave, 100 * tonePower(out, 440, rate44k));
        EXPECT_GT(rms(out, 0, out.size()), 0.2);
    }
}

TEST(AudioEngine, PlayheadCountsSourceFramesAtTheRate) {
    // After a start, the heard source frames follow the pumped frames times the rate.
    for (float rate : {1.0f, 2.0f, 0.25f}) {
        for (const auto& warp : warpCases(rate)) {
            SCOPED_TRACE(warp.name + " at " + std::to_string(rate));
            EngineTestRig rig(pinkNoiseSignal(-18, 12.0));
            rig.setWarp(warp.overlap, warp.rate, warp.cents);
            rig.playFrom(0);
            EXPECT_EQ(rig.heard(), -1) << "no time before anything rendered";
            rig.pump(4096);
            const int64_t early = rig.heard();
            rig.pump(44100);
            const int64_t late = rig.heard();
            EXPECT_NEAR(static_cast<double>(late - early), 44100.0 * rate, 0.01 * 44100.0 * rate);
            EXPECT_NEAR(static_cast<double>(late), (44100.0 + 4096) * rate, 0.03 * 44100.0 * rate);
        }
    }
}

TEST(AudioEngine, PlayheadMatchesTheMomentASoundIsHeard) {
    // A tone starts 1 s into the file; when it first comes out, the playhead reads about 1 s.
    const double onset = 1.0;
    for (float rate : {1.0f, 2.0f, 0.25f}) {
        for (const auto& warp : warpCases(rate)) {
            SCOPED_TRACE(warp.name + " at " + std::to_string(rate));
            EngineTestRig rig(toneAfterSilence(440, onset, 3.0));
            rig.setWarp(warp.overlap, warp.rate, warp.cents);
            rig.playFrom(0);
            int64_t heardAtOnset = -1;
            for (int block = 0; block < 2000 && heardAtOnset < 0; ++block) {
                const auto out = rig.pump(256);
                if (firstFrameAbove(out, 0.05f) >= 0) {
                    heardAtOnset = rig.heard();
                }
            }
            ASSERT_GE(heardAtOnset, 0);
            // Tolerance: one block at the rate, plus the stretcher's window reaching ahead.
            EXPECT_NEAR(static_cast<double>(heardAtOnset) / rate44k, onset,
                        0.03 + 256 * rate / rate44k);
        }
    }
}

TEST(AudioEngine, PlayheadStaysTrueAcrossARateChangeWhilePlaying) {
    // The rate changes at 1.2 s, before the tone that starts at 2 s comes out.
    struct Change {
        float overlap, from, to;
    };
    const Change changes[] = {{12, 0.5f, 2},   {12, 2, 0.5f},   {12, 0.8f, 1.25f},
                              {3.5f, 0.5f, 2}, {3.5f, 2, 0.5f}, {3.5f, 1.25f, 0.8f}};
    for (const auto& change : changes) {
        SCOPED_TRACE(std::to_string(change.overlap) + ": " + std::to_string(change.from) + " to " +
                     std::to_string(change.to));
        EngineTestRig rig(toneAfterSilence(440, 2.0, 4.0));
        rig.setWarp(change.overlap, change.from, 0);
        rig.playFrom(0);
        for (int block = 0; block < 2000 && rig.heard() < static_cast<int64_t>(1.2 * rate44k);
             ++block) {
            rig.pump(256);
        }
        rig.engine().timePitchUnit().setRate(change.to);
        int64_t heardAtOnset = -1;
        for (int block = 0; block < 4000 && heardAtOnset < 0; ++block) {
            if (firstFrameAbove(rig.pump(256), 0.05f) >= 0) {
                heardAtOnset = rig.heard();
            }
        }
        ASSERT_GE(heardAtOnset, 0);
        EXPECT_NEAR(static_cast<double>(heardAtOnset) / rate44k, 2.0,
                    0.02 + 256 * change.to / rate44k);
    }
}

TEST(AudioEngine, ChainConsumesSourceTwiceAsFastAtDoubleSpeed) {
    // A 2 s file at 2x is used up, tail included, after about 1 s of output.
    EngineTestRig rig(sineSignal(440, 0.5, 2.0));
    rig.setWarp(12, 2, 0);
    rig.playFrom(0);
    rig.pump(static_cast<uint32_t>(0.9 * rate44k));
    EXPECT_LT(rig.heard(), rig.file().length());
    const auto last = rig.pump(static_cast<uint32_t>(0.09 * rate44k));
    EXPECT_GT(rms(last, 0, last.size()), 0.2) << "the end of the file is still sounding";
    rig.pump(static_cast<uint32_t>(0.1 * rate44k));
    EXPECT_EQ(rig.heard(), rig.file().length());
    const auto after = rig.pump(8192);
    EXPECT_LT(rms(after, 4096, 4096), 0.01) << "silence after the end";
}

TEST(AudioEngine, PauseHoldsThePositionAndStopStartsAgain) {
    EngineTestRig rig(pinkNoiseSignal(-18, 5.0));
    rig.playFrom(0);
    rig.pump(10000);
    EXPECT_EQ(rig.heard(), 10000) << "neutral is exact";

    auto& player = rig.engine().playerNode();
    player.pause();
    EXPECT_FALSE(player.isPlaying());
    EXPECT_FALSE(player.playerSampleTime().has_value());
    const auto paused = rig.pump(4096);
    EXPECT_EQ(rms(paused, 0, paused.size()), 0.0);

    player.play();
    EXPECT_TRUE(player.isPlaying());
    const auto resumed = rig.pump(1000);
    EXPECT_EQ(rig.heard(), 11000);
    const Signal source = readAudioFile(rig.folder() / "fixture.wav");
    for (int64_t k = 0; k < 1000; k += 97) {
        ASSERT_EQ(resumed[static_cast<size_t>(k)], source.at(10000 + k, 0)) << k;
    }

    player.stop();
    EXPECT_FALSE(player.isPlaying());
    rig.pump(512);
    player.scheduleSegment(rig.file(), 44100, 44100);
    player.play();
    const auto restarted = rig.pump(600);
    EXPECT_EQ(rig.heard(), 600);
    EXPECT_EQ(restarted[0], source.at(44100, 0));
}

TEST(AudioEngine, SchedulingClampsTheSegmentToTheFile) {
    EngineTestRig rig(pinkNoiseSignal(-18, 1.0));
    const int64_t length = rig.file().length();
    struct Case {
        int64_t start, count, heard;
    };
    const Case cases[] = {
        {-500, 100, 100}, {length - 300, 100000, 300}, {length + 10, 100, 0}, {0, -5, 0}};
    auto& player = rig.engine().playerNode();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.start);
        player.stop();
        player.scheduleSegment(rig.file(), c.start, c.count);
        player.play();
        const auto out = rig.pump(4096);
        EXPECT_EQ(rig.heard(), c.heard);
        EXPECT_EQ(rms(out, static_cast<size_t>(c.heard) + 64, 2048), 0.0)
            << "silence after the segment";
    }
}

TEST(AudioEngine, SwitchingBetweenNeutralAndWarpedWhilePlayingLeavesNoGapOrClick) {
    // What a range-only warp does at the range edges: the parameters flip while playing.
    struct Switch {
        std::string name;
        float overlap;
        float rate;
        float cents;
        platform::WarpPath warpedPath;
    };
    const std::vector<Switch> switches = {
        {"musical", 12, 1.25f, 300, platform::WarpPath::smoothStretcher},
        {"beats", 3.5f, 1.25f, -300, platform::WarpPath::crispStretcher},
        {"tape", 8, 1.25f, static_cast<float>(1200 * std::log2(1.25)),
         platform::WarpPath::varispeed}};
    for (const auto& warp : switches) {
        SCOPED_TRACE(warp.name);
        EngineTestRig rig(sineSignal(220, 0.5, 20.0));
        const auto& unit =
            dynamic_cast<const platform::RubberBandTimePitch&>(rig.engine().timePitchUnit());
        rig.playFrom(0);
        std::vector<float> out;
        for (int cycle = 0; cycle < 6; ++cycle) {
            const bool warped = cycle % 2 == 1;
            rig.setWarp(warped ? warp.overlap : 8, warped ? warp.rate : 1, warped ? warp.cents : 0);
            for (int block = 0; block < 20; ++block) {
                const auto part = rig.pump(512);
                out.insert(out.end(), part.begin(), part.end());
            }
            EXPECT_EQ(unit.activePath(), warped ? warp.warpedPath : platform::WarpPath::varispeed);
        }
        // A gap is silence; a crossfade between two pitches of the tone may beat down a few dB.
        const size_t start = 4096; // after the first start
        for (size_t k = start; k + 256 <= out.size(); k += 256) {
            ASSERT_GT(rms(out, k, 256), 0.1) << "gap at frame " << k;
        }
        const double click =
            largestSecondDifference(std::vector<float>(out.begin() + start, out.end()));
        EXPECT_LT(click, 0.01) << "a smooth 220 Hz tone stays far below; a step does not";
    }
}

TEST(AudioEngine, StretcherTakingOverAt192kHzPrimesFromKeptInput) {
    // R3 at 192 kHz primes with 8192 frames of input before the heard position. The switch
    // comes just after the unit's input window first drops old frames (about 123k frames in).
    EngineTestRig rig(sineSignal(220, 0.5, 1.0, 192000));
    rig.playFrom(0);
    rig.pump(240 * 512);
    rig.setWarp(12, 1, 300);
    const auto out = rig.pump(8192);
    EXPECT_GT(rms(out, 4096, 4096), 0.1);
    EXPECT_LT(largestSecondDifference(out), 0.01);
}

TEST(AudioEngine, DeepestPitchAtFastestRateAt192kHzStillSounds) {
    // 4x at -24 st is beyond the finer engine; the faster one stands in, at 192 kHz too.
    EngineTestRig rig(sineSignal(440, 0.5, 3.0, 192000));
    rig.setWarp(12, 4, -2400);
    rig.playFrom(0);
    rig.pump(65536);
    const auto out = rig.pump(8192);
    EXPECT_GT(rms(out, 0, out.size()), 0.2);
    EXPECT_GT(rig.heard(), 0);
}

TEST(AudioEngine, EveryModeAtTheExtremeCornersRendersFiniteSound) {
    // Fast and deep together ask the stretcher for less than it can shrink: 3.9x at -24 st once
    // read past its analysis buffer and turned the output to NaN.
    struct Corner {
        float rate;
        float cents;
    };
    constexpr Corner corners[] = {
        {0.25f, -2400}, {0.25f, 2400}, {4, -2400}, {4, 2400}, {3.9f, -2400}};
    const Signal noise = pinkNoiseSignal(-20, 5.0, 48000, 1);
    for (const WarpCase& mode : warpCases(1)) {
        for (const Corner& corner : corners) {
            SCOPED_TRACE(mode.name + " " + std::to_string(corner.rate) + "x " +
                         std::to_string(corner.cents) + " c");
            EngineTestRig rig(noise);
            rig.setWarp(mode.overlap, corner.rate, corner.cents);
            rig.playFrom(0);
            const auto out = rig.pump(48000);
            EXPECT_EQ(
                std::count_if(out.begin(), out.end(), [](float x) { return !std::isfinite(x); }),
                0);
            EXPECT_GT(rms(out, 24000, 24000), 0.01);
        }
    }
}

TEST(AudioEngine, TapDeliversMixerBlocksOnAWorkerThread) {
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<float> tapped;
    std::vector<int64_t> sizes;
    bool offTheCaller = true;
    const auto caller = std::this_thread::get_id();
    // Made after what its tap writes to, so that the tap has stopped before they go.
    EngineTestRig rig(sineSignal(440, 0.5, 3.0));
    rig.engine().mainMixer().setOutputVolume(0.5f);
    rig.engine().mainMixer().installTap(1024, [&](const platform::AudioPcmBuffer& buffer) {
        std::lock_guard lock(mutex);
        offTheCaller = offTheCaller && std::this_thread::get_id() != caller;
        sizes.push_back(buffer.frameLength());
        tapped.insert(tapped.end(), buffer.channelData(0),
                      buffer.channelData(0) + buffer.frameLength());
        arrived.notify_all();
    });
    rig.playFrom(0);
    const auto out = rig.pump(4096);
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(arrived.wait_for(lock, std::chrono::seconds(20),
                                     [&] { return tapped.size() >= 4096; }));
        EXPECT_TRUE(offTheCaller);
        EXPECT_EQ(sizes, std::vector<int64_t>(4, 1024));
        EXPECT_EQ(std::vector<float>(tapped.begin(), tapped.begin() + 4096), out);
    }
    // The output volume ramps in over the first block, then halves the source exactly.
    const Signal source = readAudioFile(rig.folder() / "fixture.wav");
    EXPECT_FLOAT_EQ(out[3000], 0.5f * source.at(3000, 0));

    rig.engine().mainMixer().removeTap();
    rig.pump(4096);
    std::lock_guard lock(mutex);
    EXPECT_EQ(tapped.size(), 4096u);
}

TEST(AudioEngine, TapDeliversAgainAfterTheOutputRested) {
    std::mutex mutex;
    std::condition_variable arrived;
    int64_t tapped = 0;
    // Made after what its tap writes to, so that the tap has stopped before they go.
    EngineTestRig rig(sineSignal(440, 0.5, 3.0));
    rig.engine().mainMixer().installTap(1024, [&](const platform::AudioPcmBuffer& buffer) {
        std::lock_guard lock(mutex);
        tapped += buffer.frameLength();
        arrived.notify_all();
    });
    rig.playFrom(0);
    // Nothing written for longer than the tap's worker waits before it sleeps.
    for (int restMs : {0, 400, 400}) {
        SCOPED_TRACE(restMs);
        std::this_thread::sleep_for(std::chrono::milliseconds(restMs));
        int64_t before = 0;
        {
            std::lock_guard lock(mutex);
            before = tapped;
        }
        rig.pump(2048);
        std::unique_lock lock(mutex);
        ASSERT_TRUE(arrived.wait_for(lock, std::chrono::seconds(20),
                                     [&] { return tapped >= before + 2048; }));
    }
}

TEST(AudioEngine, ReconnectingWhileRunningKeepsTheTapAndTakesTheNewFormat) {
    std::mutex mutex;
    std::condition_variable arrived;
    uint32_t channels = 0;
    // Made after what its tap writes to, so that the tap has stopped before they go.
    EngineTestRig rig(sineSignal(440, 0.5, 1.0));
    rig.engine().mainMixer().installTap(1024, [&](const platform::AudioPcmBuffer& buffer) {
        std::lock_guard lock(mutex);
        channels = buffer.channelCount();
        arrived.notify_all();
    });
    const auto mono = rig.folder() / "mono.wav";
    writeAudioFile(mono, sineSignal(440, 0.5, 1.0, 48000, 1), SampleEncoding::Pcm16);
    const auto file = platform::AudioFile::openForReading(mono);
    ASSERT_TRUE(file);
    rig.engine().connect(file->processingFormat());
    EXPECT_TRUE(rig.engine().isRunning());
    EXPECT_EQ(rig.engine().mainMixerOutputFormat().channelCount, 1u);
    EXPECT_EQ(rig.output().sampleRate(), 48000);
    rig.engine().playerNode().scheduleSegment(*file, 0, file->length());
    rig.engine().playerNode().play();
    rig.output().pump(2048);
    std::unique_lock lock(mutex);
    ASSERT_TRUE(arrived.wait_for(lock, std::chrono::seconds(20), [&] { return channels != 0; }));
    EXPECT_EQ(channels, 1u);
}

// Renders `segment` frames of `file` from `startFrame` offline, as the export does: exactly
// segment / rate frames in 4096-frame calls.
std::vector<float> renderOffline(const platform::AudioFile& file, int64_t startFrame,
                                 int64_t segment, float overlap, float rate, float cents) {
    platform::AudioEngine engine;
    std::string error;
    EXPECT_TRUE(engine.enableManualRenderingMode(file.processingFormat(), 4096, &error)) << error;
    EXPECT_TRUE(engine.start(&error)) << error;
    engine.timePitchUnit().setOverlap(overlap);
    engine.timePitchUnit().setRate(rate);
    engine.timePitchUnit().setPitch(cents);
    engine.playerNode().scheduleSegment(file, startFrame, segment);
    engine.playerNode().play();
    const auto target = static_cast<int64_t>(static_cast<double>(segment) / rate);
    platform::AudioPcmBuffer buffer(engine.manualRenderingFormat().channelCount, 4096);
    std::vector<float> out;
    while (engine.manualRenderingSampleTime() < target) {
        const auto frames = static_cast<uint32_t>(
            std::min<int64_t>(4096, target - engine.manualRenderingSampleTime()));
        EXPECT_EQ(engine.renderOffline(frames, buffer, &error),
                  platform::AudioEngine::RenderStatus::success);
        EXPECT_EQ(buffer.frameLength(), frames);
        out.insert(out.end(), buffer.channelData(0), buffer.channelData(0) + buffer.frameLength());
    }
    EXPECT_EQ(static_cast<int64_t>(out.size()), target);
    return out;
}

TEST(AudioEngineOffline, NeutralRenderIsTheSourceSegmentExactly) {
    TemporaryFolder folder;
    writeAudioFile(folder / "noise.wav", pinkNoiseSignal(-18, 4.0), SampleEncoding::Float32);
    const auto file = platform::AudioFile::openForReading(folder / "noise.wav");
    ASSERT_TRUE(file);
    const Signal source = readAudioFile(folder / "noise.wav");
    const auto out = renderOffline(*file, 10000, 100000, 8, 1, 0);
    for (int64_t k = 0; k < 100000; ++k) {
        ASSERT_EQ(out[static_cast<size_t>(k)], source.at(10000 + k, 0)) << k;
    }
}

TEST(AudioEngineOffline, ReconnectingAfterEnablingTakesTheNewChannelCount) {
    TemporaryFolder folder;
    writeAudioFile(folder / "noise.wav", pinkNoiseSignal(-18, 1.0), SampleEncoding::Float32);
    const auto file = platform::AudioFile::openForReading(folder / "noise.wav");
    ASSERT_TRUE(file);
    const Signal source = readAudioFile(folder / "noise.wav");
    platform::AudioEngine engine;
    ASSERT_TRUE(engine.enableManualRenderingMode({44100, 1}, 4096));
    ASSERT_TRUE(engine.start());
    engine.connect(file->processingFormat());
    engine.playerNode().scheduleSegment(*file, 0, file->length());
    engine.playerNode().play();
    platform::AudioPcmBuffer buffer(2, 4096);
    ASSERT_EQ(engine.renderOffline(4096, buffer), platform::AudioEngine::RenderStatus::success);
    ASSERT_EQ(buffer.frameLength(), 4096);
    for (int64_t k = 0; k < 4096; k += 512) {
        EXPECT_EQ(buffer.channelData(1)[k], source.at(k, 1)) << k;
    }
}

TEST(AudioEngineOffline, WarpedRenderIsAlignedWithTheSourceAndKeepsItsTail) {
    // The tone starts at 1 s and lasts to the end of the file.
    TemporaryFolder folder;
    writeAudioFile(folder / "tone.wav", toneAfterSilence(440, 1.0, 3.0), SampleEncoding::Float32);
    const auto file = platform::AudioFile::openForReading(folder / "tone.wav");
    ASSERT_TRUE(file);
    for (float rate : {2.0f, 0.5f, 1.25f}) {
        for (const auto& warp : warpCases(rate)) {
            SCOPED_TRACE(warp.name + " at " + std::to_string(rate));
            const auto out =
                renderOffline(*file, 0, file->length(), warp.overlap, warp.rate, warp.cents);
            const int64_t onset = firstFrameAbove(out, 0.05f);
            EXPECT_NEAR(static_cast<double>(onset) / rate44k, 1.0 / rate, 0.02);
            EXPECT_GT(rms(out, out.size() - 882, 882), 0.2) << "the last 20 ms still sound";
        }
    }
}

} // namespace
} // namespace tindrel::test

namespace tindrel::test {
namespace {

// The longest run of samples whose strongest of `tones` over the 4 ms around them is
// `tones[which]`.
size_t longestRunOf(const std::vector<float>& x, const std::vector<double>& tones, size_t which,
                    double sampleRate) {
    const auto width = static_cast<size_t>(0.004 * sampleRate);
    std::vector<float> part(width);
    size_t run = 0;
    size_t longest = 0;
    for (size_t at = 0; at + width <= x.size(); ++at) {
        for (size_t k = 0; k < width; ++k) {
            part[k] =
                x[at + k] * static_cast<float>(0.5 - 0.5 * std::cos(2 * M_PI * k / (width - 1)));
        }
        size_t strongest = 0;
        for (size_t t = 1; t < tones.size(); ++t) {
            if (tonePower(part, tones[t], sampleRate) >
                tonePower(part, tones[strongest], sampleRate)) {
                strongest = t;
            }
        }
        run = strongest == which ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

// The rendering, which runs ahead of what is heard, wraps a loop at Out itself: what is heard
// goes up to Out and then from In again, with at most the join's 5 ms of what lies past Out
// (sample by sample: at 0.5x a join placed by the stretcher's heard position came 5 ms late,
// at 0.25x the stretcher let 13 ms past Out be heard before it)
// and no more than 25 ms cut before it. The loop's first half is 440 Hz and its second 520 Hz,
// so the wrap shows where the second turns back into the first; 600 Hz lies before In and
// 1000 Hz past Out.
TEST(AudioEngine, ALoopWrapsAtOutInEveryModeAndSpeed) {
    constexpr double in = 0.5, out = 0.9;
    Signal signal = silenceSignal(1.6, rate44k, 2);
    double phase = 0;
    for (int64_t k = 0; k < signal.frames(); ++k) {
        const double t = static_cast<double>(k) / rate44k;
        const double frequency = t < in ? 600 : t < 0.7 ? 440 : t < out ? 520 : 1000;
        phase += 2 * M_PI * frequency / rate44k;
        signal.samples[static_cast<size_t>(2 * k)] =
            signal.samples[static_cast<size_t>(2 * k + 1)] =
                static_cast<float>(0.4 * std::sin(phase));
    }
    const WarpCase cases[] = {{"tape", 8, 1, 0},           {"musical", 12, 1, 0},
                              {"musical", 12, 1.25f, 300}, {"beats", 3.5f, 1, 0},
                              {"beats", 3.5f, 4, 2400},    {"tape", 8, 2, 1200},
                              {"musical", 12, 0.5f, 0},    {"musical", 12, 0.25f, 0}};
    for (const WarpCase& c : cases) {
        SCOPED_TRACE(c.name + " at " + std::to_string(c.rate) + "x");
        EngineTestRig rig(signal);
        rig.setWarp(c.overlap, c.rate, c.cents);
        auto& player = rig.engine().playerNode();
        player.setLoopRange(platform::AudioPlayerNode::LoopRange{
            static_cast<int64_t>(in * rate44k), static_cast<int64_t>(out * rate44k)});
        rig.playFrom(static_cast<int64_t>(in * rate44k));
        const double pass = (out - in) / c.rate;
        const std::vector<float> heard =
            rig.pump(static_cast<uint32_t>((pass * 2.5 + 0.05) * rate44k));
        const double scale = std::exp2(c.cents / 1200.0);
        constexpr size_t window = 441; // 10 ms
        auto strongest = [&](size_t at) {
            const std::vector<float> part(heard.begin() + static_cast<std::ptrdiff_t>(at),
                                          heard.begin() + static_cast<std::ptrdiff_t>(at + window));
            const double powers[] = {
                tonePower(part, 600 * scale, rate44k), tonePower(part, 440 * scale, rate44k),
                tonePower(part, 520 * scale, rate44k), tonePower(part, 1000 * scale, rate44k)};
            return static_cast<int>(std::max_element(std::begin(powers), std::end(powers)) -
                                    std::begin(powers));
        };
        std::vector<double> wraps; // seconds heard when the second half turned into the first
        int before = -1;
        for (size_t at = window; at + window <= heard.size(); at += window) {
            const int tone = strongest(at);
            EXPECT_NE(tone, 0) << "before In at " << static_cast<double>(at) / rate44k;
            if (before == 2 && tone == 1) {
                wraps.push_back(static_cast<double>(at) / rate44k);
            }
            before = tone == 3 ? before : tone;
        }
        EXPECT_LE(longestRunOf(heard, {440 * scale, 520 * scale, 1000 * scale}, 2, rate44k),
                  static_cast<size_t>(0.005 * rate44k))
            << "samples heard past Out";
        ASSERT_GE(wraps.size(), 2u);
        for (size_t k = 0; k < 2; ++k) {
            // The window in which the wrap is heard ends within 25 ms before Out's due time
            // and at most a window after it; each pass is timed from the wrap before it.
            const double due = (k == 0 ? 0 : wraps[k - 1]) + pass;
            EXPECT_GE(wraps[k] + 0.01, due - 0.025) << "wrap " << k;
            EXPECT_LE(wraps[k], due + 0.015) << "wrap " << k;
        }
    }
}

} // namespace
} // namespace tindrel::test
