#include "Tindrel/platform/audio/TranscoderModule.h"
#include "Tindrel/platform/audio/AudioFile.h"
#include "Tindrel/platform/files/FileDescriptor.h"
#include "tests/support/GeneratedAudio.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace tindrel;
namespace fs = std::filesystem;
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

// Only the layouts beside a program count: installed (bin/ and lib/tindrel/ side by side) and
// the build tree (programs two or three folders below the build folder). A module there that
// others could have changed, or that does not load, is refused with the reason.
TEST(TranscoderModule, IsLoadedOnlyFromBesideTheProgramAndSaysWhyNot) {
    const fs::path built = TranscoderModule::loadBeside(fs::read_symlink("/proc/self/exe")).module;
    ASSERT_TRUE(fs::is_regular_file(built));
    const fs::path module = fs::path("lib") / "tindrel" / "libtindrel_transcoder.so";
    struct Case {
        const char* name;
        const char* program; // below the case's folder
        enum { copy, text, none } content;
        fs::perms othersMayWrite; // on the module, or else on its folder
        bool onFolder;
        bool loads;
        std::string failure; // a part of it, with "@" for the case's folder
    } cases[] = {
        {"installed", "bin/tindrel", Case::copy, fs::perms::none, false, true, ""},
        {"build tree", "tests/platform/audio/test_x", Case::copy, fs::perms::none, false, true, ""},
        {"too far below", "a/b/c/d/tindrel", Case::copy, fs::perms::none, false, false,
         "@/a/b/c/lib/tindrel/libtindrel_transcoder.so: No such file or directory"},
        {"missing", "bin/tindrel", Case::none, fs::perms::none, false, false,
         "@/lib/tindrel/libtindrel_transcoder.so: No such file or directory"},
        {"others may change it", "bin/tindrel", Case::copy, fs::perms::others_write, false, false,
         "@/lib/tindrel/libtindrel_transcoder.so: writable by other users"},
        {"others may replace it", "bin/tindrel", Case::copy, fs::perms::others_write, true, false,
         "@/lib/tindrel: writable by other users"},
        {"not a library", "bin/tindrel", Case::text, fs::perms::none, false, false,
         "@/lib/tindrel/libtindrel_transcoder.so: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TemporaryFolder folder;
        const fs::path program = folder / c.program;
        fs::create_directories(program.parent_path());
        std::ofstream(program) << "#!/bin/sh\n";
        if (c.content != Case::none) {
            fs::create_directories((folder / module).parent_path());
            if (c.content == Case::copy)
                fs::copy_file(built, folder / module);
            else
                std::ofstream(folder / module) << "not a library\n";
            fs::permissions(c.onFolder ? (folder / module).parent_path() : folder / module,
                            c.othersMayWrite, fs::perm_options::add);
        }
        const TranscoderModule::Loaded loaded = TranscoderModule::loadBeside(program);
        EXPECT_EQ(loaded.entry != nullptr, c.loads) << loaded.failure;
        std::string failure = c.failure;
        if (const size_t at = failure.find('@'); at != std::string::npos)
            failure.replace(at, 1, folder.path().string());
        if (c.loads)
            EXPECT_EQ(loaded.failure, "");
        else
            EXPECT_EQ(loaded.failure.rfind(failure, 0), 0u) << loaded.failure;
    }
}
