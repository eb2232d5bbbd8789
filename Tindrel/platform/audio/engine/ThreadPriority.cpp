#include "Tindrel/platform/audio/engine/ThreadPriority.h"

#include <dbus/dbus.h>

#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <optional>

namespace tindrel::platform {

namespace {

constexpr const char* realtimeKitName = "org.freedesktop.RealtimeKit1";
constexpr const char* realtimeKitPath = "/org/freedesktop/RealtimeKit1";
// What sound servers ask for their own threads; RealtimeKit allows down to -15 by default.
constexpr int raisedNiceLevel = -11;
// RealtimeKit answers within milliseconds, started on demand within tens: a device's thread
// asking at the start of its stream waits no longer than this for one that does not, once.
constexpr int replyTimeoutMs = 250;

pid_t currentThreadId() {
    return static_cast<pid_t>(syscall(SYS_gettid));
}

// A private connection to the system bus, so that nothing the process shares is touched.
class RealtimeKit {
public:
    RealtimeKit() {
        DBusError error;
        dbus_error_init(&error);
        connection_ = dbus_bus_get_private(DBUS_BUS_SYSTEM, &error);
        dbus_error_free(&error);
        if (connection_ != nullptr) {
            dbus_connection_set_exit_on_disconnect(connection_, false);
        }
    }
    ~RealtimeKit() {
        if (connection_ != nullptr) {
            dbus_connection_close(connection_);
            dbus_connection_unref(connection_);
        }
    }
    RealtimeKit(const RealtimeKit&) = delete;
    RealtimeKit& operator=(const RealtimeKit&) = delete;

    bool available() const { return connection_ != nullptr && !absent_; }

    std::optional<int64_t> property(const char* name) {
        DBusMessage* message = dbus_message_new_method_call(
            realtimeKitName, realtimeKitPath, "org.freedesktop.DBus.Properties", "Get");
        if (message == nullptr) {
            return std::nullopt;
        }
        const char* interface = realtimeKitName;
        dbus_message_append_args(message, DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &name,
                                 DBUS_TYPE_INVALID);
        DBusMessage* reply = send(message);
        if (reply == nullptr) {
            return std::nullopt;
        }
        std::optional<int64_t> value;
        DBusMessageIter iter;
        DBusMessageIter variant;
        if (dbus_message_iter_init(reply, &iter) &&
            dbus_message_iter_get_arg_type(&iter) == DBUS_TYPE_VARIANT) {
            dbus_message_iter_recurse(&iter, &variant);
            if (dbus_message_iter_get_arg_type(&variant) == DBUS_TYPE_INT32) {
                dbus_int32_t number = 0;
                dbus_message_iter_get_basic(&variant, &number);
                value = number;
            } else if (dbus_message_iter_get_arg_type(&variant) == DBUS_TYPE_INT64) {
                dbus_int64_t number = 0;
                dbus_message_iter_get_basic(&variant, &number);
                value = number;
            }
        }
        dbus_message_unref(reply);
        return value;
    }

    bool makeRealtime(pid_t thread, uint32_t priority) {
        return call("MakeThreadRealtime", thread, DBUS_TYPE_UINT32, &priority);
    }

    bool makeHighPriority(pid_t thread, int32_t niceLevel) {
        return call("MakeThreadHighPriority", thread, DBUS_TYPE_INT32, &niceLevel);
    }

private:
    bool call(const char* method, pid_t thread, int argumentType, const void* argument) {
        DBusMessage* message =
            dbus_message_new_method_call(realtimeKitName, realtimeKitPath, realtimeKitName, method);
        if (message == nullptr) {
            return false;
        }
        const auto threadId = static_cast<dbus_uint64_t>(thread);
        dbus_message_append_args(message, DBUS_TYPE_UINT64, &threadId, argumentType, argument,
                                 DBUS_TYPE_INVALID);
        DBusMessage* reply = send(message);
        if (reply == nullptr) {
            return false;
        }
        dbus_message_unref(reply);
        return true;
    }

