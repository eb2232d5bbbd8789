#include "Tindrel/platform/ui/MonospacedDigitsText.h"
#include "Tindrel/platform/ui/SystemFont.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace tindrel::platform {
namespace {

TEST(SystemFont, InterAtPointsAsPixelsWithTheNearestWeight) {
    const QFont font = SystemFont::font(9.5, FontWeight::bold);
    EXPECT_EQ(QFontInfo(font).family(), QStringLiteral("Inter"));
    EXPECT_EQ(font.weight(), QFont::Bold);
    // 9.5 points render 9.5 pixels high (em size), whatever the screen's logical DPI.
    EXPECT_NEAR(QFontInfo(font).pixelSize(), 9.5, 0.51);
    EXPECT_LT(SystemFont::font(8.5, FontWeight::heavy).weight(),
              SystemFont::font(8.5, FontWeight::black).weight());
}

TEST(MonospacedDigitsText, ReadoutsKeepTheirWidthAsDigitsChange) {
    // Inter's own digits are proportional: "1" is narrower than "0".
    const QFont font = SystemFont::font(9.5, FontWeight::bold);
    const QFontMetricsF metrics(font);
    ASSERT_LT(metrics.horizontalAdvance(QStringLiteral("1:11.1")),
              metrics.horizontalAdvance(QStringLiteral("0:00.0")));

    const QStringList texts = {QStringLiteral("0:00.0"), QStringLiteral("1:11.1"),
                               QStringLiteral("8:47.9"), QStringLiteral("4:44.4")};
    const QSizeF reference = MonospacedDigitsText::size(texts.first(), font);
    for (const QString& text : texts) {
        SCOPED_TRACE(text.toStdString());
        EXPECT_DOUBLE_EQ(MonospacedDigitsText::size(text, font).width(), reference.width());
    }
    EXPECT_DOUBLE_EQ(reference.height(), metrics.height());
    // Text without digits measures as ordinary text.
    EXPECT_NEAR(MonospacedDigitsText::size(QStringLiteral("Range"), font).width(),
                metrics.horizontalAdvance(QStringLiteral("Range")), 1e-6);
}

TEST(MonospacedDigitsText, DrawsWithinTheMeasuredBox) {
    const QFont font = SystemFont::font(20, FontWeight::regular);
    const QString text = QStringLiteral("11:11.1 x");
    const QSizeF size = MonospacedDigitsText::size(text, font);
    QImage image(int(size.width()) + 40, int(size.height()) + 20, QImage::Format_ARGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    painter.setPen(Qt::white);
    MonospacedDigitsText::draw(painter, QPointF(20, 10), text, font);
    painter.end();
    int inkLeft = image.width(), inkRight = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qRed(image.pixel(x, y)) > 60) {
                inkLeft = std::min(inkLeft, x);
                inkRight = std::max(inkRight, x);
            }
    ASSERT_GE(inkRight, 0);
    EXPECT_GE(inkLeft, 20);
    EXPECT_LE(inkRight, 20 + int(std::ceil(size.width())));
    // The wide cells spread the "1"s: the ink spans more than the narrow default layout would.
    EXPECT_GT(inkRight - inkLeft, QFontMetricsF(font).horizontalAdvance(text) - 4);
}

} // namespace
} // namespace tindrel::platform
