#include "Tindrel/store/TindrelStore.h"

#include "Tindrel/platform/audio/AudioFile.h"
#include "Tindrel/platform/audio/engine/AudioEngine.h"
#include "Tindrel/store/OutputMeterLevels.h"
#include "Tindrel/store/StandardizedPath.h"

#include <QMetaObject>

namespace tindrel {

TindrelStore& TindrelStore::shared() {
    // Never destroyed: views, callbacks and a late measurement may still reach it at exit.
    static TindrelStore* const store = new TindrelStore(TindrelStoreEnvironment::production());
    return *store;
}

TindrelStore::TindrelStore(TindrelStoreEnvironment environment)
    : currentFolderURL(*this, standardizedPath(environment.homeFolder / "Downloads")),
      environment_(std::move(environment)),
      liveEngine_(environment_.makeOutput,
                  [this](platform::AudioEngine& engine) { setupAudioEngine(engine); }) {
    if (!environment_.ticker)
        environment_.ticker = std::make_unique<QtUiTicker>();
    if (environment_.settingsFile.empty())
        environment_.settingsFile = TindrelStoreEnvironment::nativeSettingsFile();
    analysisExecutor_ = environment_.makeAnalysisExecutor
                            ? environment_.makeAnalysisExecutor(this)
                            : std::make_unique<ThreadAnalysisExecutor>(this);
    loadRecents();
    recentPathsWriteTimer_.setSingleShot(true);
    connect(&recentPathsWriteTimer_, &QTimer::timeout, this, [this] {
        if (!heldAtGate<&TindrelStore::writeUnsavedRecentPaths>())
            writeUnsavedRecentPaths();
    });
    startUITimer();
}

TindrelStore::~TindrelStore() {
    writeUnsavedRecentPaths();
    environment_.ticker->stop();
    if (analysisCancel_)
        analysisCancel_->store(true);
    engine().mainMixer().removeTap();
    engine().stop();
}

const std::set<std::string>& TindrelStore::supportedExtensions() {
    static const std::set<std::string> extensions{"wav",  "wave", "bwf",  "mp3", "aif",
                                                  "aiff", "aifc", "flac", "m4a", "aac",
                                                  "ogg",  "opus", "caf"};
    return extensions;
}

void TindrelStore::publishChange() {
    metersWanted_.store(isPlaying.get(), std::memory_order_relaxed);
    if (holdingChanges_) {
        changesHeld_ = true;
        return;
    }
    emit changed();
}

void TindrelStore::setupAudioEngine(platform::AudioEngine& engine) {
    if (engine.mainMixerOutputFormat().channelCount >= 1) {
        engine.mainMixer().installTap(1024, [this](const platform::AudioPcmBuffer& buffer) {
            if (!metersWanted_.load(std::memory_order_relaxed))
                return;
            const std::optional<OutputMeterLevels> levels = measureOutputMeterLevels(buffer);
            if (!levels)
                return;
            // Runs on the tap's worker; the levels reach the fields on the main thread.
            QMetaObject::invokeMethod(
                this,
                [this, levels = *levels] { receiveMeterLevels(levels.leftDB, levels.rightDB); },
                Qt::QueuedConnection);
        });
    }
    engine.start();
}

platform::AudioEngine& TindrelStore::engine() const {
    return liveEngine_.get();
}

platform::AudioPlayerNode& TindrelStore::playerNode() const {
    return engine().playerNode();
}

platform::TimePitchUnit& TindrelStore::timePitchNode() const {
    return engine().timePitchUnit();
}

void TindrelStore::receiveMeterLevels(float leftDB, float rightDB) {
    if (heldAtGate<&TindrelStore::receiveMeterLevels>(leftDB, rightDB) || !isPlaying.get())
        return;
    // Shown at the next tick, with the playhead: the tap's blocks and the ticks do not keep
    // step, and each would otherwise cost a repaint of its own.
    pendingMeterLevels_ = OutputMeterLevels{leftDB, rightDB};
}

void TindrelStore::callStatusChanged() {
    if (onStatusChanged)
        onStatusChanged();
}

} // namespace tindrel
