#include "Tindrel/platform/audio/ChildProcess.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using tindrel::platform::ChildProcess;
namespace fs = std::filesystem;

TEST(ChildProcess, ReportsExitStatusAndPassesArgumentsVerbatim) {
    tindrel::test::TemporaryFolder folder;
    const fs::path script = folder / "record.sh";
    std::ofstream(script) << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \""
                          << (folder / "args.txt").string() << "\"\nexit 3\n";
    fs::permissions(script, fs::perms::owner_all);

    const std::vector<std::string> arguments{"-name with space.wav", "$(touch x)", "a;b", ""};
    EXPECT_EQ(ChildProcess::run(script, arguments), 3);
    std::ifstream recorded(folder / "args.txt");
    std::vector<std::string> lines;
    for (std::string line; std::getline(recorded, line);)
        lines.push_back(line);
    EXPECT_EQ(lines, arguments);
    EXPECT_FALSE(fs::exists(folder / "x"));
}

TEST(ChildProcess, StandardInputIsEmptyAndFailuresAreNotStatuses) {
    // cat copies standard input; from /dev/null it ends at once instead of waiting.
    EXPECT_EQ(ChildProcess::run("/bin/cat", {}), 0);
    EXPECT_EQ(ChildProcess::run("/bin/sh", {"-c", "kill -9 $$"}), std::nullopt);
    EXPECT_EQ(ChildProcess::run("/nonexistent/program", {}), std::nullopt);

    tindrel::test::TemporaryFolder folder;
    std::ofstream(folder / "plain.txt") << "x";
    EXPECT_FALSE(ChildProcess::isExecutableFile(folder / "plain.txt"));
    EXPECT_FALSE(ChildProcess::isExecutableFile(folder.path()));
    EXPECT_TRUE(ChildProcess::isExecutableFile("/bin/sh"));
}

namespace {

using namespace std::chrono_literals;

// Long enough for any machine, however busy, to start a shell; only a fault waits this long.
constexpr std::chrono::milliseconds startBound = 60s;

// A script that starts a background sleeper, hands both process ids through the FIFO `ids`
// (one line) and then waits for ever.
fs::path lingeringScript(const tindrel::test::TemporaryFolder& folder, const fs::path& ids) {
    const fs::path script = folder / "linger.sh";
    std::ofstream(script) << "#!/bin/sh\nsleep 600 &\necho $$ $! > \"" << ids.string()
                          << "\"\nwait\n";
    fs::permissions(script, fs::perms::owner_all);
    return script;
}

// The reading end of the FIFO the script writes its ids into. Held open for writing as well,
// so neither this open nor the script's waits for the other: a script ended before it wrote
// leaves the FIFO empty instead of a reader blocked for ever.
class IdsFifo {
public:
    explicit IdsFifo(const fs::path& path)
        : fd_(open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC)) {}
    ~IdsFifo() { close(fd_); }
    IdsFifo(const IdsFifo&) = delete;
    IdsFifo& operator=(const IdsFifo&) = delete;

    // The script's id and its sleeper's, once the line is there within `wait`.
    std::optional<std::pair<pid_t, pid_t>> take(std::chrono::milliseconds wait) {
        const auto deadline = std::chrono::steady_clock::now() + wait;
        while (line_.find('\n') == std::string::npos) {
            char bytes[64];
            const ssize_t got = read(fd_, bytes, sizeof bytes);
            if (got > 0) {
                line_.append(bytes, size_t(got));
                continue;
            }
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return std::nullopt;
            pollfd readable{fd_, POLLIN, 0};
            poll(&readable, 1, static_cast<int>(left.count()));
        }
        std::istringstream fields(std::exchange(line_, {}));
        pid_t script = 0, sleeper = 0;
        fields >> script >> sleeper;
        return std::pair{script, sleeper};
    }

private:
    int fd_;
    std::string line_;
};

// Reaps a process that was handed to this one (a subreaper) and tells the signal that ended
// it; 0 when it ended otherwise, or was still running `startBound` later (it is killed then).
int killedBy(pid_t pid) {
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + startBound;
    pid_t reaped = 0;
    while ((reaped = waitpid(pid, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    if (reaped == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return 0;
    }
    return reaped == pid && WIFSIGNALED(status) ? WTERMSIG(status) : 0;
}

// Orphans of a run that ended before the test could name them.
void reapOrphans() {
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
}

} // namespace

TEST(ChildProcess, TimeLimitHeartbeatStopOrTheEndOfItsParentKillsTheWholeGroup) {
    // Orphans come to this process, so their end can be observed and reaped here.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    tindrel::test::TemporaryFolder folder;
    const fs::path ids = folder / "ids";
    ASSERT_EQ(mkfifo(ids.c_str(), 0600), 0);
    IdsFifo fifo(ids);
    const fs::path script = lingeringScript(folder, ids);

    // Past the time limit the script and what it started are both killed. A machine too busy
    // to start the script within the limit is given a longer one.
    std::optional<std::pair<pid_t, pid_t>> started;
    for (auto limit = 300ms; !started && limit <= startBound; limit *= 4) {
        EXPECT_EQ(ChildProcess::run(script, {}, limit), std::nullopt);
        started = fifo.take(0ms);
        if (!started)
            reapOrphans();
    }
    ASSERT_TRUE(started);
    EXPECT_EQ(killedBy(started->second), SIGKILL);

    // Stopped by the caller's heartbeat at its first turn after the script started the
    // sleeper: the same; the heartbeat is not asked again.
    started.reset();
    int turnsAfterStop = 0;
    const auto giveUp = std::chrono::steady_clock::now() + startBound;
    tindrel::platform::WorkHeartbeat heartbeat(
        [&] {
            turnsAfterStop += started.has_value();
            started = fifo.take(0ms);
            return !started && std::chrono::steady_clock::now() < giveUp;
        },
        10ms);
    EXPECT_EQ(ChildProcess::run(script, {}, {std::nullopt, -1, &heartbeat}), std::nullopt);
    ASSERT_TRUE(started);
    EXPECT_EQ(turnsAfterStop, 0);
    EXPECT_EQ(killedBy(started->second), SIGKILL);

    // The program that started the script dies: the script goes with it.
    const pid_t runner = fork();
    ASSERT_GE(runner, 0);
    if (runner == 0) {
        ChildProcess::run(script, {});
        _exit(0);
    }
    started = fifo.take(startBound);
    kill(runner, SIGKILL);
    EXPECT_EQ(killedBy(runner), SIGKILL);
    ASSERT_TRUE(started);
    const auto [lingering, background] = *started;
    EXPECT_EQ(killedBy(lingering), SIGKILL);
    kill(background, SIGKILL);
    killedBy(background);
}

TEST(ChildProcess, AnInheritedDescriptorReachesTheProgramAndNoOtherDoes) {
    tindrel::test::TemporaryFolder folder;
    struct Case {
        bool inherited;
        const char* expected;
    } cases[] = {{true, "decoded"}, {false, ""}};
    for (const Case& c : cases) {
        const int unnamed = open(folder.path().c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        ASSERT_GE(unnamed, 0);
        const std::string target = "/proc/self/fd/" + std::to_string(unnamed);
        ChildProcess::run("/bin/sh", {"-c", "printf decoded > " + target},
                          {std::nullopt, c.inherited ? unnamed : -1, nullptr});
        char bytes[16] = {};
        EXPECT_STREQ(pread(unnamed, bytes, sizeof bytes - 1, 0) >= 0 ? bytes : "?", c.expected);
        close(unnamed);
    }
}
