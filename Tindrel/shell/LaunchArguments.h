#pragma once

// Reading the program's command line: the "--background" switch, and the one path a launch
// opens. Arguments are the bytes the process was given, so paths that are not UTF-8 stay
// intact. Pure functions of their inputs and the file system; any thread.

#include <QByteArrayList>

#include <filesystem>
#include <optional>

namespace tindrel {

struct LaunchArguments {
    // True when any argument, the program path included, is exactly "--background".
    static bool hasBackgroundFlag(const QByteArrayList& arguments);

    // The first of `arguments` (the program path not among them) that does not begin with "-"
    // and names an existing file or folder; a relative path is taken against `workingFolder`.
    // Later arguments are not looked at.
    static std::optional<std::filesystem::path>
    firstOpenablePath(const QByteArrayList& arguments, const std::filesystem::path& workingFolder);

    // An argument as a path: taken against `workingFolder` when relative, "." and ".." resolved.
    static std::filesystem::path resolvedPath(const QByteArray& argument,
                                              const std::filesystem::path& workingFolder);
};

} // namespace tindrel
