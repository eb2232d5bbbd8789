#pragma once

// A private TindrelStore on a sandbox: a temporary folder with a home folder and a settings
// file, a ManualOutput that the test pumps, a ManualUiTicker it fires, a ManualAnalysisExecutor
// it runs, and recording desktop services. Main thread only.

#include "Tindrel/platform/audio/engine/ManualOutput.h"
#include "Tindrel/store/TindrelStore.h"
#include "tests/support/TemporaryFolder.h"

#include <filesystem>
#include <memory>
#include <vector>

namespace tindrel::test {

class RecordingFileRevealer final : public platform::FileRevealer {
public:
    void revealFiles(const std::vector<std::filesystem::path>& files) override;
    void openFolder(const std::filesystem::path& folder) override;
    std::vector<std::vector<std::filesystem::path>> revealedFiles;
    std::vector<std::filesystem::path> openedFolders;
};

class RecordingFileClipboard final : public platform::FileClipboard {
public:
    bool copyFiles(const std::vector<std::filesystem::path>& files) override;
    std::vector<std::vector<std::filesystem::path>> copies;
};

// The parts of one test environment that the test keeps driving after the store took it.
struct ManualStoreParts {
    platform::ManualOutput* output = nullptr; // set when the engine first starts
    ManualUiTicker* ticker = nullptr;
    ManualAnalysisExecutor* analysis = nullptr;
    RecordingFileRevealer* revealer = nullptr;
    RecordingFileClipboard* clipboard = nullptr;
};

// An environment with manual parts, `home` as the home folder and recents in `settingsFile`.
// `parts` must outlive the store made from it.
TindrelStoreEnvironment manualStoreEnvironment(const std::filesystem::path& home,
                                               const std::filesystem::path& settingsFile,
                                               ManualStoreParts& parts);

class StoreTestRig {
public:
    StoreTestRig();
    ~StoreTestRig();

    TindrelStore& store() { return *store_; }
    platform::ManualOutput& output() { return *parts_.output; }
    ManualUiTicker& ticker() { return *parts_.ticker; }
    ManualAnalysisExecutor& analysis() { return *parts_.analysis; }
    RecordingFileRevealer& revealer() { return *parts_.revealer; }
    RecordingFileClipboard& clipboard() { return *parts_.clipboard; }

    // The sandbox: <tmp>/home (with an empty Downloads folder) and <tmp>/settings.ini.
    const std::filesystem::path& root() const { return folder_.path(); }
    std::filesystem::path home() const { return folder_ / "home"; }
    std::filesystem::path settingsFile() const { return folder_ / "settings.ini"; }

    // Renders `seconds` of output time in 512-frame blocks, firing the UI tick every 33 ms
    // of rendered audio, as the running program would. Returns the interleaved output.
    std::vector<float> play(double seconds);

    // A new store on the same home and settings (the old one is destroyed first).
    void restartStore();

private:
    TemporaryFolder folder_;
    ManualStoreParts parts_;
    std::unique_ptr<TindrelStore> store_;
};

} // namespace tindrel::test
