#pragma once

#include "Tindrel/VelmoCore/VelmoUpdateEnvironment.h"
#include "Tindrel/VelmoCore/VelmoUpdateStore.h"

#include <QSignalSpy>
#include <QUrl>

#include <filesystem>

namespace velmo::test {

// What the store did to the outside world: pages shown and requests to end the application.
struct RecordedEffects {
    QList<QUrl> opened;
    int terminations = 0;
};

// An environment with no outside effects of its own: the given host, no simulate switch, the
// browser and the way out recorded, no bundle, the built relaunch tool, a short time-out.
inline VelmoUpdateEnvironment testEnvironment(
    const QString& releaseHost, RecordedEffects& effects,
    const std::filesystem::path& temporaryDirectory = std::filesystem::temp_directory_path()) {
    VelmoUpdateEnvironment environment;
    environment.releaseHost = releaseHost;
    environment.limits.manifestTime = std::chrono::milliseconds(5000);
    environment.temporaryDirectory = temporaryDirectory;
    environment.relaunchTool = std::filesystem::path(VELMO_TEST_RELAUNCH_TOOL);
    environment.arguments = {QStringLiteral("/opt/Tindrel.app/bin/tindrel")};
    environment.openInBrowser = [&effects](const QUrl& url) { effects.opened << url; };
    environment.requestTermination = [&effects] { ++effects.terminations; };
    return environment;
}

// Waits for the store's next `checkFinished` or `installFinished`.
template <typename Signal> bool waitFor(VelmoUpdateStore& store, Signal signal) {
    QSignalSpy spy(&store, signal);
    return spy.wait(20000);
}

} // namespace velmo::test
