#include "Tindrel/shell/WindowPaintingHeartbeat.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>

namespace tindrel {

namespace {

// The GLib event dispatcher ignores ExcludeSocketNotifiers, so their activations are held
// back here instead. A notifier's descriptor stays readable, so the activation comes again
// once the event loop runs outside the work.
class SocketActivationHold final : public QObject {
protected:
    bool eventFilter(QObject*, QEvent* event) override {
        return event->type() == QEvent::SockAct || event->type() == QEvent::SockClose;
    }
};

} // namespace

std::function<bool()> windowPaintingHeartbeat(std::function<bool()> terminationPending) {
    return [terminationPending = std::move(terminationPending)] {
        SocketActivationHold hold;
        QCoreApplication::instance()->installEventFilter(&hold);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                        QEventLoop::ExcludeSocketNotifiers |
                                        QEventLoop::X11ExcludeTimers);
        QCoreApplication::instance()->removeEventFilter(&hold);
        return !(terminationPending && terminationPending());
    };
}

} // namespace tindrel
