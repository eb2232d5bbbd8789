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
        EXPECT_EQ(received.at(0).at(0).value<QByteArrayList>(),
                  QByteArrayList{
                      QByteArray::fromStdString((sandbox / "home" / "tone.wav").string())});
    }
}

TEST(TindrelProgramLifecycle, ConfigFilesThatAreNoFilesNeitherStallNorEndTheStart) {
    const struct {
        const char* file; // under the sandbox
        bool fifo;        // else a link to /dev/zero
    } cases[] = {
        {"config/mimeapps.list", true},
        {"config/mimeapps.list", false},
        {"data/applications/mimeapps.list", true},
        {"data/applications/mimeapps.list", false},
        {"config/orlimar/Tindrel.conf", true},
        {"config/orlimar/Tindrel.conf", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + (c.fifo ? " as a FIFO" : " as a link to /dev/zero"));
        TemporaryFolder sandbox;
        QProcessEnvironment environment = sandboxedEnvironment(sandbox);
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        const auto odd = sandbox / c.file;
        std::filesystem::create_directories(odd.parent_path());
        if (c.fifo)
            ASSERT_EQ(mkfifo(odd.c_str(), 0600), 0);
        else
            std::filesystem::create_symlink("/dev/zero", odd);
        const QString socket =
            QString::fromStdString((sandbox / "runtime" / "tindrel.socket").string());

        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(TINDREL_PROGRAM, {});
        ASSERT_TRUE(program.waitForStarted(10000));
        for (int i = 0; i < 600 && !QFileInfo::exists(socket); ++i)
            program.waitForFinished(50);
        ASSERT_TRUE(QFileInfo::exists(socket));
        // Answering SIGTERM through the event loop shows that the start is over.
        ASSERT_EQ(kill(static_cast<pid_t>(program.processId()), SIGTERM), 0);
        const bool ended = program.waitForFinished(30000);
        if (!ended)
            program.kill();
        ASSERT_TRUE(ended) << "the start stalled";
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0);
        EXPECT_TRUE(QString::fromLocal8Bit(program.readAllStandardError())
                        .contains(QString::fromStdString("ignoring " + odd.string())));
        EXPECT_EQ(std::filesystem::is_fifo(odd), c.fifo);
        EXPECT_EQ(std::filesystem::is_symlink(odd), !c.fifo);
    }
}
