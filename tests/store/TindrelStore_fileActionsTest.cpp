#include "tests/store_support/StoreTestRig.h"
#include "tests/support/FileText.h"

#include <gtest/gtest.h>

#include <algorithm>

using tindrel::test::readFileText;
using tindrel::test::StoreTestRig;

namespace {

class FileActionsTest : public testing::Test {
protected:
    FileActionsTest() {
        for (const char* name : {"Other.wav", "Take.wav"})
            rig.writeTone(name, 1.0);
        store.onStatusChanged = [this] { ++statusCallbacks; };
        store.loadAndPlay(folder / "Other.wav", false);
        store.loadAndPlay(folder / "Take.wav", false);
        statusCallbacks = 0;
    }
    QString status() { return store.statusBanner.get(); }
    void rename(const QString& draft) {
        store.beginRenameCurrentFile();
        store.renameDraftText = draft;
        store.commitRenameCurrentFile();
    }

    StoreTestRig rig;
    tindrel::TindrelStore& store = rig.store();
    std::filesystem::path folder = rig.home() / "music";
    int statusCallbacks = 0;
};

TEST_F(FileActionsTest, renameMovesTheFileAndCarriesItThroughTheStore) {
    store.beginRenameCurrentFile();
    EXPECT_EQ(store.renameDraftText.get(), "Take");
    EXPECT_TRUE(store.isRenamingCurrentFile.get());
    store.renameDraftText = "  Live Take  ";
    store.commitRenameCurrentFile();

    const std::filesystem::path renamed = folder / "Live Take.wav";
    EXPECT_EQ(status(), "Renamed to Live Take.wav");
    EXPECT_FALSE(store.isRenamingCurrentFile.get());
    EXPECT_TRUE(std::filesystem::exists(renamed));
    EXPECT_FALSE(std::filesystem::exists(folder / "Take.wav"));
    EXPECT_EQ(store.currentURL.get(), renamed);
    ASSERT_TRUE(store.spec.get());
    EXPECT_EQ(store.spec.get()->url, renamed);
    EXPECT_EQ(store.spec.get()->fileName, "Live Take.wav");
    EXPECT_EQ(statusCallbacks, 1);

    // The recent entry keeps its place, once, and the next launch finds the new path.
    EXPECT_EQ(store.recentFiles.get(),
              (std::vector<std::filesystem::path>{renamed, folder / "Other.wav"}));
    store.stopAndCleanup();
    EXPECT_EQ(rig.storedRecentPaths(),
              (QStringList{QString::fromStdString(renamed.string()),
                           QString::fromStdString((folder / "Other.wav").string())}));
    QStringList siblingNames;
    for (const auto& entry : store.siblingFiles.get())
        siblingNames << entry.name;
    EXPECT_TRUE(siblingNames.contains("Live Take.wav"));
    EXPECT_FALSE(siblingNames.contains("Take.wav"));

    // Seeking, playing and exporting go on with the file at its new place.
    store.seek(0.5, true);
    ASSERT_TRUE(rig.engineStarted());
    rig.output().pump(16384);
    const std::vector<float>& heard = rig.output().lastPumped();
    EXPECT_GT(*std::max_element(heard.begin(), heard.end()), 0.1f);
    store.exportModifiedAudioToWAV();
    EXPECT_EQ(status(), "Exported Modified: Live Take_modified.wav (0:01.0)");
    EXPECT_TRUE(std::filesystem::exists(folder / "Live Take_modified.wav"));
}

TEST_F(FileActionsTest, renameOntoAnotherFileFailsAndKeepsBoth) {
    const std::string take = readFileText(folder / "Take.wav");
    const std::string other = readFileText(folder / "Other.wav");
    rename("Other");
    EXPECT_EQ(status(), "Rename failed: An item named \"Other.wav\" already exists");
    EXPECT_TRUE(store.isRenamingCurrentFile.get());
    EXPECT_EQ(store.renameDraftText.get(), "Other");
    EXPECT_EQ(store.currentURL.get(), folder / "Take.wav");
    EXPECT_EQ(readFileText(folder / "Take.wav"), take);
    EXPECT_EQ(readFileText(folder / "Other.wav"), other);
    EXPECT_EQ(statusCallbacks, 0);
}

TEST_F(FileActionsTest, emptyOrUnchangedDraftClosesTheFieldQuietly) {
    const QString before = status();
    for (const QString& draft : {QString("   "), QString("Take"), QString("Take.wav")}) {
        rename(draft);
        EXPECT_FALSE(store.isRenamingCurrentFile.get()) << draft.toStdString();
        EXPECT_EQ(status(), before) << draft.toStdString();
        EXPECT_TRUE(std::filesystem::exists(folder / "Take.wav"));
    }
    EXPECT_EQ(statusCallbacks, 0);
}

TEST_F(FileActionsTest, copyAndRevealActOnTheCurrentFileOrFolder) {
    store.copyFileToPasteboard();
    EXPECT_EQ(rig.clipboard().copies,
              (std::vector<std::vector<std::filesystem::path>>{{folder / "Take.wav"}}));
    EXPECT_EQ(status(), "Copied Take.wav to clipboard");
    store.revealInFinder();
    EXPECT_EQ(rig.revealer().revealedFiles,
              (std::vector<std::vector<std::filesystem::path>>{{folder / "Take.wav"}}));

    StoreTestRig emptyRig;
    tindrel::TindrelStore& empty = emptyRig.store();
    empty.copyFileToPasteboard();
    empty.beginRenameCurrentFile();
    empty.isRenamingCurrentFile = true;
    empty.commitRenameCurrentFile();
    EXPECT_FALSE(empty.isRenamingCurrentFile.get());
    EXPECT_TRUE(emptyRig.clipboard().copies.empty());
    EXPECT_EQ(empty.statusBanner.get(), "Ready");
    empty.revealInFinder();
    EXPECT_TRUE(emptyRig.revealer().revealedFiles.empty());
    EXPECT_EQ(emptyRig.revealer().openedFolders,
              std::vector<std::filesystem::path>{empty.currentFolderURL.get()});
}

} // namespace
