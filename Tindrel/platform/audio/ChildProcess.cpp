#include "Tindrel/platform/audio/ChildProcess.h"

#include "Tindrel/platform/files/FileDescriptor.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

extern char** environ;

namespace tindrel::platform {

namespace {

using Clock = std::chrono::steady_clock;

// Only async-signal-safe calls: the parent may have other threads.
[[noreturn]] void execInChild(const char* executable, char* const* argv, int nullDevice,
                              int errorPipe, int inherited, pid_t parent) {
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) // the parent ended before the line above took effect
        ::_exit(127);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::dup2(nullDevice, STDIN_FILENO);
    ::dup2(nullDevice, STDOUT_FILENO);
    ::dup2(nullDevice, STDERR_FILENO);
    if (inherited >= 0)
        ::fcntl(inherited, F_SETFD, 0);
    ::execve(executable, argv, environ);
    const int failure = errno;
    [[maybe_unused]] const ssize_t written = ::write(errorPipe, &failure, sizeof failure);
    ::_exit(127);
}

// True when `pid` has ended before `deadline` (the largest time: no deadline) and before the
// heartbeat said stop; not reaped yet.
bool endsBefore(pid_t pid, Clock::time_point deadline, WorkHeartbeat* heartbeat) {
    FileDescriptor handle(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    for (;;) {
        siginfo_t info{};
        if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
            info.si_pid == pid)
            return true;
        int waitMs = -1;
        if (deadline != Clock::time_point::max()) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                return false;
            waitMs = static_cast<int>(std::min<long long>(left, 60000));
        }
        if (heartbeat) {
            if (!heartbeat->keepGoing())
                return false;
            const int beatMs = static_cast<int>(heartbeat->interval().count());
            waitMs = waitMs < 0 ? beatMs : std::min(waitMs, beatMs);
        }
        if (handle.valid()) {
            pollfd readable{handle.get(), POLLIN, 0};
            ::poll(&readable, 1, waitMs);
        } else {
            // Kernels before 5.3 have no process descriptors: look again shortly.
            std::this_thread::sleep_for(
                std::chrono::milliseconds(waitMs < 0 ? 10 : std::min(10, waitMs)));
        }
    }
}

std::optional<int> reap(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return std::nullopt;
    }
    if (!WIFEXITED(status))
        return std::nullopt;
    return WEXITSTATUS(status);
}

} // namespace

std::optional<int> ChildProcess::run(const std::filesystem::path& executable,
                                     const std::vector<std::string>& arguments,
                                     const Options& options) {
    std::vector<std::string> all{executable.string()};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& argument : all)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    FileDescriptor nullDevice(::open("/dev/null", O_RDWR | O_CLOEXEC));
    int pipeEnds[2];
    if (!nullDevice.valid() || ::pipe2(pipeEnds, O_CLOEXEC) != 0)
        return std::nullopt;
    FileDescriptor errorReader(pipeEnds[0]);
    FileDescriptor errorWriter(pipeEnds[1]);
    const Clock::time_point deadline =
        options.timeLimit ? Clock::now() + *options.timeLimit : Clock::time_point::max();

    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0)
        return std::nullopt;
    if (pid == 0)
        execInChild(all.front().c_str(), argv.data(), nullDevice.get(), errorWriter.get(),
                    options.inheritedDescriptor, parent);
    ::setpgid(pid, pid); // also here, so the group exists before any kill below
    errorWriter = FileDescriptor();

    // The pipe closes at the exec; an errno arrives instead when the exec failed.
    int execFailure = 0;
    ssize_t got = 0;
    while ((got = ::read(errorReader.get(), &execFailure, sizeof execFailure)) < 0 &&
           errno == EINTR) {
    }
    if (got > 0) {
        reap(pid);
        return std::nullopt;
    }
    if (!endsBefore(pid, deadline, options.heartbeat)) {
        ::kill(-pid, SIGKILL);
        ::kill(pid, SIGKILL);
        reap(pid);
        return std::nullopt;
    }
    return reap(pid);
}

bool ChildProcess::isExecutableFile(const std::filesystem::path& path) {
    return isRegularFile(path) && ::access(path.c_str(), X_OK) == 0;
}

} // namespace tindrel::platform
