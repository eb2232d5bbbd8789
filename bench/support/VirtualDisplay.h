#pragma once

// For benchmarks of the window: runs the calling program again under xvfb-run, once, so that
// it has an X display of its own. Returns only when already re-run (or on failure to exec).

#include <unistd.h>

#include <cstdlib>

namespace tindrel::bench {

inline void rerunOnOwnVirtualDisplay() {
    if (std::getenv("TINDREL_BENCH_ON_DISPLAY"))
        return;
    setenv("TINDREL_BENCH_ON_DISPLAY", "1", 1);
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof(self) - 1) <= 0)
        std::exit(1);
    char* xvfbArguments[] = {const_cast<char*>("xvfb-run"),
                             const_cast<char*>("-a"),
                             const_cast<char*>("-s"),
                             const_cast<char*>("-screen 0 1400x900x24"),
                             self,
                             nullptr};
    execvp("xvfb-run", xvfbArguments);
    std::exit(1);
}

} // namespace tindrel::bench
