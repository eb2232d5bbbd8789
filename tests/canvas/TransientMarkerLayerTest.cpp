#include "Tindrel/canvas/TransientMarkerLayer.h"
#include "tests/canvas/LargestPixelDifference.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace tindrel {
namespace {

QImage render(const std::vector<double>& transients, const TransientMarkerFrame& frame,
              TransientMarkerLayer* cache) {
    QImage image(int(frame.width), int(frame.height), QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(20, 20, 20));
    QPainter painter(&image);
    if (cache)
        cache->paint(painter, transients, frame, 1.0);
    else
        TransientMarkerLayer::paintDirectly(painter, transients, frame);
    return image;
}

bool columnHasInk(const QImage& image, int x) {
    for (int y = 0; y < image.height(); ++y)
        if (image.pixelColor(x, y) != QColor(20, 20, 20))
            return true;
    return false;
}

TEST(TransientMarkerLayer, MarkersInsideTheWindowIncludingBothEnds) {
    // Window 10 s .. 20 s over 500 px: 50 px a second.
    const TransientMarkerFrame frame{10, 20, 10, 500, 120, 0.3};
    const std::vector<double> transients = {9.999, 10.0, 15.0, 20.0, 20.001};
    TransientMarkerLayer layer;
    const QImage cached = render(transients, frame, &layer);
    const QImage direct = render(transients, frame, nullptr);
    // Cached and direct differ only by the rounding of blending through a transparent image.
    EXPECT_LE(test::largestPixelDifference(cached, direct), 2);
    EXPECT_TRUE(columnHasInk(direct, 0)) << "at t0";
    EXPECT_TRUE(columnHasInk(direct, 250));
    EXPECT_TRUE(columnHasInk(direct, 499)) << "at t1";
    EXPECT_FALSE(columnHasInk(direct, 120));
    // A hair outside the window draws nothing at all.
    EXPECT_EQ(render({9.999, 20.001}, frame, nullptr), render({}, frame, nullptr));
    // Dashed: 3 on, 3 off from the top, below the triangle.
    EXPECT_NE(direct.pixelColor(250, 7), QColor(20, 20, 20));
    EXPECT_EQ(direct.pixelColor(250, 10), QColor(20, 20, 20));
}

TEST(TransientMarkerLayer, RebuildsOnlyWhenTheMarkersChange) {
    const std::vector<double> transients = {1.0, 2.0, 3.0};
    TransientMarkerLayer layer;
    TransientMarkerFrame frame{0, 10, 10, 600, 165, 0.3};
    render(transients, frame, &layer);
    render(transients, frame, &layer);
    EXPECT_EQ(layer.rebuildCount(), 1);
    frame.lineOpacity = 0.5; // zoomed past 1.8
    const QImage brighter = render(transients, frame, &layer);
    EXPECT_EQ(layer.rebuildCount(), 2);
    EXPECT_LE(test::largestPixelDifference(brighter, render(transients, frame, nullptr)), 2);
    frame.t0 = 1;
    frame.T = 9;
    render(transients, frame, &layer);
    EXPECT_EQ(layer.rebuildCount(), 3);
    render({1.0, 2.0}, frame, &layer);
    EXPECT_EQ(layer.rebuildCount(), 4);
}

} // namespace
} // namespace tindrel
