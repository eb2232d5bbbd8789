#pragma once

// The recent-file list in the user's settings file, in the INI form that Qt's settings give
// it: the key "Tindrel.recentPaths" of the [General] group; one path alone, several separated
// by ", ", each quoted and escaped as that form does. Paths stay the file system's bytes: a
// name that is not UTF-8 is written as its bytes and read back unchanged. Writing replaces the
// file whole (replaceFileContents) and keeps every other line of it; reading takes the file
// only when it is a regular file of sane size (readConfigFile), and such a file that cannot be
// read is never written over.
//
// Synchronous file I/O; main thread (the store's).

#include <filesystem>
#include <string>
#include <vector>

namespace tindrel {

// The stored paths in their order; empty when the file or the key is missing, or the value is
// no list of strings.
std::vector<std::filesystem::path> readRecentPaths(const std::filesystem::path& settingsFile);

// False, with `error` saying why, when the file was left as it was.
bool writeRecentPaths(const std::filesystem::path& settingsFile,
                      const std::vector<std::filesystem::path>& paths,
                      std::string* error = nullptr);

} // namespace tindrel
