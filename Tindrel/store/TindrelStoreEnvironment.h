#pragma once

// Everything TindrelStore takes from the world outside it, so that tests can build a store of
// their own: the engine's output, the UI ticker, the analysis executor, the settings store, the
// home folder and the desktop services. production() gives what TindrelStore::shared() uses.
// Built on the main thread and moved into the store, which then owns everything in it.

#include "Tindrel/platform/audio/engine/AudioEngine.h"
#include "Tindrel/platform/desktop/FileClipboard.h"
#include "Tindrel/platform/desktop/FileRevealer.h"
#include "Tindrel/store/AnalysisExecutor.h"
#include "Tindrel/store/UiTicker.h"

#include <filesystem>
#include <functional>
#include <memory>

class QObject;

namespace tindrel {

struct TindrelStoreEnvironment {
    // Makes the live engine's output at its first start (tests: a ManualOutput).
    platform::AudioEngine::OutputFactory makeOutput = platform::makeDefaultAudioOutput;
    // The 33 ms UI timer.
    std::unique_ptr<UiTicker> ticker;
    // Made by the store with itself as the context that results are posted to.
    std::function<std::unique_ptr<AnalysisExecutor>(QObject* store)> makeAnalysisExecutor;
    // The settings file the recent files persist in (tests: one in a temporary folder).
    std::filesystem::path settingsFile;
    // The user's home folder; the browser starts at its "Downloads".
    std::filesystem::path homeFolder;
    // Desktop services; either may be null, and the store then skips that action silently.
    std::unique_ptr<platform::FileRevealer> revealer;
    std::unique_ptr<platform::FileClipboard> clipboard;

    // The real output, a QTimer ticker, a worker-thread executor, the settings file of
    // "orlimar"/"Tindrel", $HOME, and the desktop services.
    static TindrelStoreEnvironment production();
    // The user's settings file of "orlimar"/"Tindrel" where Qt's native settings keep it:
    // $XDG_CONFIG_HOME/orlimar/Tindrel.conf.
    static std::filesystem::path nativeSettingsFile();
};

} // namespace tindrel
