// The program's entry: one instance per user; a later launch hands its arguments to the
// running one and exits, before it needs a display. "--version" alone prints the version. Quitting
// happens only on the delegate's ways out (SIGTERM, SIGINT and SIGHUP among them), never because a
// window or popup closed.

#include "Tindrel/platform/desktop/single_instance/SingleInstance.h"
#include "Tindrel/platform/desktop/termination_signals/TerminationSignals.h"
#include "Tindrel/platform/ui/ApplicationLook.h"
#include "Tindrel/shell/TindrelAppDelegate.h"
#include "Tindrel/shell/WindowPaintingHeartbeat.h"
#include "Tindrel/store/TindrelStore.h"

#include <QApplication>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

// The arguments and the working folder as bytes: Qt's text forms of them lose the bytes of a
// name that is not UTF-8.
QByteArrayList argumentBytes(int argc, char** argv) {
    QByteArrayList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QByteArray(argv[i]);
    return arguments;
}

} // namespace

int main(int argc, char** argv) {
    using tindrel::platform::SingleInstance;
    const QString socketName = SingleInstance::defaultSocketName();
    // How an update checks that the newly installed program runs: the version alone, with no
    // display needed and no running instance reached.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::fputs(TINDREL_VERSION "\n", stdout);
        return 0;
    }
    std::error_code noWorkingFolder;
    const std::filesystem::path workingFolder = std::filesystem::current_path(noWorkingFolder);
    if (SingleInstance::handOverToRunning(
            socketName,
            SingleInstance::handOverArguments(argumentBytes(argc, argv).mid(1), workingFolder)))
        return 0;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tindrel"));
    QApplication::setApplicationVersion(QStringLiteral(TINDREL_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("com.orlimar.tindrel"));
    QApplication::setQuitOnLastWindowClosed(false);
    tindrel::platform::ApplicationLook::apply();
    // Caught from here on; they reach the delegate once the event loop runs.
    tindrel::platform::TerminationSignals termination;

    // Without the options QApplication took for itself.
    const QByteArrayList arguments = argumentBytes(argc, argv);
    SingleInstance instance(socketName);
    if (instance.claim(SingleInstance::handOverArguments(arguments.mid(1), workingFolder)) ==
        SingleInstance::Claim::handedOver)
        return 0;

    tindrel::TindrelAppDelegate delegate(tindrel::TindrelStore::shared());
    // Decodes and exports keep the windows painted and the input handled, and stop for a
    // termination signal or any other way out taken meanwhile (the window closed, Ctrl+Q, Exit).
    tindrel::TindrelStore::shared().keepResponsiveDuringWork =
        tindrel::windowPaintingHeartbeat([&termination, &delegate] {
            return termination.hasPendingRequest() || delegate.isTerminating();
        });
    // What comes from outside runs from the event loop, as a key press does, never inside the
    // signal of the socket or notifier it came through: a decode it starts lets events through,
    // and those may end that socket.
    QObject::connect(&instance, &SingleInstance::argumentsReceived, &delegate,
                     &tindrel::TindrelAppDelegate::openDocuments, Qt::QueuedConnection);
    QObject::connect(&termination, &tindrel::platform::TerminationSignals::requested, &delegate,
                     &tindrel::TindrelAppDelegate::terminate, Qt::QueuedConnection);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate,
                     &tindrel::TindrelAppDelegate::applicationWillTerminate);
    delegate.applicationDidFinishLaunching(arguments, workingFolder);
    return QApplication::exec();
}
