#include "Tindrel/platform/audio/AudioFile.h"
#include "tests/support/ExternalEncoder.h"
#include "tests/support/GeneratedAudio.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <future>
#include <iterator>
#include <random>

using namespace tindrel;
using platform::AudioFile;
using platform::AudioPcmBuffer;
namespace fs = std::filesystem;

namespace {

using Channels = std::vector<std::vector<float>>;

Channels readAll(AudioFile& file) {
    const uint32_t channels = file.processingFormat().channelCount;
    Channels all(channels);
    AudioPcmBuffer buffer(channels, 4000);
    file.setFramePosition(0);
    while (file.read(buffer, 4000) && buffer.frameLength() > 0)
        for (uint32_t c = 0; c < channels; ++c)
            all[c].insert(all[c].end(), buffer.channelData(c),
                          buffer.channelData(c) + buffer.frameLength());
    return all;
}

fs::path encode(const test::TemporaryFolder& folder, const std::string& name,
                const test::Signal& signal, const std::vector<std::string>& codec) {
    const fs::path wav = folder / (name + ".wav");
    test::writeAudioFile(wav, signal);
    const fs::path mp3 = folder / name;
    if (!test::encodeWithFfmpeg(wav, mp3, codec))
        throw std::runtime_error("encode " + name);
    return mp3;
}

std::string bytesOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// An ID3v2.3 tag of `size` bytes holding one private frame of random bytes, among them
// plenty of MPEG frame syncs that a careless reader would take for audio.
std::string id3v2Tag(uint32_t size) {
    const auto syncSafe = [](uint32_t v) {
        return std::string{char((v >> 21) & 0x7F), char((v >> 14) & 0x7F), char((v >> 7) & 0x7F),
                           char(v & 0x7F)};
    };
    const uint32_t frameSize = size - 10 - 10;
    std::string tag = "ID3" + std::string{3, 0, 0} + syncSafe(size - 10) + "PRIV" +
                      std::string{char(frameSize >> 24),
                                  char(frameSize >> 16),
                                  char(frameSize >> 8),
                                  char(frameSize),
                                  0,
                                  0};
    std::mt19937 random(5);
    for (uint32_t i = 0; i < frameSize; ++i)
        tag.push_back(i % 997 == 0 ? char(0xFF) : char(random() & 0x7F));
    return tag;
}

// Signal-to-error ratio in dB of the decode against the source, frame for frame.
double matchDb(const Channels& decoded, const test::Signal& source) {
    double error = 0, reference = 0;
    for (int64_t i = 0; i < std::min<int64_t>(source.frames(), decoded[0].size()); ++i) {
        const double d = decoded[0][size_t(i)] - source.at(i, 0);
        error += d * d;
        reference += double(source.at(i, 0)) * source.at(i, 0);
    }
    return 10 * std::log10(reference / (error + 1e-30));
}

} // namespace

