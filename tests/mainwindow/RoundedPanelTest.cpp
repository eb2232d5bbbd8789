#include "Tindrel/mainwindow/RoundedPanel.h"

#include <QImage>
#include <QRegion>

#include <gtest/gtest.h>

using namespace tindrel;

// A repaint of part of a panel (a readout or meter inside it, every tick while playing) sets
// the pixels that repainting the whole panel sets there.
TEST(RoundedPanel, PartOfItRepaintsAsTheWholeDoes) {
    RoundedPanel panel;
    panel.resize(240, 200);
    struct Case {
        const char* name;
        QColor fill;
        QColor outline;
        QRegion part;
    } cases[] = {
        {"inside", QColor(100, 210, 255, 31), QColor(100, 210, 255, 71), QRect(40, 50, 121, 31)},
        {"tall strip inside", QColor(0, 0, 0, 140), Qt::transparent, QRect(97, 4, 6, 190)},
        {"on the outline", QColor(255, 255, 255, 10), QColor(255, 255, 255, 20),
         QRect(1, 60, 30, 20)},
        {"in a corner", QColor(255, 159, 10, 31), QColor(255, 159, 10, 71), QRect(3, 3, 8, 8)},
        {"two parts", QColor(48, 209, 88, 31), QColor(48, 209, 88, 71), QRect(20, 20, 50, 10)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        panel.setLook(c.fill, c.outline, 10);
        const QRegion part = std::string(c.name) == "two parts"
                                 ? QRegion(c.part) + QRegion(150, 160, 40, 12)
                                 : QRegion(c.part);
        QImage whole(panel.size(), QImage::Format_ARGB32_Premultiplied);
        whole.fill(QColor(20, 26, 38));
        QImage partly = whole;
        panel.render(&whole);
        panel.render(&partly, c.part.boundingRect().topLeft(), c.part);
        for (const QRect& rect : c.part)
            EXPECT_EQ(partly.copy(rect), whole.copy(rect));
    }
}
