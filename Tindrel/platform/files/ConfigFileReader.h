#pragma once

// Reads a small file the program takes settings from (a mimeapps.list, the settings file). Only
// a regular file is read: it is opened without blocking and checked on the opened descriptor, so
// a FIFO or a device put in its place is never waited on nor read from; and only up to a bound,
// so a huge file is not read whole. A file that exists but fails either test counts as
// unusable, and is named with the reason once per process on standard error: nothing else
// would tell the user why their settings are passed over.
//
// Synchronous; any thread.

#include <cstddef>
#include <filesystem>
#include <string>

namespace tindrel::platform {

struct ConfigFileContents {
    enum class State { read, absent, unusable };
    State state = State::absent;
    std::string bytes;   // when read
    std::string problem; // when unusable
};

// The bound for the files the program reads: far above any real settings file.
constexpr std::size_t maximumConfigFileBytes = 1024 * 1024;

ConfigFileContents readConfigFile(const std::filesystem::path& path,
                                  std::size_t maximumBytes = maximumConfigFileBytes);

} // namespace tindrel::platform
