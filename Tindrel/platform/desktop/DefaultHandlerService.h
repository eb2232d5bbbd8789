#pragma once

// The user's default application per MIME type, after the freedesktop MIME-application
// associations: reads the mimeapps.list files in their order of precedence and writes the
// user's own $XDG_CONFIG_HOME/mimeapps.list.
//
// Writing changes only the entries of the application being set (it goes first in the
// type's [Default Applications] and [Added Associations] lists and is taken off its [Removed
// Associations] list); every other line survives. The file is replaced only by a complete new
// one (replaceFileContents), so a failed write leaves it as it was; when the entries are already
// as asked, the file is not written at all. Lists are read only when they are regular files of
// at most a mebibyte (readConfigFile): any other list is passed over, and a user list that cannot
// be read is never written over.
//
// Synchronous file I/O; any thread, one call at a time per file. No state between calls.

#include "Tindrel/platform/desktop/XdgLocations.h"

#include <optional>
#include <string>
#include <vector>

namespace tindrel::platform {

class DefaultHandlerService {
public:
    explicit DefaultHandlerService(XdgLocations locations);

    // Makes `desktopId` the default for each well-formed type ("audio/x-wav"); returns how
    // many types were set (already set ones included): 0 when the file could not be written
    // (then `error` says why).
    int setDefaultApplication(const std::string& desktopId,
                              const std::vector<std::string>& mimeTypes,
                              std::string* error = nullptr);

    // The desktop id of the default application for one type, given by its names (the
    // canonical name first, then its aliases): the first installed application of the first
    // file, in order of precedence, that names a default for any of them.
    std::optional<std::string>
    defaultApplication(const std::vector<std::string>& mimeTypeNames) const;

    // $XDG_CONFIG_HOME/mimeapps.list, the file that setDefaultApplication writes.
    std::filesystem::path userListPath() const;

    // Whether a desktop entry of this id lies in the applications/ folder of a data folder;
    // the desktop passes over ids that are not.
    bool isInstalled(const std::string& desktopId) const;

    static bool isWellFormedMimeType(const std::string& mimeType);

private:
    std::vector<std::filesystem::path> listsInPrecedence() const;

    XdgLocations locations_;
};

} // namespace tindrel::platform
