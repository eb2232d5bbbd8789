#include "tests/canvas/CanvasTestStore.h"

#include "Tindrel/platform/audio/engine/ManualOutput.h"
#include "tests/support/GeneratedAudio.h"

#include <QSettings>

#include <stdexcept>

namespace tindrel::test {

CanvasTestStore::CanvasTestStore() {
    TindrelStoreEnvironment environment;
    environment.makeOutput = [] { return std::make_unique<platform::ManualOutput>(); };
    auto ticker = std::make_unique<ManualUiTicker>();
    ticker_ = ticker.get();
    environment.ticker = std::move(ticker);
    environment.makeAnalysisExecutor = [](QObject*) {
        return std::make_unique<ManualAnalysisExecutor>();
    };
    environment.settings = std::make_unique<QSettings>(
        QString::fromStdString((folder_ / "settings.ini").string()), QSettings::IniFormat);
    environment.homeFolder = folder_.path();
    store_ = std::make_unique<TindrelStore>(std::move(environment));
}

void CanvasTestStore::loadTone(double seconds) {
    const auto path = folder_ / "tone.wav";
    writeAudioFile(path, sineSignal(440, 0.5, seconds));
    store_->loadAndPlay(path, false);
    if (!(store_->duration.get() > 0))
        throw std::runtime_error("the generated tone did not load");
}

void CanvasTestStore::setTransients(std::vector<double> times) {
    AudioFileSpec record = store_->spec.get().value_or(AudioFileSpec{});
    record.transientTimes = std::move(times);
    store_->spec = record;
}

} // namespace tindrel::test
