#include "Tindrel/platform/audio/ChildProcess.h"

#include "Tindrel/platform/audio/FileDescriptor.h"

#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tindrel::platform {

std::optional<int> ChildProcess::run(const std::filesystem::path& executable,
                                     const std::vector<std::string>& arguments) {
    std::vector<std::string> all{executable.string()};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& argument : all)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int started =
        posix_spawn(&pid, executable.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0)
        return std::nullopt;

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return std::nullopt;
    }
    if (!WIFEXITED(status))
        return std::nullopt;
    return WEXITSTATUS(status);
}

bool ChildProcess::isExecutableFile(const std::filesystem::path& path) {
    return isRegularFile(path) && ::access(path.c_str(), X_OK) == 0;
}

} // namespace tindrel::platform
