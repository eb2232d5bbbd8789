#include "Tindrel/analysis/UniversalAudioLoader.h"
#include "Tindrel/analysis/PcmCache.h"
#include "Tindrel/analysis/TindrelError.h"
#include "tests/support/ExternalEncoder.h"
#include "tests/support/GeneratedAudio.h"
#include "tests/support/ScopedEnvironmentVariable.h"
#include "tests/support/TemporaryFolder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <functional>

using namespace tindrel;
namespace fs = std::filesystem;

namespace {

struct Fixture {
    test::TemporaryFolder folder;
    UniversalAudioLoader::Settings settings{folder / "cache", {"/usr/bin/ffmpeg"}, true};

    // A source file: written directly for the libsndfile containers, else encoded by ffmpeg.
    fs::path source(const std::string& name, const test::Signal& signal,
                    std::vector<std::string> codec = {}) {
        const fs::path path = folder / name;
        if (codec.empty()) {
            test::writeAudioFile(path, signal);
        } else {
            const fs::path wav = folder / (name + ".source.wav");
            test::writeAudioFile(wav, signal);
            if (!test::encodeWithFfmpeg(wav, path, codec))
                throw std::runtime_error("encode " + name);
            fs::remove(wav);
        }
        return path;
    }

    size_t filesInCache() const {
        size_t count = 0;
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(folder / "cache", ignored)) {
            (void)entry;
            ++count;
        }
        return count;
    }
};

test::Signal tone(double amplitude = 0.5, int channels = 2) {
    return test::sineSignal(440, amplitude, 1.0, 44100, channels);
}

double rmsOf(platform::AudioFile& file) {
    platform::AudioPcmBuffer buffer(file.processingFormat().channelCount, 4096);
    double sum = 0;
    int64_t count = 0;
    file.setFramePosition(0);
    while (file.read(buffer, 4096) && buffer.frameLength() > 0) {
        for (int64_t i = 0; i < buffer.frameLength(); ++i)
            sum += double(buffer.channelData(0)[i]) * buffer.channelData(0)[i];
        count += buffer.frameLength();
    }
    return count ? std::sqrt(sum / double(count)) : 0;
}

std::string failureFor(const fs::path& path, const UniversalAudioLoader::Settings& settings) {
    try {
        UniversalAudioLoader::openPlayableAudioFile(path, settings);
    } catch (const TindrelError& error) {
        EXPECT_STREQ(TindrelError::domain, "Tindrel");
        EXPECT_EQ(TindrelError::code, -1);
        return error.what();
    }
    return "opened";
}

// Writes an executable shell script standing in for ffmpeg.
fs::path fakeFfmpeg(const fs::path& path, const std::string& body) {
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(path, fs::perms::owner_all);
    return path;
}

void appendLittle(std::string& bytes, uint64_t value, int size) {
    for (int i = 0; i < size; ++i)
        bytes += char((value >> (8 * i)) & 0xFF);
}

void appendBig(std::string& bytes, uint64_t value, int size) {
    for (int i = size - 1; i >= 0; --i)
        bytes += char((value >> (8 * i)) & 0xFF);
}

