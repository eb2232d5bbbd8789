#pragma once

// Turns SIGTERM, SIGINT and SIGHUP (a logout, Ctrl+C, a closed terminal) into a Qt signal on
// the event loop, so the program leaves through its normal way out instead of dying without
// its clean-up. The handler only writes the signal number to a pipe; a QSocketNotifier on the
// other end emits requested() on the thread that made the object.
//
// At most one instance per process (the handlers are process-wide); made and destroyed on the
// main thread after the QCoreApplication. The destructor restores the default dispositions,
// so a signal after it ends the process as usual.

#include <QObject>

class QSocketNotifier;

namespace tindrel::platform {

class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // Whether the handlers are in place (false only when the pipe could not be made).
    bool isActive() const { return notifier_ != nullptr; }
    // Whether a signal arrived that requested() has not told yet; it is still told later.
    // For work that holds the event loop and must stop when the program is asked to end.
    bool hasPendingRequest() const;

signals:
    // One of the three signals arrived; `signalNumber` says which.
    void requested(int signalNumber);

private:
    void drain();

    int readEnd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace tindrel::platform
