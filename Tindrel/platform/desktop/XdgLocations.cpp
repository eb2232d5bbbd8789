#include "Tindrel/platform/desktop/XdgLocations.h"

#include "Tindrel/platform/text/TextCase.h"

#include <cstdlib>

#include <pwd.h>
#include <unistd.h>

namespace tindrel::platform {

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::vector<std::string> splitList(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t begin = 0;
    while (begin <= text.size()) {
        size_t end = text.find(separator, begin);
        if (end == std::string::npos)
            end = text.size();
        if (end > begin)
            parts.push_back(text.substr(begin, end - begin));
        begin = end + 1;
    }
    return parts;
}

// Relative entries are invalid in the base-directory rules and are ignored.
std::vector<std::filesystem::path> absoluteFolders(const std::string& list, const char* fallback) {
    std::vector<std::filesystem::path> folders;
    for (const std::string& entry : splitList(list.empty() ? fallback : list, ':')) {
        std::filesystem::path folder(entry);
        if (folder.is_absolute())
            folders.push_back(folder);
    }
    return folders;
}

// Without a usable HOME the account's home folder, never a folder relative to the working one.
std::filesystem::path homeFolder() {
    const std::filesystem::path home(environment("HOME"));
    if (home.is_absolute())
        return home;
    const passwd* account = getpwuid(getuid());
    return std::filesystem::path(account && account->pw_dir ? account->pw_dir : "/");
}

std::filesystem::path homeFolderOr(const std::string& value, const char* underHome) {
    std::filesystem::path folder(value);
    if (!value.empty() && folder.is_absolute())
        return folder;
    return homeFolder() / underHome;
}

} // namespace

XdgLocations XdgLocations::fromEnvironment() {
    XdgLocations locations;
    locations.configHome = homeFolderOr(environment("XDG_CONFIG_HOME"), ".config");
    locations.configDirs = absoluteFolders(environment("XDG_CONFIG_DIRS"), "/etc/xdg");
    locations.dataHome = homeFolderOr(environment("XDG_DATA_HOME"), ".local/share");
    locations.dataDirs =
        absoluteFolders(environment("XDG_DATA_DIRS"), "/usr/local/share:/usr/share");
    for (const std::string& desktop : splitList(environment("XDG_CURRENT_DESKTOP"), ':'))
        locations.currentDesktops.push_back(asciiLowercased(desktop));
    return locations;
}

} // namespace tindrel::platform
