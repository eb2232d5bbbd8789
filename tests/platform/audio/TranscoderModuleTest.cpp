#include "Tindrel/platform/audio/TranscoderModule.h"
#include "Tindrel/platform/audio/AudioFile.h"
#include "Tindrel/platform/files/FileDescriptor.h"
#include "tests/support/GeneratedAudio.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <fstream>
#include <sstream>

using namespace tindrel;
using platform::TranscoderModule;

namespace {

bool ffmpegIsLoaded() {
    std::ifstream maps("/proc/self/maps");
    std::stringstream text;
    text << maps.rdbuf();
    return text.str().find("libavformat") != std::string::npos;
}

} // namespace

// This test program links the loader alone, as the player does: the FFmpeg libraries come in
// with the first transcode, never at start.
TEST(TranscoderModule, BringsFfmpegInOnlyWhenFirstAskedAndThenTranscodes) {
    ASSERT_FALSE(ffmpegIsLoaded());
    test::TemporaryFolder folder;
    const auto source = folder / "tone.wav";
    const auto destination = folder / "out.wav";
    test::writeAudioFile(source, test::sineSignal(440, 0.5, 1.0, 44100, 1));

    const TranscoderModule::TranscodeToWav transcode = TranscoderModule::transcodeToWav();
    ASSERT_NE(transcode, nullptr);
    EXPECT_TRUE(ffmpegIsLoaded());
    const platform::FileDescriptor output(
        ::open(destination.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    platform::WorkHeartbeat unstopped;
    ASSERT_EQ(transcode(source, output.get(), 1 << 30, unstopped, nullptr),
              platform::AudioTranscoder::Outcome::written);
    const auto written = platform::AudioFile::openForReading(destination);
    EXPECT_EQ(written->processingFormat().channelCount, 2u);
    EXPECT_EQ(written->length(), 48000);
    EXPECT_EQ(TranscoderModule::transcodeToWav(), transcode);
}
