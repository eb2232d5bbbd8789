#include "tests/platform/desktop/XdgSandbox.h"

#include <fstream>
#include <map>

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
        std::filesystem::create_directories(folder);
        variables_.emplace_back(name, folder.string());
    }
    // The shared MIME database stays visible, so file types are still known.
    std::error_code ignored;
    if (std::filesystem::is_directory("/usr/share/mime", ignored))
        std::filesystem::create_directory_symlink("/usr/share/mime", systemData() / "mime",
                                                  ignored);
    variables_.emplace_back("XDG_CURRENT_DESKTOP", std::nullopt);
}

void XdgSandbox::installDesktopFile(const std::string& desktopId) const {
    const std::filesystem::path folder = dataHome() / "applications";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / desktopId)
        << "[Desktop Entry]\nType=Application\nName=Test\nExec=true %F\n";
}

} // namespace tindrel::test
