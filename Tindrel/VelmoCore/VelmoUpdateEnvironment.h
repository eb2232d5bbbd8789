#pragma once

// What the update store takes from the process and the desktop, gathered in one value so that
// tests can put every outside effect on a leash: the release host, the transport's trust, the
// bounds of requests and unpacking, the browser, the application's way out, the bundle location and
// the temporary directory. `VelmoUpdateEnvironment::forProcess()` fills it from the running
// program; the program never changes what it returns. GUI thread only.

#include "Tindrel/VelmoCore/VelmoUpdateLimits.h"

#include <QList>
#include <QSslCertificate>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>

namespace velmo {

struct VelmoUpdateEnvironment {
    // Scheme and host (and port) of the maker's release host, without a trailing slash. The
    // versions endpoints, the simulated download and the download pages all live there.
    QString releaseHost;
    // Plain http to 127.0.0.1 is requested only when this is set (local test servers); the
    // program itself only ever speaks https.
    bool allowLoopbackHttp = false;
    // Certificate authorities trusted beside the system's.
    QList<QSslCertificate> extraCaCertificates;
    VelmoUpdateLimits limits;

    // The running version when the store is given none; empty stands for "no version known".
    QString bundleShortVersion;
    // The installed program folder ("<name>.app" holding bin/<product id>) the program runs
    // from, or nothing for a run outside such a folder.
    std::optional<std::filesystem::path> bundleLocation;
    std::filesystem::path temporaryDirectory;
    // The relaunch tool (exchange and version steps of the swap); an install cannot go on
    // without it.
    std::optional<std::filesystem::path> relaunchTool;

    // Command line (program path first) and environment, for the simulate switch.
    QStringList arguments;
    std::map<QString, QString> environmentVariables;

    // Shows a web page; called only with http and https addresses.
    std::function<void(const QUrl&)> openInBrowser;
    // The application's normal way out; may return before the process ends.
    std::function<void()> requestTermination;
    // Process id that the relaunch waits for and stops before it swaps the bundles.
    qint64 runningProcessId = 0;
    // Extra variables for the detached relaunch shell (tests put stand-in tools on its PATH).
    std::map<QString, QString> relaunchEnvironment;

    // The running program's values: compiled-in release host, the application's version, the
    // bundle found from the executable's folder, the relaunch tool beside the executable,
    // QDesktopServices, QCoreApplication::quit.
    static VelmoUpdateEnvironment forProcess();

    // The "<name>.app" folder above bin/ of `executableFolder`, when there is one.
    static std::optional<std::filesystem::path>
    bundleAbove(const std::filesystem::path& executableFolder);

    // The relaunch tool's file name, installed beside the program.
    static constexpr const char* relaunchToolName = "velmo-relaunch-tool";
};

} // namespace velmo
