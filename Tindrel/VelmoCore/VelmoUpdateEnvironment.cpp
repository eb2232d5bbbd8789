#include "Tindrel/VelmoCore/VelmoUpdateEnvironment.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QProcessEnvironment>

namespace velmo {

VelmoUpdateEnvironment VelmoUpdateEnvironment::forProcess() {
    VelmoUpdateEnvironment environment;
    environment.releaseHost = QStringLiteral(VELMO_RELEASE_HOST);
    while (environment.releaseHost.endsWith(QLatin1Char('/')))
        environment.releaseHost.chop(1);
    environment.bundleShortVersion = QCoreApplication::applicationVersion();
    const std::filesystem::path executableFolder(
        QCoreApplication::applicationDirPath().toStdString());
    environment.bundleLocation = bundleAbove(executableFolder);
    environment.relaunchTool = executableFolder / relaunchToolName;
    environment.temporaryDirectory = std::filesystem::path(QDir::tempPath().toStdString());
    environment.arguments = QCoreApplication::arguments();
    const QProcessEnvironment system = QProcessEnvironment::systemEnvironment();
    for (const QString& name : system.keys())
        environment.environmentVariables.emplace(name, system.value(name));
    environment.openInBrowser = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    environment.requestTermination = [] { QCoreApplication::quit(); };
    environment.runningProcessId = QCoreApplication::applicationPid();
    return environment;
}

std::optional<std::filesystem::path>
VelmoUpdateEnvironment::bundleAbove(const std::filesystem::path& executableFolder) {
    const std::filesystem::path folder = executableFolder.lexically_normal();
    const std::filesystem::path bin = folder.has_filename() ? folder : folder.parent_path();
    if (bin.filename() != "bin")
        return std::nullopt;
    const std::filesystem::path bundle = bin.parent_path();
    if (bundle.extension() != ".app" || bundle.stem().empty())
        return std::nullopt;
    return bundle;
}

} // namespace velmo
