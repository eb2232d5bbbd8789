#include "tests/store_b/TestStore.h"

#include <QSettings>

namespace tindrel::test {

namespace {

QString settingsFile(const XdgSandbox& sandbox) {
    return QString::fromStdString((sandbox.root() / "settings.ini").string());
}

} // namespace

TestStore::TestStore() {
    TindrelStoreEnvironment environment;
    environment.makeOutput = [this] {
        auto manual = std::make_unique<platform::ManualOutput>();
        output = manual.get();
        return manual;
    };
    environment.ticker = std::make_unique<ManualUiTicker>();
    environment.makeAnalysisExecutor = [](QObject*) {
        return std::make_unique<ManualAnalysisExecutor>();
    };
    environment.settings =
        std::make_unique<QSettings>(settingsFile(sandbox_), QSettings::IniFormat);
    environment.homeFolder = sandbox_.home();
    auto revealerOwned = std::make_unique<RecordingRevealer>();
    auto clipboardOwned = std::make_unique<RecordingClipboard>();
    revealer = revealerOwned.get();
    clipboard = clipboardOwned.get();
    environment.revealer = std::move(revealerOwned);
    environment.clipboard = std::move(clipboardOwned);
    store_ = std::make_unique<TindrelStore>(std::move(environment));
}

TestStore::~TestStore() = default;

QStringList TestStore::storedRecentPaths() const {
    return QSettings(settingsFile(sandbox_), QSettings::IniFormat)
        .value("Tindrel.recentPaths")
        .toStringList();
}

} // namespace tindrel::test