// 16-bit stereo PCM of a rising ramp whose header states `rate`, as a WAV or an AIFF.
std::string pcmFileClaiming(uint32_t rate, bool aiff, uint32_t frames = 4000) {
    std::string data;
    for (uint32_t i = 0; i < frames * 2; ++i)
        (aiff ? appendBig : appendLittle)(data, (i * 37) & 0x3FFF, 2);
    std::string bytes;
    if (!aiff) {
        bytes = "RIFF";
        appendLittle(bytes, 36 + data.size(), 4);
        bytes += "WAVEfmt ";
        appendLittle(bytes, 16, 4);
        appendLittle(bytes, 1, 2);
        appendLittle(bytes, 2, 2);
        appendLittle(bytes, rate, 4);
        appendLittle(bytes, uint64_t(rate) * 4, 4);
        appendLittle(bytes, 4, 2);
        appendLittle(bytes, 16, 2);
        bytes += "data";
        appendLittle(bytes, data.size(), 4);
        return bytes + data;
    }
    int exponent = 0;
    while ((uint64_t(rate) >> (exponent + 1)) != 0)
        ++exponent;
    bytes = "FORM";
    appendBig(bytes, 4 + 26 + 16 + data.size(), 4);
    bytes += "AIFFCOMM";
    appendBig(bytes, 18, 4);
    appendBig(bytes, 2, 2);
    appendBig(bytes, frames, 4);
    appendBig(bytes, 16, 2);
    appendBig(bytes, uint64_t(16383 + exponent), 2); // 80-bit extended float
    appendBig(bytes, uint64_t(rate) << (63 - exponent), 8);
    bytes += "SSND";
    appendBig(bytes, 8 + data.size(), 4);
    appendBig(bytes, 0, 8);
    return bytes + data;
}

} // namespace

TEST(UniversalAudioLoader, OpensEachFormatDirectlyOrThroughTheCache) {
    Fixture f;
    const test::Signal stereo = tone();
    struct Case {
        std::string name;
        std::vector<std::string> codec;
        bool direct;
        int bitDepth;
        double rate = 44100;       // of the playable file when opened directly
        double lengthSlack = 1200; // frames at 48 kHz; raw ADTS keeps the encoder's priming
    } cases[] = {
        {"a.wav", {}, true, 16},
        {"b24.wav", {"-c:a", "pcm_s24le"}, true, 24},
        {"c.aif", {}, true, 16},
        {"d.flac", {}, true, 16},
        {"e.caf", {}, true, 16},
        {"f.ogg", {}, true, 24},
        {"g.opus", {"-c:a", "libopus"}, true, 24, 48000},
        {"h.mp3", {"-c:a", "libmp3lame"}, true, 24},
        // Variable bitrate without a frame-count header: its frames are counted, not estimated.
        {"h-vbr.mp3", {"-c:a", "libmp3lame", "-q:a", "2", "-write_xing", "0"}, true, 24},
        {"i.m4a", {"-c:a", "aac"}, false, 16},
        {"j.aac", {"-c:a", "aac", "-f", "adts"}, false, 16, 44100, 2400},
        {"k24.m4a", {"-c:a", "alac", "-sample_fmt", "s32p"}, false, 16},
        {"l.mka", {"-c:a", "pcm_s24le"}, false, 16},
    };
    for (const bool withFfmpeg : {true, false}) {
        if (!withFfmpeg)
            f.settings.ffmpegCandidates.clear();
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name + (withFfmpeg ? " with ffmpeg" : " without ffmpeg"));
            const fs::path path = f.source(c.name, stereo, c.codec);
            const auto result = UniversalAudioLoader::openPlayableAudioFile(path, f.settings);
            ASSERT_TRUE(result.audio);
            EXPECT_EQ(result.originalBitDepth, c.bitDepth);
            EXPECT_EQ(result.audio->framePosition(), 0);
            if (c.direct) {
                EXPECT_EQ(result.playableURL, path);
                EXPECT_EQ(result.audio->fileFormat().sampleRate, c.rate);
            } else {
                EXPECT_EQ(result.playableURL.parent_path(), f.folder / "cache");
                EXPECT_EQ(result.audio->fileFormat().sampleRate, 48000);
                EXPECT_EQ(result.audio->fileFormat().channelCount, 2u);
                EXPECT_NEAR(double(result.audio->length()), 48000, c.lengthSlack);
                EXPECT_NEAR(rmsOf(*result.audio), 0.3536, 0.02);
            }
            fs::remove(path);
        }
    }
}

