// The program's entry: one instance per user; a later launch hands its arguments to the
// running one and exits. Quitting happens only on the delegate's ways out, never because a
// window or popup closed.

#include "Tindrel/platform/desktop/single_instance/SingleInstance.h"
#include "Tindrel/platform/ui/ApplicationLook.h"
#include "Tindrel/shell/TindrelAppDelegate.h"
#include "Tindrel/store/TindrelStore.h"

#include <QApplication>
#include <QDir>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tindrel"));
    QApplication::setApplicationVersion(QStringLiteral(TINDREL_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("com.orlimar.tindrel"));
    QApplication::setQuitOnLastWindowClosed(false);
    tindrel::platform::ApplicationLook::apply();

    const QStringList arguments = QApplication::arguments();
    tindrel::platform::SingleInstance instance;
    const auto claim = instance.claim(tindrel::platform::SingleInstance::handOverArguments(
        arguments.mid(1), QDir::currentPath()));
    if (claim == tindrel::platform::SingleInstance::Claim::handedOver)
        return 0;

    tindrel::TindrelAppDelegate delegate(tindrel::TindrelStore::shared());
    QObject::connect(&instance, &tindrel::platform::SingleInstance::argumentsReceived, &delegate,
                     &tindrel::TindrelAppDelegate::openDocuments);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate,
                     &tindrel::TindrelAppDelegate::applicationWillTerminate);
    delegate.applicationDidFinishLaunching(
        arguments, std::filesystem::path(QDir::currentPath().toStdString()));
    return QApplication::exec();
}
