#include "tests/store_support/StoreTestRig.h"

#include "tests/support/GeneratedAudio.h"

#include <QSettings>

#include <cmath>
#include <stdexcept>

namespace tindrel::test {

void RecordingFileRevealer::revealFiles(const std::vector<std::filesystem::path>& files) {
    revealedFiles.push_back(files);
}

void RecordingFileRevealer::openFolder(const std::filesystem::path& folder) {
    openedFolders.push_back(folder);
}

bool RecordingFileClipboard::copyFiles(const std::vector<std::filesystem::path>& files) {
    copies.push_back(files);
    return true;
}

TindrelStoreEnvironment manualStoreEnvironment(const std::filesystem::path& home,
                                               const std::filesystem::path& settingsFile,
                                               ManualStoreParts& parts) {
    TindrelStoreEnvironment environment;
    environment.makeOutput = [&parts] {
        auto output = std::make_unique<platform::ManualOutput>(parts.realTimeOutput);
        parts.output = output.get();
        return output;
    };
    auto ticker = std::make_unique<ManualUiTicker>();
    parts.ticker = ticker.get();
    environment.ticker = std::move(ticker);
    environment.makeAnalysisExecutor = [&parts](QObject*) {
        auto executor = std::make_unique<ManualAnalysisExecutor>();
        parts.analysis = executor.get();
        return executor;
    };
    environment.settingsFile = settingsFile;
    environment.homeFolder = home;
    auto revealer = std::make_unique<RecordingFileRevealer>();
    parts.revealer = revealer.get();
    environment.revealer = std::move(revealer);
    auto clipboard = std::make_unique<RecordingFileClipboard>();
    parts.clipboard = clipboard.get();
    environment.clipboard = std::move(clipboard);
    return environment;
}

StoreTestRig::StoreTestRig(Desktop mode, Output output) {
    parts_.realTimeOutput = output == Output::pumpedAsRealTime;
    // The desktop sandbox brings its own folder, laid out alike.
    if (mode == Desktop::sandboxed)
        desktop_.emplace();
    else
        folder_.emplace();
    std::filesystem::create_directories(home() / "Downloads");
    restartStore();
}

StoreTestRig::~StoreTestRig() = default;

void StoreTestRig::restartStore() {
    store_.reset();
    // The others are set again as the new store is made; the output once its engine starts.
    parts_.output = nullptr;
    store_ = std::make_unique<TindrelStore>(manualStoreEnvironment(home(), settingsFile(), parts_));
}

const std::filesystem::path& StoreTestRig::root() const {
    return desktop_ ? desktop_->root() : folder_->path();
}

QStringList StoreTestRig::storedRecentPaths() const {
    return QSettings(QString::fromStdString(settingsFile().string()), QSettings::IniFormat)
        .value("Tindrel.recentPaths")
        .toStringList();
}

std::filesystem::path StoreTestRig::writeTone(const std::string& name, double seconds) {
    const auto path = home() / "music" / name;
    std::filesystem::create_directories(path.parent_path());
    writeAudioFile(path, sineSignal(440, 0.5, seconds));
    return path;
}

std::filesystem::path StoreTestRig::loadTone(const std::string& name, double seconds,
                                             bool autoPlay) {
    const auto path = writeTone(name, seconds);
    store_->loadAndPlay(path, autoPlay);
    if (!(store_->duration.get() > 0))
        throw std::runtime_error("the generated tone did not load");
    return path;
}

void StoreTestRig::setTransients(std::vector<double> times) {
    AudioFileSpec record = store_->spec.get().value_or(AudioFileSpec{});
    record.transientTimes = std::move(times);
    store_->spec = record;
}

std::vector<float> StoreTestRig::play(double seconds) {
    const double rate = parts_.output.load()->sampleRate();
    const auto total = static_cast<int64_t>(std::llround(seconds * rate));
    const auto tickFrames = static_cast<int64_t>(std::llround(0.033 * rate));
    int64_t sinceTick = 0;
    std::vector<float> rendered;
    for (int64_t done = 0; done < total;) {
        const int64_t block = std::min<int64_t>(512, total - done);
        parts_.output.load()->pump(static_cast<uint32_t>(block));
        rendered.insert(rendered.end(), parts_.output.load()->lastPumped().begin(),
                        parts_.output.load()->lastPumped().end());
        done += block;
        sinceTick += block;
        if (sinceTick >= tickFrames) {
            sinceTick -= tickFrames;
            parts_.ticker->fire();
        }
    }
    return rendered;
}

} // namespace tindrel::test