TEST(UniversalAudioLoader, FailsWithOneErrorAndLeavesNothingBehind) {
    Fixture f;
    f.source("empty.wav", test::silenceSignal(0));
    std::ofstream(f.folder / "notes.mp3") << "just some text, not audio\n";
    std::ofstream(f.folder / "zero.m4a");
    ASSERT_EQ(mkfifo((f.folder / "pipe.wav").c_str(), 0600), 0);
    fs::create_directory(f.folder / "folder.flac");
    const fs::path full = f.source("whole.m4a", test::sineSignal(440, 0.5, 3.0),
                                   {"-c:a", "aac", "-movflags", "+faststart"});
    fs::copy_file(full, f.folder / "cut.m4a");
    fs::resize_file(f.folder / "cut.m4a", fs::file_size(full) / 2);

    const fs::path failing = fakeFfmpeg(f.folder / "failing-ffmpeg", "exit 1");
    for (const auto& candidates : {std::vector<fs::path>{}, std::vector<fs::path>{failing}}) {
        f.settings.ffmpegCandidates = candidates;
        for (const char* name : {"empty.wav", "notes.mp3", "zero.m4a", "pipe.wav", "folder.flac",
                                 "missing.wav", "cut.m4a"}) {
            SCOPED_TRACE(name);
            EXPECT_EQ(failureFor(f.folder / name, f.settings),
                      std::string("Unsupported or empty audio stream in ") + name);
        }
        EXPECT_EQ(f.filesInCache(), 0u);
    }
}

TEST(UniversalAudioLoader, FfmpegStepKeepsTheSourceFormatAndTakesAnyName) {
    Fixture f;
    f.settings.usePlatformTranscoder = false;
    f.source("-take (1).m4a", tone(0.5, 1), {"-c:a", "aac"});

    // A relative name that begins with "-" must reach ffmpeg as a file, never as an option.
    const fs::path previous = fs::current_path();
    fs::current_path(f.folder.path());
    const auto result = UniversalAudioLoader::openPlayableAudioFile("-take (1).m4a", f.settings);
    fs::current_path(previous);

    EXPECT_EQ(result.playableURL.parent_path(), f.folder / "cache");
    EXPECT_EQ(result.audio->fileFormat().sampleRate, 44100);
    EXPECT_EQ(result.audio->fileFormat().channelCount, 1u);
    EXPECT_EQ(result.originalBitDepth, 16);
    EXPECT_NEAR(rmsOf(*result.audio), 0.3536, 0.02);

    f.settings.ffmpegCandidates = {f.folder / "missing-ffmpeg", f.folder.path() / "cache"};
    fs::remove(result.playableURL);
    EXPECT_EQ(failureFor(f.folder / "-take (1).m4a", f.settings),
              "Unsupported or empty audio stream in -take (1).m4a");
}

TEST(UniversalAudioLoader, KilledDecodeIsNeverReused) {
    Fixture f;
    f.settings.usePlatformTranscoder = false;
    const fs::path source = f.source("song.m4a", tone(), {"-c:a", "aac"});
    // Writes a short but valid WAV to the destination, then dies as if killed.
    const fs::path partial = f.source("partial.wav", test::sineSignal(440, 0.5, 0.1));
    f.settings.ffmpegCandidates = {
        fakeFfmpeg(f.folder / "killed-ffmpeg",
                   "for last; do :; done\ncp \"" + partial.string() + "\" \"$last\"\nkill -9 $$")};
    EXPECT_EQ(failureFor(source, f.settings), "Unsupported or empty audio stream in song.m4a");
    EXPECT_EQ(f.filesInCache(), 0u);

    f.settings.ffmpegCandidates = {"/usr/bin/ffmpeg"};
    const auto result = UniversalAudioLoader::openPlayableAudioFile(source, f.settings);
    EXPECT_NEAR(double(result.audio->length()), 44100, 2200);
    EXPECT_EQ(f.filesInCache(), 1u);
}

