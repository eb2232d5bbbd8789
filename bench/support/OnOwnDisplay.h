#pragma once

// For benchmarks that need an X display of their own: the first call re-runs the program under
// `xvfb-run -a` (a fresh virtual display, 1400 x 900) and does not return unless that fails;
// in the re-run program it returns true at once.

#include <cstdlib>
#include <unistd.h>

namespace tindrel::bench {

inline bool runOnOwnDisplay() {
    if (std::getenv("TINDREL_BENCH_ON_DISPLAY"))
        return true;
    setenv("TINDREL_BENCH_ON_DISPLAY", "1", 1);
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof(self) - 1) <= 0)
        return false;
    char* xvfbArguments[] = {const_cast<char*>("xvfb-run"),
                             const_cast<char*>("-a"),
                             const_cast<char*>("-s"),
                             const_cast<char*>("-screen 0 1400x900x24"),
                             self,
                             nullptr};
    execvp("xvfb-run", xvfbArguments);
    return false;
}

} // namespace tindrel::bench
