#pragma once

// Where a popover of a given size goes on screen: centred below its anchor (the tray icon's
// rectangle, the button that opened it) when the anchor is known, else with its top edge at the
// cursor, centred on it; then moved as little as needed to lie inside the screen's available area
// (so a tray at the bottom of the screen gets the popover just above its panel). Global coordinates
// in device-independent pixels. A pure function; any thread.

#include <QPoint>
#include <QRect>
#include <QSize>

namespace tindrel::platform {

QPoint popoverTopLeft(const QSize& size, const QRect& anchor, const QPoint& cursor,
                      const QRect& available);

} // namespace tindrel::platform
