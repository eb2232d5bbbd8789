#include "Tindrel/store/FloatWavSaveFile.h"
#include "tests/support/AgedFiles.h"
#include "tests/support/ExternalEncoder.h"
#include "tests/support/GeneratedAudio.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <csignal>
#include <fstream>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

using tindrel::FloatWavSaveFile;
namespace fs = std::filesystem;

namespace {

std::set<std::string> listing(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

using Existing = FloatWavSaveFile::ExistingFile;
const tindrel::WavInfo mark{"Tindrel", "a test"};

// Writes `frames` frames of silence to `target` and commits when asked.
bool save(const fs::path& target, int64_t frames, bool commit = true,
          Existing existing = Existing::replace) {
    std::string error;
    auto file = FloatWavSaveFile::create(target, 48000, 2, mark, &error);
    if (!file)
        return false;
    tindrel::platform::AudioPcmBuffer buffer(2, frames);
    buffer.setFrameLength(frames);
    return file->append(buffer, &error) && (!commit || file->commit(existing, &error));
}

} // namespace

TEST(FloatWavSaveFile, HasNoNameUntilCompleteAndLeavesNothingWhenKilled) {
    tindrel::test::TemporaryFolder folder;
    // Any name the folder allows, the longest included.
    const fs::path target = folder / (std::string(251, 'n') + ".wav");
    {
        std::string error;
        auto file = FloatWavSaveFile::create(target, 48000, 2, mark, &error);
        ASSERT_TRUE(file) << error;
        tindrel::platform::AudioPcmBuffer buffer(2, 100);
        buffer.setFrameLength(100);
        ASSERT_TRUE(file->append(buffer, &error));
        EXPECT_TRUE(listing(folder.path()).empty());
        ASSERT_TRUE(file->commit(Existing::keep, &error)) << error;
    }
    EXPECT_EQ(listing(folder.path()), std::set<std::string>{target.filename().string()});
    EXPECT_EQ(tindrel::test::readAudioFile(target).frames(), 100);

    EXPECT_EQ(tindrel::readWavInfo(target), mark);

    // A second save replaces the first one only when asked; one dropped without commit
    // changes nothing.
    EXPECT_FALSE(save(target, 200, true, Existing::keep));
    EXPECT_EQ(tindrel::test::readAudioFile(target).frames(), 100);
    ASSERT_TRUE(save(target, 300));
    ASSERT_TRUE(save(target, 500, false));
    EXPECT_EQ(tindrel::test::readAudioFile(target).frames(), 300);

    // Killed half-way: nothing of the unfinished file remains.
    const pid_t writer = fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        save(folder / "killed.wav", 48000, false);
        raise(SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(waitpid(writer, &status, 0), writer);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(listing(folder.path()), std::set<std::string>{target.filename().string()});
}

TEST(FloatWavSaveFile, RemovesItsOwnTemporariesOlderThanADay) {
    tindrel::test::TemporaryFolder folder;
    const std::vector<tindrel::test::AgedFile> files{
        {".tindrel.0123456789ab.part", true, true},
        {".song_modified.wav.a1b2c3d4e5f6.part", true, true}, // the earlier naming
        {".tindrel.ba9876543210.part", false, false},         // may still be written
        {".tindrel.notourdigits.part", true, false},
        {"notes.part", true, false},
        {".tindrel.0123456789ab.wav", true, false},
    };
    tindrel::test::writeAgedFiles(folder.path(), files);
    ASSERT_TRUE(save(folder / "new.wav", 10));
    for (const auto& file : files)
        EXPECT_EQ(fs::exists(folder / file.name), !file.expectedRemoved) << file.name;
}

// Sizes past what RIFF's 32 bits hold make the file RF64, which libsndfile and ffmpeg read
// whole. Checked on sparse files of the header and the sizes, without writing 4 GiB.
TEST(FloatWavSaveFile, BecomesRf64ExactlyWhenItsSizesPassWhatRiffHolds) {
    tindrel::test::TemporaryFolder folder;
    const int64_t headerSize = int64_t(tindrel::floatWavHeader(48000, 1, 0, mark).size());
    for (const uint32_t channels : {1u, 8u}) {
        const int64_t frameBytes = 4 * channels;
        const int64_t largestRiff = (int64_t(0xFFFFFFFF) - (headerSize - 8)) / frameBytes;
        for (const int64_t frames : {largestRiff, largestRiff + 1, 3 * largestRiff}) {
            SCOPED_TRACE(testing::Message() << channels << " channels, " << frames << " frames");
            const fs::path path = folder / "large.wav";
            const std::string header = tindrel::floatWavHeader(48000, channels, frames, mark);
            ASSERT_EQ(int64_t(header.size()), headerSize);
            std::ofstream(path, std::ios::binary | std::ios::trunc) << header;
            fs::resize_file(path, uint64_t(headerSize + frames * frameBytes));

            SF_INFO info{};
            SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
            ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
            sf_close(file);
            EXPECT_EQ(info.frames, frames);
            EXPECT_EQ(info.channels, int(channels));
            EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK,
                      frames > largestRiff ? SF_FORMAT_RF64 : SF_FORMAT_WAV);
            EXPECT_EQ(tindrel::readWavInfo(path), mark);

            // ffmpeg finds the last tenth of a second where the sizes put it.
            const fs::path tail = folder / "tail.wav";
            const double seconds = double(frames) / 48000;
            ASSERT_EQ(tindrel::test::runProgram("ffmpeg", {"-nostdin", "-y", "-v", "error", "-ss",
                                                           std::to_string(seconds - 0.1), "-i",
                                                           path.string(), tail.string()}),
                      0);
            EXPECT_NEAR(tindrel::test::readAudioFile(tail).frames(), 4800, 100);
        }
    }
}
