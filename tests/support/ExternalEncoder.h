#pragma once

// Makes compressed fixtures (MP3, M4A, Opus, ...) with the installed `ffmpeg` program.

#include <filesystem>
#include <string>
#include <vector>

namespace tindrel::test {

// Runs `ffmpeg -nostdin -y -v error -i input <codecArguments...> output`; true on exit 0.
bool encodeWithFfmpeg(const std::filesystem::path& input, const std::filesystem::path& output,
                      const std::vector<std::string>& codecArguments);

// Runs a program with arguments (no shell), stdin from /dev/null; returns its exit status,
// or -1 when it could not start.
int runProgram(const std::string& program, const std::vector<std::string>& arguments);

} // namespace tindrel::test
