#pragma once

// A full disk for the guard's lifetime: files of this process cannot grow past `bytes`
// (RLIMIT_FSIZE, which binds root too), and with SIGXFSZ ignored a write across the limit is a
// real short write, then EFBIG. The previous limit and handler come back at destruction.
// Main thread; no other thread may write files meanwhile.

#include <csignal>

#include <sys/resource.h>

namespace tindrel::test {

class ScopedFileSizeLimit {
public:
    explicit ScopedFileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &previous_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = previous_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~ScopedFileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
    ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

private:
    rlimit previous_{};
    void (*previousHandler_)(int) = nullptr;
};

} // namespace tindrel::test
