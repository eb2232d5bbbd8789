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
      engine_(std::make_unique<platform::AudioEngine>(environment_.makeOutput)),
      playerNode_(engine_->playerNode()), timePitchNode_(engine_->timePitchUnit()) {
    if (!environment_.ticker)
        environment_.ticker = std::make_unique<QtUiTicker>();
    if (environment_.settingsFile.empty())
        environment_.settingsFile = TindrelStoreEnvironment::nativeSettingsFile();
    analysisExecutor_ = environment_.makeAnalysisExecutor
                            ? environment_.makeAnalysisExecutor(this)
                            : std::make_unique<ThreadAnalysisExecutor>(this);
    setupAudioEngine();
    loadRecents();
    startUITimer();
}

TindrelStore::~TindrelStore() {
    environment_.ticker->stop();
    if (analysisCancel_)
        analysisCancel_->store(true);
    engine_->mainMixer().removeTap();
    engine_->stop();
}

const std::set<std::string>& TindrelStore::supportedExtensions() {
    static const std::set<std::string> extensions{"wav",  "wave", "bwf",  "mp3", "aif",
                                                  "aiff", "aifc", "flac", "m4a", "aac",
                                                  "ogg",  "opus", "caf"};
    return extensions;
}

void TindrelStore::publishChange() {
    metersWanted_.store(isPlaying.get(), std::memory_order_relaxed);
    emit changed();
}

void TindrelStore::setupAudioEngine() {
    if (engine_->mainMixerOutputFormat().channelCount >= 1) {
        engine_->mainMixer().installTap(1024, [this](const platform::AudioPcmBuffer& buffer) {
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
    engine_->start();
}

void TindrelStore::receiveMeterLevels(float leftDB, float rightDB) {
    if (!isPlaying.get() || isInSynchronousWork())
        return;
    meterLeftDB = leftDB;
    meterRightDB = rightDB;
}

void TindrelStore::callStatusChanged() {
    if (onStatusChanged)
        onStatusChanged();
}

} // namespace tindrel
