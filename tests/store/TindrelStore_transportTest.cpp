#include "tests/store/StoreFixtures.h"
#include "tests/store_support/StoreTestRig.h"
#include "tests/store_support/TindrelStoreProbe.h"
#include "tests/support/ExternalEncoder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <optional>
#include <utility>

namespace tindrel {

namespace {

class StoreTransport : public ::testing::Test {
protected:
    test::StoreTestRig rig;
    TindrelStore& store = rig.store();
    std::filesystem::path music = rig.root() / "music";

    std::filesystem::path tone(const std::string& name, double seconds) {
        return test::writeToneFile(music / name, seconds);
    }
};

double rmsOf(const std::vector<float>& samples) {
    double sum = 0;
    for (const float sample : samples)
        sum += double(sample) * sample;
    return samples.empty() ? 0 : std::sqrt(sum / double(samples.size()));
}

} // namespace

TEST_F(StoreTransport, LoadPublishesThePlaceholderAndPlays) {
    const auto file = tone("a.wav", 10.0);
    std::vector<QString> statusAtCallback;
    store.onStatusChanged = [&] { statusAtCallback.push_back(store.statusBanner); };
    store.loadAndPlay(music / "sub/../a.wav");

    EXPECT_EQ(store.currentURL.get(), file);
    EXPECT_EQ(store.recentFiles.get(), std::vector{file});
    EXPECT_EQ(store.currentFolderURL.get(), music);
    EXPECT_EQ(store.folderHistory.get(), std::vector{music});
    EXPECT_TRUE(store.isPlaying.get());
    EXPECT_EQ(store.statusBanner.get(), "Playing a.wav (0:10.0)");
    // Once when the player is scheduled (before the status text), once after it.
    ASSERT_EQ(statusAtCallback.size(), 2u);
    EXPECT_NE(statusAtCallback[0], "Playing a.wav (0:10.0)");
    EXPECT_EQ(statusAtCallback[1], "Playing a.wav (0:10.0)");

    ASSERT_TRUE(store.spec->has_value());
    const AudioFileSpec& spec = **store.spec;
    EXPECT_EQ(spec.url, file);
    EXPECT_EQ(spec.formatName, "WAV");
    EXPECT_EQ(spec.sampleRate, 44100);
    EXPECT_EQ(spec.channels, 2);
    EXPECT_EQ(spec.bitDepth, 16);
    EXPECT_EQ(spec.fileSizeBytes, static_cast<int64_t>(std::filesystem::file_size(file)));
    EXPECT_DOUBLE_EQ(spec.duration, 10.0);
    EXPECT_EQ(spec.peaks, std::vector<float>(240, 0.18f));
    EXPECT_EQ(spec.rmsEnvelope, std::vector<float>(240, 0.09f));
    EXPECT_FLOAT_EQ(spec.lufsIntegrated, -14.0f);
    EXPECT_TRUE(spec.transientTimes.empty());
    EXPECT_EQ(rig.analysis().pendingCount(), 1u);
}

TEST_F(StoreTransport, LoadWithoutPlayAndWithoutExtension) {
    const auto bare = music / "bare";
    tone("bare.wav", 1.0);
    std::filesystem::rename(music / "bare.wav", bare);
    store.loadAndPlay(bare, false);
    EXPECT_FALSE(store.isPlaying.get());
    EXPECT_EQ(store.currentTime.get(), 0.0);
    EXPECT_EQ(store.statusBanner.get(), "Loaded bare (0:01.0)");
    EXPECT_EQ((*store.spec)->formatName, "AUDIO");
    store.togglePlayPause();
    EXPECT_TRUE(store.isPlaying.get());
    EXPECT_EQ(store.statusBanner.get(), "Playing bare");
}

TEST_F(StoreTransport, FailedLoadsKeepThePreviousAudio) {
    const auto good = tone("good.wav", 4.0);
    store.loadAndPlay(good);
    store.seek(1.5, false);

    store.loadAndPlay(music / "missing.wav");
    EXPECT_EQ(store.statusBanner.get(), "File not found: missing.wav");
    EXPECT_EQ(store.currentURL.get(), good);

    std::ofstream(music / "bad.wav") << "this is no audio";
    store.loadAndPlay(music / "bad.wav");
    EXPECT_EQ(store.statusBanner.get(),
              "Could not open bad.wav: Unsupported or empty audio stream in bad.wav");
    // The failed file is current and recent, but the earlier audio stays open.
    EXPECT_EQ(store.currentURL.get(), music / "bad.wav");
    EXPECT_EQ(store.recentFiles->front(), music / "bad.wav");
    EXPECT_EQ((*store.spec)->url, good);
    EXPECT_DOUBLE_EQ(store.duration.get(), 4.0);
    EXPECT_FALSE(store.isPlaying.get());
    store.togglePlayPause();
    EXPECT_TRUE(store.isPlaying.get());
    EXPECT_DOUBLE_EQ(store.currentTime.get(), 1.5);
}

TEST_F(StoreTransport, SomethingThatIsNoRegularFileIsNeverOpened) {
    const auto first = tone("x.wav", 1.0);
    const auto second = tone("y.wav", 1.0);
    const auto pipe = music / "pipe.wav";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    store.loadAndPlay(second);
    store.loadAndPlay(pipe);
    EXPECT_EQ(store.statusBanner.get(), "Could not open pipe.wav: Not a regular file");
    EXPECT_EQ(store.currentURL.get(), second);
    EXPECT_EQ(store.recentFiles->size(), 1u);

    // A folder is browsed: listed, recorded, its first audio file loaded without playing.
    store.loadAndPlay(rig.home() / "Downloads");
    store.loadAndPlay(music);
    EXPECT_EQ(store.currentFolderURL.get(), music);
    EXPECT_EQ(store.folderHistory->back(), music);
    EXPECT_EQ(store.currentURL.get(), first);
    EXPECT_FALSE(store.isPlaying.get());
    for (const auto& recent : store.recentFiles.get())
        EXPECT_FALSE(std::filesystem::is_directory(recent)) << recent;
}

TEST_F(StoreTransport, SeekClampsAndKeepsThePlayState) {
    store.loadAndPlay(tone("a.wav", 3.0), false);
    const std::pair<double, double> cases[] = {
        {-5.0, 0.0}, {1.25, 1.25}, {99.0, 2.99}, {std::nan(""), 0.0}, {INFINITY, 2.99},
    };
    for (const auto& [requested, expected] : cases) {
        store.seek(requested, std::nullopt);
        EXPECT_NEAR(store.currentTime.get(), expected, 1e-9) << requested;
        EXPECT_FALSE(store.isPlaying.get());
    }
    store.seek(1.0, true);
    EXPECT_TRUE(store.isPlaying.get());
    store.seekRelative(0.5);
    EXPECT_TRUE(store.isPlaying.get());
    EXPECT_DOUBLE_EQ(store.currentTime.get(), 1.5);
    EXPECT_EQ(TindrelStoreProbe::scheduledStartFrame(store), 66150);
}

TEST_F(StoreTransport, OnlyASeekThatStartsPlaybackSaysPlaying) {
    const auto file = tone("a.wav", 20.0);
    struct Case {
        const char* what;
        bool playing;
        std::optional<bool> forcePlay;
        bool saysPlaying;
    } cases[] = {
        {"a click on the waveform while paused", false, true, true},
        {"an arrow key while paused", false, std::nullopt, false},
        {"a click on the waveform while playing", true, true, false},
        {"a pausing seek", true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        store.loadAndPlay(file, true);
        if (!c.playing)
            store.togglePlayPause();
        store.statusBanner = QStringLiteral("before");
        store.seek(12.0, c.forcePlay);
        EXPECT_EQ(store.statusBanner.get(),
                  c.saysPlaying ? QStringLiteral("Playing a.wav") : QStringLiteral("before"));
    }
}

TEST_F(StoreTransport, PlayheadFollowsTheSourceAtEveryRate) {
    store.loadAndPlay(tone("long.wav", 12.0), false);
    for (const float rate : {1.0f, 2.0f, 0.25f}) {
        SCOPED_TRACE(rate);
        store.setPlaybackRate(rate);
        store.seek(2.0, true);
        rig.play(1.0);
        const double playing = store.currentTime;
        EXPECT_NEAR(playing, 2.0 + rate, 0.06);

        store.togglePlayPause();
        EXPECT_EQ(store.statusBanner.get(), "Paused at " + TindrelStore::formatTime(playing));
        const double paused = store.currentTime;
        rig.play(0.5);
        EXPECT_EQ(store.currentTime.get(), paused);

        store.togglePlayPause();
        EXPECT_EQ(store.currentTime.get(), paused);
        rig.play(1.0);
        EXPECT_NEAR(store.currentTime.get(), paused + rate, 0.06);
        store.togglePlayPause();
    }
}

TEST_F(StoreTransport, LoopWrapsOnceAtItsThresholdAndTheTrackEnds) {
    store.loadAndPlay(tone("a.wav", 3.0), false);
    store.setRangeBounds(1.0, 2.0);
    store.seek(1.9, true);
    int schedules = 0;
    store.onStatusChanged = [&] { ++schedules; };
    rig.play(0.2);
    EXPECT_EQ(schedules, 1);
    EXPECT_TRUE(store.isPlaying.get());
    EXPECT_GE(store.currentTime.get(), 1.0);
    EXPECT_LT(store.currentTime.get(), 1.2);

    store.clearABLoop();
    store.seek(2.8, true);
    rig.play(0.5);
    EXPECT_FALSE(store.isPlaying.get());
    EXPECT_EQ(store.currentTime.get(), 0.0);
    EXPECT_EQ(store.statusBanner.get(), "Finished playing a.wav");
    EXPECT_EQ(store.currentURL.get(), music / "a.wav");
}

TEST_F(StoreTransport, AVeryShortFileEndsAsAnyTrackEnds) {
    for (const double seconds : {0.0005, 0.01, 0.05, 0.06}) {
        SCOPED_TRACE(seconds);
        store.loadAndPlay(tone("short.wav", seconds));
        ASSERT_TRUE(store.isPlaying.get());
        rig.play(0.2);
        EXPECT_FALSE(store.isPlaying.get());
        EXPECT_EQ(store.statusBanner.get(), "Finished playing short.wav");
    }
}

TEST_F(StoreTransport, LoopWrapsWithoutAClickOrADip) {
    // The tick wraps a 0.3 s loop of a tone five times; each wrap is a seek while playing.
    store.loadAndPlay(tone("a.wav", 3.0), false);
    store.setRangeBounds(0.5, 0.8);
    int schedules = 0;
    store.onStatusChanged = [&] { ++schedules; };
    store.seek(0.5, true);
    const std::vector<float> interleaved = rig.play(1.6);
    EXPECT_GE(schedules, 6);
    std::vector<float> left;
    for (size_t k = 0; k < interleaved.size(); k += 2) {
        left.push_back(interleaved[k]);
    }
    const auto stepAndLevel = [&](size_t begin, size_t end) {
        double step = 0;
        double level = 1e9;
        for (size_t k = begin; k < end; ++k) {
            step = std::max(step, static_cast<double>(std::abs(left[k] - left[k - 1])));
        }
        for (size_t k = begin; k + 441 <= end; k += 32) {
            double sum = 0;
            for (size_t j = k; j < k + 441; ++j) {
                sum += static_cast<double>(left[j]) * left[j];
            }
            level = std::min(level, std::sqrt(sum / 441));
        }
        return std::pair(step, level);
    };
    const auto [ownStep, ownLevel] = stepAndLevel(1024, 8192);
    const auto [step, level] = stepAndLevel(1024, left.size());
    EXPECT_LE(step, 1.5 * ownStep);
    EXPECT_GE(level, ownLevel * std::pow(10, -1 / 20.0));
}

TEST_F(StoreTransport, AnMp3ResumesFromPauseWithoutAGap) {
    // Resuming schedules the file afresh from the paused frame, a seek without pre-roll.
    store.loadAndPlay(test::writeMp3ToneFile(music / "tone.mp3", 3.0));
    rig.play(0.8);
    store.togglePlayPause();
    rig.play(0.1);
    store.togglePlayPause();
    EXPECT_GE(test::quietestLevelDb(rig.play(0.3), 2), test::mp3ToneLevelDb - 1);
}

TEST_F(StoreTransport, WarpedRangePreviewMakesADefaultRangeOnlyWhenNoneIsSet) {
    store.loadAndPlay(test::writeToneFile(music / "long.wav", 100.0, 8000, 1), false);
    store.seek(90.0, std::nullopt);
    store.playWarpedRange();
    EXPECT_DOUBLE_EQ(store.loopIn->value(), 80.0);
    EXPECT_DOUBLE_EQ(store.loopOut->value(), 88.0);
    EXPECT_TRUE(store.isLoopEnabled.get());
    EXPECT_TRUE(store.isPlaying.get());
    EXPECT_EQ(store.statusBanner.get(), "Playing Range 1:20.0 – 1:28.0 (8.0s)");

    store.clearABLoop();
    store.seek(30.0, false);
    store.setLoopInAtPlayhead();
    store.playWarpedRange();
    EXPECT_DOUBLE_EQ(store.loopIn->value(), 30.0);
    EXPECT_FALSE(store.loopOut->has_value());
}

TEST_F(StoreTransport, StopAndCleanupIsHarmlessTwice) {
    store.loadAndPlay(tone("a.wav", 2.0));
    store.meterLeftDB = -10.0f;
    store.stopAndCleanup();
    store.stopAndCleanup();
    EXPECT_FALSE(store.isPlaying.get());
    EXPECT_FALSE(rig.ticker().isRunning());
    rig.ticker().fire(3);
    EXPECT_EQ(store.meterLeftDB.get(), -10.0f);
    // The cancelled measurement never publishes.
    rig.analysis().runAll();
    EXPECT_EQ((*store.spec)->peaks.size(), 240u);
}

TEST_F(StoreTransport, AudioThatRunsOutEndsTheTrackInsteadOfFreezingIt) {
    // Noise, so damage in the middle of a FLAC breaks its frames rather than passing as audio.
    std::filesystem::create_directories(music);
    const auto noise = [&](const std::string& name, double seconds) {
        test::writeAudioFile(music / name, test::pinkNoiseSignal(-12, seconds));
        return music / name;
    };
    struct Case {
        const char* name;
        std::function<std::filesystem::path()> make;
        std::function<void(const std::filesystem::path&)> whilePlaying;
        const char* status;
        bool loop = false; // over 4 to 5 s
    } cases[] = {
        {"cut.flac",
         [&] {
             const auto path = noise("cut.flac", 6.0);
             std::filesystem::resize_file(path, std::filesystem::file_size(path) / 3);
             return path;
         },
         [](const auto&) {}, "Finished playing cut.flac"},
        {"shrinking.wav", [&] { return noise("shrinking.wav", 6.0); },
         [](const auto& path) { std::filesystem::resize_file(path, 44 + 4 * 44100); },
         "Finished playing shrinking.wav"},
        // The loop wraps once to a start where nothing is left, and the track ends there.
        {"shrunk-to-loop.wav", [&] { return noise("shrunk-to-loop.wav", 6.0); },
         [](const auto& path) { std::filesystem::resize_file(path, 44 + 4 * 4 * 44100); },
         "Finished playing shrunk-to-loop.wav", true},
        // A loop start beyond the new end cannot be reached at all.
        {"shrunk-before-loop.wav", [&] { return noise("shrunk-before-loop.wav", 6.0); },
         [](const auto& path) { std::filesystem::resize_file(path, 44 + 4 * 44100); },
         "Stopped playing shrunk-before-loop.wav — the file could not be read", true},
        {"damaged.flac",
         [&] {
             const auto path = noise("damaged.flac", 6.0);
             std::fstream flac(path, std::ios::in | std::ios::out | std::ios::binary);
             flac.seekp(std::streamoff(std::filesystem::file_size(path) / 2));
             flac << std::string(20000, '\x5a');
             return path;
         },
         [](const auto&) {}, "Stopped playing damaged.flac — the file could not be read"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto path = c.make();
        store.loadAndPlay(path);
        store.isLoopEnabled = c.loop;
        if (c.loop)
            store.setRangeBounds(4.0, 5.0);
        ASSERT_TRUE(store.isPlaying.get());
        rig.play(0.5);
        c.whilePlaying(path);
        rig.play(8.0);
        EXPECT_FALSE(store.isPlaying.get());
        EXPECT_EQ(store.statusBanner.get(), c.status);
        EXPECT_LT(store.currentTime.get(), store.duration.get());
    }
}

TEST_F(StoreTransport, KeepsPlayingTheOpenedFileAfterItIsMovedOrDeleted) {
    const auto wav = tone("kept.wav", 4.0);
    const auto m4a = music / "kept.m4a";
    ASSERT_TRUE(test::encodeWithFfmpeg(wav, m4a, {"-c:a", "aac"}));
    struct Case {
        std::filesystem::path file;
        std::function<void()> remove;
    } cases[] = {
        {wav, [&] { std::filesystem::rename(wav, rig.root() / "moved.wav"); }},
        {rig.root() / "moved.wav", [&] { std::filesystem::remove(rig.root() / "moved.wav"); }},
        // The decoded copy in the cache is cleared.
        {m4a, [&] { std::filesystem::remove(store.playableURL->value()); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        store.loadAndPlay(c.file);
        rig.play(0.3);
        c.remove();
        // A seek, a pause and resume, and loop wraps each read the file again.
        store.seek(1.0, true);
        store.togglePlayPause();
        store.togglePlayPause();
        store.setRangeBounds(1.0, 1.5);
        store.isLoopEnabled = true;
        EXPECT_GT(rmsOf(rig.play(1.2)), 0.05);
        EXPECT_TRUE(store.isPlaying.get());
        EXPECT_GE(store.currentTime.get(), 1.0);
        EXPECT_LT(store.currentTime.get(), 1.5);
        store.isLoopEnabled = false;
        store.clearABLoop();
    }
}

} // namespace tindrel
