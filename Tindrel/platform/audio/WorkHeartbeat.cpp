#include "Tindrel/platform/audio/WorkHeartbeat.h"

#include <algorithm>

namespace tindrel::platform {

WorkHeartbeat::WorkHeartbeat(std::function<bool()> beat, std::chrono::milliseconds interval)
    : beat_(std::move(beat)), interval_(interval) {}

bool WorkHeartbeat::keepGoing() {
    if (stopped_ || !beat_)
        return !stopped_;
    const Clock::time_point now = Clock::now();
    if (now - lastBeat_ < interval_)
        return true;
    // Counted from the start of the caller's turn, so turns start at most an interval (plus
    // one step of the work) apart however long the caller's painting takes.
    lastBeat_ = now;
    stopped_ = !beat_();
    return !stopped_;
}

void WorkHeartbeat::reportProgress(double done) {
    if (done >= 0.0)
        progress_ = std::min(1.0, done);
}

} // namespace tindrel::platform
