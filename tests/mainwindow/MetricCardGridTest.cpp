#include "Tindrel/mainwindow/MetricCardGrid.h"
#include "Tindrel/mainwindow/ElidedLabel.h"
#include "Tindrel/mainwindow/MetricCard.h"
#include "Tindrel/platform/ui/SystemColors.h"
#include "tests/store_support/StoreTestRig.h"
#include "tests/support/ScopedLocale.h"

#include <gtest/gtest.h>

using namespace tindrel;
using platform::SystemColors;

namespace {

AudioFileSpec measuredSpec(float truePeak) {
    AudioFileSpec spec;
    spec.url = "/music/take.wav";
    spec.fileName = "take.wav";
    spec.formatName = "WAV";
    spec.sampleRate = 44100;
    spec.channels = 2;
    spec.bitDepth = 16;
    spec.fileSizeBytes = 5 * 1048576 + 524288;
    spec.duration = 30;
    spec.lufsIntegrated = -14.04f;
    spec.lufsShortTermMax = -9.96f;
    spec.truePeakDBTP = truePeak;
    spec.rmsDB = -17.25f;
    spec.crestDB = 13.5f;
    return spec;
}

} // namespace

TEST(MetricCardGrid, ShowsTheRecordsFiguresUnderAnyLocale) {
    test::ScopedCommaDecimalLocale comma;
    test::StoreTestRig rig;
    MetricCardGrid grid(rig.store());
    grid.resize(821, 94);
    rig.store().spec = measuredSpec(-1.0f);

    const std::pair<const char*, const char*> expected[] = {
        {"INTEGRATED LOUDNESS", "-14.0 LUFS"},
        {"SHORT-TERM MAX", "-10.0 LUFS"},
        {"TRUE PEAK", "-1.0 dBTP"},
        {"RMS & CREST", "-17.2 dB \u00b7 13.5 dB"},
        {"SAMPLE RATE & DEPTH", "44.1 kHz \u00b7 16-bit"},
        {"CHANNELS", "Stereo (2 ch)"},
        {"FORMAT", "WAV"},
        {"FILE SIZE", "5.50 MB"},
    };
    for (int i = 0; i < MetricCardGrid::cardCount; ++i) {
        EXPECT_EQ(grid.card(i).caption().text(), QString::fromUtf8(expected[i].first));
        EXPECT_EQ(grid.card(i).value().text(), QString::fromUtf8(expected[i].second));
        EXPECT_EQ(grid.card(i).height(), 44);
    }
    EXPECT_EQ(grid.card(0).accent(), SystemColors::green());
    EXPECT_EQ(grid.card(7).accent(), SystemColors::secondaryLabel());
}

TEST(MetricCardGrid, TruePeakTurnsRedOnlyAboveMinusPointTwo) {
    test::StoreTestRig rig;
    MetricCardGrid grid(rig.store());
    const std::pair<float, QColor> cases[] = {
        {-0.1f, SystemColors::red()},
        {0.3f, SystemColors::red()},
        {-0.2f, SystemColors::cyan()},
        {-3.0f, SystemColors::cyan()},
    };
    for (const auto& [peak, colour] : cases) {
        rig.store().spec = measuredSpec(peak);
        EXPECT_EQ(grid.card(2).accent(), colour) << peak;
        EXPECT_EQ(grid.card(2).caption().color().rgb(), colour.rgb()) << peak;
    }
}
