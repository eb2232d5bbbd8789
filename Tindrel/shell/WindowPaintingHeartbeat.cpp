#include "Tindrel/shell/WindowPaintingHeartbeat.h"

#include <QCoreApplication>

namespace tindrel {

std::function<bool()> windowPaintingHeartbeat(std::function<bool()> wayOutTaken) {
    return [wayOutTaken = std::move(wayOutTaken)] {
        QCoreApplication::processEvents();
        return !(wayOutTaken && wayOutTaken());
    };
}

} // namespace tindrel
