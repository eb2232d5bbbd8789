// The real program on a virtual X display: its window appears with the newest recent file
// loaded, a real Space key press starts playback, and closing the window ends the program
// cleanly; in the background it lives in a tray, and without a tray it shows its window; under
// a window manager, real clicks, typing, a Shift-drag and a file dragged in from another
// program do what they say; a close, Ctrl+Q or Exit in the middle of a decode or an export
// ends the program at once, leaving nothing of the work behind; a file handed over by a second
// launch is decoded and played, and every way out in the middle of such a decode ends the
// program cleanly.
// Leaves screenshots of the playing window and of the mini player next to the test's build
// output.

#include "tests/support/ExternalEncoder.h"
#include "tests/support/GeneratedAudio.h"
#include "tests/support/ScopedEnvironmentVariable.h"
#include "tests/support/TemporaryFolder.h"

#include <QImage>
#include <QSettings>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace tindrel::test;

namespace {

// Points the program's home, settings, default-handler lists and instance socket at the
// sandbox and makes it use X. Returns the home folder.
std::filesystem::path useSandbox(const TemporaryFolder& sandbox) {
    const auto home = sandbox / "home";
    const auto runtime = sandbox / "runtime";
    std::filesystem::create_directories(home / "Downloads");
    std::filesystem::create_directories(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (sandbox / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (sandbox / "data").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    return home;
}

int underXvfb(std::vector<std::string> command) {
    command.insert(command.begin(), {"-a", "-s", "-screen 0 1400x900x24"});
    return runProgram("xvfb-run", command);
}

// Files naming `part` in the shared decode cache and anywhere in the sandbox.
std::vector<std::string> copiesOf(const TemporaryFolder& sandbox, const std::string& part) {
    std::vector<std::string> found;
    std::error_code ignored;
    for (const std::filesystem::path& folder :
         {std::filesystem::path("/tmp/tindrel-pcm-cache"), sandbox.path()}) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, ignored)) {
            if (entry.path().filename().string().find(part) != std::string::npos)
                found.push_back(entry.path().string());
        }
    }
    return found;
}

} // namespace

TEST(TindrelProgram, ShowsItsWindowPlaysOnSpaceAndQuitsCleanlyWhenTheWindowIsClosed) {
    TemporaryFolder sandbox;
    const auto audio = useSandbox(sandbox) / "tone.wav";
    writeAudioFile(audio, sineSignal(440, 0.5, 20.0));
    // Started without arguments it loads its newest recent file and waits for a key.
    QSettings recents(
        QString::fromStdString((sandbox / "config" / "orlimar" / "Tindrel.conf").string()),
        QSettings::IniFormat);
    recents.setValue("Tindrel.recentPaths", QStringList{QString::fromStdString(audio.string())});
    recents.sync();

    const std::filesystem::path screenshot = TINDREL_SCREENSHOT;
    std::filesystem::remove(screenshot);
    const int status = underXvfb({TINDREL_DRIVER, TINDREL_PROGRAM, screenshot.string()});
    EXPECT_EQ(status, 0) << "5: no window, 6: still running after close, 7: screenshot not "
                            "saved, 8: window never settled, 9: Space did not start playback, "
                            "10: xdotool failed";

    const QImage image(QString::fromStdString(screenshot.string()));
    ASSERT_FALSE(image.isNull());
    EXPECT_GE(image.width(), 1180);
    EXPECT_GE(image.height(), 660);
}

TEST(TindrelProgram, LivesInTheTrayInTheBackgroundAndShowsItsWindowWithoutOne) {
    for (const char* mode : {"tray", "no-tray"}) {
        SCOPED_TRACE(mode);
        TemporaryFolder sandbox;
        useSandbox(sandbox);
        const std::filesystem::path screenshot = TINDREL_TRAY_SCREENSHOT;
        const bool withTray = std::string(mode) == "tray";
        if (withTray)
            std::filesystem::remove(screenshot);
        EXPECT_EQ(underXvfb({TINDREL_TRAY_DRIVER, TINDREL_PROGRAM, mode, screenshot.string()}), 0)
            << "10: no tray host, 11: no icon, 12: window in the background, 13: no popover, "
               "15: popover not closed by a second click, 16: no window once the tray quit, "
               "20: no window without a tray, "
               "21: icon not picked up by a later tray";
        if (withTray) {
            const QImage image(QString::fromStdString(screenshot.string()));
            EXPECT_EQ(image.size(), QSize(410, 255));
        }
    }
}

