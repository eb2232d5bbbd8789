#include "Tindrel/platform/desktop/termination_signals/TerminationSignals.h"

#include <QSocketNotifier>

#include <array>
#include <atomic>
#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

namespace tindrel::platform {

namespace {

constexpr std::array handledSignals{SIGTERM, SIGINT, SIGHUP};

// The write end, read by the handler; -1 while no instance listens.
std::atomic<int> writeEnd{-1};

extern "C" void forwardSignal(int signalNumber) {
    const int savedErrno = errno;
    const int fd = writeEnd.load(std::memory_order_relaxed);
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signalNumber);
        // A full pipe already holds a request; dropping this one loses nothing.
        [[maybe_unused]] const ssize_t written = write(fd, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    readEnd_ = ends[0];
    writeEnd.store(ends[1]);
    notifier_ = new QSocketNotifier(readEnd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::drain);

    struct sigaction action {};
    action.sa_handler = forwardSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : handledSignals)
        sigaction(signalNumber, &action, nullptr);
}

TerminationSignals::~TerminationSignals() {
    if (readEnd_ < 0)
        return;
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int signalNumber : handledSignals)
        sigaction(signalNumber, &action, nullptr);
    close(writeEnd.exchange(-1));
    close(readEnd_);
}

bool TerminationSignals::hasPendingRequest() const {
    if (readEnd_ < 0)
        return false;
    pollfd readable{readEnd_, POLLIN, 0};
    return ::poll(&readable, 1, 0) > 0 && (readable.revents & POLLIN);
}

void TerminationSignals::drain() {
    unsigned char byte = 0;
    while (read(readEnd_, &byte, 1) == 1)
        emit requested(byte);
}

} // namespace tindrel::platform
