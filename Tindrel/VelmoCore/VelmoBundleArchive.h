#pragma once

// Unpacking an update archive (zip) into a work folder, and finding the one program folder in
// it. Nothing is written outside the work folder: entries with absolute paths or ".."
// components, the same path twice, hard links and special files make the whole unpack fail, and
// so does any symbolic link that, followed together with the archive's other links, leads out
// of the top folder it lies in, any entry named deeper or longer than the bounds, and any entry
// whose local header names another path than the central directory. The unpack stops at the bounds
// of VelmoUpdateLimits, counted on the bytes actually written and a block for each folder; an
// archive whose listed names make too many folders is refused before anything is written. Modes are
// the installer's own, whatever the archive says: folders and executables 0755, other files 0644.
// Blocking file-system work; any thread, one call at a time per work folder.

#include "Tindrel/VelmoCore/VelmoFolderLock.h"
#include "Tindrel/VelmoCore/VelmoUpdateLimits.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace velmo {

struct VelmoBundleArchive {
    struct LockedFolder {
        std::filesystem::path path;
        VelmoFolderLock lock;
    };

    // The work folder: a new private (0700) folder in `temporaryDirectory` whose name starts
    // with `prefix` and ends in "-" and six random characters, so nobody else can have planted
    // it, marked as `product`'s (VelmoWorkFolderMark) and locked while the caller keeps it.
    static std::optional<LockedFolder>
    makeWorkFolder(const std::filesystem::path& temporaryDirectory, const std::string& prefix,
                   const std::string& product);

    // Removes the folders in `temporaryDirectory` that belong to this user, whose names
    // `isOurs` accepts, that hold `product`'s mark for their name and that no one holds
    // locked; links, other users' entries and unmarked folders are left alone.
    static void removeWorkFolders(const std::filesystem::path& temporaryDirectory,
                                  const std::string& product,
                                  const std::function<bool(const std::string&)>& isOurs);

    // False when the archive cannot be read, holds an entry that is refused, reaches a bound,
    // or `stop` is set (from another thread) before it is done.
    static bool unpack(const std::filesystem::path& archive,
                       const std::filesystem::path& workFolder, const VelmoUpdateLimits& limits,
                       const std::atomic<bool>& stop);

    // The top level's one folder named "*.app" (extension exactly ".app"), when it holds an
    // executable regular file bin/<executableName>; nothing when there is none, when there are
    // several, or when the executable is missing.
    static std::optional<std::filesystem::path> findBundle(const std::filesystem::path& workFolder,
                                                           const std::string& executableName);
};

} // namespace velmo
