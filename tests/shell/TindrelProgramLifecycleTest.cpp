// The real program without a window system: signals end it through its normal way out, a
// later launch that could not open a display still hands its file to the running instance, and
// "--version" answers without either.

#include "Tindrel/platform/desktop/single_instance/SingleInstance.h"
#include "tests/support/GeneratedAudio.h"
#include "tests/support/TemporaryFolder.h"

#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <filesystem>

#include <signal.h>

using namespace tindrel::test;
using tindrel::platform::SingleInstance;

namespace {

// HOME, the XDG folders and the instance socket in `sandbox`.
QProcessEnvironment sandboxedEnvironment(const TemporaryFolder& sandbox) {
    for (const char* folder : {"home", "runtime", "config", "data", "cache"})
        std::filesystem::create_directories(sandbox / folder);
    std::filesystem::permissions(sandbox / "runtime", std::filesystem::perms::owner_all);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const auto set = [&](const char* name, const char* folder) {
        environment.insert(name, QString::fromStdString((sandbox / folder).string()));
    };
    set("HOME", "home");
    set("XDG_RUNTIME_DIR", "runtime");
    set("XDG_CONFIG_HOME", "config");
    set("XDG_DATA_HOME", "data");
    set("XDG_CACHE_HOME", "cache");
    return environment;
}

} // namespace

TEST(TindrelProgramLifecycle, TerminationSignalsEndTheProgramCleanly) {
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        TemporaryFolder sandbox;
        QProcessEnvironment environment = sandboxedEnvironment(sandbox);
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        const auto audio = sandbox / "home" / "tone.wav";
        writeAudioFile(audio, sineSignal(440, 0.5, 3.0));
        const QString socket =
            QString::fromStdString((sandbox / "runtime" / "tindrel.socket").string());

        QProcess program;
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(TINDREL_PROGRAM, {QString::fromStdString(audio.string())});
        ASSERT_TRUE(program.waitForStarted(10000));
        // The socket appears once the program listens, after its signal handlers are in place.
        for (int i = 0; i < 600 && !QFileInfo::exists(socket); ++i)
            program.waitForFinished(50);
        ASSERT_TRUE(QFileInfo::exists(socket)) << signalNumber;

        ASSERT_EQ(kill(static_cast<pid_t>(program.processId()), signalNumber), 0);
        ASSERT_TRUE(program.waitForFinished(60000)) << signalNumber;
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << signalNumber;
        EXPECT_EQ(program.exitCode(), 0) << signalNumber;
        EXPECT_FALSE(QFileInfo::exists(socket)) << "clean-up left the socket, " << signalNumber;
    }
}

TEST(TindrelProgramLifecycle, ALaunchWithoutADisplayHandsItsFileOverOrOnlyPrintsTheVersion) {
    const struct {
        QStringList arguments;
        QByteArray printed;
        bool handsOver;
    } cases[]{
        {{"tone.wav"}, {}, true},
        // How an update checks the newly installed program.
        {{"--version"}, TINDREL_VERSION "\n", false},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.arguments.join(' ').toStdString());
        TemporaryFolder sandbox;
        QProcessEnvironment environment = sandboxedEnvironment(sandbox);
        // The X11 platform with no display to open, as over ssh or from a service.
        environment.insert("QT_QPA_PLATFORM", "xcb");
        environment.remove("DISPLAY");
        environment.remove("WAYLAND_DISPLAY");
        SingleInstance running(
            QString::fromStdString((sandbox / "runtime" / "tindrel.socket").string()));
        ASSERT_EQ(running.claim({}), SingleInstance::Claim::primary);
        QSignalSpy received(&running, &SingleInstance::argumentsReceived);

        QProcess later;
        later.setProcessEnvironment(environment);
        later.setWorkingDirectory(QString::fromStdString((sandbox / "home").string()));
        later.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        later.start(TINDREL_PROGRAM, item.arguments);
        ASSERT_TRUE(later.waitForFinished(60000));
        EXPECT_EQ(later.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(later.exitCode(), 0);
        EXPECT_EQ(later.readAllStandardOutput(), item.printed);

        if (!item.handsOver) {
            EXPECT_FALSE(received.wait(500));
            continue;
        }
        ASSERT_TRUE(!received.isEmpty() || received.wait(10000));
        EXPECT_EQ(received.at(0).at(0).toStringList(),
                  QStringList{QString::fromStdString((sandbox / "home" / "tone.wav").string())});
    }
}
