#include "Tindrel/platform/audio/ChildProcess.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <thread>

#include <csignal>
#include <fcntl.h>
#include <fstream>
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

// A script that starts a background sleeper in its own process group, hands both process ids
// through the FIFO `ids` (one line each) and then waits for ever.
fs::path lingeringScript(const tindrel::test::TemporaryFolder& folder, const fs::path& ids) {
    const fs::path script = folder / "linger.sh";
    std::ofstream(script) << "#!/bin/sh\nsleep 600 &\necho $$ $! > \"" << ids.string()
                          << "\"\nwait\n";
    fs::permissions(script, fs::perms::owner_all);
    return script;
}

std::pair<pid_t, pid_t> readIds(const fs::path& ids) {
    std::ifstream fifo(ids); // blocks until the script writes
    pid_t script = 0, sleeper = 0;
    fifo >> script >> sleeper;
    return {script, sleeper};
}

// Waits for a process that was handed to this one (a subreaper) and tells how it ended.
int killedBy(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFSIGNALED(status))
        return 0;
    return WTERMSIG(status);
}

} // namespace

TEST(ChildProcess, TimeLimitHeartbeatStopOrTheEndOfItsParentKillsTheWholeGroup) {
    // Orphans come to this process, so their end can be observed and reaped here.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    tindrel::test::TemporaryFolder folder;
    const fs::path ids = folder / "ids";
    ASSERT_EQ(mkfifo(ids.c_str(), 0600), 0);
    const fs::path script = lingeringScript(folder, ids);

    // Past the time limit, or stopped by the caller's heartbeat at its third turn: the script
    // and what it started are both killed.
    int beats = 0;
    tindrel::platform::WorkHeartbeat heartbeat([&] { return ++beats < 3; },
                                               std::chrono::milliseconds(10));
    const ChildProcess::Options endings[] = {{std::chrono::milliseconds(300)},
                                             {std::nullopt, -1, &heartbeat}};
    for (const ChildProcess::Options& ending : endings) {
        pid_t sleeper = 0;
        std::thread reader([&] { sleeper = readIds(ids).second; });
        EXPECT_EQ(ChildProcess::run(script, {}, ending), std::nullopt);
        reader.join();
        EXPECT_EQ(killedBy(sleeper), SIGKILL);
    }
    EXPECT_EQ(beats, 3);

    // The program that started the script dies: the script goes with it.
    const pid_t runner = fork();
    ASSERT_GE(runner, 0);
    if (runner == 0) {
        ChildProcess::run(script, {});
        _exit(0);
    }
    const auto [lingering, background] = readIds(ids);
    kill(runner, SIGKILL);
    EXPECT_EQ(killedBy(runner), SIGKILL);
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
