#include "Tindrel/store/TindrelStoreEnvironment.h"

#include "Tindrel/platform/desktop/DesktopServices.h"

#include <QDir>

namespace tindrel {

TindrelStoreEnvironment TindrelStoreEnvironment::production() {
    TindrelStoreEnvironment environment;
    environment.makeOutput = platform::makeDefaultAudioOutput;
    environment.ticker = std::make_unique<QtUiTicker>();
    environment.makeAnalysisExecutor = [](QObject* store) {
        return std::make_unique<ThreadAnalysisExecutor>(store);
    };
    environment.settings = nativeSettings();
    environment.homeFolder = QDir::homePath().toStdString();
    environment.revealer = platform::makeDesktopFileRevealer();
    environment.clipboard = platform::makeDesktopFileClipboard();
    return environment;
}

std::unique_ptr<QSettings> TindrelStoreEnvironment::nativeSettings() {
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, "orlimar",
                                       "Tindrel");
}

} // namespace tindrel
