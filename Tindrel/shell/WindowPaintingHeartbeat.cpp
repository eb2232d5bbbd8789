#include "Tindrel/shell/WindowPaintingHeartbeat.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace tindrel {

std::function<bool()> windowPaintingHeartbeat(std::function<bool()> terminationPending) {
    return [terminationPending = std::move(terminationPending)] {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                        QEventLoop::ExcludeSocketNotifiers |
                                        QEventLoop::X11ExcludeTimers);
        return !(terminationPending && terminationPending());
    };
}

} // namespace tindrel
