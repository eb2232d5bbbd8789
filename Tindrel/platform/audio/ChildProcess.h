#pragma once

// Runs an external program: arguments as a list (never a shell), standard input from
// /dev/null, standard output and error discarded. Blocks the calling thread until the program
// exits or its time limit passes; safe to call from any thread.
// The program leads a process group of its own. At the time limit that whole group (the
// program and anything it started) is killed. The program is also killed by the kernel when
// the thread that started it ends, the whole process included, so a decoder never outlives us.
// While waiting, the caller's heartbeat (if any) is asked at its interval; when it says stop,
// the group is killed the same way and run() returns at once.

#include "Tindrel/platform/audio/WorkHeartbeat.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tindrel::platform {

class ChildProcess {
public:
    struct Options {
        std::optional<std::chrono::milliseconds> timeLimit; // none: no limit
        // A descriptor of ours the program keeps under the same number (for example to write
        // into an unnamed file through /proc/self/fd); -1 for none.
        int inheritedDescriptor = -1;
        WorkHeartbeat* heartbeat = nullptr;
    };

    // The exit status, or none when the program could not start, was ended by a signal, ran
    // past its time limit or was stopped through the heartbeat.
    static std::optional<int> run(const std::filesystem::path& executable,
                                  const std::vector<std::string>& arguments,
                                  const Options& options);
    // The exit status, or none when the program could not start, was ended by a signal or ran
    // past `timeLimit` (none: no limit).
    static std::optional<int>
    run(const std::filesystem::path& executable, const std::vector<std::string>& arguments,
        std::optional<std::chrono::milliseconds> timeLimit = std::nullopt) {
        return run(executable, arguments, Options{timeLimit});
    }

    // True for a regular file that this user may execute.
    static bool isExecutableFile(const std::filesystem::path& path);
};

} // namespace tindrel::platform
