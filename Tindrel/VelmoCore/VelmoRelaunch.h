#pragma once

// What a program started by an update's relaunch learns from it and tells it. The relaunch
// waits for the new program to report that it is up (window shown, or running in the
// background) and otherwise puts the old program back; that one is started with the reason,
// which the program shows. No Qt; main thread, once the program's launch has finished.

#include <string>

namespace velmo {

struct VelmoRelaunch {
    // Why the update before this start was rolled back; empty when it was not.
    static std::string failedUpdateReason();
    // Tells the relaunch that started this program that it is up; nothing when no relaunch
    // waits. Call once.
    static void reportRunning();
};

} // namespace velmo
