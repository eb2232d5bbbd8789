#include "Tindrel/platform/ui/SymbolImages.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace tindrel::platform {
namespace {

// Every pixel the symbol covers carries the tint's colour; returns the covered pixel count.
int coveredPixelsInTint(const QImage& image, const QColor& tint) {
    int covered = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() < 128)
                continue;
            ++covered;
            EXPECT_NEAR(c.red(), tint.red(), 2);
            EXPECT_NEAR(c.green(), tint.green(), 2);
            EXPECT_NEAR(c.blue(), tint.blue(), 2);
        }
    }
    return covered;
}

TEST(SymbolImages, EveryCatalogueSymbolDrawsInTheTintAtAnyPixelRatio) {
    const QStringList names = SymbolImages::names();
    for (const char* needed : {"arrow.right.to.line", "chevron.left", "chevron.right"})
        EXPECT_TRUE(names.contains(QString::fromLatin1(needed))) << needed;
    const QColor tint(255, 159, 10);
    for (const QString& name : names) {
        for (const qreal ratio : {1.0, 2.0}) {
            SCOPED_TRACE(name.toStdString() + " @" + std::to_string(ratio));
            const QPixmap pixmap = SymbolImages::pixmap(name, QSize(24, 24), tint, ratio);
            ASSERT_FALSE(pixmap.isNull());
            EXPECT_EQ(pixmap.deviceIndependentSize(), QSizeF(24, 24));
            const QImage image = pixmap.toImage();
            const int covered = coveredPixelsInTint(image, tint);
            // Visible but not a filled square: the SVG itself was drawn.
            EXPECT_GT(covered, image.width() * image.height() / 50);
            EXPECT_LT(covered, image.width() * image.height() * 9 / 10);
        }
    }
}

TEST(SymbolImages, UnknownNamesAndEmptySizesGiveNothing) {
    EXPECT_FALSE(SymbolImages::contains(QStringLiteral("no.such.symbol")));
    EXPECT_FALSE(SymbolImages::contains(QString()));
    EXPECT_TRUE(
        SymbolImages::pixmap(QStringLiteral("no.such.symbol"), QSize(16, 16), Qt::white).isNull());
    EXPECT_TRUE(
        SymbolImages::pixmap(QStringLiteral("chevron.left"), QSize(0, 16), Qt::white).isNull());

    QImage canvas(20, 20, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    SymbolImages::draw(painter, QRectF(0, 0, 20, 20), QStringLiteral("no.such.symbol"), Qt::red);
    painter.end();
    EXPECT_EQ(coveredPixelsInTint(canvas, Qt::red), 0);
}

TEST(SymbolImages, DrawPlacesTheSymbolInsideTheTarget) {
    QImage canvas(40, 20, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    SymbolImages::draw(painter, QRectF(20, 0, 20, 20), QStringLiteral("chevron.right"),
                       QColor(100, 210, 255));
    painter.end();
    EXPECT_EQ(coveredPixelsInTint(canvas.copy(0, 0, 20, 20), QColor(100, 210, 255)), 0);
    EXPECT_GT(coveredPixelsInTint(canvas.copy(20, 0, 20, 20), QColor(100, 210, 255)), 10);
}

} // namespace
} // namespace tindrel::platform
