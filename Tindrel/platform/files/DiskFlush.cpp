#include "Tindrel/platform/files/DiskFlush.h"

#include <cerrno>
#include <fcntl.h>
#include <future>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace tindrel::platform {

void startWriteback(int fd, int64_t offset, int64_t length) {
    ::sync_file_range(fd, offset, length, SYNC_FILE_RANGE_WRITE);
}

FlushOutcome flushToDisk(int fd, const std::function<bool()>& keepGoing,
                         std::chrono::milliseconds interval) {
    // The flusher owns a descriptor of its own, so it never flushes one the caller has
    // closed and the system has given to another file since.
    const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (own < 0)
        return FlushOutcome::failed;
    std::promise<int> result;
    std::future<int> done = result.get_future();
    try {
        std::thread([own, result = std::move(result)]() mutable {
            const int code = ::fsync(own) == 0 ? 0 : errno;
            ::close(own);
            result.set_value(code);
        }).detach();
    } catch (const std::system_error&) {
        const int code = ::fsync(own) == 0 ? 0 : errno;
        ::close(own);
        errno = code;
        return code == 0 ? FlushOutcome::flushed : FlushOutcome::failed;
    }
    while (done.wait_for(interval) != std::future_status::ready)
        if (!keepGoing())
            return FlushOutcome::stopped;
    const int code = done.get();
    errno = code;
    return code == 0 ? FlushOutcome::flushed : FlushOutcome::failed;
}

} // namespace tindrel::platform
