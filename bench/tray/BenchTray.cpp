// The tray's mini player under a virtual X display with a tray host (trayer): the time from a
// click on the tray icon to the popover drawn on screen, and the CPU the whole process uses
// per second of playback while the popover is open (and, for comparison, while it is closed).
// The program's own store (real audio graph; without a sound card its output is paced by the
// clock) and delegate run the launch sequence with "--background".
//
// The clicks are real X clicks (xdotool) on the docked icon; the time runs from the icon's
// window receiving the button press to the popover's first paint having been handled, so it
// covers Qt's input handling, the toggle, placement, mapping and drawing. Runs itself again
// under xvfb-run when not yet on a display of its own.

#include "Tindrel/shell/PopoverWindow.h"
#include "Tindrel/shell/TindrelAppDelegate.h"
#include "Tindrel/shell/TindrelStatusItem.h"
#include "Tindrel/store/TindrelStore.h"
#include "bench/support/OnOwnDisplay.h"
#include "tests/support/GeneratedAudio.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int clicks = 30;
constexpr double playbackSeconds = 5.0;
// Bound on a hung step, not part of any figure.
constexpr qint64 stepLimitMs = 10000;

// Runs the event loop until `done` holds or the bound passes; false on the bound. It polls
// without sleeping, for the timings; the CPU figures use spinFor.
bool spinUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > stepLimitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Runs the event loop idle for `ms` (sleeping between events, so it costs no CPU itself).
void spinFor(qint64 ms) {
    QEventLoop loop;
    QTimer::singleShot(int(ms), &loop, &QEventLoop::quit);
    loop.exec();
}

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Notes the press on the tray icon (a press anywhere outside the popover's content) and the
// moment right after the popover's content has been painted.
class ClickToPaintWatcher : public QObject {
public:
    ClickToPaintWatcher(QWidget& content, QElapsedTimer& clock)
        : content_(content), clock_(clock) {}

    void reset() { pressedNs = paintedNs = 0; }

    qint64 pressedNs = 0;
    qint64 paintedNs = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (event->type() == QEvent::MouseButtonPress && pressedNs == 0 && widget &&
            !content_.isAncestorOf(widget) && widget != &content_)
            pressedNs = clock_.nsecsElapsed();
        if (event->type() == QEvent::Paint && watched == &content_ && pressedNs != 0 &&
            paintedNs == 0)
            QTimer::singleShot(0, this, [this] {
                if (paintedNs == 0)
                    paintedNs = clock_.nsecsElapsed();
            });
        return false;
    }

private:
    QWidget& content_;
    QElapsedTimer& clock_;
};

void clickAt(const QPoint& point) {
    QProcess::execute(QStringLiteral("xdotool"), {"mousemove", QString::number(point.x()),
                                                  QString::number(point.y()), "click", "1"});
}

// Milliseconds of process CPU per second of playback over `playbackSeconds`.
double cpuPerPlaybackSecond() {
    const double cpuBefore = processCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    spinFor(qint64(playbackSeconds * 1000));
    return (processCpuSeconds() - cpuBefore) * 1000.0 / (double(wall.elapsed()) / 1000.0);
}

int runBenchmark(int argc, char** argv) {
    QTemporaryDir sandbox;
    const std::filesystem::path home = sandbox.filePath(QStringLiteral("home")).toStdString();
    std::filesystem::create_directories(home / "Downloads");
    const std::filesystem::path runtime = sandbox.filePath(QStringLiteral("runtime")).toStdString();
    std::filesystem::create_directories(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (sandbox.path().toStdString() + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (sandbox.path().toStdString() + "/data").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    const auto tone = home / "tone.wav";
    tindrel::test::writeAudioFile(tone, tindrel::test::sineSignal(440, 0.3, 60.0));

    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QProcess trayer;
    trayer.start(QStringLiteral("trayer"), {"--edge", "top", "--align", "right", "--widthtype",
                                            "pixel", "--width", "120", "--height", "28"});
    if (!spinUntil([] { return QSystemTrayIcon::isSystemTrayAvailable(); })) {
        std::fprintf(stderr, "bench_tray: no tray host (trayer) came up\n");
        return 1;
    }

    tindrel::TindrelStore store(tindrel::TindrelStoreEnvironment::production());
    tindrel::TindrelAppDelegate delegate(store);
    delegate.applicationDidFinishLaunching({"tindrel", "--background"}, home);
    tindrel::TindrelStatusItem& item = *delegate.statusItem();
    tindrel::PopoverWindow& popover = *delegate.miniPopover();
    if (!spinUntil([&] { return item.geometry().isValid() && !item.geometry().isEmpty(); })) {
        std::fprintf(stderr, "bench_tray: the icon was not docked\n");
        return 1;
    }

    // Let the tray host place the icon before aiming at it.
    spinFor(500);
    const QPoint icon = item.geometry().center();
    QElapsedTimer clock;
    clock.start();
    ClickToPaintWatcher watcher(popover.content(), clock);
    app.installEventFilter(&watcher);
    std::vector<double> shownMs;
    for (int i = 0; i < clicks; ++i) {
        watcher.reset();
        clickAt(icon);
        if (!spinUntil([&] { return watcher.paintedNs != 0; })) {
            std::fprintf(stderr, "bench_tray: the popover was not drawn\n");
            return 1;
        }
        shownMs.push_back(double(watcher.paintedNs - watcher.pressedNs) / 1e6);
        // A second click closes it; then wait out the moment in which a click counts as the
        // closing one.
        clickAt(icon);
        spinUntil([&] { return !popover.isVisible(); });
        spinFor(2 * tindrel::PopoverWindow::sameClickWindow.count());
    }
    std::sort(shownMs.begin(), shownMs.end());

    store.loadAndPlay(tone, true);
    spinFor(500);
    const double closedCpu = cpuPerPlaybackSecond();
    clickAt(icon);
    spinFor(200);
    const double openCpu =
        popover.isVisible() && store.isPlaying.get() ? cpuPerPlaybackSecond() : 0;

    std::printf("tray_click_to_popover_shown_median_ms: %.1f ms\n", shownMs[shownMs.size() / 2]);
    std::printf("tray_click_to_popover_shown_max_ms: %.1f ms\n", shownMs.back());
    std::printf("tray_popover_open_playing_cpu: %.1f ms/s\n", openCpu);
    std::printf("tray_popover_closed_playing_cpu: %.1f ms/s\n", closedCpu);
    std::printf("tray_cpu_cores: %ld cores\n", sysconf(_SC_NPROCESSORS_ONLN));
    std::fflush(stdout);
    store.stopAndCleanup();
    trayer.terminate();
    trayer.waitForFinished(3000);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (!tindrel::bench::runOnOwnDisplay())
        return 1;
    return runBenchmark(argc, argv);
}