TEST(UniversalAudioLoader, CacheReusesOnlyItsOwnCopyOfTheSameFile) {
    Fixture f;
    fs::create_directories(f.folder / "one");
    fs::create_directories(f.folder / "two");
    // Same name, same byte size, different audio: PCM in a Matroska container has a fixed size.
    const std::vector<std::string> codec{"-c:a", "pcm_s16le", "-fflags", "+bitexact"};
    const fs::path loud = f.source("one/take.mka", tone(0.5), codec);
    const fs::path quiet = f.source("two/take.mka", tone(0.05), codec);
    ASSERT_EQ(fs::file_size(loud), fs::file_size(quiet));

    const auto first = UniversalAudioLoader::openPlayableAudioFile(loud, f.settings);
    const auto second = UniversalAudioLoader::openPlayableAudioFile(quiet, f.settings);
    EXPECT_NE(first.playableURL, second.playableURL);
    EXPECT_NEAR(rmsOf(*first.audio), 0.3536, 0.01);
    EXPECT_NEAR(rmsOf(*second.audio), 0.03536, 0.002);

    // A second load reuses the copy without decoding, even with no decoder at all.
    f.settings.usePlatformTranscoder = false;
    f.settings.ffmpegCandidates.clear();
    EXPECT_EQ(UniversalAudioLoader::openPlayableAudioFile(loud, f.settings).playableURL,
              first.playableURL);

    // A damaged copy is replaced by a fresh decode.
    f.settings.usePlatformTranscoder = true;
    fs::resize_file(first.playableURL, 10);
    const auto redone = UniversalAudioLoader::openPlayableAudioFile(loud, f.settings);
    EXPECT_EQ(redone.playableURL, first.playableURL);
    EXPECT_NEAR(rmsOf(*redone.audio), 0.3536, 0.01);
}