    // Takes `message`; the reply, or null on an error reply, a timeout or no bus.
    DBusMessage* send(DBusMessage* message) {
        DBusError error;
        dbus_error_init(&error);
        DBusMessage* reply =
            dbus_connection_send_with_reply_and_block(connection_, message, replyTimeoutMs, &error);
        dbus_message_unref(message);
        // Not there or not answering: asking again would only wait again.
        absent_ = absent_ || dbus_error_has_name(&error, DBUS_ERROR_NO_REPLY) ||
                  dbus_error_has_name(&error, DBUS_ERROR_TIMEOUT) ||
                  dbus_error_has_name(&error, DBUS_ERROR_SERVICE_UNKNOWN);
        dbus_error_free(&error);
        return reply;
    }

    DBusConnection* connection_ = nullptr;
    bool absent_ = false;
};

bool isRealTime(int policy) {
    policy &= ~SCHED_RESET_ON_FORK;
    return policy == SCHED_FIFO || policy == SCHED_RR;
}

bool setRealTimeDirectly(int priority) {
    sched_param parameters{};
    parameters.sched_priority = priority;
    // Reset on fork: a program the player starts does not inherit the priority.
    return sched_setscheduler(currentThreadId(), SCHED_FIFO | SCHED_RESET_ON_FORK, &parameters) ==
           0;
}

// RealtimeKit grants nothing to a process that could run a real-time thread without limit.
bool limitRealTimeRun(int64_t microseconds) {
    rlimit current{};
    if (getrlimit(RLIMIT_RTTIME, &current) == 0 && current.rlim_max != RLIM_INFINITY &&
        static_cast<int64_t>(current.rlim_max) <= microseconds) {
        return true;
    }
    const rlimit wanted{static_cast<rlim_t>(microseconds), static_cast<rlim_t>(microseconds)};
    return setrlimit(RLIMIT_RTTIME, &wanted) == 0;
}

bool setRealTimeThroughKit(RealtimeKit& kit, int priority) {
    const int64_t allowedPriority = kit.property("MaxRealtimePriority").value_or(0);
    const std::optional<int64_t> longestRun = kit.property("RTTimeUSecMax");
    if (allowedPriority < 1 || !longestRun || !limitRealTimeRun(*longestRun)) {
        return false;
    }
    return kit.makeRealtime(currentThreadId(),
                            static_cast<uint32_t>(std::min<int64_t>(priority, allowedPriority)));
}

bool raiseNice(RealtimeKit& kit) {
    const pid_t thread = currentThreadId();
    if (getpriority(PRIO_PROCESS, static_cast<id_t>(thread)) <= raisedNiceLevel) {
        return true;
    }
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(thread), raisedNiceLevel) == 0) {
        return true;
    }
    if (!kit.available()) {
        return false;
    }
    const int64_t lowest = kit.property("MinNiceLevel").value_or(0);
    return lowest < 0 &&
           kit.makeHighPriority(thread,
                                static_cast<int32_t>(std::max<int64_t>(raisedNiceLevel, lowest)));
}

} // namespace

ThreadPriority raiseCurrentThreadPriority(int realTimePriority) {
    if (isRealTime(sched_getscheduler(0)) || setRealTimeDirectly(realTimePriority)) {
        return ThreadPriority::realTime;
    }
    RealtimeKit kit;
    if (kit.available() && setRealTimeThroughKit(kit, realTimePriority)) {
        return ThreadPriority::realTime;
    }
    return raiseNice(kit) ? ThreadPriority::raised : ThreadPriority::normal;
}

std::optional<double> realTimeRunLimitSeconds() {
    rlimit limit{};
    if (getrlimit(RLIMIT_RTTIME, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return std::nullopt;
    }
    return static_cast<double>(limit.rlim_cur) * 1e-6;
}

double currentThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

ThreadPriority lowerCurrentThreadPriority() {
    sched_param parameters{};
    if (sched_setscheduler(currentThreadId(), SCHED_OTHER | SCHED_RESET_ON_FORK, &parameters) !=
        0) {
        return ThreadPriority::realTime;
    }
    RealtimeKit kit;
    return raiseNice(kit) ? ThreadPriority::raised : ThreadPriority::normal;
}

} // namespace tindrel::platform
