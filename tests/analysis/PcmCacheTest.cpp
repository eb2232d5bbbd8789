#include "Tindrel/analysis/PcmCache.h"
#include "tests/support/ScopedEnvironmentVariable.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <fstream>

using tindrel::PcmCache;
namespace fs = std::filesystem;

namespace {

PcmCache::SourceIdentity identity(int64_t size, int64_t modified, uint64_t inode = 7,
                                  int64_t changed = 0) {
    return {size, modified, 1, inode, changed};
}

// A file of `bytes` bytes last used `ageSeconds` ago.
void writeAged(const fs::path& path, size_t bytes, int ageSeconds) {
    std::ofstream(path.string()) << std::string(bytes, 'x');
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::seconds(ageSeconds));
}

} // namespace

TEST(PcmCache, NamesKeepTheSanitisedBaseAndSizeAndSeparateDifferentSources) {
    struct Case {
        const char* source;
        const char* prefix;
    } cases[] = {
        {"/music/My Song (live).ogg", "My_Song__live__12345_"},
        {"/music/take", "take_12345_"},
        {"/music/a.b-c_d.flac", "a.b-c_d_12345_"},
        {"/music/Ünïcödé.m4a", "_n_c_d__12345_"},
        {"/music/日本.m4a", "___12345_"},
    };
    for (const auto& c : cases) {
        const std::string name = PcmCache::cacheFileName(c.source, identity(12345, 0));
        EXPECT_EQ(name.rfind(c.prefix, 0), 0u) << name;
        EXPECT_EQ(name.substr(name.size() - 4), ".wav");
    }
    // Same base name and size: folder, modification time, a file put in its place (another
    // inode, or a later status change) or a different non-ASCII name of the same length each
    // give a different copy.
    const std::string take = PcmCache::cacheFileName("/a/take.m4a", identity(100, 1));
    for (const std::string& other : {
             PcmCache::cacheFileName("/b/take.m4a", identity(100, 1)),
             PcmCache::cacheFileName("/a/take.m4a", identity(100, 2)),
             PcmCache::cacheFileName("/a/take.m4a", identity(100, 1, 8)),
             PcmCache::cacheFileName("/a/take.m4a", identity(100, 1, 7, 5)),
         })
        EXPECT_NE(take, other);
    EXPECT_NE(PcmCache::cacheFileName("/a/äb.m4a", identity(100, 1)),
              PcmCache::cacheFileName("/a/öb.m4a", identity(100, 1)));
    EXPECT_EQ(take, PcmCache::cacheFileName("/a/take.m4a", identity(100, 1)));

    const std::string longName =
        PcmCache::cacheFileName("/m/" + std::string(400, 'x') + ".m4a", identity(INT64_MAX, 1));
    EXPECT_LE(longName.size(), size_t(NAME_MAX) - 10); // room for the temporary file's affixes
}

TEST(PcmCache, UsesOnlyAPrivateFolderOfThisUser) {
    tindrel::test::TemporaryFolder root;
    // The private fallback folders this provokes go with the test's own folder.
    const tindrel::test::ScopedEnvironmentVariable temporary("TMPDIR", root.path().string());

    const fs::path fresh = root / "fresh";
    EXPECT_EQ(PcmCache(fresh).folder(), fresh);
    struct stat info {};
    ASSERT_EQ(lstat(fresh.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    fs::remove(fresh); // vanished while running: made again
    EXPECT_EQ(PcmCache(fresh).folder(), fresh);

    const fs::path open = root / "open";
    fs::create_directory(open);
    fs::permissions(open, fs::perms::all);
    const fs::path link = root / "link";
    fs::create_directory_symlink(fresh, link);
    const fs::path file = root / "file";
    std::ofstream(file.string()) << "x";
    for (const fs::path& planted : {open, link, file}) {
        const auto used = PcmCache(planted).folder();
        ASSERT_TRUE(used);
        EXPECT_NE(*used, planted);
        ASSERT_EQ(lstat(used->c_str(), &info), 0);
        EXPECT_TRUE(S_ISDIR(info.st_mode));
        EXPECT_EQ(info.st_mode & 0077, 0u);
    }
}

TEST(PcmCache, LeavesNoPrivateFolderBehind) {
    tindrel::test::TemporaryFolder root;
    const fs::path planted = root / "planted";
    std::ofstream(planted.string()) << "not a folder";
    // A process of its own that ends normally after using a private folder.
    const pid_t user = fork();
    ASSERT_GE(user, 0);
    if (user == 0) {
        setenv("TMPDIR", root.path().c_str(), 1);
        const auto folder = PcmCache(planted).folder();
        std::ofstream((*folder / "copy.wav").string()) << "decoded";
        exit(folder && *folder != planted ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(user, &status, 0), user);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(root.path()), fs::directory_iterator()), 1);
}

TEST(PcmCache, TrimKeepsHeldCopiesAndRemovesTheLeastRecentlyUsedFirst) {
    tindrel::test::TemporaryFolder cache;
    struct Entry {
        const char* name;
        int ageSeconds;
        bool held;
        bool expectedKept;
    } entries[] = {
        {"oldest_1000_0000000000000001.wav", 400, false, false},
        {"old-but-playing_1000_0000000000000002.wav", 300, true, true},
        {"older_1000_0000000000000003.wav", 200, false, false},
        {"recent_1000_0000000000000004.wav", 100, false, true},
        {"newest_1000_0000000000000005.wav", 0, false, true},
        // Hidden copies: gone unless a running decode or a player holds them, whatever their age.
        {".tindrel.00000000000000a6.tmp", 0, false, false},
        {".tindrel.00000000000000a7.tmp", 0, true, true},
        // Not ours: never counted, never removed.
        {"notes.txt", 500, false, true},
        {".song-abc.wav", 500, false, true},
    };
    std::vector<tindrel::platform::FileDescriptor> holds;
    for (const Entry& entry : entries) {
        writeAged(cache / entry.name, 1000, entry.ageSeconds);
        if (entry.held) {
            holds.push_back(PcmCache::hold(cache / entry.name));
            ASSERT_TRUE(holds.back().valid()) << entry.name;
            // Holding is using: the age is set again for this test.
            writeAged(cache / entry.name, 1000, entry.ageSeconds);
        }
    }
    // Five copies of 1000 bytes; room for three.
    PcmCache::trim(cache.path(), 3000);
    for (const Entry& entry : entries)
        EXPECT_EQ(fs::exists(cache / entry.name), entry.expectedKept) << entry.name;

    // A copy being removed cannot be held; a held one is marked as used just now.
    EXPECT_FALSE(PcmCache::hold(cache / "oldest_1000_0000000000000001.wav").valid());
    const auto before = fs::last_write_time(cache / "recent_1000_0000000000000004.wav");
    EXPECT_TRUE(PcmCache::hold(cache / "recent_1000_0000000000000004.wav").valid());
    EXPECT_GT(fs::last_write_time(cache / "recent_1000_0000000000000004.wav"), before);
}
