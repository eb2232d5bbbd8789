// The program's entry: one instance per user; a later launch hands its arguments to the
// running one and exits, before it needs a display. Quitting happens only on the delegate's
// ways out (SIGTERM, SIGINT and SIGHUP among them), never because a window or popup closed.

#include "Tindrel/platform/desktop/single_instance/SingleInstance.h"
#include "Tindrel/platform/desktop/termination_signals/TerminationSignals.h"
#include "Tindrel/platform/ui/ApplicationLook.h"
#include "Tindrel/shell/TindrelAppDelegate.h"
#include "Tindrel/shell/WindowPaintingHeartbeat.h"
#include "Tindrel/store/TindrelStore.h"

#include <QApplication>
#include <QDir>

int main(int argc, char** argv) {
    using tindrel::platform::SingleInstance;
    const QString socketName = SingleInstance::defaultSocketName();
    QStringList commandLine;
    for (int i = 1; i < argc; ++i)
        commandLine << QString::fromLocal8Bit(argv[i]);
    if (SingleInstance::handOverToRunning(
            socketName, SingleInstance::handOverArguments(commandLine, QDir::currentPath())))
        return 0;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tindrel"));
    QApplication::setApplicationVersion(QStringLiteral(TINDREL_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("com.orlimar.tindrel"));
    QApplication::setQuitOnLastWindowClosed(false);
    tindrel::platform::ApplicationLook::apply();
    // Caught from here on; they reach the delegate once the event loop runs.
    tindrel::platform::TerminationSignals termination;

    const QStringList arguments = QApplication::arguments();
    SingleInstance instance(socketName);
    const auto claim =
        instance.claim(SingleInstance::handOverArguments(arguments.mid(1), QDir::currentPath()));
    if (claim == SingleInstance::Claim::handedOver)
        return 0;

    // Decodes and exports keep the windows painted and stop for a termination signal.
    tindrel::TindrelStore::shared().keepResponsiveDuringWork = tindrel::windowPaintingHeartbeat(
        [&termination] { return termination.hasPendingRequest(); });
    tindrel::TindrelAppDelegate delegate(tindrel::TindrelStore::shared());
    QObject::connect(&instance, &SingleInstance::argumentsReceived, &delegate,
                     &tindrel::TindrelAppDelegate::openDocuments);
    QObject::connect(&termination, &tindrel::platform::TerminationSignals::requested, &delegate,
                     &tindrel::TindrelAppDelegate::terminate);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate,
                     &tindrel::TindrelAppDelegate::applicationWillTerminate);
    delegate.applicationDidFinishLaunching(
        arguments, std::filesystem::path(QDir::currentPath().toStdString()));
    return QApplication::exec();
}
