#include "tests/platform/engine/EngineTestRig.h"
#include "tests/store/StoreFixtures.h"
#include "tests/store_support/StoreTestRig.h"
#include "tests/store_support/TindrelStoreProbe.h"
#include "tests/support/ScopedLocale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>

namespace tindrel {

namespace {

class StoreWarp : public ::testing::Test {
protected:
    test::StoreTestRig rig;
    TindrelStore& store = rig.store();

    void loadTone(double seconds) {
        store.loadAndPlay(test::writeToneFile(rig.root() / "w/tone.wav", seconds), false);
    }
    void expectUnit(float overlap, float rate, float cents) {
        const TimePitchSettings unit = TindrelStoreProbe::timePitch(store);
        EXPECT_FLOAT_EQ(unit.overlap, overlap);
        EXPECT_FLOAT_EQ(unit.rate, rate);
        EXPECT_NEAR(unit.pitchCents, cents, 1e-3);
    }
};

} // namespace

TEST_F(StoreWarp, SettersClampAndWriteTheirTexts) {
    struct Case {
        WarpMode mode;
        bool setsRate; // else pitch
        float value;
        float rate, semitones;
        const char* speedText;
        const char* pitchText;
    };
    const Case cases[] = {
        {WarpMode::musical, true, 10.0f, 4.0f, 0.0f, "4.00", "0.0"},
        {WarpMode::musical, true, 0.0f, 0.25f, 0.0f, "0.25", "0.0"},
        {WarpMode::musical, false, -30.0f, 0.25f, -24.0f, "0.25", "-24"},
        {WarpMode::musical, false, 0.0f, 0.25f, 0.0f, "0.25", "+0"},
        {WarpMode::musical, false, -0.0f, 0.25f, 0.0f, "0.25", "+0"},
        {WarpMode::musical, false, 2.5f, 0.25f, 2.5f, "0.25", "+2.50"},
        {WarpMode::tape, true, 0.5f, 0.5f, -12.0f, "0.50", "-12.00"},
        {WarpMode::tape, false, 12.0f, 2.0f, 12.0f, "2.00", "+12"},
        {WarpMode::tape, true, 1.5f, 1.5f, 7.0196f, "1.50", "+7.02"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        store.warpMode = c.mode;
        c.setsRate ? store.setPlaybackRate(c.value) : store.setPitchSemitones(c.value);
        EXPECT_FLOAT_EQ(store.playbackRate.get(), c.rate);
        EXPECT_NEAR(store.pitchSemitones.get(), c.semitones, 1e-4);
        EXPECT_EQ(store.speedInputText.get(), c.speedText);
        EXPECT_EQ(store.pitchInputText.get(), c.pitchText);
    }
    EXPECT_EQ(store.statusBanner.get(), "Warp [Tape Varispeed] · Speed 1.50x · Pitch +7.02 st");
    store.setPitchSemitones(-3.0f);
    EXPECT_EQ(store.statusBanner.get(), "Warp [Tape Varispeed] · Pitch -3.00 st · Speed 0.84x");
    store.setVolume(2.0f);
    EXPECT_EQ(store.volume.get(), 1.5f);
    EXPECT_EQ(TindrelStoreProbe::playerVolume(store), 1.5f);
    store.setVolume(-1.0f);
    EXPECT_EQ(store.volume.get(), 0.0f);
}

TEST_F(StoreWarp, TypedValuesIgnoreTheLocale) {
    test::ScopedCommaDecimalLocale comma;
    struct Case {
        bool pitch;
        const char* typed;
        float expected;
        const char* textAfter;
    };
    const Case cases[] = {
        {true, "+3 st", 3.0f, "+3"},
        {true, " -1.5\n", -1.5f, "-1.50"},
        {true, "abc", -1.5f, "-1.5"}, // restored with one decimal
        {true, "nan", -1.5f, "-1.5"}, // not a number, so nothing to clamp
        {false, "1.5x", 1.5f, "1.50"},
        {false, "1.25X", 1.5f, "1.50"}, // only a lower-case x is a unit
        {false, "1,25", 1.5f, "1.50"},  // the comma is no decimal separator here
        {false, "9", 4.0f, "4.00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        if (c.pitch) {
            store.pitchInputText = c.typed;
            store.commitTypedPitch();
            EXPECT_FLOAT_EQ(store.pitchSemitones.get(), c.expected);
            EXPECT_EQ(store.pitchInputText.get(), c.textAfter);
        } else {
            store.speedInputText = c.typed;
            store.commitTypedSpeed();
            EXPECT_FLOAT_EQ(store.playbackRate.get(), c.expected);
            EXPECT_EQ(store.speedInputText.get(), c.textAfter);
        }
    }
}

TEST_F(StoreWarp, EachModeDrivesTheTimePitchUnit) {
    store.setPlaybackRate(1.25f);
    store.setPitchSemitones(-3.0f);
    store.setWarpMode(WarpMode::beats);
    expectUnit(3.5f, 1.25f, -300.0f);
    EXPECT_EQ(store.statusBanner.get(), "Warp Mode: Beats — " + helpDescription(WarpMode::beats));
    store.setWarpMode(WarpMode::musical);
    expectUnit(12.0f, 1.25f, -300.0f);

    // Tape follows the rate; the stored pitch and its text stay until the next edit.
    store.setPlaybackRate(1.0f);
    store.setPitchSemitones(5.0f);
    store.setWarpMode(WarpMode::tape);
    expectUnit(8.0f, 1.0f, 0.0f);
    EXPECT_EQ(store.pitchSemitones.get(), 5.0f);
    EXPECT_EQ(store.pitchInputText.get(), "+5");
    store.setPlaybackRate(1.0f);
    EXPECT_EQ(store.pitchSemitones.get(), 0.0f);
    EXPECT_EQ(store.pitchInputText.get(), "+0.00");
}

TEST_F(StoreWarp, RangeOnlyIsNeutralOutsideTheRangeEdgesIncluded) {
    loadTone(10.0);
    store.setPlaybackRate(1.5f);
    store.setRangeBounds(2.0, 4.0);
    store.setWarpScope(WarpScope::rangeOnly);
    EXPECT_EQ(store.statusBanner.get(),
              "Warp Scope: Range Only — Warp applies inside [ In .. Out ], normal 1x/0st outside");
    const std::pair<double, bool> cases[] = {
        {1.99, false}, {2.0, true}, {4.0, true}, {4.01, false}};
    for (const auto& [time, warped] : cases) {
        store.seek(time, false);
        SCOPED_TRACE(time);
        warped ? expectUnit(12.0f, 1.5f, 0.0f) : expectUnit(8.0f, 1.0f, 0.0f);
    }
    // While playing, the tick switches the unit as the playhead crosses In.
    store.seek(1.9, true);
    expectUnit(8.0f, 1.0f, 0.0f);
    rig.play(0.3);
    expectUnit(12.0f, 1.5f, 0.0f);

    store.clearABLoop();
    store.seek(9.0, false);
    expectUnit(12.0f, 1.5f, 0.0f);
}

TEST_F(StoreWarp, RangeOnlySwitchesWithoutGapOrClick) {
    loadTone(10.0);
    store.setPlaybackRate(1.5f);
    store.setPitchSemitones(3.0f);
    store.setRangeBounds(2.0, 4.0);
    store.setWarpScope(WarpScope::rangeOnly);
    store.seek(1.8, true);
    const std::vector<float> out = rig.play(0.5); // crosses In at about 0.2 s
    expectUnit(12.0f, 1.5f, 300.0f);
    // A 0.25 sine of a few hundred Hz moves less than 0.03 per sample; a click jumps further,
    // and a gap shows as a run of silence.
    const size_t channels = rig.output().channels();
    float largestStep = 0.0f;
    size_t silentRun = 0, longestSilentRun = 0;
    for (size_t i = 4410 * channels; i < out.size(); i += channels) {
        largestStep = std::max(largestStep, std::fabs(out[i] - out[i - channels]));
        silentRun = std::fabs(out[i]) < 1e-4f ? silentRun + 1 : 0;
        longestSilentRun = std::max(longestSilentRun, silentRun);
    }
    EXPECT_LT(largestStep, 0.05f);
    EXPECT_LT(longestSilentRun, 8u);
}

TEST_F(StoreWarp, DefaultRangesAndRangeEdits) {
    loadTone(10.0);
    store.seek(1.0, false);
    store.setWarpScope(WarpScope::rangeOnly);
    EXPECT_DOUBLE_EQ(store.loopIn->value(), 1.0);
    EXPECT_DOUBLE_EQ(store.loopOut->value(), 4.5);
    EXPECT_FALSE(store.isLoopEnabled.get());

    store.setRangeBounds(5.0, 3.0);
    EXPECT_DOUBLE_EQ(store.loopIn->value(), 3.0);
    EXPECT_DOUBLE_EQ(store.loopOut->value(), 5.0);
    EXPECT_TRUE(store.isLoopEnabled.get());
    EXPECT_EQ(store.statusBanner.get(), "Range 0:03.0 – 0:05.0 (2.0s)");
    store.setRangeBounds(20.0, 30.0);
    EXPECT_DOUBLE_EQ(store.loopIn->value(), 10.0);
    EXPECT_DOUBLE_EQ(store.loopOut->value(), 10.05);

    store.setRangeBounds(2.0, 5.0);
    store.seek(6.0, false);
    store.setLoopInAtPlayhead();
    EXPECT_DOUBLE_EQ(store.loopOut->value(), 8.0);
    EXPECT_EQ(store.statusBanner.get(), "Set In at 0:06.0 · Range 0:06.0 – 0:08.0 (2.0s)");

    store.clearABLoop();
    EXPECT_EQ(store.statusBanner.get(), "Cleared playback range");
    EXPECT_FALSE(store.isLoopEnabled.get());
    store.seek(0.03, false);
    store.setLoopOutAtPlayhead();
    EXPECT_EQ(store.loopIn->value_or(-1), 0.0);
    EXPECT_FALSE(store.loopOut->has_value());
    EXPECT_EQ(store.statusBanner.get(), "Cleared playback range");
    store.seek(3.0, false);
    store.setLoopOutAtPlayhead();
    EXPECT_EQ(store.statusBanner.get(), "Set Out at 0:03.0 · Range 0:00.0 – 0:03.0 (3.0s)");
}

// A warped range played as a loop, with the engine rendering ahead of an output that reports
// itself real time and the UI tick wrapping it: what is heard goes In to Out and In again, never
// into what lies before In or past Out, and the unit stays warped at each wrap (the tick reads
// where the rendering stands, which after a wrap is back inside the range). 600 Hz lies before
// In, 440 Hz inside and 1000 Hz past Out, each up a minor third as played.
TEST(StoreWarpPlayback, AWarpedLoopIsHeardFromInToOutThroughTheTick) {
    test::Signal signal = test::silenceSignal(3.0, 44100, 2);
    double phase = 0;
    for (int64_t k = 0; k < signal.frames(); ++k) {
        const double t = static_cast<double>(k) / signal.sampleRate;
        phase += 2 * M_PI * (t < 1.0 ? 600 : t < 1.6 ? 440 : 1000) / signal.sampleRate;
        signal.samples[static_cast<size_t>(2 * k)] =
            signal.samples[static_cast<size_t>(2 * k + 1)] =
                static_cast<float>(0.4 * std::sin(phase));
    }
    test::StoreTestRig rig(test::StoreTestRig::Desktop::untouched,
                           test::StoreTestRig::Output::pumpedAsRealTime);
    TindrelStore& store = rig.store();
    const auto path = rig.home() / "music" / "tones.wav";
    std::filesystem::create_directories(path.parent_path());
    test::writeAudioFile(path, signal, test::SampleEncoding::Float32);
    store.loadAndPlay(path, false);
    store.setWarpMode(WarpMode::musical);
    store.setPlaybackRate(1.25f);
    store.setPitchSemitones(3.0f);
    store.setRangeBounds(1.0, 1.6);
    store.setWarpScope(WarpScope::rangeOnly);
    store.seek(1.0, true);
    std::vector<float> heard;
    int wraps = 0;
    for (int n = 0; n < 60; ++n) { // 2 s of output: four passes
        ASSERT_TRUE(TindrelStoreProbe::waitForRenderAhead(store));
        rig.output().pump(1470);
        for (size_t k = 0; k < rig.output().lastPumped().size(); k += 2)
            heard.push_back(rig.output().lastPumped()[k]);
        ASSERT_TRUE(TindrelStoreProbe::waitForRenderAhead(store));
        const double before = store.currentTime.get();
        rig.ticker().fire();
        wraps += store.currentTime.get() < before ? 1 : 0;
        EXPECT_GE(store.currentTime.get(), 1.0 - 1e-9);
        EXPECT_LE(store.currentTime.get(), 1.6);
        EXPECT_FLOAT_EQ(TindrelStoreProbe::timePitch(store).rate, 1.25f) << "tick " << n;
    }
    EXPECT_GE(wraps, 3);
    const double third = std::exp2(3.0 / 12);
    const double tones[] = {600 * third, 440 * third, 1000 * third};
    for (size_t at = 441; at + 441 <= heard.size(); at += 441) {
        const std::vector<float> part(heard.begin() + static_cast<std::ptrdiff_t>(at),
                                      heard.begin() + static_cast<std::ptrdiff_t>(at + 441));
        double powers[std::size(tones)];
        for (size_t t = 0; t < std::size(tones); ++t)
            powers[t] = test::tonePower(part, tones[t], 44100);
        const auto strongest = std::max_element(std::begin(powers), std::end(powers)) - powers;
        EXPECT_EQ(strongest, 1) << "10 ms at " << static_cast<double>(at) / 44100 << " s";
    }
}

// What is heard is a function of the file and the settings alone: playback pulled in blocks of
// changing sizes, with the UI tick wherever it lands, equals the export of the same settings
// sample for sample. Held tones under clicks show any block-dependent split or join. Through an
// output that reports itself real time, what the engine's worker renders ahead is compared,
// with a loop: up to its wrap at Out, the first pass equals the export of the range (whose
// input, as the loop's, goes on past Out), and the loop then wraps and goes on sounding.
TEST(StoreWarpPlayback, PlaybackInAnyBlockSizesEqualsTheExportInEveryMode) {
    test::Signal signal;
    signal.samples.resize(static_cast<size_t>(3.0 * signal.sampleRate) * 2);
    for (int64_t k = 0; k < signal.frames(); ++k) {
        const double t = static_cast<double>(k) / signal.sampleRate;
        const double click = std::fmod(t, 0.25) < 0.004 ? 0.5 * std::sin(2 * M_PI * 2500 * t) : 0;
        const double pad = 0.12 * (std::sin(2 * M_PI * 440 * t) + std::sin(2 * M_PI * 329.63 * t));
        signal.samples[static_cast<size_t>(2 * k)] = static_cast<float>(pad + click);
        signal.samples[static_cast<size_t>(2 * k + 1)] = static_cast<float>(pad - click);
    }
    struct Case {
        WarpMode mode;
        float rate, semitones;
    };
    const Case cases[] = {
        {WarpMode::beats, 2.0f, 7.0f},     {WarpMode::beats, 1.25f, 0.0f},
        {WarpMode::beats, 0.5f, -12.0f},   {WarpMode::musical, 0.75f, -5.0f},
        {WarpMode::musical, 0.75f, -5.0f}, {WarpMode::musical, 4.0f, -24.0f},
        {WarpMode::musical, 4.0f, -24.0f}, {WarpMode::tape, 1.5f, 0.0f},
    };
    const uint32_t blocks[] = {64, 333, 512, 97, 1, 480, 256, 511};
    for (const auto output :
         {test::StoreTestRig::Output::pumped, test::StoreTestRig::Output::pumpedAsRealTime}) {
        const bool realTime = output == test::StoreTestRig::Output::pumpedAsRealTime;
        // One store throughout: a start sounds the same whatever was played before it. Not
        // after loop wraps, though: the faster stretcher engine a wrap left playing starts
        // again with some of what it played, so each looped case has a store of its own.
        std::optional<test::StoreTestRig> rig;
        for (const Case& c : cases) {
            if (!rig || realTime)
                rig.emplace(test::StoreTestRig::Desktop::untouched, output);
            TindrelStore& store = rig->store();
            const auto path = rig->home() / "music" / "pad.wav";
            std::filesystem::create_directories(path.parent_path());
            test::writeAudioFile(path, signal, test::SampleEncoding::Float32);
            const auto settle = [&] { ASSERT_TRUE(TindrelStoreProbe::waitForRenderAhead(store)); };
            SCOPED_TRACE(std::string(realTime ? "real time, " : "") +
                         std::to_string(static_cast<int>(c.mode)) + " at " +
                         std::to_string(c.rate) + "x, " + std::to_string(c.semitones) + " st");
            store.loadAndPlay(path, false);
            store.setWarpMode(c.mode);
            store.setPlaybackRate(c.rate);
            store.setPitchSemitones(c.semitones);
            // The pass from In to Out lasts 0.3 s or more, and three of them are played.
            const double in = realTime ? 0.25 : 0.0;
            const double out = std::min(2.5, 0.3 * c.rate + 0.2);
            if (realTime)
                store.setRangeBounds(in, in + out);
            store.seek(in, true);
            std::vector<float> live;
            const auto wanted =
                static_cast<size_t>((realTime ? 3 * out / c.rate : std::min(1.2, 2.8 / c.rate)) *
                                    signal.sampleRate * 2);
            int64_t sinceTick = 0;
            int wraps = 0;
            for (size_t n = 0; live.size() < wanted; ++n) {
                const uint32_t block = blocks[n % std::size(blocks)];
                settle();
                rig->output().pump(block);
                live.insert(live.end(), rig->output().lastPumped().begin(),
                            rig->output().lastPumped().end());
                sinceTick += block;
                if (sinceTick >= 1455) {
                    sinceTick -= 1455;
                    settle();
                    const double before = store.currentTime.get();
                    rig->ticker().fire();
                    wraps += store.currentTime.get() < before ? 1 : 0;
                }
            }
            store.togglePlayPause();
            // With a loop, the export of its range: up to the wrap, what played of it.
            store.exportModifiedAudioToWAV();
            const QString status = store.statusBanner.get();
            const QString prefix = QStringLiteral("Exported Modified: ");
            ASSERT_TRUE(status.startsWith(prefix)) << status.toStdString();
            const QString name = status.mid(prefix.size()).section(QStringLiteral(" ("), 0, 0);
            const test::Signal exported =
                test::readAudioFile(rig->home() / "music" / name.toStdString());
            std::filesystem::remove(rig->home() / "music" / name.toStdString());
            // With a loop, up to 40 ms before Out is due, where the wrap's join may begin (the
            // beats path's heard position leads its output by up to 18 ms of the source).
            const size_t compared =
                realTime ? static_cast<size_t>((out / c.rate - 0.04) * signal.sampleRate) * 2
                         : wanted;
            ASSERT_GE(exported.samples.size(), compared);
            const auto difference =
                std::mismatch(live.begin(), live.begin() + static_cast<std::ptrdiff_t>(compared),
                              exported.samples.begin());
            EXPECT_EQ(difference.first - live.begin(), static_cast<std::ptrdiff_t>(compared));
            if (realTime) {
                EXPECT_GE(wraps, 2);
                // Every 10 ms goes on sounding across the wraps: nothing was missing.
                for (size_t at = 882; at + 882 <= live.size(); at += 882) {
                    const float loudest = std::abs(*std::max_element(
                        live.begin() + static_cast<std::ptrdiff_t>(at),
                        live.begin() + static_cast<std::ptrdiff_t>(at + 882),
                        [](float x, float y) { return std::abs(x) < std::abs(y); }));
                    ASSERT_GT(loudest, 0.01f) << "silent at " << at / 2 << " frames";
                }
            }
        }
    }
}

} // namespace tindrel
