#include "tests/support/ExternalEncoder.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tindrel::test {

int runProgram(const std::string& program, const std::vector<std::string>& arguments) {
    std::vector<std::string> all{program};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid = 0;
    const int started = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool encodeWithFfmpeg(const std::filesystem::path& input, const std::filesystem::path& output,
                      const std::vector<std::string>& codecArguments) {
    std::vector<std::string> args{"-nostdin", "-y", "-v", "error", "-i", input.string()};
    args.insert(args.end(), codecArguments.begin(), codecArguments.end());
    args.push_back(output.string());
    return runProgram("ffmpeg", args) == 0;
}

} // namespace tindrel::test
