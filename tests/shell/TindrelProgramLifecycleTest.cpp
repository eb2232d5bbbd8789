// The real program without a window system: signals end it through its normal way out (at
// once, also in the middle of a decode), a later launch that could not open a display still
// hands its file to the running instance, and "--version" answers without either.

#include "Tindrel/platform/desktop/single_instance/SingleInstance.h"
#include "tests/support/ExternalEncoder.h"
#include "tests/support/GeneratedAudio.h"
#include "tests/support/SandboxedProgramEnvironment.h"
#include "tests/support/TemporaryFolder.h"

#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tindrel::test;
using tindrel::platform::SingleInstance;

namespace {

// Whether `pid` has a file of the PCM cache open: an unnamed copy being written shows as
// "/tmp/tindrel-pcm-cache/#<inode> (deleted)".
bool isWritingADecodedCopy(qint64 pid) {
    // readdir and readlink, which pass over descriptors closed while the list is read.
    const std::string folder = "/proc/" + std::to_string(pid) + "/fd";
    DIR* descriptors = opendir(folder.c_str());
    if (!descriptors)
        return false;
    bool writing = false;
    while (const dirent* entry = readdir(descriptors)) {
        char target[4096];
        const ssize_t length =
            readlink((folder + "/" + entry->d_name).c_str(), target, sizeof target - 1);
        if (length > 0 &&
            std::string_view(target, size_t(length)).find("tindrel-pcm") != std::string_view::npos)
            writing = true;
    }
    closedir(descriptors);
    return writing;
}

// Names in the shared and any private PCM cache folder that contain `part`.
std::vector<std::string> cacheEntriesNaming(const std::filesystem::path& privateRoot,
                                            const std::string& part) {
    std::vector<std::string> found;
    std::error_code ignored;
    const auto collect = [&](const std::filesystem::path& folder) {
        for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
            if (entry.path().filename().string().find(part) != std::string::npos)
                found.push_back(entry.path().string());
        }
    };
    collect("/tmp/tindrel-pcm-cache");
    for (const auto& entry : std::filesystem::directory_iterator(privateRoot, ignored)) {
        if (entry.path().filename().string().rfind("tindrel-pcm-", 0) == 0)
            collect(entry.path());
    }
    return found;
}

} // namespace

TEST(TindrelProgramLifecycle, ASignalInTheMiddleOfADecodeEndsItAtOnceLeavingNoCopy) {
    TemporaryFolder shared;
    // Two hours of PCM in Matroska: a few seconds of decoding, made in about one.
    const auto source = shared / "lifecycle-decode.mka";
    ASSERT_EQ(runProgram("ffmpeg", {"-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                                    "sine=f=440:sample_rate=8000:duration=7200", "-c:a",
                                    "pcm_s16le", source.string()}),
              0);
    struct Case {
        int signalNumber;
        bool wayOut; // ends through the program's own way out, else killed outright
    } cases[] = {{SIGTERM, true}, {SIGINT, true}, {SIGHUP, true}, {SIGKILL, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.signalNumber);
        TemporaryFolder sandbox;
        QProcessEnvironment environment = sandboxedEnvironment(sandbox);
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("TMPDIR", QString::fromStdString(sandbox.path().string()));

        const auto copiesBefore = cacheEntriesNaming(sandbox.path(), "lifecycle-decode");

        QProcess program;
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(TINDREL_PROGRAM, {QString::fromStdString(source.string())});
        ASSERT_TRUE(program.waitForStarted(10000));
        bool writing = false;
        for (int i = 0; i < 3000 && !(writing = isWritingADecodedCopy(program.processId())); ++i)
            program.waitForFinished(10);
        ASSERT_TRUE(writing);

        ASSERT_EQ(kill(static_cast<pid_t>(program.processId()), c.signalNumber), 0);
        ASSERT_TRUE(program.waitForFinished(60000));
        // Ended at once: a decode that ran on to its end would have left its copy in the cache
        // (how long the end takes is a benchmark's figure; a busy machine stretches it).
        if (c.wayOut) {
            EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(program.exitCode(), 0);
        }
        EXPECT_EQ(cacheEntriesNaming(sandbox.path(), "lifecycle-decode"), copiesBefore);
    }
}

TEST(TindrelProgramLifecycle, TheNextStartClearsWhatADecodeOfAKilledRunLeft) {
    // Where the file system has no unnamed files, a decode writes a hidden temporary; one that
    // no running instance holds goes when the program next opens a file.
    const std::filesystem::path cache = "/tmp/tindrel-pcm-cache";
    mkdir(cache.c_str(), 0700);
    struct Case {
        const char* name;
        bool held; // by a decode still running elsewhere
    } cases[] = {{".tindrel.0123456789abcdef.tmp", false}, {".tindrel.fedcba9876543210.tmp", true}};
    std::vector<int> holds;
    for (const Case& c : cases) {
        const int fd = open((cache / c.name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0) << c.name;
        if (c.held) {
            ASSERT_EQ(flock(fd, LOCK_SH), 0);
        }
        holds.push_back(fd);
    }

    TemporaryFolder sandbox;
    QProcessEnvironment environment = sandboxedEnvironment(sandbox);
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    const auto audio = sandbox / "home" / "tone.wav";
    writeAudioFile(audio, sineSignal(440, 0.5, 1.0));
    QProcess program;
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(TINDREL_PROGRAM, {QString::fromStdString(audio.string())});
    ASSERT_TRUE(program.waitForStarted(10000));
    for (int i = 0; i < 600 && std::filesystem::exists(cache / cases[0].name); ++i)
        program.waitForFinished(50);
    kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(60000));

    for (const Case& c : cases)
        EXPECT_EQ(std::filesystem::exists(cache / c.name), c.held) << c.name;
    for (size_t i = 0; i < holds.size(); ++i) {
        close(holds[i]);
        std::filesystem::remove(cache / cases[i].name);
    }
}

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
        EXPECT_EQ(
            received.at(0).at(0).value<QByteArrayList>(),
            QByteArrayList{QByteArray::fromStdString((sandbox / "home" / "tone.wav").string())});
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
        // The default-handler registration reads mimeapps.list after the window's first paint.
        const QByteArray said = QByteArray::fromStdString("ignoring " + odd.string());
        QByteArray errors;
        for (int i = 0; i < 200 && !errors.contains(said); ++i) {
            program.waitForReadyRead(50);
            errors += program.readAllStandardError();
        }
        // Answering SIGTERM through the event loop shows that the start is over.
        ASSERT_EQ(kill(static_cast<pid_t>(program.processId()), SIGTERM), 0);
        const bool ended = program.waitForFinished(30000);
        if (!ended)
            program.kill();
        ASSERT_TRUE(ended) << "the start stalled";
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0);
        errors += program.readAllStandardError();
        EXPECT_TRUE(errors.contains(said)) << errors.toStdString();
        EXPECT_EQ(std::filesystem::is_fifo(odd), c.fifo);
        EXPECT_EQ(std::filesystem::is_symlink(odd), !c.fifo);
    }
}