TEST(TindrelProgram, UnderAWindowManagerClicksTypingDragsAndDropsDoWhatTheySay) {
    TemporaryFolder sandbox;
    const auto home = useSandbox(sandbox);
    writeAudioFile(home / "tone.wav", sineSignal(440, 0.5, 30.0));
    writeAudioFile(home / "other.wav", sineSignal(660, 0.5, 30.0));
    EXPECT_EQ(underXvfb({TINDREL_HANDS_DRIVER, TINDREL_PROGRAM, (home / "tone.wav").string(),
                         (home / "other.wav").string()}),
              0)
        << "10: no window manager, 11: no window, 12: never still, 13: a click on the waveform "
           "did not resume, 14: the status line stayed stale, 15: Return in the speed field "
           "jumped to the start, 16: a Shift-drag moved the window, 17: it set no range, 18: a "
           "file dropped on the filter field was not played";
}

TEST(TindrelProgram, EveryWayOutEndsADecodeOrAnExportAtOnceLeavingNothing) {
    TemporaryFolder sandbox;
    const auto home = useSandbox(sandbox);
    // Gone with the sandbox: later tests in this process take their folders elsewhere.
    const ScopedEnvironmentVariable temporaryFolder("TMPDIR", sandbox.path().string());
    // Two hours of PCM in Matroska: seconds of decoding into a copy; an hour of WAV: many
    // seconds of export at 1.25x.
    const auto decoded = home / "decode" / "way-out-decode.mka";
    std::filesystem::create_directories(decoded.parent_path());
    ASSERT_EQ(runProgram("ffmpeg", {"-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                                    "sine=f=440:sample_rate=8000:duration=7200", "-c:a",
                                    "pcm_s16le", decoded.string()}),
              0);
    const auto exported = home / "export" / "way-out-export.wav";
    std::filesystem::create_directories(exported.parent_path());
    writeAudioFile(exported, sineSignal(440, 0.5, 3600.0, 8000, 1));
    const auto listing = [](const std::filesystem::path& folder) {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    const auto exportFolderBefore = listing(exported.parent_path());
    const auto copiesBefore = copiesOf(sandbox, "way-out-decode");

    EXPECT_EQ(underXvfb({TINDREL_WAY_OUT_DRIVER, TINDREL_PROGRAM, "work", decoded.string(),
                         exported.string()}),
              0)
        << "10: no window manager, 11: no window, 12: the work never started, 13: the way out "
           "could not be taken, 14: still running, 15: ended with a failure";
    EXPECT_EQ(listing(exported.parent_path()), exportFolderBefore);
    EXPECT_EQ(copiesOf(sandbox, "way-out-decode"), copiesBefore);
}

TEST(TindrelProgram, FilesHandedOverByLaterLaunchesDecodeAndEveryWayOutDuringOneEndsCleanly) {
    TemporaryFolder sandbox;
    const auto home = useSandbox(sandbox);
    // Gone with the sandbox: later tests in this process take their folders elsewhere.
    const ScopedEnvironmentVariable temporaryFolder("TMPDIR", sandbox.path().string());
    writeAudioFile(home / "plays.wav", sineSignal(440, 0.5, 20.0));
    // AAC in M4A, made by repeating half a minute without encoding it again: forty minutes of
    // dense noise decode for seconds; two hours of a tone are still decoding at the way out.
    const auto repeated = [&](const std::string& name, const std::string& source,
                              const std::string& bitRate, int repeats) {
        const auto piece = sandbox / (name + "-piece.m4a");
        const auto whole = home / (name + ".m4a");
        EXPECT_EQ(runProgram("ffmpeg", {"-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                                        source + ":duration=30", "-ac", "2", "-c:a", "aac", "-b:a",
                                        bitRate, piece.string()}),
                  0);
        EXPECT_EQ(runProgram("ffmpeg", {"-nostdin", "-v", "error", "-y", "-stream_loop",
                                        std::to_string(repeats - 1), "-i", piece.string(), "-c",
                                        "copy", whole.string()}),
                  0);
        return whole;
    };
    const auto finished = repeated("handed-over-first", "anoisesrc=r=48000:a=0.5", "512k", 80);
    const auto stopped = repeated("handed-over-second", "sine=f=440:sample_rate=48000", "32k", 240);
    const auto copiesBefore = copiesOf(sandbox, "handed-over-");

    EXPECT_EQ(underXvfb({TINDREL_WAY_OUT_DRIVER, TINDREL_PROGRAM, "hand-over",
                         (home / "plays.wav").string(), finished.string(), stopped.string()}),
              0)
        << "10: no window manager, 11: no window, 13: the way out could not be taken, 14: still "
           "running, 15: ended with a failure, 16: a hand-over failed, 17: died after a "
           "hand-over, 18: the socket was left, 19: no tray";
    EXPECT_EQ(copiesOf(sandbox, "handed-over-"), copiesBefore);
}
