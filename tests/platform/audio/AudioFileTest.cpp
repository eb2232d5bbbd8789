#include "Tindrel/platform/audio/AudioFile.h"
#include "tests/support/ExternalEncoder.h"
#include "tests/support/GeneratedAudio.h"
#include "tests/support/OggPages.h"
#include "tests/support/TemporaryFolder.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <fstream>

using namespace tindrel;
using platform::AudioFile;
using platform::AudioPcmBuffer;
namespace fs = std::filesystem;

namespace {
std::atomic<int> closesOfClosedDescriptors{0};
} // namespace

// Every close() of this program, ours and the libraries', goes through here. A descriptor
// closed twice may by then belong to a file another thread has just opened.
extern "C" int close(int fd) {
    static const auto realClose = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "close"));
    const int result = realClose(fd);
    if (result != 0 && errno == EBADF)
        ++closesOfClosedDescriptors;
    return result;
}

namespace {

// Every frame of the file, channel by channel, read sequentially from the start.
std::vector<std::vector<float>> readAll(AudioFile& file) {
    const uint32_t channels = file.processingFormat().channelCount;
    std::vector<std::vector<float>> all(channels);
    AudioPcmBuffer buffer(channels, 3000);
    file.setFramePosition(0);
    while (file.read(buffer, 3000) && buffer.frameLength() > 0) {
        for (uint32_t c = 0; c < channels; ++c)
            all[c].insert(all[c].end(), buffer.channelData(c),
                          buffer.channelData(c) + buffer.frameLength());
    }
    return all;
}

// Frames libsndfile's own decoder yields when read to the end, whatever the header says.
int64_t framesLibsndfileDecodes(const fs::path& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    std::vector<float> scratch(size_t(4096 * info.channels));
    int64_t frames = 0;
    for (sf_count_t got; (got = sf_readf_float(file, scratch.data(), 4096)) > 0;)
        frames += got;
    sf_close(file);
    return frames;
}

fs::path makeFixture(const test::TemporaryFolder& folder, const std::string& name,
                     const test::Signal& signal) {
    const fs::path path = folder / name;
    const std::string ext = path.extension().string();
    if (ext == ".mp3" || ext == ".opus") {
        const fs::path wav = folder / (name + ".source.wav");
        test::writeAudioFile(wav, signal);
        std::vector<std::string> codec =
            ext == ".opus" ? std::vector<std::string>{"-c:a", "libopus", "-b:a", "160k"}
                           : std::vector<std::string>{"-c:a", "libmp3lame",  "-b:a",
                                                      "192k", "-write_xing", "0"};
        if (!test::encodeWithFfmpeg(wav, path, codec))
            throw std::runtime_error("encode " + name);
    } else {
        test::writeAudioFile(path, signal,
                             name.find("float") != std::string::npos ? test::SampleEncoding::Float32
                             : name.find("24") != std::string::npos  ? test::SampleEncoding::Pcm24
                                                                     : test::SampleEncoding::Pcm16);
    }
    if (name.find("cut") != std::string::npos) {
        // A copy that stopped a third of the way: the header still states the whole length.
        fs::resize_file(path, fs::file_size(path) / 3);
    }
    if (name.find("unsized") != std::string::npos) {
        // As a FLAC written through a pipe: its stream info states no total sample count.
        std::fstream flac(path, std::ios::in | std::ios::out | std::ios::binary);
        char head[26];
        flac.read(head, sizeof head);
        head[21] = char(head[21] & 0xF0);
        std::fill(head + 22, head + 26, char(0));
        flac.seekp(0);
        flac.write(head, sizeof head);
    }
    return path;
}

} // namespace