TEST(Mp3AudioFile, ExactLengthAndSampleExactSeeksWithAndWithoutFrameCountHeaders) {
    test::TemporaryFolder folder;
    test::Signal signal = test::pinkNoiseSignal(-14, 4.0, 44100, 2, 3);
    const test::Signal tone = test::sineSignal(440, 0.3, 4.0);
    for (size_t i = 0; i < signal.samples.size(); ++i)
        signal.samples[i] += tone.samples[i];
    const std::vector<std::string> cbr{"-c:a", "libmp3lame", "-b:a", "192k"};
    const std::vector<std::string> vbr{"-c:a", "libmp3lame", "-q:a", "2"};
    const auto without = [](std::vector<std::string> codec) {
        codec.insert(codec.end(), {"-write_xing", "0"});
        return codec;
    };
    const fs::path vbrTagged = encode(folder, "vbr.mp3", signal, vbr);
    const fs::path id3Tagged = folder / "id3.mp3";
    std::ofstream(id3Tagged, std::ios::binary) << id3v2Tag(1 << 20) << bytesOf(vbrTagged);

    struct Case {
        fs::path file;
        bool trimmed; // a LAME tag names the encoder's delay and padding
    } cases[] = {
        {encode(folder, "cbr.mp3", signal, cbr), true},
        {encode(folder, "cbr-untagged.mp3", signal, without(cbr)), false},
        {vbrTagged, true},
        {encode(folder, "vbr-untagged.mp3", signal, without(vbr)), false},
        {id3Tagged, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.filename().string());
        auto file = AudioFile::openForReading(c.file);
        ASSERT_TRUE(file);
        ASSERT_EQ(file->processingFormat().channelCount, 2u);
        const Channels sequential = readAll(*file);
        ASSERT_EQ(int64_t(sequential[0].size()), file->length());
        if (c.trimmed) {
            EXPECT_EQ(file->length(), signal.frames());
            EXPECT_GT(matchDb(sequential, signal), 15);
        } else {
            // Untrimmed, the whole stream plays: the encoder's delay and padding stay in.
            EXPECT_GT(file->length(), signal.frames());
            EXPECT_LT(file->length(), signal.frames() + 3 * 1152);
        }

        // A reopened reader shares the seek index; both must land on the sequential frames.
        auto reopened = file->reopen();
        ASSERT_TRUE(reopened);
        EXPECT_EQ(reopened->length(), file->length());
        AudioPcmBuffer buffer(2, 1500);
        for (AudioFile* reader : {file.get(), reopened.get()}) {
            for (int64_t position : {int64_t(150000), int64_t(17), int64_t(88200), int64_t(1153),
                                     file->length() - 700, file->length() + 50}) {
                SCOPED_TRACE(position);
                reader->setFramePosition(position);
                ASSERT_TRUE(reader->read(buffer, 1500));
                const int64_t expected = std::clamp<int64_t>(file->length() - position, 0, 1500);
                ASSERT_EQ(buffer.frameLength(), expected);
                for (uint32_t ch = 0; ch < 2; ++ch)
                    for (int64_t i = 0; i < expected; ++i)
                        ASSERT_EQ(buffer.channelData(ch)[i], sequential[ch][size_t(position + i)])
                            << "frame " << position + i;
            }
        }
    }
    EXPECT_EQ(readAll(*AudioFile::openForReading(id3Tagged)),
              readAll(*AudioFile::openForReading(vbrTagged)));

    // A reader reopened after its file was deleted still reads the file it opened.
    auto kept = AudioFile::openForReading(vbrTagged);
    fs::remove(vbrTagged);
    auto again = kept->reopen();
    ASSERT_TRUE(again);
    EXPECT_EQ(readAll(*again), readAll(*kept));
}

namespace {

// Two seconds of a 1 kHz tone, alone or with one at 3150 Hz: held tones leave LAME's bit
// reservoir full, so that frames reach far back (noise empties it).
test::Signal heldTones(bool twoTones, double sampleRate, int channels) {
    constexpr double seconds = 2.0;
    test::Signal signal = test::sineSignal(1000, 0.25, seconds, sampleRate, channels);
    if (twoTones) {
        const test::Signal upper = test::sineSignal(3150, 0.1, seconds, sampleRate, channels, 1);
        for (size_t i = 0; i < signal.samples.size(); ++i)
            signal.samples[i] = 0.6f * signal.samples[i] + upper.samples[i];
    }
    return signal;
}

// Four seconds of speech-like sound: voiced syllables (a low fundamental and its harmonics,
// sharp onsets), hissed consonants and pauses. Its onsets switch LAME to short blocks, and its
// bursts after pauses draw on the bit reservoir unevenly.
test::Signal speechLike(double sampleRate, int channels) {
    test::Signal signal = test::silenceSignal(4.0, sampleRate, channels);
    std::mt19937 random(11);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    const int64_t frames = signal.frames();
    int64_t at = 0;
    while (at < frames) {
        const int64_t length = int64_t(sampleRate * (0.08 + 0.25 * uniform(random)));
        const double kind = uniform(random);
        const double fundamental = 90 + 140 * uniform(random);
        for (int64_t i = 0; i < length && at + i < frames; ++i) {
            const double t = double(i) / sampleRate;
            const double envelope = std::min(1.0, t * 400) * std::exp(-t * 6);
            double v = 0;
            if (kind < 0.55) {
                for (int h = 1; h <= 12; ++h)
                    v += std::sin(2 * M_PI * fundamental * h * t * (1 + 0.2 * t)) / h;
                v *= 0.3;
            } else if (kind < 0.8) {
                v = 0.25 * (2 * uniform(random) - 1);
            }
            for (int c = 0; c < channels; ++c)
                signal.samples[size_t((at + i) * channels + c)] =
                    float(envelope * v * (c == 0 ? 1.0 : 0.7));
        }
        at += length;
    }
    return signal;
}

// The first frame at or after `from` where `buffer` and `sequential` differ in any bit, or -1.
int64_t firstDifference(const AudioPcmBuffer& buffer, const Channels& sequential, int64_t from) {
    for (int64_t i = 0; i < buffer.frameLength(); ++i)
        for (size_t c = 0; c < sequential.size(); ++c)
            if (std::memcmp(&buffer.channelData(uint32_t(c))[i], &sequential[c][size_t(from + i)],
                            sizeof(float)) != 0)
                return from + i;
    return -1;
}

} // namespace

