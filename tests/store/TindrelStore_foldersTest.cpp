#include "tests/store/StoreFixtures.h"
#include "tests/store_support/StoreTestRig.h"
#include "tests/support/ScopedLocale.h"

#include <gtest/gtest.h>

#include <fstream>

namespace tindrel {

namespace {

class StoreFolders : public ::testing::Test {
protected:
    test::StoreTestRig rig;
    TindrelStore& store = rig.store();

    std::filesystem::path folder(const std::string& name) {
        const auto path = rig.root() / name;
        std::filesystem::create_directories(path);
        return path;
    }
    static void touch(const std::filesystem::path& path, size_t bytes = 0) {
        std::ofstream(path) << std::string(bytes, 'x');
    }
    std::vector<QString> siblingNames() const {
        std::vector<QString> names;
        for (const auto& entry : store.siblingFiles.get())
            names.push_back(entry.name);
        return names;
    }
};

} // namespace

TEST_F(StoreFolders, HistoryBackForwardAndTruncation) {
    const auto a = folder("A"), b = folder("B"), c = folder("C"), d = folder("D");
    for (const auto& f : {a, b, c})
        store.navigateToFolder(f);
    store.goBackFolder();
    EXPECT_EQ(store.currentFolderURL.get(), b);
    EXPECT_EQ(store.folderHistoryIndex.get(), 1);
    EXPECT_TRUE(store.canGoForwardFolder());

    store.navigateToFolder(d);
    EXPECT_EQ(store.folderHistory.get(), (std::vector{a, b, d}));
    EXPECT_EQ(store.folderHistoryIndex.get(), 2);
    EXPECT_FALSE(store.canGoForwardFolder());

    // The same folder, spelled with a trailing slash, is no new entry but is rescanned.
    store.statusBanner = "";
    store.navigateToFolder(d.string() + "/");
    EXPECT_EQ(store.folderHistory->size(), 3u);
    EXPECT_EQ(store.statusBanner.get(),
              "Folder: " + QString::fromStdString(d.string()) + " (0 audio files)");

    // Neither a missing path nor a file is browsed, silently.
    touch(d / "f.wav");
    for (const auto& target : {rig.root() / "nowhere", d / "f.wav"}) {
        store.statusBanner = "";
        store.navigateToFolder(target);
        EXPECT_EQ(store.currentFolderURL.get(), d);
        EXPECT_EQ(store.statusBanner.get(), "");
    }

    // Back onto a deleted folder moves the index only.
    store.goBackFolder();
    std::filesystem::remove(a);
    store.goBackFolder();
    EXPECT_EQ(store.folderHistoryIndex.get(), 0);
    EXPECT_EQ(store.currentFolderURL.get(), b);
    EXPECT_FALSE(store.canGoBackFolder());
    EXPECT_TRUE(store.canGoForwardFolder());
}

TEST_F(StoreFolders, ListsAudioFilesAndSubfoldersInNaturalOrder) {
    const auto f = folder("crate");
    for (const char* name : {"Take 10.wav", "Take 2.wav", "Song.MP3", ".beat.wav", "notes.txt"})
        touch(f / name, 2048);
    std::filesystem::create_directories(f / "take.wav");
    std::filesystem::create_directories(f / "Sub 10");
    std::filesystem::create_directories(f / "Sub 9");
    store.navigateToFolder(f);
    EXPECT_EQ(siblingNames(), (std::vector<QString>{"Song.MP3", "Take 2.wav", "Take 10.wav"}));
    EXPECT_EQ(store.siblingFiles->front().ext, "MP3");
    EXPECT_EQ(store.siblingFiles->front().sizeBytes, 2048);
    EXPECT_EQ(store.subfoldersInCurrentFolder.get(),
              (std::vector{f / "Sub 9", f / "Sub 10", f / "take.wav"}));
    EXPECT_EQ(store.statusBanner.get(),
              "Folder: " + QString::fromStdString(f.string()) + " (3 audio files)");
}

TEST_F(StoreFolders, ExtensionsAndOrderDoNotDependOnTheProcessLocale) {
    test::ScopedTurkishLocale turkish;
    ASSERT_TRUE(turkish.available()) << "tr_TR.UTF-8 is not installed";
    const auto f = folder("tr");
    for (const char* name : {"Zed.wav", "A.AIFF", "Éclair.wav", "Track 10.FLAC", "Track 2.flac"})
        touch(f / name);
    std::filesystem::create_directories(f / "Zone");
    std::filesystem::create_directories(f / "Écho");
    store.navigateToFolder(f);
    EXPECT_EQ(siblingNames(), (std::vector<QString>{"A.AIFF", "Éclair.wav", "Track 2.flac",
                                                    "Track 10.FLAC", "Zed.wav"}));
    EXPECT_EQ(store.siblingFiles->front().ext, "AIFF");
    EXPECT_EQ(store.subfoldersInCurrentFolder.get(), (std::vector{f / "Écho", f / "Zone"}));
}

TEST_F(StoreFolders, AnUnlistableFolderShowsEmptyLists) {
    const auto full = folder("full");
    touch(full / "a.wav");
    std::filesystem::create_directories(full / "sub");
    const auto locked = folder("locked");
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    std::error_code error;
    std::filesystem::directory_iterator probe(locked, error);
    if (!error) {
        std::filesystem::permissions(locked, std::filesystem::perms::owner_all);
        GTEST_SKIP() << "this user lists folders without permission (root)";
    }
    store.navigateToFolder(full);
    store.navigateToFolder(locked);
    EXPECT_EQ(store.currentFolderURL.get(), locked);
    EXPECT_TRUE(store.siblingFiles->empty());
    EXPECT_TRUE(store.subfoldersInCurrentFolder->empty());
    std::filesystem::permissions(locked, std::filesystem::perms::owner_all);
}

TEST_F(StoreFolders, FilterAndSteppingWrapAround) {
    const auto f = folder("kit");
    for (const char* name : {"Kick_01.wav", "808kick.aif", "Snare.wav"})
        test::writeToneFile(f / name, 0.2);
    store.navigateToFolder(f);
    EXPECT_FALSE(store.currentURL->has_value());

    store.siblingFilter = "  KICK \n";
    std::vector<QString> filtered;
    for (const auto& entry : store.filteredSiblings())
        filtered.push_back(entry.name);
    EXPECT_EQ(filtered, (std::vector<QString>{"808kick.aif", "Kick_01.wav"}));

    const std::pair<int, const char*> steps[] = {
        {1, "808kick.aif"}, // nothing current: the first filtered entry
        {1, "Kick_01.wav"},
        {1, "808kick.aif"},  // wraps past the end
        {-1, "Kick_01.wav"}, // and back past the start
    };
    for (const auto& [delta, expected] : steps) {
        store.stepSibling(delta);
        EXPECT_EQ(store.currentURL->value(), f / expected);
        EXPECT_TRUE(store.isPlaying.get());
    }
    store.loadAndPlay(f / "Snare.wav");
    store.stepSibling(-1); // the current file is filtered out: the first entry
    EXPECT_EQ(store.currentURL->value(), f / "808kick.aif");

    store.siblingFilter = "snare";
    store.stepSibling(1);
    store.stepSibling(1); // one entry: reopens itself
    EXPECT_EQ(store.currentURL->value(), f / "Snare.wav");
    store.siblingFilter = "zzz";
    store.stepSibling(1);
    EXPECT_EQ(store.currentURL->value(), f / "Snare.wav");

    // Auto-select loads the first unfiltered entry without playing.
    store.navigateToFolder(rig.home(), true, true);
    store.navigateToFolder(f, true, true);
    EXPECT_EQ(store.currentURL->value(), f / "808kick.aif");
    EXPECT_FALSE(store.isPlaying.get());
}

TEST_F(StoreFolders, AncestorsRunUpToTheRoot) {
    const auto loops = folder("home/Music/Loops");
    store.navigateToFolder(loops);
    const std::vector<FolderAncestorItem> ancestors = store.currentFolderAncestors();
    ASSERT_GE(ancestors.size(), 4u);
    const std::pair<QString, QString> firstThree[] = {
        {"Loops", "folder.fill"}, {"Music", "folder.fill"}, {"home", "house.fill"}};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(ancestors[i].name, firstThree[i].first);
        EXPECT_EQ(ancestors[i].icon, firstThree[i].second);
    }
    EXPECT_EQ(ancestors[2].url, rig.home());
    EXPECT_EQ(ancestors.back().url, "/");
    EXPECT_EQ(ancestors.back().name, "File System (/)");
    EXPECT_EQ(ancestors.back().icon, "internaldrive.fill");
}

