#include "Tindrel/canvas/WaveformBarLayer.h"
#include "tests/canvas/LargestPixelDifference.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace tindrel {
namespace {

std::vector<float> randomEnvelope(int bins, float scale, unsigned seed) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> value(0.0f, scale);
    std::vector<float> values(size_t(bins), 0.0f);
    for (float& v : values)
        v = value(generator);
    return values;
}

QImage blankCanvas(const WaveformBarLayout& layout, qreal ratio) {
    QImage image(int(std::ceil(layout.width * ratio)), int(std::ceil(layout.height * ratio)),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(QColor(20, 20, 20)); // an opaque background, as under the canvas
    return image;
}

TEST(WaveformBarLayer, CachedCompositeMatchesDrawingEveryBar) {
    const std::vector<float> peaks = randomEnvelope(2048, 1.0f, 7);
    const std::vector<float> rms = randomEnvelope(2048, 0.5f, 8);
    const WaveformEnvelope envelope{peaks, rms};
    struct Case {
        const char* name;
        double width, height, f0, f1;
        qreal ratio;
    };
    const Case cases[] = {
        {"main window", 821, 165, 0, 1, 1.0},
        {"main window, zoomed", 821, 300, 0.3, 0.3 + 1.0 / 5.0625, 1.0},
        {"mini player at pixel ratio 2", 410, 82, 0, 1, 2.0},
        {"fractional pixel ratio", 600, 120, 0.1, 0.6, 1.5},
        {"narrow, overlapping bars", 100, 60, 0, 1, 1.0},
    };
    for (const Case& c : cases) {
        const WaveformBarLayout layout =
            WaveformBarLayout::make(2048, c.f0, c.f1, c.width, c.height);
        const double playXs[] = {-5,
                                 layout.barX(0),
                                 layout.barX(37),
                                 layout.barX(37) - 0.01,
                                 layout.barX(layout.bars / 2) + layout.barW / 2,
                                 c.width * 0.999,
                                 c.width * 1.5};
        WaveformBarLayer layer;
        for (const double playX : playXs) {
            SCOPED_TRACE(std::string(c.name) + ", playX " + std::to_string(playX));
            QImage cached = blankCanvas(layout, c.ratio);
            QImage direct = blankCanvas(layout, c.ratio);
            {
                QPainter painter(&cached);
                layer.paint(painter, envelope, layout, playX, c.ratio);
            }
            {
                QPainter painter(&direct);
                WaveformBarLayer::paintBarsDirectly(painter, envelope, layout, 0, layout.bars,
                                                    layout.playedBarCount(playX));
            }
            // Blending into a transparent image first rounds differently by a unit or so per
            // layer; overlapping bars stack up to three layers.
            EXPECT_LE(test::largestPixelDifference(cached, direct), 3);
        }
        EXPECT_EQ(layer.rebuildCount(), 1) << c.name;
    }
}

TEST(WaveformBarLayer, RebuildsOnlyWhenWhatTheBarsShowChanges) {
    std::vector<float> peaks = randomEnvelope(2048, 1.0f, 1);
    const std::vector<float> rms = randomEnvelope(2048, 0.5f, 2);
    WaveformBarLayer layer;
    QImage target(900, 400, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&target);
    auto paint = [&](double f0, double f1, double width, double height, qreal ratio, double playX) {
        layer.paint(painter, {peaks, rms}, WaveformBarLayout::make(2048, f0, f1, width, height),
                    playX, ratio);
        return layer.rebuildCount();
    };
    EXPECT_EQ(paint(0, 1, 821, 165, 1, 0), 1);
    EXPECT_EQ(paint(0, 1, 821, 165, 1, 300), 1) << "playhead moved";
    EXPECT_EQ(paint(0, 1, 821, 165, 1, 821), 1) << "playhead at the end";
    EXPECT_EQ(paint(0, 1, 821, 300, 1, 0), 2) << "taller";
    EXPECT_EQ(paint(0, 1, 800, 300, 1, 0), 3) << "narrower";
    EXPECT_EQ(paint(0.25, 0.25 + 1 / 1.5, 800, 300, 1, 0), 4) << "zoomed";
    EXPECT_EQ(paint(0.25, 0.25 + 1 / 1.5, 800, 300, 2, 0), 5) << "pixel ratio";
    peaks[1000] = 0.0f; // a new record of the same size
    EXPECT_EQ(paint(0.25, 0.25 + 1 / 1.5, 800, 300, 2, 0), 6) << "new envelope";
    EXPECT_EQ(paint(0.25, 0.25 + 1 / 1.5, 800, 300, 2, 10), 6);
}

} // namespace
} // namespace tindrel
