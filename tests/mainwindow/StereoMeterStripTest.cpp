#include "Tindrel/mainwindow/StereoMeterStrip.h"
#include "Tindrel/mainwindow/MeterChannelBar.h"
#include "tests/store_support/StoreTestRig.h"

#include <QImage>

#include <gtest/gtest.h>

#include <limits>

using namespace tindrel;

namespace {

// Whether the bar shows level colour (not the dark track) at this fraction of its width.
bool litAt(QWidget& bar, double fraction) {
    const QImage image = bar.grab().toImage();
    const QColor pixel = image.pixelColor(int(fraction * (image.width() - 1)), image.height() / 2);
    return pixel.hsvSaturation() > 80; // the track is a grey, the level is coloured
}

} // namespace

TEST(StereoMeterStrip, BarsAndReadoutsFollowTheStoreLevels) {
    test::StoreTestRig rig;
    StereoMeterStrip strip(rig.store());
    strip.resize(700, 30);
    strip.show();

    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        float db;
        float fraction;
        const char* readout;
    } cases[] = {
        {-60, 0, "-60.0 dB"}, {-72, 0, "-60.0 dB"}, {-30, 0.5f, "-30.0 dB"}, {-6, 0.9f, " -6.0 dB"},
        {0, 1, "  0.0 dB"},   {nan, 0, "-60.0 dB"}, {inf, 0, "-60.0 dB"},    {-inf, 0, "-60.0 dB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.db);
        rig.store().meterLeftDB = c.db;
        rig.store().meterRightDB = -60.0f;
        EXPECT_FLOAT_EQ(strip.left().fraction(), c.fraction);
        EXPECT_EQ(strip.left().readout(), QString::fromLatin1(c.readout));
        EXPECT_EQ(strip.right().readout(), QStringLiteral("-60.0 dB"));
    }

    // What is drawn: half the bar at -30 dB, nothing at the floor, all of it at 0 dB.
    rig.store().meterLeftDB = -30.0f;
    EXPECT_TRUE(litAt(strip.left().bar(), 0.25));
    EXPECT_FALSE(litAt(strip.left().bar(), 0.75));
    EXPECT_FALSE(litAt(strip.right().bar(), 0.02));
    rig.store().meterRightDB = 0.0f;
    EXPECT_TRUE(litAt(strip.right().bar(), 0.98));
}

TEST(StereoMeterStrip, WhilePlayingLevelsAreDrawnWithTheTick) {
    test::StoreTestRig rig;
    StereoMeterStrip strip(rig.store());
    strip.show();
    rig.loadTone("tone.wav", 2.0, true);
    rig.store().meterLeftDB = -30.0f;
    EXPECT_EQ(strip.left().readout(), QStringLiteral("-60.0 dB")) << "not before the tick";
    rig.play(0.04);
    EXPECT_NE(strip.left().readout(), QStringLiteral("-60.0 dB"));
}