TEST_F(StoreFolders, RecentsDedupeCapPersistAndSkipVanishedFiles) {
    std::vector<std::filesystem::path> files;
    for (int i = 0; i < 21; ++i)
        files.push_back(
            test::writeToneFile(rig.root() / "r" / ("f" + std::to_string(i) + ".wav"), 0.1));
    for (const auto& file : files)
        store.loadAndPlay(file, false);
    ASSERT_EQ(store.recentFiles->size(), 20u);
    EXPECT_EQ(store.recentFiles->front(), files[20]);
    EXPECT_EQ(store.recentFiles->back(), files[1]);

    store.loadAndPlay(files[5], false);
    EXPECT_EQ(store.recentFiles->size(), 20u);
    EXPECT_EQ(store.recentFiles->front(), files[5]);
    EXPECT_EQ(std::count(store.recentFiles->begin(), store.recentFiles->end(), files[5]), 1);

    // Written on the way out at the latest, however quickly the loads came.
    store.stopAndCleanup();
    const QStringList stored = rig.storedRecentPaths();
    ASSERT_EQ(stored.size(), 20);
    EXPECT_EQ(stored.front().toStdString(), files[5].string());

    std::filesystem::remove(files[20]);
    rig.restartStore();
    TindrelStore& next = rig.store();
    ASSERT_EQ(next.recentFiles->size(), 19u);
    EXPECT_EQ(next.recentFiles->front(), files[5]);
    EXPECT_EQ(next.recentFiles->at(1), files[19]);

    // With nothing open, play opens the newest recent file.
    next.togglePlayPause();
    EXPECT_EQ(next.currentURL->value(), files[5]);
    EXPECT_TRUE(next.isPlaying.get());
}

TEST_F(StoreFolders, ASingleStoredRecentPathSurvivesARestart) {
    const auto file = test::writeToneFile(rig.root() / "one/only.wav", 0.1);
    store.loadAndPlay(file, false);
    rig.restartStore();
    EXPECT_EQ(rig.store().recentFiles.get(), std::vector{file});
}

TEST_F(StoreFolders, ANameThatIsNotUtf8KeepsItsBytesInRecentsAndExports) {
    const auto file = test::writeToneFile(rig.root() / "bytes" / "take \xff\xfe.wav", 0.5);
    store.loadAndPlay(file, false);
    ASSERT_EQ(store.currentURL->value(), file);
    // Shown with the replacement character, kept as bytes.
    EXPECT_EQ(store.siblingFiles->front().name, QString::fromUtf8("take \uFFFD\uFFFD.wav"));
    EXPECT_EQ(store.siblingFiles->front().url, file);

    store.exportModifiedAudioToWAV();
    EXPECT_TRUE(std::filesystem::exists(rig.root() / "bytes" / "take \xff\xfe_modified.wav"))
        << store.statusBanner->toStdString();

    rig.restartStore();
    EXPECT_EQ(rig.store().recentFiles.get(), std::vector{file});
}

} // namespace tindrel
