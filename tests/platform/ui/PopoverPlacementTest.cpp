#include "Tindrel/platform/ui/PopoverPlacement.h"

#include <gtest/gtest.h>

using tindrel::platform::popoverTopLeft;

TEST(PopoverPlacement, BelowTheIconOrAtTheCursorAndAlwaysOnScreen) {
    const QSize size(410, 255);
    const QRect screen(0, 0, 1400, 900);
    const QRect belowTopPanel(0, 30, 1400, 870);
    struct Case {
        const char* what;
        QRect anchor;
        QPoint cursor;
        QRect available;
        QPoint expected;
    } cases[] = {
        {"centred below the icon", QRect(600, 4, 22, 22), {}, belowTopPanel, {405, 30}},
        {"icon near the right edge", QRect(1370, 4, 22, 22), {}, belowTopPanel, {990, 30}},
        {"icon near the left edge", QRect(2, 4, 22, 22), {}, belowTopPanel, {0, 30}},
        {"tray at the bottom: just above the panel",
         QRect(1370, 874, 22, 22),
         {},
         QRect(0, 0, 1400, 870),
         {990, 615}},
        {"unknown icon: at the cursor", QRect(), {700, 300}, screen, {495, 300}},
        {"cursor in a corner", QRect(), {1399, 899}, screen, {990, 645}},
        {"area smaller than the popover", QRect(), {50, 50}, QRect(0, 0, 300, 200), {0, 0}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(popoverTopLeft(size, c.anchor, c.cursor, c.available), c.expected) << c.what;
}
