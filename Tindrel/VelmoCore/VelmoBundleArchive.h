#pragma once

// Unpacking an update archive (zip) into a work folder, and finding the one program folder in
// it. Nothing is written outside the work folder: entries with absolute paths or ".."
// components, links that point outside, hard links and special files make the whole unpack
// fail. Executable bits are kept. Blocking file-system work; any thread, one call at a time per
// work folder.

#include <filesystem>
#include <optional>
#include <string>

namespace velmo {

struct VelmoBundleArchive {
    // The work folder: a new private (0700) folder in `temporaryDirectory` whose name starts
    // with `prefix` and ends in a random suffix, so nobody else can have planted it.
    static std::optional<std::filesystem::path>
    makeWorkFolder(const std::filesystem::path& temporaryDirectory, const std::string& prefix);

    // False when the archive cannot be read or holds an entry that is refused.
    static bool unpack(const std::filesystem::path& archive,
                       const std::filesystem::path& workFolder);

    // The top level's one folder named "*.app" (extension exactly ".app"), when it holds an
    // executable regular file bin/<executableName>; nothing when there is none, when there are
    // several, or when the executable is missing.
    static std::optional<std::filesystem::path> findBundle(const std::filesystem::path& workFolder,
                                                           const std::string& executableName);
};

} // namespace velmo
