#pragma once

// Runs an external program to completion: arguments as a list (never a shell), standard
// input from /dev/null, standard output and error discarded. Blocks the calling thread until
// the program exits; safe to call from any thread.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tindrel::platform {

class ChildProcess {
public:
    // The exit status, or none when the program could not start or was ended by a signal.
    static std::optional<int> run(const std::filesystem::path& executable,
                                  const std::vector<std::string>& arguments);

    // True for a regular file that this user may execute.
    static bool isExecutableFile(const std::filesystem::path& path);
};

} // namespace tindrel::platform
