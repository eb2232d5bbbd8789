#pragma once

// A private TindrelStore on a sandbox: a temporary folder with a home folder and a settings
// file, a ManualOutput that the test pumps, a ManualUiTicker it fires, a ManualAnalysisExecutor
// it runs, and recording desktop services. Optionally HOME and the XDG folders point at the
// sandbox too, for code that reads the desktop's own settings. Main thread only.

#include "Tindrel/platform/audio/engine/ManualOutput.h"
#include "Tindrel/store/TindrelStore.h"
#include "tests/platform/desktop/XdgSandbox.h"
#include "tests/support/QStringPrinter.h"
#include "tests/support/TemporaryFolder.h"

#include <QStringList>

#include <atomic>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
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
    // The output reports itself real time: the engine's worker renders ahead of it.
    bool realTimeOutput = false;
    // Set on the engine's building thread when the engine first starts, which a load that
    // fails before it plays may not wait for.
    std::atomic<platform::ManualOutput*> output{nullptr};
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
    // Whether HOME and the XDG base folders are pointed at the sandbox for the rig's lifetime.
    enum class Desktop { untouched, sandboxed };

    enum class Output { pumped, pumpedAsRealTime };

    explicit StoreTestRig(Desktop mode = Desktop::untouched, Output output = Output::pumped);
    ~StoreTestRig();

    TindrelStore& store() { return *store_; }
    bool engineStarted() const { return parts_.output != nullptr; }
    platform::ManualOutput& output() { return *parts_.output.load(); }
    ManualUiTicker& ticker() { return *parts_.ticker; }
    ManualAnalysisExecutor& analysis() { return *parts_.analysis; }
    RecordingFileRevealer& revealer() { return *parts_.revealer; }
    RecordingFileClipboard& clipboard() { return *parts_.clipboard; }
    // The desktop sandbox; only with Desktop::sandboxed.
    const XdgSandbox& desktop() const { return *desktop_; }

    // The sandbox: <tmp>/home (with an empty Downloads folder) and <tmp>/settings.ini.
    const std::filesystem::path& root() const;
    std::filesystem::path home() const { return root() / "home"; }
    std::filesystem::path settingsFile() const { return root() / "settings.ini"; }
    // The recent paths as written to the settings file.
    QStringList storedRecentPaths() const;

    // Writes home/music/<name>, a stereo 44.1 kHz 16-bit WAV of a half-scale 440 Hz sine.
    std::filesystem::path writeTone(const std::string& name, double seconds = 2.0);
    // Writes and loads one such tone, playing or paused at 0; throws when it does not load.
    std::filesystem::path loadTone(const std::string& name = "tone.wav", double seconds = 2.0,
                                   bool autoPlay = true);
    // Replaces the current record's transient times, keeping the rest.
    void setTransients(std::vector<double> times);

    // Renders `seconds` of output time in 512-frame blocks, firing the UI tick every 33 ms
    // of rendered audio, as the running program would. Returns the interleaved output.
    std::vector<float> play(double seconds);

    // A new store on the same home and settings (the old one is destroyed first).
    void restartStore();

private:
    std::optional<XdgSandbox> desktop_;
    std::optional<TemporaryFolder> folder_;
    ManualStoreParts parts_;
    std::unique_ptr<TindrelStore> store_;
};

} // namespace tindrel::test
