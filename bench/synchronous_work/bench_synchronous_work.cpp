// How long a decode or an export holds the main thread without giving the window a turn
// (wall clock, the longest gap from the start of the store's call through its turns to its
// return), and how long the real program takes to end
// after SIGTERM in the middle of a decode at launch.

#include "bench/support/BenchmarkFigure.h"
#include "tests/store_support/StoreTestRig.h"
#include "tests/support/ExternalEncoder.h"
#include "tests/support/SandboxedProgramEnvironment.h"
#include "tests/support/TemporaryFolder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <string>

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

namespace {

// Runs `work` with a turn handler that notes the gaps; the longest, in milliseconds, from the
// call of `work` to its first turn, between two turns, and from the last turn to its return.
double longestHold(tindrel::TindrelStore& store, const std::function<void()>& work) {
    Clock::time_point lastTurnEnd = Clock::now();
    double longest = 0;
    const auto noteGap = [&] {
        longest = std::max(
            longest, std::chrono::duration<double, std::milli>(Clock::now() - lastTurnEnd).count());
    };
    store.keepResponsiveDuringWork = [&] {
        noteGap();
        lastTurnEnd = Clock::now();
        return true;
    };
    work();
    noteGap();
    store.keepResponsiveDuringWork = nullptr;
    return longest;
}

fs::path longPcmMatroska(const fs::path& folder, int seconds, int rate) {
    const fs::path path = folder / "bench-decode.mka";
    tindrel::test::runProgram("ffmpeg", {"-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                                         "sine=f=440:sample_rate=" + std::to_string(rate) +
                                             ":duration=" + std::to_string(seconds),
                                         "-c:a", "pcm_s16le", path.string()});
    return path;
}

bool isWritingADecodedCopy(qint64 pid) {
    std::error_code ignored;
    for (const auto& entry :
         fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ignored)) {
        if (fs::read_symlink(entry.path(), ignored).string().find("tindrel-pcm") !=
            std::string::npos)
            return true;
    }
    return false;
}

// Milliseconds from SIGTERM to the program's exit, or -1 when the decode was never seen.
double exitAfterSignalDuringDecode(const fs::path& source) {
    tindrel::test::TemporaryFolder sandbox;
    QProcessEnvironment environment = tindrel::test::sandboxedEnvironment(sandbox);
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(TINDREL_PROGRAM, {QString::fromStdString(source.string())});
    if (!program.waitForStarted(10000))
        return -1;
    for (int i = 0; i < 3000 && !isWritingADecodedCopy(program.processId()); ++i)
        program.waitForFinished(10);
    if (!isWritingADecodedCopy(program.processId())) {
        program.kill();
        program.waitForFinished();
        return -1;
    }
    QElapsedTimer sinceSignal;
    sinceSignal.start();
    kill(static_cast<pid_t>(program.processId()), SIGTERM);
    program.waitForFinished(60000);
    return double(sinceSignal.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    using tindrel::bench::printFigure;

    tindrel::test::StoreTestRig rig;
    const fs::path decoded = longPcmMatroska(rig.home(), 1800, 22050);
    printFigure("decode_longest_hold",
                longestHold(rig.store(), [&] { rig.store().loadAndPlay(decoded, false); }), "ms");
    // The copy is large and of no further use.
    if (rig.store().playableURL.get())
        fs::remove(*rig.store().playableURL.get());
    rig.loadTone("bench-export.wav", 30.0, false);
    rig.store().setPlaybackRate(1.25f);
    printFigure("export_longest_hold",
                longestHold(rig.store(), [&] { rig.store().exportModifiedAudioToWAV(); }), "ms");

    tindrel::test::TemporaryFolder shared;
    printFigure("sigterm_exit_during_decode",
                exitAfterSignalDuringDecode(longPcmMatroska(shared.path(), 7200, 8000)), "ms");
    return 0;
}
