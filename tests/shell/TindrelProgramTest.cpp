// The real program on a virtual X display: its window appears with the newest recent file
// loaded, a real Space key press starts playback, and closing the window ends the program
// cleanly. Leaves a screenshot of the playing window next to the test's build output.

#include "tests/support/ExternalEncoder.h"
#include "tests/support/GeneratedAudio.h"
#include "tests/support/TemporaryFolder.h"

#include <QImage>
#include <QSettings>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace tindrel::test;

TEST(TindrelProgram, ShowsItsWindowPlaysOnSpaceAndQuitsCleanlyWhenTheWindowIsClosed) {
    TemporaryFolder sandbox;
    const auto home = sandbox / "home";
    const auto runtime = sandbox / "runtime";
    std::filesystem::create_directories(home / "Downloads");
    std::filesystem::create_directories(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    const auto audio = home / "tone.wav";
    writeAudioFile(audio, sineSignal(440, 0.5, 20.0));
    // Started without arguments it loads its newest recent file and waits for a key.
    QSettings recents(
        QString::fromStdString((sandbox / "config" / "orlimar" / "Tindrel.conf").string()),
        QSettings::IniFormat);
    recents.setValue("Tindrel.recentPaths", QStringList{QString::fromStdString(audio.string())});
    recents.sync();

    // The program runs on the sandbox: its recents, default-handler list and instance socket.
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (sandbox / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (sandbox / "data").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);

    const std::filesystem::path screenshot = TINDREL_SCREENSHOT;
    std::filesystem::remove(screenshot);
    const int status = runProgram("xvfb-run", {"-a", "-s", "-screen 0 1400x900x24", TINDREL_DRIVER,
                                               TINDREL_PROGRAM, screenshot.string()});
    EXPECT_EQ(status, 0) << "5: no window, 6: still running after close, 7: screenshot not "
                            "saved, 8: window never settled, 9: Space did not start playback, "
                            "10: xdotool failed";

    const QImage image(QString::fromStdString(screenshot.string()));
    ASSERT_FALSE(image.isNull());
    EXPECT_GE(image.width(), 1180);
    EXPECT_GE(image.height(), 660);
}
