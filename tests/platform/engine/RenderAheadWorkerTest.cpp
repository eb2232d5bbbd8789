// The render-ahead worker's scheduling: real time only while it keeps up. A worker that never
// sleeps at a real-time priority holds a core from everything else on it, and a process
// granted real time by RealtimeKit is stopped by the kernel once such a run passes its limit.

#include "Tindrel/platform/audio/engine/RenderAheadWorker.h"
#include "Tindrel/platform/audio/engine/ThreadPriority.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/resource.h>

#include <chrono>
#include <future>

namespace tindrel::platform {
namespace {

bool runsInRealTime() {
    const int policy = sched_getscheduler(0) & ~SCHED_RESET_ON_FORK;
    return policy == SCHED_FIFO || policy == SCHED_RR;
}

TEST(RenderAheadWorker, AWorkerThatCannotKeepUpGoesOnAtOrdinaryPriority) {
    // As RealtimeKit leaves a process: a real-time run past 200 ms without blocking kills it.
    const rlimit limit{200000, 200000};
    ASSERT_EQ(setrlimit(RLIMIT_RTTIME, &limit), 0);
    std::promise<bool> finished;
    double busyFrom = -1;
    bool done = false;
    // Every step takes a millisecond and asks for more, as a worker behind its device does,
    // for 300 ms of CPU time.
    RenderAheadWorker worker([&] {
        if (done) {
            return false;
        }
        const double now = currentThreadCpuSeconds();
        busyFrom = busyFrom < 0 ? now : busyFrom;
        while (currentThreadCpuSeconds() - now < 0.001) {
        }
        if (currentThreadCpuSeconds() - busyFrom < 0.3) {
            return true;
        }
        done = true;
        finished.set_value(runsInRealTime());
        return false;
    });
    worker.resume();
    auto stillRealTime = finished.get_future();
    ASSERT_EQ(stillRealTime.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_FALSE(stillRealTime.get()) << "real time after 300 ms of CPU without a sleep";
}

} // namespace
} // namespace tindrel::platform
