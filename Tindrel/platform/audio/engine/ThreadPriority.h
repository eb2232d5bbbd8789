#pragma once

// Asks the system to run the calling thread ahead of ordinary work, so that playback keeps its
// pace while the machine builds or renders beside it. For the device's thread and the engine's
// render-ahead worker.
//
// Real time: SCHED_FIFO where the process may set it itself (root, CAP_SYS_NICE or an
// RLIMIT_RTPRIO), else through RealtimeKit on the system bus, which desktops grant ordinary
// users; RealtimeKit requires RLIMIT_RTTIME, which is then set for the process to the most it
// allows (a real-time thread that runs that long without blocking is stopped by the kernel).
// Raised: a lower nice value, set directly where RLIMIT_NICE allows it, else through
// RealtimeKit. What is refused falls back to the next; a thread nobody raises runs on as it
// was. Nothing is reported.
//
// A call may take a round trip on the system bus and allocates: it is made once, when a thread
// begins its work (and by a render-ahead worker again after it fell behind).

#include <optional>

namespace tindrel::platform {

enum class ThreadPriority { normal, raised, realTime };

// The device's thread first: it only copies what the worker rendered ahead.
constexpr int deviceRealTimePriority = 10;
constexpr int renderAheadRealTimePriority = 9;

// Real time at `realTimePriority` (1 upwards, lowered to what RealtimeKit allows), else raised,
// else nothing. Returns what the thread has; one already real time (a sound server's) is left as
// it is.
ThreadPriority raiseCurrentThreadPriority(int realTimePriority);

// RLIMIT_RTTIME: how long a real-time thread of the process may run without blocking before the
// kernel stops the process (RealtimeKit's default is 200 ms); none when no limit is set.
std::optional<double> realTimeRunLimitSeconds();

// CPU time the calling thread has used, in seconds: what a real-time thread's limits count.
double currentThreadCpuSeconds();

// Takes a real-time thread back to ordinary scheduling, raised where allowed; returns what is
// left.
ThreadPriority lowerCurrentThreadPriority();

} // namespace tindrel::platform