TEST(UniversalAudioLoader, PlantedCacheFolderOrEntryIsNeitherUsedNorRemoved) {
    Fixture f;
    // The private fallback folders this provokes go with the test's own folder.
    const test::ScopedEnvironmentVariable temporary("TMPDIR", f.folder.path().string());
    const fs::path source = f.source("song.m4a", tone(), {"-c:a", "aac"});
    const fs::path elsewhere = f.folder / "elsewhere";
    fs::create_directory(elsewhere);
    fs::create_directory_symlink(elsewhere, f.settings.cacheFolder);
    const auto viaLink = UniversalAudioLoader::openPlayableAudioFile(source, f.settings);
    EXPECT_TRUE(fs::is_empty(elsewhere));
    struct stat info {};
    ASSERT_EQ(stat(viaLink.playableURL.parent_path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0077, 0u);
    EXPECT_EQ(info.st_uid, geteuid());

    // A directory sitting at the copy's own name stays, and the audio still plays.
    fs::remove(f.settings.cacheFolder);
    const auto folder = PcmCache(f.settings.cacheFolder).folder();
    ASSERT_EQ(folder, f.settings.cacheFolder);
    struct stat sourceInfo {};
    ASSERT_EQ(stat(source.c_str(), &sourceInfo), 0);
    const fs::path entry =
        *folder / PcmCache::cacheFileName(source, PcmCache::SourceIdentity::of(sourceInfo));
    fs::create_directories(entry / "keep");
    const auto beside = UniversalAudioLoader::openPlayableAudioFile(source, f.settings);
    EXPECT_TRUE(fs::exists(entry / "keep"));
    EXPECT_GT(beside.audio->length(), 0);
}

TEST(UniversalAudioLoader, PlaylistsAreRefusedWithoutOpeningWhatTheyName) {
    Fixture f;
    // A hang is the failure here, never a decoder run out of time.
    f.settings.decodeTimeFloor = std::chrono::hours(1);
    ASSERT_EQ(mkfifo((f.folder / "pipe.wav").c_str(), 0600), 0);
    std::ofstream(f.folder / "stream.mp3")
        << "#EXTM3U\n#EXT-X-TARGETDURATION:10\n#EXTINF:10,\npipe.wav\n#EXT-X-ENDLIST\n";
    std::ofstream(f.folder / "list.m4a") << "ffconcat version 1.0\nfile pipe.wav\n";
    for (const bool transcoder : {true, false}) {
        f.settings.usePlatformTranscoder = transcoder;
        for (const char* name : {"stream.mp3", "list.m4a"}) {
            SCOPED_TRACE(std::string(name) + (transcoder ? " transcoder" : " ffmpeg"));
            EXPECT_EQ(failureFor(f.folder / name, f.settings),
                      std::string("Unsupported or empty audio stream in ") + name);
        }
    }
    EXPECT_EQ(f.filesInCache(), 0u);
}

TEST(UniversalAudioLoader, ChainedOggWhoseSecondLinkIsMonoPlaysWhole) {
    Fixture f;
    const fs::path stereo = f.source("stereo.ogg", tone(0.5, 2), {"-c:a", "libvorbis"});
    const fs::path mono = f.source("mono.ogg", tone(0.5, 1), {"-c:a", "libvorbis"});
    const fs::path chained = f.folder / "chained.ogg";
    {
        std::ofstream joined(chained, std::ios::binary);
        joined << std::ifstream(stereo, std::ios::binary).rdbuf()
               << std::ifstream(mono, std::ios::binary).rdbuf();
    }
    for (const bool transcoder : {true, false}) {
        SCOPED_TRACE(transcoder ? "transcoder" : "ffmpeg");
        f.settings.usePlatformTranscoder = transcoder;
        fs::remove_all(f.folder / "cache");
        const auto result = UniversalAudioLoader::openPlayableAudioFile(chained, f.settings);
        const double rate = result.audio->processingFormat().sampleRate;
        EXPECT_NEAR(double(result.audio->length()) / rate, 2.0, 0.05);
        // ffmpeg's own up-mix of the mono half is 3 dB down; the transcoder copies it.
        EXPECT_NEAR(rmsOf(*result.audio), transcoder ? 0.3536 : 0.306, 0.02);
    }
}

TEST(UniversalAudioLoader, Mp3ThatSwitchesFromMonoToStereoPlaysWhole) {
    Fixture f;
    const std::vector<std::string> plain{"-c:a", "libmp3lame", "-b:a", "128k", "-write_xing", "0"};
    const fs::path mono = f.source("mono.mp3", tone(0.5, 1), plain);
    const fs::path stereo = f.source("stereo.mp3", tone(0.5, 2), plain);
    const fs::path joined = f.folder / "joined.mp3";
    {
        std::ofstream out(joined, std::ios::binary);
        for (const fs::path& part : {mono, stereo})
            out << std::ifstream(part, std::ios::binary).rdbuf();
    }
    for (const bool withFfmpeg : {true, false}) {
        SCOPED_TRACE(withFfmpeg ? "with ffmpeg" : "without ffmpeg");
        if (!withFfmpeg)
            f.settings.ffmpegCandidates.clear();
        fs::remove_all(f.folder / "cache");
        const auto result = UniversalAudioLoader::openPlayableAudioFile(joined, f.settings);
        ASSERT_TRUE(result.audio);
        EXPECT_EQ(result.playableURL.parent_path(), f.folder / "cache");
        // Both seconds, the mono one and the stereo one.
        EXPECT_NEAR(double(result.audio->length()) / result.audio->fileFormat().sampleRate, 2.0,
                    0.1);
    }
}

TEST(UniversalAudioLoader, SampleRatesOutsideTheSaneRangeAreRefusedByEveryStep) {
    Fixture f;
    struct Case {
        const char* name;
        uint32_t rate;
        bool aiff;
        bool opens;
    } cases[] = {
        {"gigahertz.wav", 1'180'000'000, false, false},
        {"gigahertz.bwf", 1'180'000'000, false, false},
        {"gigahertz.aif", 1'180'000'000, true, false},
        {"one-hertz.wav", 1, false, false},
        {"one-hertz.aiff", 1, true, false},
        {"eight-hertz.m4a", 8, false, false},
        {"just-below.ogg", 999, false, false},
        {"just-above.aac", 768'001, false, false},
        {"lowest.wav", 1000, false, true},
        {"highest.aif", 768'000, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::ofstream(f.folder / c.name, std::ios::binary) << pcmFileClaiming(c.rate, c.aiff);
        EXPECT_EQ(failureFor(f.folder / c.name, f.settings),
                  c.opens ? std::string("opened")
                          : std::string("Unsupported or empty audio stream in ") + c.name);
    }
    EXPECT_EQ(f.filesInCache(), 0u);
}

TEST(UniversalAudioLoader, NoRoomOrAStopEndsEitherDecoderWithNothingLeft) {
    Fixture f;
    const fs::path source = f.source("long.m4a", test::sineSignal(440, 0.5, 60.0), {"-c:a", "aac"});
    const auto folder = PcmCache(f.settings.cacheFolder).folder();
    ASSERT_TRUE(folder);
    struct Case {
        bool transcoder;
        bool roomy; // else 200 KiB of room for the 11 MiB the copy needs
        const char* failure;
    } cases[] = {
        {true, false, "Not enough free space for the decoded audio ("},
        {false, false, "Not enough free space for the decoded audio ("},
        {true, true, "Unsupported or empty audio stream in long.m4a"},
        {false, true, "Unsupported or empty audio stream in long.m4a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.transcoder ? "transcoder" : "ffmpeg") +
                     (c.roomy ? ", stopped" : ", no room"));
        UniversalAudioLoader::Settings settings = f.settings;
        settings.usePlatformTranscoder = c.transcoder;
        if (!c.roomy)
            settings.keepFreeBytes = PcmCache::freeBytes(*folder) - 200 * 1024;
        // With room, the caller stops the decode at its second turn.
        int beats = 0;
        platform::WorkHeartbeat heartbeat([&] { return c.roomy ? ++beats < 2 : true; },
                                          std::chrono::milliseconds(0));
        std::string failure = "opened";
        try {
            UniversalAudioLoader::openPlayableAudioFile(source, settings, heartbeat);
        } catch (const TindrelError& error) {
            failure = error.what();
        }
        EXPECT_EQ(failure.rfind(c.failure, 0), 0u) << failure;
        EXPECT_EQ(heartbeat.stopped(), c.roomy);
        EXPECT_EQ(f.filesInCache(), 0u);
    }
}

TEST(UniversalAudioLoader, AFileReplacedWithTheSameSizeAndTimeIsDecodedAfresh) {
    Fixture f;
    // PCM in a Matroska container: the same byte size whatever the level.
    const std::vector<std::string> codec{"-c:a", "pcm_s16le", "-fflags", "+bitexact"};
    const fs::path song = f.source("take.mka", tone(0.5), codec);
    const fs::path loud = f.source("loud.mka", tone(0.5), codec);
    const fs::path quiet = f.source("quiet.mka", tone(0.05), codec);
    struct stat first {};
    ASSERT_EQ(stat(song.c_str(), &first), 0);
    const auto sameTimeAsFirst = [&](const fs::path& path) {
        const struct timespec times[2] = {first.st_atim, first.st_mtim};
        ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    };
    struct Step {
        const char* how;
        double rms;
        std::function<void()> replace;
    } steps[] = {
        {"first load", 0.3536, [] {}},
        {"another file renamed over it", 0.03536,
         [&] {
             fs::copy_file(quiet, f.folder / "next.mka");
             sameTimeAsFirst(f.folder / "next.mka");
             fs::rename(f.folder / "next.mka", song);
         }},
        {"rewritten in place", 0.3536,
         [&] {
             fs::copy_file(loud, song, fs::copy_options::overwrite_existing);
             sameTimeAsFirst(song);
         }},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.how);
        step.replace();
        const auto result = UniversalAudioLoader::openPlayableAudioFile(song, f.settings);
        EXPECT_NEAR(rmsOf(*result.audio), step.rms, step.rms * 0.05);
    }
}

TEST(UniversalAudioLoader, CopiesInUseStayAndTheRestIsTrimmedAfterEachDecode) {
    Fixture f;
    f.settings.cacheByteLimit = 1; // nothing is kept that is not in use
    std::vector<fs::path> sources;
    for (const char* name : {"one.m4a", "two.m4a", "three.m4a"})
        sources.push_back(f.source(name, tone(), {"-c:a", "aac"}));

    auto one = UniversalAudioLoader::openPlayableAudioFile(sources[0], f.settings);
    const auto two = UniversalAudioLoader::openPlayableAudioFile(sources[1], f.settings);
    EXPECT_EQ(f.filesInCache(), 2u);
    const fs::path firstCopy = one.playableURL;
    one = {}; // no longer played
    const auto three = UniversalAudioLoader::openPlayableAudioFile(sources[2], f.settings);
    EXPECT_FALSE(fs::exists(firstCopy));
    EXPECT_TRUE(fs::exists(two.playableURL));
    EXPECT_TRUE(fs::exists(three.playableURL));
    // A copy in use is found again without decoding.
    f.settings.usePlatformTranscoder = false;
    f.settings.ffmpegCandidates.clear();
    EXPECT_EQ(UniversalAudioLoader::openPlayableAudioFile(sources[1], f.settings).playableURL,
              two.playableURL);
}

// Root writes into any folder, so the loader runs as another user in a child process there.
TEST(UniversalAudioLoader, AReadOnlySharedCacheLeavesTheCopyToThePrivateFolder) {
    Fixture f;
    const fs::path source = f.source("a.m4a", tone(), {"-c:a", "aac"});
    fs::create_directory(f.settings.cacheFolder);
    fs::create_directory(f.folder / "temporary");
    std::ofstream(f.folder / "plain") << "not a folder";
    const struct {
        const char* name;
        fs::path temporaryFolder;
        std::string outcome;
    } cases[] = {
        {"a private folder can be made", f.folder / "temporary", "played beside the others"},
        {"no folder takes the copy", f.folder / "plain" / "temporary",
         "Cannot write the decoded audio in " + f.settings.cacheFolder.string() +
             ": Permission denied"},
    };
    for (const auto& c : cases) {
        int result[2];
        ASSERT_EQ(pipe(result), 0);
        const pid_t loader = fork();
        ASSERT_GE(loader, 0);
        if (loader == 0) {
            const uid_t nobody = 65534;
            if (geteuid() == 0) {
                for (const auto& entry : fs::recursive_directory_iterator(f.folder.path()))
                    (void)lchown(entry.path().c_str(), nobody, nobody);
                (void)lchown(f.folder.path().c_str(), nobody, nobody);
                if (setgid(nobody) != 0 || setuid(nobody) != 0)
                    _exit(2);
            }
            chmod(f.settings.cacheFolder.c_str(), 0500);
            setenv("TMPDIR", c.temporaryFolder.c_str(), 1);
            std::string outcome;
            try {
                const auto playable =
                    UniversalAudioLoader::openPlayableAudioFile(source, f.settings);
                outcome = playable.audio->length() > 0 &&
                                  playable.playableURL.string().starts_with(
                                      c.temporaryFolder.string() + "/tindrel-pcm-")
                              ? "played beside the others"
                              : "played from " + playable.playableURL.string();
            } catch (const TindrelError& error) {
                outcome = error.what();
            }
            (void)!write(result[1], outcome.data(), outcome.size());
            _exit(0);
        }
        close(result[1]);
        std::string outcome;
        char buffer[512];
        for (ssize_t got; (got = read(result[0], buffer, sizeof buffer)) > 0;)
            outcome.append(buffer, size_t(got));
        close(result[0]);
        int status = 0;
        ASSERT_EQ(waitpid(loader, &status, 0), loader);
        EXPECT_EQ(outcome, c.outcome) << c.name;
        EXPECT_TRUE(fs::is_empty(f.settings.cacheFolder)) << c.name;
    }
}
