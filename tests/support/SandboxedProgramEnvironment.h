#pragma once

// The environment for running the real program in a sandbox: HOME, the XDG folders and with
// them the instance socket inside `sandbox`, made here. Header only, for tests and benchmarks
// that start the program.

#include "tests/support/TemporaryFolder.h"

#include <QProcessEnvironment>
#include <QString>

#include <filesystem>

namespace tindrel::test {

inline QProcessEnvironment sandboxedEnvironment(const TemporaryFolder& sandbox) {
    for (const char* folder : {"home", "runtime", "config", "data", "cache"})
        std::filesystem::create_directories(sandbox / folder);
    std::filesystem::permissions(sandbox / "runtime", std::filesystem::perms::owner_all);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const auto set = [&](const char* name, const char* folder) {
        environment.insert(name, QString::fromStdString((sandbox / folder).string()));
    };
    set("HOME", "home");
    set("XDG_RUNTIME_DIR", "runtime");
    set("XDG_CONFIG_HOME", "config");
    set("XDG_DATA_HOME", "data");
    set("XDG_CACHE_HOME", "cache");
    return environment;
}

} // namespace tindrel::test
