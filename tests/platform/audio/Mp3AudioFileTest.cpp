#include "Tindrel/platform/audio/AudioFile.h"
#include "tests/support/ExternalEncoder.h"
#include "tests/support/GeneratedAudio.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
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
