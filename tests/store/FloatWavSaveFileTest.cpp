#include "Tindrel/store/FloatWavSaveFile.h"
#include "tests/support/AgedFiles.h"
#include "tests/support/GeneratedAudio.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

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

// Writes `frames` frames of silence to `target` and commits when asked.
bool save(const fs::path& target, int64_t frames, bool commit = true) {
    std::string error;
    auto file = FloatWavSaveFile::create(target, 48000, 2, &error);
    if (!file)
        return false;
    tindrel::platform::AudioPcmBuffer buffer(2, frames);
    buffer.setFrameLength(frames);
    return file->append(buffer, &error) && (!commit || file->commit(&error));
}

} // namespace

TEST(FloatWavSaveFile, HasNoNameUntilCompleteAndLeavesNothingWhenKilled) {
    tindrel::test::TemporaryFolder folder;
    // Any name the folder allows, the longest included.
    const fs::path target = folder / (std::string(251, 'n') + ".wav");
    {
        std::string error;
        auto file = FloatWavSaveFile::create(target, 48000, 2, &error);
        ASSERT_TRUE(file) << error;
        tindrel::platform::AudioPcmBuffer buffer(2, 100);
        buffer.setFrameLength(100);
        ASSERT_TRUE(file->append(buffer, &error));
        EXPECT_TRUE(listing(folder.path()).empty());
        ASSERT_TRUE(file->commit(&error)) << error;
    }
    EXPECT_EQ(listing(folder.path()), std::set<std::string>{target.filename().string()});
    EXPECT_EQ(tindrel::test::readAudioFile(target).frames(), 100);

    // A second save replaces the first one; one dropped without commit changes nothing.
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