TEST(AudioFile, SeekThenReadMatchesSequentialReadInEveryDirectFormat) {
    test::TemporaryFolder folder;
    // Noise plus a tone: any misplaced frame shows as a large error.
    test::Signal signal = test::pinkNoiseSignal(-12, 3.0, 44100, 2, 7);
    const test::Signal tone = test::sineSignal(997, 0.25, 3.0, 44100, 2);
    for (size_t i = 0; i < signal.samples.size(); ++i)
        signal.samples[i] += tone.samples[i];

    struct Case {
        const char* name;
        bool lossy;
        std::optional<int> bitDepth;
    } cases[] = {
        {"pcm16.wav", false, 16},           {"pcm24.wav", false, 24},
        {"float.wav", false, 32},           {"pcm16.aif", false, 16},
        {"pcm24.flac", false, 24},          {"pcm16.caf", false, 16},
        {"vorbis.ogg", true, std::nullopt}, {"opus.opus", true, std::nullopt},
        {"lame.mp3", true, std::nullopt},   {"unsized.flac", false, 16},
        {"cut24.flac", false, 24},          {"cut.aif", false, 16},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto file = AudioFile::openForReading(makeFixture(folder, c.name, signal));
        ASSERT_TRUE(file);
        EXPECT_EQ(file->fileBitDepth(), c.bitDepth);
        const auto sequential = readAll(*file);
        ASSERT_EQ(int64_t(sequential[0].size()), file->length());

        AudioPcmBuffer buffer(file->processingFormat().channelCount, 1500);
        // Backwards and forwards jumps, including one past the end.
        for (int64_t position : {int64_t(100000), int64_t(17), int64_t(66150), int64_t(12345),
                                 file->length() - 700, int64_t(1), file->length() + 50}) {
            SCOPED_TRACE(position);
            file->setFramePosition(position);
            ASSERT_TRUE(file->read(buffer, 1500));
            const int64_t expected = std::clamp<int64_t>(file->length() - position, 0, 1500);
            ASSERT_EQ(buffer.frameLength(), expected);
            double error = 0, reference = 0;
            for (uint32_t ch = 0; ch < file->processingFormat().channelCount; ++ch) {
                for (int64_t i = 0; i < expected; ++i) {
                    const float want = sequential[ch][size_t(position + i)];
                    const float got = buffer.channelData(ch)[i];
                    if (!c.lossy) {
                        ASSERT_EQ(got, want) << "frame " << position + i;
                    }
                    error += double(got - want) * (got - want);
                    reference += double(want) * want;
                }
            }
            if (c.lossy && reference > 0) {
                EXPECT_LT(10 * std::log10(error / reference + 1e-30), -80);
            }
        }
    }
}

TEST(AudioFile, Mp3WithoutLameHeaderHasTheLengthThatDecodes) {
    test::TemporaryFolder folder;
    const fs::path mp3 = makeFixture(folder, "plain.mp3", test::sineSignal(300, 0.5, 5.0));
    const int64_t decodes = framesLibsndfileDecodes(mp3);
    for (int open = 0; open < 2; ++open) {
        auto file = AudioFile::openForReading(mp3);
        ASSERT_TRUE(file);
        EXPECT_EQ(file->length(), decodes);
        auto again = file->reopen();
        ASSERT_TRUE(again);
        EXPECT_EQ(again->length(), decodes);
        EXPECT_EQ(again->framePosition(), 0);
    }
}

TEST(AudioFile, RefusesWhatIsNotARegularAudioFile) {
    test::TemporaryFolder folder;
    ASSERT_EQ(mkfifo((folder / "pipe.wav").c_str(), 0600),
              0); // must not block waiting for a writer
    fs::create_directory(folder / "folder.wav");
    std::ofstream(folder / "text.wav") << "RIFF but not really a wave file";
    std::ofstream(folder / "empty.flac");
    closesOfClosedDescriptors = 0;
    for (const char* name : {"pipe.wav", "folder.wav", "text.wav", "empty.flac", "missing.wav"}) {
        SCOPED_TRACE(name);
        std::string error;
        EXPECT_FALSE(AudioFile::openForReading(folder / name, &error));
        EXPECT_FALSE(error.empty());
    }
    EXPECT_EQ(closesOfClosedDescriptors, 0);
}

TEST(AudioFile, ReadsPartOfATruncatedFileAndStopsAtItsEnd) {
    test::TemporaryFolder folder;
    const fs::path wav = folder / "cut.wav";
    test::writeAudioFile(wav, test::sineSignal(440, 0.5, 1.0, 44100, 2));
    fs::resize_file(wav, 44 + 4 * 1000 + 2); // header, 1000 whole frames and half of one
    auto file = AudioFile::openForReading(wav);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->length(), 1000);
    EXPECT_EQ(readAll(*file)[0].size(), 1000u);
}

