#include "Tindrel/store/TindrelStoreEnvironment.h"

#include "Tindrel/platform/desktop/DesktopServices.h"
#include "Tindrel/platform/desktop/XdgLocations.h"

#include <QDir>

namespace tindrel {

TindrelStoreEnvironment TindrelStoreEnvironment::production() {
    TindrelStoreEnvironment environment;
    environment.makeOutput = platform::makeDefaultAudioOutput;
    environment.ticker = std::make_unique<QtUiTicker>();
    environment.makeAnalysisExecutor = [](QObject* store) {
        return std::make_unique<ThreadAnalysisExecutor>(store);
    };
    environment.settingsFile = nativeSettingsFile();
    environment.homeFolder = QDir::homePath().toStdString();
    environment.revealer = platform::makeDesktopFileRevealer();
    environment.clipboard = platform::makeDesktopFileClipboard();
    return environment;
}

std::filesystem::path TindrelStoreEnvironment::nativeSettingsFile() {
    return platform::XdgLocations::fromEnvironment().configHome / "orlimar" / "Tindrel.conf";
}

} // namespace tindrel