TEST(Mp3AudioFile, EverySeekReadsWhatASequentialReadDoes) {
    test::TemporaryFolder folder;
    const auto cbr = [](const char* rate) {
        return std::vector<std::string>{"-c:a", "libmp3lame", "-b:a", rate};
    };
    const auto vbr = [](const char* quality) {
        return std::vector<std::string>{"-c:a", "libmp3lame", "-q:a", quality};
    };
    const auto untagged = [](std::vector<std::string> codec) {
        codec.insert(codec.end(), {"-write_xing", "0"});
        return codec;
    };
    const auto titled = [](std::vector<std::string> codec) {
        codec.insert(codec.end(), {"-id3v2_version", "3", "-metadata", "title=Held tone"});
        return codec;
    };
    struct Case {
        const char* name;
        double sampleRate;
        int channels;
        bool twoTones;
        std::vector<std::string> codec;
        bool speech = false;
    } cases[] = {
        {"cbr8-24k.mp3", 24000, 2, true, cbr("8k")},
        {"cbr16-mono-16k.mp3", 16000, 1, false, cbr("16k")},
        {"v5-22k.mp3", 22050, 2, false, vbr("5")},
        {"v9-11k.mp3", 11025, 1, false, vbr("9")},
        {"v9-8k-untagged.mp3", 8000, 2, false, untagged(vbr("9"))},
        {"cbr32-mono-32k.mp3", 32000, 1, false, cbr("32k")},
        {"cbr32-44k.mp3", 44100, 2, true, cbr("32k")},
        {"cbr64-48k.mp3", 48000, 2, false, cbr("64k")},
        {"cbr96-mono-44k.mp3", 44100, 1, true, cbr("96k")},
        {"cbr128-32k-untagged.mp3", 32000, 2, false, untagged(cbr("128k"))},
        {"cbr192-44k-titled.mp3", 44100, 2, true, titled(cbr("192k"))},
        {"cbr256-mono-48k.mp3", 48000, 1, false, cbr("256k")},
        {"cbr320-48k.mp3", 48000, 2, true, cbr("320k")},
        {"cbr320-44k-untagged.mp3", 44100, 2, false, untagged(cbr("320k"))},
        {"v0-44k.mp3", 44100, 2, false, vbr("0")},
        {"v1-mono-48k.mp3", 48000, 1, true, vbr("1")},
        {"v2-32k.mp3", 32000, 2, false, vbr("2")},
        {"v3-44k-untagged.mp3", 44100, 2, true, untagged(vbr("3"))},
        {"v4-mono-44k.mp3", 44100, 1, false, vbr("4")},
        {"v5-44k.mp3", 44100, 2, false, vbr("5")},
        {"v6-48k.mp3", 48000, 2, true, vbr("6")},
        {"v7-mono-32k-untagged.mp3", 32000, 1, false, untagged(vbr("7"))},
        {"v8-44k-titled.mp3", 44100, 2, true, titled(vbr("8"))},
        {"v9-48k.mp3", 48000, 2, false, vbr("9")},
        {"layer2-48k.mp2", 48000, 2, true, {"-c:a", "mp2", "-b:a", "128k"}},
        // MPEG 2 and 2.5 frames hold 576 samples and reach further back in frames.
        {"speech-v6-mono-22k.mp3", 22050, 1, false, vbr("6"), true},
        {"speech-cbr32-mono-22k.mp3", 22050, 1, false, cbr("32k"), true},
        {"speech-cbr48-24k.mp3", 24000, 2, false, cbr("48k"), true},
        {"speech-v4-16k.mp3", 16000, 2, false, vbr("4"), true},
        {"speech-v8-mono-16k.mp3", 16000, 1, false, vbr("8"), true},
        {"speech-cbr16-mono-11k.mp3", 11025, 1, false, cbr("16k"), true},
        {"speech-v7-12k.mp3", 12000, 2, false, vbr("7"), true},
        {"speech-cbr8-mono-8k.mp3", 8000, 1, false, cbr("8k"), true},
        {"speech-v2-mono-44k.mp3", 44100, 1, false, vbr("2"), true},
        {"speech-cbr128-48k.mp3", 48000, 2, false, cbr("128k"), true},
    };
    // Decoder frames hold 1152 samples (576 below 32 kHz). Where a LAME tag trims the start,
    // the first sample read is the encoder's delay plus the decoder's (576 + 529) into the
    // stream.
    constexpr int64_t trimmedStart = 576 + 529;
    std::vector<std::future<fs::path>> encoded;
    for (const auto& c : cases)
        encoded.push_back(std::async(std::launch::async, [&folder, &c] {
            return encode(folder, c.name,
                          c.speech ? speechLike(c.sampleRate, c.channels)
                                   : heldTones(c.twoTones, c.sampleRate, c.channels),
                          c.codec);
        }));
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        const int64_t frameSize = c.sampleRate < 32000 ? 576 : 1152;
        auto file = AudioFile::openForReading(encoded[i].get());
        ASSERT_TRUE(file);
        ASSERT_EQ(file->processingFormat().channelCount, uint32_t(c.channels));
        const Channels sequential = readAll(*file);
        const int64_t length = file->length();
        ASSERT_EQ(int64_t(sequential[0].size()), length);

        std::vector<int64_t> positions{0, length / 2, length - frameSize, length - 1};
        for (int64_t boundary = 0; boundary < length + trimmedStart; boundary += frameSize)
            for (int64_t start : {boundary, boundary - trimmedStart})
                for (int64_t offset : {-1, 0, 1})
                    if (start + offset >= 0 && start + offset < length)
                        positions.push_back(start + offset);
        std::sort(positions.begin(), positions.end());
        // Long reads put each next position behind the reader, short ones a little ahead.
        for (const int64_t readFrames : {3 * frameSize, int64_t(64)}) {
            AudioPcmBuffer buffer(uint32_t(c.channels), readFrames);
            for (int64_t position : positions) {
                file->setFramePosition(position);
                ASSERT_TRUE(file->read(buffer, readFrames));
                ASSERT_EQ(buffer.frameLength(), std::min(readFrames, length - position));
                ASSERT_EQ(firstDifference(buffer, sequential, position), -1)
                    << "after a seek to " << position << " reading " << readFrames;
            }
        }
    }
}

TEST(Mp3AudioFile, RefusesAStreamThatChangesItsChannelCount) {
    test::TemporaryFolder folder;
    const std::vector<std::string> plain{"-c:a", "libmp3lame", "-b:a", "128k", "-write_xing", "0"};
    const fs::path mono =
        encode(folder, "mono.mp3", test::sineSignal(440, 0.5, 1.0, 44100, 1), plain);
    const fs::path stereo = encode(folder, "stereo.mp3", test::sineSignal(440, 0.5, 1.0), plain);
    const fs::path joined = folder / "joined.mp3";
    std::ofstream(joined, std::ios::binary) << bytesOf(mono) << bytesOf(stereo);
    ASSERT_TRUE(AudioFile::openForReading(mono));
    std::string error;
    EXPECT_FALSE(AudioFile::openForReading(joined, &error));
    EXPECT_FALSE(error.empty());
}
