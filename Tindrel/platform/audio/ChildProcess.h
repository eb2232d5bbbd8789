#pragma once

// Runs an external program: arguments as a list (never a shell), standard input from
// /dev/null, standard output and error discarded. Blocks the calling thread until the program
// exits or its time limit passes; safe to call from any thread.
// The program leads a process group of its own. At the time limit that whole group (the
// program and anything it started) is killed. The program is also killed by the kernel when
// the thread that started it ends, the whole process included, so a decoder never outlives us.

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tindrel::platform {

class ChildProcess {
public:
    // The exit status, or none when the program could not start, was ended by a signal or ran
    // past `timeLimit` (none: no limit).
    static std::optional<int>
    run(const std::filesystem::path& executable, const std::vector<std::string>& arguments,
        std::optional<std::chrono::milliseconds> timeLimit = std::nullopt);

    // True for a regular file that this user may execute.
    static bool isExecutableFile(const std::filesystem::path& path);
};

} // namespace tindrel::platform
