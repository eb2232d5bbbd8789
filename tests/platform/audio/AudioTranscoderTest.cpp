#include "Tindrel/platform/audio/AudioTranscoder.h"
#include "Tindrel/platform/audio/AudioFile.h"
#include "tests/support/ExternalEncoder.h"
#include "tests/support/GeneratedAudio.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>

using namespace tindrel;
using platform::AudioTranscoder;
namespace fs = std::filesystem;

namespace {

// Transcodes into a new file at `destination`, without a byte budget or a heartbeat.
bool transcodeInto(const fs::path& source, const fs::path& destination) {
    const int file = open(destination.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    platform::WorkHeartbeat unattended;
    const bool written = AudioTranscoder::transcodeToWav(source, file, INT64_MAX, unattended) ==
                         AudioTranscoder::Outcome::written;
    close(file);
    return written;
}

// RMS of channel `channel` of a whole file, read through AudioFile.
double rmsOf(const fs::path& path, uint32_t channel) {
    auto file = platform::AudioFile::openForReading(path);
    platform::AudioPcmBuffer buffer(file->processingFormat().channelCount, 4096);
    double sum = 0;
    int64_t count = 0;
    while (file->read(buffer, 4096) && buffer.frameLength() > 0) {
        for (int64_t i = 0; i < buffer.frameLength(); ++i) {
            sum += double(buffer.channelData(channel)[i]) * buffer.channelData(channel)[i];
        }
        count += buffer.frameLength();
    }
    return count ? std::sqrt(sum / double(count)) : 0;
}

} // namespace

TEST(AudioTranscoder, WritesStereo48kWavOfTheStatedLength) {
    test::TemporaryFolder folder;
    const auto wav = folder / "tone.wav";
    test::writeAudioFile(wav, test::sineSignal(440, 0.5, 2.0, 44100, 1));
    struct Case {
        const char* name;
        std::vector<std::string> codec;
        int64_t expectedFrames; // at 48 kHz
        int64_t tolerance;      // frames; the MP4 family is cut to its stated length exactly
        double rmsTolerance;    // the MP3 encoder itself loses about 0.4 dB on this tone
    } cases[] = {
        {"tone.m4a", {"-c:a", "aac", "-b:a", "128k"}, 96000, 1, 0.01},
        {"tone.mp3", {"-c:a", "libmp3lame", "-b:a", "128k"}, 96000, 1200, 0.025},
        {"tone.opus", {"-c:a", "libopus"}, 96000, 1, 0.01},
        {"tone.flac", {"-c:a", "flac"}, 96000, 1, 0.01},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(test::encodeWithFfmpeg(wav, folder / c.name, c.codec));
        const auto out = folder / (std::string(c.name) + ".wav");
        ASSERT_TRUE(transcodeInto(folder / c.name, out));
        auto file = platform::AudioFile::openForReading(out);
        ASSERT_TRUE(file);
        EXPECT_EQ(file->fileFormat().sampleRate, 48000);
        EXPECT_EQ(file->fileFormat().channelCount, 2u);
        EXPECT_EQ(file->fileBitDepth(), 16);
        EXPECT_NEAR(double(file->length()), double(c.expectedFrames), double(c.tolerance));
        // Mono reaches both sides at its own level (0.5 sine: RMS 0.354).
        EXPECT_NEAR(rmsOf(out, 0), 0.3536, c.rmsTolerance);
        EXPECT_NEAR(rmsOf(out, 1), 0.3536, c.rmsTolerance);
    }
}

TEST(AudioTranscoder, StreamThatChangesLayoutPartWayIsConvertedWhole) {
    test::TemporaryFolder folder;
    struct Half {
        int channels;
        double rate;
    };
    struct Case {
        const char* name;
        std::vector<std::string> codec;
        Half first, second;
    } cases[] = {
        {"chain.ogg", {"-c:a", "libvorbis"}, {2, 44100}, {1, 44100}},
        {"chain.aac", {"-c:a", "aac", "-f", "adts"}, {2, 44100}, {1, 44100}},
        {"rates.aac", {"-c:a", "aac", "-f", "adts"}, {1, 44100}, {2, 22050}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Two encoded streams back to back: Ogg chains them, ADTS frames simply follow.
        const auto source = folder / c.name;
        {
            std::ofstream joined(source, std::ios::binary);
            for (const Half& half : {c.first, c.second}) {
                const auto wav = folder / "half.wav";
                const auto encoded =
                    folder / (std::string("half") + fs::path(c.name).extension().string());
                test::writeAudioFile(wav,
                                     test::sineSignal(440, 0.5, 1.0, half.rate, half.channels));
                ASSERT_TRUE(test::encodeWithFfmpeg(wav, encoded, c.codec));
                std::ifstream part(encoded, std::ios::binary);
                joined << part.rdbuf();
            }
        }
        const auto out = folder / (std::string(c.name) + ".wav");
        ASSERT_TRUE(transcodeInto(source, out));
        auto file = platform::AudioFile::openForReading(out);
        ASSERT_TRUE(file);
        // Each ADTS half keeps its own encoder delay and padding.
        EXPECT_NEAR(double(file->length()), 96000, 6000);
        EXPECT_NEAR(rmsOf(out, 0), 0.3536, 0.03);
        EXPECT_NEAR(rmsOf(out, 1), 0.3536, 0.03);
    }
}
