#pragma once

// Points HOME and every XDG base-folder variable at a fresh temporary folder for the guard's
// lifetime (XDG_CURRENT_DESKTOP is cleared), so no test reads or writes the user's own
// settings (the shared MIME database stays visible through a link); the previous values come
// back at destruction. Main thread; one guard at a time.

#include "tests/support/ScopedEnvironmentVariable.h"
#include "tests/support/TemporaryFolder.h"

#include <deque>
#include <filesystem>
#include <string>

namespace tindrel::test {

class XdgSandbox {
public:
    XdgSandbox();
    XdgSandbox(const XdgSandbox&) = delete;
    XdgSandbox& operator=(const XdgSandbox&) = delete;

    const std::filesystem::path& root() const { return folder_.path(); }
    std::filesystem::path home() const { return root() / "home"; }
    std::filesystem::path configHome() const { return home() / ".config"; }
    std::filesystem::path dataHome() const { return home() / ".local/share"; }
    // The one system data folder (XDG_DATA_DIRS) and config folder (XDG_CONFIG_DIRS).
    std::filesystem::path systemData() const { return root() / "usr/share"; }
    std::filesystem::path systemConfig() const { return root() / "etc/xdg"; }

    // Writes a minimal desktop file, so the id counts as an installed application.
    void installDesktopFile(const std::string& desktopId) const;

private:
    TemporaryFolder folder_;
    std::deque<ScopedEnvironmentVariable> variables_;
};

} // namespace tindrel::test
