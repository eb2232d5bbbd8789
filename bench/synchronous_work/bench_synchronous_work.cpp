// How long a decode or an export holds the main thread without giving the window a turn
// (wall clock: before the first turn, between turns, after the last), and how long the real program
// takes to end after SIGTERM in the middle of a decode at launch.

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

// How long the main thread went without a turn while a store call did long work, in
// milliseconds: from the call to the first turn, the longest between two turns, and from the
// last turn to the call's return.
struct Holds {
    double beforeFirstTurn = 0;
    double betweenTurns = 0;
    double afterLastTurn = 0;
};

Holds holdsOf(tindrel::TindrelStore& store, const std::function<void()>& work) {
    const auto millisecondsSince = [](Clock::time_point then) {
        return std::chrono::duration<double, std::milli>(Clock::now() - then).count();
    };
    Holds holds;
    Clock::time_point lastTurnEnd = Clock::now();
    bool turned = false;
    store.keepResponsiveDuringWork = [&] {
        const double gap = millisecondsSince(lastTurnEnd);
        if (turned)
            holds.betweenTurns = std::max(holds.betweenTurns, gap);
        else
            holds.beforeFirstTurn = gap;
        turned = true;
        lastTurnEnd = Clock::now();
        return true;
    };
    work();
    holds.afterLastTurn = millisecondsSince(lastTurnEnd);
    store.keepResponsiveDuringWork = nullptr;
    return holds;
}

void printHolds(const std::string& work, const Holds& holds) {
    using tindrel::bench::printFigure;
    printFigure(work + "_hold_before_first_turn", holds.beforeFirstTurn, "ms");
    printFigure(work + "_longest_hold_between_turns", holds.betweenTurns, "ms");
    printFigure(work + "_hold_after_last_turn", holds.afterLastTurn, "ms");
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
    printHolds("decode", holdsOf(rig.store(), [&] { rig.store().loadAndPlay(decoded, false); }));
    // The copy is large and of no further use.
    if (rig.store().playableURL.get())
        fs::remove(*rig.store().playableURL.get());
    rig.loadTone("bench-export.wav", 30.0, false);
    rig.store().setPlaybackRate(1.25f);
    printHolds("export", holdsOf(rig.store(), [&] { rig.store().exportModifiedAudioToWAV(); }));

    tindrel::test::TemporaryFolder shared;
    printFigure("sigterm_exit_during_decode",
                exitAfterSignalDuringDecode(longPcmMatroska(shared.path(), 7200, 8000)), "ms");
    return 0;
}