TEST(AudioFile, NonFiniteAndImplausiblyLargeSamplesReadAsSilence) {
    test::TemporaryFolder folder;
    test::Signal signal = test::sineSignal(440, 0.5, 0.5, 44100, 2);
    // 2^15 full scale is the largest sample kept.
    const std::pair<int64_t, float> planted[] = {
        {0, NAN},        {1, INFINITY},    {2, -INFINITY},   {5000, NAN},      {22049, -NAN},
        {6000, 3.4e38f}, {6001, -3.4e38f}, {6002, 32768.5f}, {6003, 32768.0f}, {6004, -32768.0f}};
    for (const auto& [frame, value] : planted)
        signal.samples[size_t(frame * 2 + 1)] = value;
    for (const char* name : {"nan-float.wav", "nan-float.caf", "nan-float.aif"}) {
        SCOPED_TRACE(name);
        auto file = AudioFile::openForReading(makeFixture(folder, name, signal));
        ASSERT_TRUE(file);
        // The player and the export read through a reopened reader.
        std::vector<std::unique_ptr<AudioFile>> readers;
        readers.push_back(file->reopen());
        readers.push_back(std::move(file));
        for (const auto& reader : readers) {
            const auto all = readAll(*reader);
            ASSERT_EQ(all[1].size(), size_t(signal.frames()));
            for (int64_t frame = 0; frame < signal.frames(); ++frame) {
                const float planted = signal.at(frame, 1);
                const float want = std::fabs(planted) <= 32768.0f ? planted : 0;
                ASSERT_EQ(all[1][size_t(frame)], want) << frame;
                ASSERT_EQ(all[0][size_t(frame)], signal.at(frame, 0)) << frame;
            }
        }
    }
}

