#include "Tindrel/canvas/WaveformToolbar.h"

#include "Tindrel/canvas/WaveformScrubberCanvas.h"
#include "Tindrel/canvas/WaveformToolbarChip.h"
#include "Tindrel/store/TindrelStore.h"
#include "tests/canvas/ScrubberCanvasFixture.h"

#include <QTest>

#include <gtest/gtest.h>

namespace tindrel {
namespace {

class WaveformToolbarTest : public test::ScrubberCanvasFixture {
protected:
    WaveformToolbarTest() : ScrubberCanvasFixture(821, 165) {}
    WaveformToolbar& toolbar() { return *canvas->toolbar(); }
    void click(QWidget* chip, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        ASSERT_TRUE(chip->isVisible());
        QTest::mouseClick(chip, Qt::LeftButton, modifiers, chip->rect().center());
    }
};

TEST_F(WaveformToolbarTest, ShownOnlyAboveOneHundredTenPixels) {
    struct Case {
        int height;
        bool shown;
    };
    for (const Case c : {Case{82, false}, Case{110, false}, Case{111, true}, Case{300, true}}) {
        SCOPED_TRACE(c.height);
        canvas->resize(821, c.height);
        EXPECT_EQ(toolbar().isVisible(), c.shown);
    }
}

TEST_F(WaveformToolbarTest, ZoomedControlsFollowTheStore) {
    loadTone(90);
    EXPECT_FALSE(toolbar().windowPill()->isVisible());
    EXPECT_FALSE(toolbar().panLeftButton()->isVisible());
    EXPECT_EQ(toolbar().zoomReadout()->chipStyle().text, QStringLiteral("1.0x"));

    click(toolbar().zoomInButton());
    EXPECT_DOUBLE_EQ(store().waveformZoom.get(), 1.5);
    EXPECT_TRUE(toolbar().windowPill()->isVisible());
    EXPECT_TRUE(toolbar().panLeftButton()->isVisible());
    EXPECT_TRUE(toolbar().panRightButton()->isVisible());
    EXPECT_EQ(toolbar().zoomReadout()->chipStyle().text, QStringLiteral("1.5x"));
    // Playhead at 0: the window is the first two thirds of 90 s.
    EXPECT_EQ(toolbar().windowPillText(), QStringLiteral("Window 0:00.0 – 1:00.0"));

    click(toolbar().panRightButton());
    EXPECT_NEAR(store().waveformCenterFrac.get(), 1.0 / 3 + 0.35 * (2.0 / 3), 1e-9);
    click(toolbar().panRightButton());
    EXPECT_NEAR(store().waveformCenterFrac.get(), 2.0 / 3, 1e-9) << "clamped at the end";
    EXPECT_EQ(toolbar().windowPillText(), QStringLiteral("Window 0:30.0 – 1:30.0"));
    click(toolbar().panLeftButton());
    EXPECT_NEAR(store().waveformCenterFrac.get(), 2.0 / 3 - 0.35 * (2.0 / 3), 1e-9);

    click(toolbar().zoomReadout());
    EXPECT_DOUBLE_EQ(store().waveformZoom.get(), 1.0);
    EXPECT_FALSE(toolbar().windowPill()->isVisible());
    click(toolbar().zoomInButton());
    click(toolbar().zoomOutButton());
    EXPECT_DOUBLE_EQ(store().waveformZoom.get(), 1.0);
}

TEST_F(WaveformToolbarTest, TransientControls) {
    loadTone();
    rig.setTransients({1.0, 2.0, 3.0});
    EXPECT_EQ(toolbar().markersToggle()->chipStyle().text, QStringLiteral("Transients (3)"));
    click(toolbar().markersToggle());
    EXPECT_FALSE(store().showTransientMarkers.get());
    click(toolbar().markersToggle());
    EXPECT_TRUE(store().showTransientMarkers.get());

    store().seek(1.0, false);
    click(toolbar().nextTransientButton());
    EXPECT_NEAR(store().currentTime.get(), 2.0, 1e-6);
    EXPECT_FALSE(store().hasActiveRange()) << "no Alt, no range";

    // Ctrl (or Alt) at the click extends the range as Ctrl+Tab does.
    for (const Qt::KeyboardModifier extend : {Qt::ControlModifier, Qt::AltModifier}) {
        SCOPED_TRACE(extend == Qt::ControlModifier ? "Ctrl" : "Alt");
        store().clearABLoop();
        store().seek(1.0, false);
        click(toolbar().nextTransientButton(), extend);
        ASSERT_TRUE(store().loopIn.get() && store().loopOut.get());
        EXPECT_NEAR(*store().loopIn.get(), 1.0, 1e-6);
        EXPECT_NEAR(*store().loopOut.get(), 2.0, 1e-6);
        EXPECT_TRUE(store().isLoopEnabled.get());

        store().clearABLoop();
        store().seek(3.0, false);
        click(toolbar().previousTransientButton(), extend);
        ASSERT_TRUE(store().loopIn.get() && store().loopOut.get());
        EXPECT_NEAR(*store().loopIn.get(), 2.0, 1e-6);
        EXPECT_NEAR(*store().loopOut.get(), 3.0, 1e-6);
    }
    EXPECT_EQ(toolbar().nextTransientButton()->toolTip(),
              QStringLiteral("Jump to Next Transient (Tab) · Ctrl+Tab extends range"));
}

TEST_F(WaveformToolbarTest, ClicksBesideTheControlsReachTheWaveform) {
    loadTone();
    // Left of the groups, inside the row's height: a scrub, not a control.
    QTest::mouseClick(canvas->toolbar(), Qt::LeftButton, Qt::NoModifier, QPoint(82, 12));
    EXPECT_NEAR(store().currentTime.get(), 82.0 / 821 * 10, 1e-6);
    EXPECT_TRUE(store().isPlaying.get());
}

} // namespace
} // namespace tindrel
