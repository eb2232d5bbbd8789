#include "Tindrel/platform/ui/PopoverPlacement.h"

#include <algorithm>

namespace tindrel::platform {

QPoint popoverTopLeft(const QSize& size, const QRect& anchor, const QPoint& cursor,
                      const QRect& available) {
    const bool anchored = anchor.isValid() && !anchor.isEmpty();
    const int centreX = anchored ? anchor.center().x() : cursor.x();
    const int top = anchored ? anchor.bottom() + 1 : cursor.y();
    // max before min: a popover larger than the area keeps its top-left corner on screen.
    const int x = std::max(available.left(), std::min(centreX - size.width() / 2,
                                                      available.right() + 1 - size.width()));
    const int y = std::max(available.top(), std::min(top, available.bottom() + 1 - size.height()));
    return {x, y};
}

} // namespace tindrel::platform
