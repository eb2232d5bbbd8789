// Start-up of the program under a virtual X display: from starting the process to its main
// window first shown, without and with a file on the command line, and to the first audible
// frame at the audio output with a file. Each figure is the median of several fresh
// processes. The measured process runs the program's own launch sequence (single-instance
// claim, the store as the program builds it, the delegate); only its audio output is wrapped
// to note the first non-silent frame.
//
// Runs itself again under xvfb-run when not yet on a display of its own.

#include "Tindrel/platform/desktop/single_instance/SingleInstance.h"
#include "Tindrel/shell/TindrelAppDelegate.h"
#include "Tindrel/store/TindrelStore.h"
#include "bench/support/OnOwnDisplay.h"
#include "bench/startup/FirstFrameOutput.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

namespace {

constexpr int runsPerCase = 5;
// Bounds on a hung start, not part of any figure.
constexpr int pollIntervalMs = 5;
constexpr int maxPolls = 6000;

int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Notes when the first top-level window has been exposed and painted.
class FirstExposeWatcher : public QObject {
public:
    std::atomic<int64_t> shownNs{0};

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose && shownNs == 0) {
            auto* window = qobject_cast<QWindow*>(watched);
            // The paint runs while the expose event is handled; note the time right after it.
            if (window && window->isExposed())
                QTimer::singleShot(0, this, [this] {
                    if (shownNs == 0)
                        shownNs = nowNs();
                });
        }
        return false;
    }
};

int runChild(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QStringList arguments = QApplication::arguments();
    const bool withFile = arguments.size() > 2;

    tindrel::platform::SingleInstance instance;
    instance.claim({});
    std::atomic<int64_t> firstFrameNs{0};
    tindrel::TindrelStoreEnvironment environment = tindrel::TindrelStoreEnvironment::production();
    environment.makeOutput = [&firstFrameNs] {
        return std::make_unique<tindrel::bench::FirstFrameOutput>(firstFrameNs);
    };
    tindrel::TindrelStore store(std::move(environment));
    tindrel::TindrelAppDelegate delegate(store);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate,
                     &tindrel::TindrelAppDelegate::applicationWillTerminate);
    FirstExposeWatcher watcher;
    app.installEventFilter(&watcher);

    QByteArrayList launchArguments{"tindrel"};
    if (withFile)
        launchArguments << arguments.at(2).toLocal8Bit();
    delegate.applicationDidFinishLaunching(
        launchArguments, std::filesystem::path(QDir::currentPath().toStdString()));

    int polls = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const bool done = watcher.shownNs != 0 && (!withFile || firstFrameNs != 0);
        if (!done && ++polls < maxPolls)
            return;
        std::printf("shown %lld\nframe %lld\n", static_cast<long long>(watcher.shownNs.load()),
                    static_cast<long long>(firstFrameNs.load()));
        std::fflush(stdout);
        poll.stop();
        delegate.terminate();
    });
    poll.start(pollIntervalMs);
    return QApplication::exec();
}

void writeTone(const QString& path, double seconds) {
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.toLocal8Bit().constData(), SFM_WRITE, &info);
    if (!file)
        return;
    const auto frames = static_cast<int64_t>(seconds * 44100);
    std::vector<float> samples(size_t(frames) * 2);
    for (int64_t i = 0; i < frames; ++i)
        samples[size_t(2 * i)] = samples[size_t(2 * i + 1)] =
            float(0.3 * std::sin(2 * M_PI * 440.0 * double(i) / 44100.0));
    sf_writef_float(file, samples.data(), frames);
    sf_close(file);
}

struct Run {
    double shownMs;
    double firstFrameMs;
};

std::optional<Run> runOnce(const QString& self, const QStringList& arguments,
                           const QProcessEnvironment& environment) {
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::SeparateChannels);
    const int64_t startNs = nowNs();
    child.start(self, arguments);
    if (!child.waitForFinished(maxPolls * pollIntervalMs * 2) || child.exitCode() != 0)
        return std::nullopt;
    long long shown = 0;
    long long frame = 0;
    const QByteArray output = child.readAllStandardOutput();
    if (std::sscanf(output.constData(), "shown %lld\nframe %lld", &shown, &frame) != 2 ||
        shown == 0)
        return std::nullopt;
    return Run{double(shown - startNs) / 1e6, frame ? double(frame - startNs) / 1e6 : NAN};
}

double median(std::vector<double> values) {
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int runBenchmark(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir sandbox;
    const QString home = sandbox.filePath(QStringLiteral("home"));
    const QString runtime = sandbox.filePath(QStringLiteral("runtime"));
    QDir().mkpath(home + QStringLiteral("/Downloads"));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QString tone = home + QStringLiteral("/tone.wav");
    writeTone(tone, 60.0);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                       sandbox.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), sandbox.filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));

    const QString self = QCoreApplication::applicationFilePath();
    std::vector<double> shownEmpty, shownWithFile, firstFrame;
    for (int i = 0; i < runsPerCase; ++i) {
        if (auto run = runOnce(self, {QStringLiteral("--child")}, environment))
            shownEmpty.push_back(run->shownMs);
        if (auto run = runOnce(self, {QStringLiteral("--child"), tone}, environment)) {
            shownWithFile.push_back(run->shownMs);
            if (!std::isnan(run->firstFrameMs))
                firstFrame.push_back(run->firstFrameMs);
        }
    }
    std::printf("startup_to_main_window_shown_ms: %.1f ms\n", median(shownEmpty));
    std::printf("startup_with_file_to_main_window_shown_ms: %.1f ms\n", median(shownWithFile));
    std::printf("startup_with_file_to_first_audio_frame_ms: %.1f ms\n", median(firstFrame));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--child")
        return runChild(argc, argv);
    if (!tindrel::bench::runOnOwnDisplay())
        return 1;
    return runBenchmark(argc, argv);
}
