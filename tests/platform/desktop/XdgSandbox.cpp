#include "tests/platform/desktop/XdgSandbox.h"

#include <cstdlib>
#include <fstream>

namespace tindrel::test {

XdgSandbox::XdgSandbox() {
    const std::map<std::string, std::filesystem::path> folders{
        {"HOME", home()},
        {"XDG_CONFIG_HOME", configHome()},
        {"XDG_DATA_HOME", dataHome()},
        {"XDG_CACHE_HOME", home() / ".cache"},
        {"XDG_STATE_HOME", home() / ".local/state"},
        {"XDG_CONFIG_DIRS", systemConfig()},
        {"XDG_DATA_DIRS", systemData()},
    };
    for (const auto& [name, folder] : folders) {
        const char* previous = std::getenv(name.c_str());
        saved_[name] = previous ? std::optional<std::string>(previous) : std::nullopt;
        std::filesystem::create_directories(folder);
        setenv(name.c_str(), folder.c_str(), 1);
    }
    // The shared MIME database stays visible, so file types are still known.
    std::error_code ignored;
    if (std::filesystem::is_directory("/usr/share/mime", ignored))
        std::filesystem::create_directory_symlink("/usr/share/mime", systemData() / "mime", ignored);
    const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
    saved_["XDG_CURRENT_DESKTOP"] = desktop ? std::optional<std::string>(desktop) : std::nullopt;
    unsetenv("XDG_CURRENT_DESKTOP");
}

XdgSandbox::~XdgSandbox() {
    for (const auto& [name, value] : saved_) {
        if (value)
            setenv(name.c_str(), value->c_str(), 1);
        else
            unsetenv(name.c_str());
    }
}

void XdgSandbox::installDesktopFile(const std::string& desktopId) const {
    const std::filesystem::path folder = dataHome() / "applications";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / desktopId)
        << "[Desktop Entry]\nType=Application\nName=Test\nExec=true %F\n";
}

} // namespace tindrel::test