TEST(AudioFile, AnRf64HeaderClaimingImpossibleSizesReadsWhatTheFileHolds) {
    test::TemporaryFolder folder;
    constexpr uint64_t frames = 1000;
    const auto little = [](std::string& bytes, uint64_t value, int size) {
        for (int i = 0; i < size; ++i)
            bytes += char(value >> (8 * i));
    };
    const struct {
        const char* name;
        uint64_t dataSize, sampleCount;
    } cases[] = {
        {"data.wav", (uint64_t(1) << 63) - 8, frames},
        {"samples.wav", frames * 8, (uint64_t(1) << 63) - 1},
        {"both.wav", (uint64_t(1) << 63) - 8, (uint64_t(1) << 63) - 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string wav = "RF64\xff\xff\xff\xffWAVEds64";
        little(wav, 28, 4);
        little(wav, c.dataSize + 72, 8);
        little(wav, c.dataSize, 8);
        little(wav, c.sampleCount, 8);
        little(wav, 0, 4);
        wav += "fmt ";
        for (const auto& [value, size] : std::initializer_list<std::pair<uint64_t, int>>{
                 {16, 4}, {3, 2}, {2, 2}, {44100, 4}, {44100 * 8, 4}, {8, 2}, {32, 2}})
            little(wav, value, size);
        wav += "data\xff\xff\xff\xff";
        wav += std::string(frames * 8, '\0');
        std::ofstream(folder / c.name, std::ios::binary) << wav;
        auto file = AudioFile::openForReading(folder / c.name);
        ASSERT_TRUE(file);
        EXPECT_EQ(file->length(), int64_t(frames));
        EXPECT_EQ(readAll(*file)[0].size(), frames);
    }
}

TEST(AudioFile, ReopensTheOpenedFileAfterItWasMovedOrDeleted) {
    test::TemporaryFolder folder;
    const test::Signal signal = test::pinkNoiseSignal(-12, 1.0, 44100, 2, 3);
    for (const char* name : {"moved.wav", "moved.flac", "moved.ogg"}) {
        SCOPED_TRACE(name);
        auto file = AudioFile::openForReading(makeFixture(folder, name, signal));
        ASSERT_TRUE(file);
        const auto original = readAll(*file);
        fs::rename(folder / name, folder / "elsewhere");
        auto afterMove = file->reopen();
        ASSERT_TRUE(afterMove);
        fs::remove(folder / "elsewhere");
        auto afterDelete = afterMove->reopen();
        ASSERT_TRUE(afterDelete);
        EXPECT_EQ(readAll(*afterMove), original);
        EXPECT_EQ(readAll(*afterDelete), original);
        EXPECT_EQ(afterDelete->path(), folder / name);
    }
}

namespace {

// A tone of `seconds` encoded by ffmpeg with `codec`, as bytes.
std::string encodedTone(const test::TemporaryFolder& folder, const std::string& name,
                        const char* codec, int channels, double seconds = 1.0) {
    const fs::path wav = folder / (name + ".wav");
    test::writeAudioFile(wav, test::sineSignal(440, 0.5, seconds, 48000, channels));
    if (!test::encodeWithFfmpeg(wav, folder / name, {"-c:a", codec}))
        throw std::runtime_error("encode " + name);
    std::ifstream file(folder / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

} // namespace

TEST(AudioFile, OggVorbisItsOwnReaderRefusesIsNotRetriedElsewhere) {
    test::TemporaryFolder folder;
    const std::string stereo = encodedTone(folder, "stereo.ogg", "libvorbis", 2);
    const std::string mono = encodedTone(folder, "mono.ogg", "libvorbis", 1);
    const std::string opus = encodedTone(folder, "stereo.opus", "libopus", 2);
    std::string damaged = stereo;
    for (size_t i = 200; i < 400; ++i)
        damaged[i] = char(damaged[i] ^ 0x55);
    // The comment header of a later link overwritten where its page begins.
    std::string brokenLink = stereo;
    const size_t secondPage = brokenLink.find("OggS", 4);
    const size_t body = secondPage + 27 + static_cast<unsigned char>(brokenLink[secondPage + 26]);
    brokenLink.replace(body, 7, "\xc7]\xc9]\xc9\x8f\xcb");
    const std::pair<const char*, std::string> cases[] = {
        {"chained.ogg", stereo + mono}, // a second link of another layout
        {"vorbis-then-opus.ogg", stereo + opus},
        {"vorbis-then-broken-link.ogg", stereo + brokenLink},
        {"damaged.ogg", damaged},
        {"cut.ogg", stereo.substr(0, 3000)},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        std::ofstream(folder / name, std::ios::binary) << bytes;
        std::string error;
        EXPECT_FALSE(AudioFile::openForReading(folder / name, &error));
        EXPECT_FALSE(error.empty());
        // No refused open may keep memory (a reader tried after it, or the library's own
        // refusal of a link of another codec, would).
        const size_t before = mallinfo2().uordblks;
        for (int open = 0; open < 600; ++open)
            AudioFile::openForReading(folder / name);
        EXPECT_LT(mallinfo2().uordblks, before + 4 * 1024);
    }
}

TEST(AudioFile, OggLengthIsWhatDecodesWhateverTheLastGranuleClaims) {
    test::TemporaryFolder folder;
    struct Case {
        const char* name;
        const char* codec;
        uint64_t granule;
    };
    const Case cases[] = {
        {"vorbis.ogg", "libvorbis", uint64_t(1) << 40}, // 6925 hours
        {"vorbis-short-lie.ogg", "libvorbis", 48000 * 5},
        {"opus.opus", "libopus", uint64_t(1) << 40},
        {"opus-short-lie.opus", "libopus", 48000 * 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string honest = encodedTone(folder, c.name, c.codec, 2, 2.0);
        std::ofstream(folder / c.name, std::ios::binary)
            << test::withLastGranulePosition(honest, c.granule);
        auto file = AudioFile::openForReading(folder / c.name);
        ASSERT_TRUE(file);
        // About the two seconds encoded (Opus counts at 48 kHz after its pre-skip).
        EXPECT_GT(file->length(), 96000 - 1000);
        EXPECT_LT(file->length(), 96000 + 4000);
        EXPECT_EQ(int64_t(readAll(*file)[0].size()), file->length());
        EXPECT_EQ(file->reopen()->length(), file->length());
    }
}
