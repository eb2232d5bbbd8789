#include "Tindrel/analysis/PcmCache.h"
#include "tests/support/AgedFiles.h"
#include "tests/support/ScopedEnvironmentVariable.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <fstream>

using tindrel::PcmCache;
namespace fs = std::filesystem;

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
        const std::string name = PcmCache::cacheFileName(c.source, 12345, 0);
        EXPECT_EQ(name.rfind(c.prefix, 0), 0u) << name;
        EXPECT_EQ(name.substr(name.size() - 4), ".wav");
    }
    // Same base name and size: folder, modification time or a different non-ASCII name of the
    // same length each give a different copy.
    const std::string take = PcmCache::cacheFileName("/a/take.m4a", 100, 1);
    EXPECT_NE(take, PcmCache::cacheFileName("/b/take.m4a", 100, 1));
    EXPECT_NE(take, PcmCache::cacheFileName("/a/take.m4a", 100, 2));
    EXPECT_NE(PcmCache::cacheFileName("/a/äb.m4a", 100, 1),
              PcmCache::cacheFileName("/a/öb.m4a", 100, 1));
    EXPECT_EQ(take, PcmCache::cacheFileName("/a/take.m4a", 100, 1));

    const std::string longName =
        PcmCache::cacheFileName("/m/" + std::string(400, 'x') + ".m4a", INT64_MAX, 1);
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

TEST(PcmCache, LeavesNoPrivateFolderOrStaleTemporaryBehind) {
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

    // Temporaries of killed decodes: only old ones of the cache's own pattern go.
    const fs::path cache = root / "cache";
    fs::create_directory(cache);
    const std::vector<tindrel::test::AgedFile> files{
        {".song_100_0123456789abcdef-a1B2c3.wav", true, true},
        {".song_100_0123456789abcdef-Zz9yX8.wav", false, false},
        {"song_100_0123456789abcdef.wav", true, false},
        {".song-abc.wav", true, false},
    };
    tindrel::test::writeAgedFiles(cache, files);
    const auto made = PcmCache::createTemporaryFile(cache, "other_1_ffffffffffffffff.wav");
    ASSERT_TRUE(made);
    for (const auto& file : files)
        EXPECT_EQ(fs::exists(cache / file.name), !file.expectedRemoved) << file.name;
}
