#include "Tindrel/store/FloatWavSaveFile.h"
#include "Tindrel/store/DataDigest.h"
#include "tests/support/ExternalEncoder.h"
#include "tests/support/FileText.h"
#include "tests/support/FolderListing.h"
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

const tindrel::WavInfo mark{"Tindrel", "a test"};

// Writes `frames` frames of silence into `folder` and commits them as `name` when asked.
std::optional<fs::path> save(const fs::path& folder, const std::string& name, int64_t frames,
                             bool commit = true) {
    std::string error;
    auto file = FloatWavSaveFile::create(folder, 48000, 2, mark, &error);
    tindrel::platform::AudioPcmBuffer buffer(2, frames);
    buffer.setFrameLength(frames);
    tindrel::platform::WorkHeartbeat heartbeat;
    if (!file || !file->append(buffer, &error) || !commit)
        return std::nullopt;
    return file->commit(folder / name, heartbeat, &error);
}

} // namespace

TEST(FloatWavSaveFile, HasNoNameUntilCompleteAndReplacesOnlyItsOwnUntouchedFile) {
    tindrel::test::TemporaryFolder folder;
    // Any name the folder allows, the longest included.
    const std::string name = std::string(247, 'n') + ".wav";
    {
        std::string error;
        auto file = FloatWavSaveFile::create(folder.path(), 48000, 2, mark, &error);
        ASSERT_TRUE(file) << error;
        tindrel::platform::AudioPcmBuffer buffer(2, 100);
        buffer.setFrameLength(100);
        ASSERT_TRUE(file->append(buffer, &error));
        EXPECT_TRUE(tindrel::test::folderListing(folder.path()).empty());
        tindrel::platform::WorkHeartbeat heartbeat;
        ASSERT_EQ(file->commit(folder / name, heartbeat, &error), folder / name) << error;
    }
    EXPECT_EQ(tindrel::test::folderListing(folder.path()), std::set<std::string>{name});
    EXPECT_EQ(tindrel::test::readAudioFile(folder / name).frames(), 100);
    const std::optional<tindrel::WavInfo> info = tindrel::readWavInfo(folder / name);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->software, mark.software);
    EXPECT_TRUE(info->comment.starts_with(mark.comment + ", audio digest ")) << info->comment;

    // Its own file, untouched, is replaced; a save dropped without commit changes nothing.
    EXPECT_EQ(save(folder.path(), name, 300), folder / name);
    EXPECT_FALSE(save(folder.path(), name, 500, false));
    EXPECT_EQ(tindrel::test::readAudioFile(folder / name).frames(), 300);

    // One sample changed in place: the file is the user's now, and the next save goes beside.
    {
        std::fstream edited(folder / name, std::ios::in | std::ios::out | std::ios::binary);
        edited.seekp(-4, std::ios::end);
        edited.write("\x00\x00\x80\x3f", 4);
    }
    const std::string edits = tindrel::test::readFileText(folder / name);
    EXPECT_EQ(save(folder.path(), name, 300), folder / (std::string(247, 'n') + " (2).wav"));
    EXPECT_EQ(tindrel::test::readFileText(folder / name), edits);

    // Killed half-way: nothing of the unfinished file remains.
    const pid_t writer = fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        save(folder.path(), "killed.wav", 48000, false);
        raise(SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(waitpid(writer, &status, 0), writer);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(tindrel::test::folderListing(folder.path()).size(), 2u);
}

TEST(FloatWavSaveFile, DigestIsXxh64WhateverThePiecesItIsFedIn) {
    const std::string sentence = "Nobody inspects the spammish repetition";
    const struct {
        std::string bytes;
        uint64_t digest;
    } cases[] = {
        {"", 0xef46db3751d8e999ull},
        {"abc", 0x44bc2cf5ad770999ull},
        {sentence, 0xfbcea83c8a378bf1ull},
    };
    for (const auto& c : cases) {
        for (const size_t piece : {size_t(1), size_t(5), size_t(32), size_t(100)}) {
            tindrel::DataDigest digest;
            for (size_t at = 0; at < c.bytes.size(); at += piece)
                digest.add(c.bytes.data() + at, std::min(piece, c.bytes.size() - at));
            EXPECT_EQ(digest.value(), c.digest) << c.bytes << ", pieces of " << piece;
        }
    }
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
