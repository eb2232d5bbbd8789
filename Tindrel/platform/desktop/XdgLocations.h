#pragma once

// The folders of the freedesktop base-directory rules that the MIME-application associations
// are looked up in. A plain value; fromEnvironment() reads HOME, XDG_CONFIG_HOME,
// XDG_CONFIG_DIRS, XDG_DATA_HOME, XDG_DATA_DIRS and XDG_CURRENT_DESKTOP at the time of the
// call, so tests that point them at a temporary folder get that folder. Without an absolute
// HOME the account's home folder stands in.

#include <filesystem>
#include <string>
#include <vector>

namespace tindrel::platform {

struct XdgLocations {
    std::filesystem::path configHome;
    std::vector<std::filesystem::path> configDirs;
    std::filesystem::path dataHome;
    std::vector<std::filesystem::path> dataDirs;
    // Lower-case desktop names, most specific first ("gnome", ...).
    std::vector<std::string> currentDesktops;

    static XdgLocations fromEnvironment();
};

} // namespace tindrel::platform
