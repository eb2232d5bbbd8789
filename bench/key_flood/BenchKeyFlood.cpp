// The real program under a window manager (openbox) on a virtual X display, in a folder of a
// 44.1 kHz and a 48 kHz WAV, so that each step to the other file rewires the engine for another
// rate. Real Down and Up presses (xdotool, 12 ms apart):
//   - ten quick presses: the longest the main thread spent outside the wait of its event loop
//     (sampled every millisecond), that is its longest stall;
//   - a thousand presses: from the last press until the program is idle again (a tenth of a
//     second whose CPU time is no more than that of playing one file), and its resident
//     memory then against that after its first load.
// Runs itself again under xvfb-run when not yet on a display of its own.

#include "bench/support/BenchmarkFigure.h"
#include "bench/support/OnOwnDisplay.h"
#include "tests/shell/XcbWindows.h"
#include "tests/support/GeneratedAudio.h"
#include "tests/support/SandboxedProgramEnvironment.h"
#include "tests/support/TemporaryFolder.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>

#include <unistd.h>

namespace fs = std::filesystem;
using namespace tindrel::test;
using tindrel::bench::printFigure;

namespace {

// User plus system time of the process, in seconds.
double cpuSeconds(qint64 pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    long long user = 0, system = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            user = std::stoll(field);
        if (i == 15)
            system = std::stoll(field);
    }
    return double(user + system) / double(sysconf(_SC_CLK_TCK));
}

double residentMegabytes(qint64 pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    }
    return -1;
}

// CPU seconds per second over `ms`.
double cpuShare(qint64 pid, int ms) {
    const double before = cpuSeconds(pid);
    QThread::msleep(ms);
    return (cpuSeconds(pid) - before) * 1000.0 / ms;
}

// Seconds until a tenth of a second passes with no more CPU than `calm`.
double secondsUntilCalm(qint64 pid, double calm) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (cpuShare(pid, 100) > calm && elapsed.elapsed() < 120000) {
    }
    return double(elapsed.elapsed()) / 1000.0 - 0.1;
}

// Samples, every millisecond while it lives, what the program's main thread does, and keeps
// the longest stretch it spent outside the wait of its event loop (poll): its longest stall.
class StallProbe {
public:
    explicit StallProbe(qint64 pid)
        : syscallFile_("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) +
                       "/syscall"),
          thread_([this] { run(); }) {}
    ~StallProbe() {
        running_ = false;
        thread_.join();
    }
    double longestMs() const { return longestMs_; }

private:
    void run() {
        using Clock = std::chrono::steady_clock;
        bool busy = false;
        Clock::time_point busySince;
        while (running_) {
            std::ifstream syscall(syscallFile_);
            std::string number;
            syscall >> number;
            const bool waiting = number == "7" || number == "271"; // poll, ppoll
            const Clock::time_point now = Clock::now();
            if (waiting) {
                busy = false;
            } else {
                if (!std::exchange(busy, true))
                    busySince = now;
                longestMs_ =
                    std::max(longestMs_.load(),
                             std::chrono::duration<double, std::milli>(now - busySince).count());
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    std::string syscallFile_;
    std::atomic<bool> running_{true};
    std::atomic<double> longestMs_{0};
    std::thread thread_;
};

bool pressDownUp(int presses) {
    QStringList arguments{"key", "--delay", "12"};
    for (int i = 0; i < presses; ++i)
        arguments << (i % 2 ? "Up" : "Down");
    return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
}

} // namespace

int main(int argc, char** argv) {
    if (!tindrel::bench::runOnOwnDisplay())
        return 1;
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    XcbDisplay display;
    QProcess windowManager;
    windowManager.start(QStringLiteral("openbox"), {});

    TemporaryFolder sandbox;
    QProcessEnvironment environment = sandboxedEnvironment(sandbox);
    const fs::path first = sandbox / "home" / "a-44100.wav";
    writeAudioFile(first, sineSignal(440, 0.5, 60.0, 44100));
    writeAudioFile(sandbox / "home" / "b-48000.wav", sineSignal(660, 0.5, 60.0, 48000));

    QProcess program;
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    // TINDREL_PROGRAM in the environment measures another build of the program.
    program.start(qEnvironmentVariable("TINDREL_PROGRAM", QStringLiteral(TINDREL_PROGRAM)),
                  {QString::fromStdString(first.string())});
    std::optional<xcb_window_t> window;
    pollUntil([&] {
        window =
            findMappedWindow(display.connection, display.root, "Tindrel", true, QSize(1180, 660));
        return window.has_value();
    });
    if (!window)
        return 2;
    // Playing its first file, settled.
    QThread::msleep(2000);
    const double playing = cpuShare(program.processId(), 1000);
    const double firstLoadMemory = residentMegabytes(program.processId());
    const double calm = playing + 0.1;

    double stall = 0;
    {
        const StallProbe probe(program.processId());
        QThread::msleep(200);
        pressDownUp(10);
        secondsUntilCalm(program.processId(), calm);
        stall = probe.longestMs();
    }
    printFigure("longest_stall_10_quick_presses", stall, "ms");

    pressDownUp(1000);
    printFigure("idle_after_1000_presses", secondsUntilCalm(program.processId(), calm), "s");
    printFigure("memory_after_first_load", firstLoadMemory, "MB");
    printFigure("memory_after_1000_presses", residentMegabytes(program.processId()), "MB");

    stopProgram(program);
    stopProgram(windowManager);
    return 0;
}
