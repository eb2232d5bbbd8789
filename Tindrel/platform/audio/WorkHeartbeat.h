#pragma once

// Lets long synchronous work (a decode, an export) hand its thread back to the caller at short
// intervals and learn that it is to stop. The work calls keepGoing() as often as it likes (once
// per packet or block, or between waits); the caller's function runs only once `interval` has
// passed since it last ran, so the caller can keep its windows painted while the work holds
// the main thread. Once the function has said stop, keepGoing() stays false and the work ends
// early, leaving nothing half-made. Work that knows how far it got says so through
// reportProgress(), which the caller reads in its turn. One thread; one piece of work at a time.

#include <chrono>
#include <functional>
#include <optional>

namespace tindrel::platform {

class WorkHeartbeat {
public:
    using Clock = std::chrono::steady_clock;
    // Well inside the tenth of a second a window may go unpainted, with room for the work
    // between two calls.
    static constexpr std::chrono::milliseconds standardInterval{40};

    // Never calls anything and never stops.
    WorkHeartbeat() = default;
    // `beat` returns false when the work is to stop.
    explicit WorkHeartbeat(std::function<bool()> beat,
                           std::chrono::milliseconds interval = standardInterval);

    bool keepGoing();
    bool stopped() const { return stopped_; }
    // `done` is the share of the work finished, 0 to 1.
    void reportProgress(double done);
    // None until the work first reported how far it got.
    std::optional<double> progress() const { return progress_; }
    // How long work that waits (for a child process) may sleep before it asks again.
    std::chrono::milliseconds interval() const { return interval_; }

private:
    std::function<bool()> beat_;
    std::chrono::milliseconds interval_ = standardInterval;
    Clock::time_point lastBeat_ = Clock::now();
    bool stopped_ = false;
    std::optional<double> progress_;
};

} // namespace tindrel::platform
