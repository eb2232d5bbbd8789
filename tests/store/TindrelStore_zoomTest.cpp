#include "tests/store/StoreFixtures.h"
#include "tests/store_support/StoreTestRig.h"

#include <gtest/gtest.h>

namespace tindrel {

namespace {

class StoreZoom : public ::testing::Test {
protected:
    test::StoreTestRig rig;
    TindrelStore& store = rig.store();

    void loadWithTransients(std::vector<double> transients) {
        store.loadAndPlay(test::writeToneFile(rig.root() / "z/tone.wav", 5.0), false);
        AudioFileSpec spec = **store.spec;
        spec.transientTimes = std::move(transients);
        store.spec = spec;
    }
};

} // namespace

TEST_F(StoreZoom, ZoomStepsCapAndSnap) {
    // No file: zooming centres on the middle.
    const double in[] = {1.5,       2.25,       3.375,       5.0625, 7.59375,
                         11.390625, 17.0859375, 25.62890625, 32,     32};
    for (double expected : in) {
        store.zoomInWaveform();
        EXPECT_DOUBLE_EQ(store.waveformZoom.get(), expected);
        EXPECT_DOUBLE_EQ(store.waveformCenterFrac.get(), 0.5);
    }
    EXPECT_EQ(store.statusBanner.get(),
              "Waveform Zoom In: 32.0x (T = Zoom In · R = Zoom Out · Tab/⇧Tab = Transient)");
    const double out[] = {21.33, 14.22, 9.48, 6.32, 4.21, 2.81, 1.87, 1.25, 1.0};
    for (double expected : out) {
        store.zoomOutWaveform();
        EXPECT_NEAR(store.waveformZoom.get(), expected, 0.01);
    }
    EXPECT_EQ(store.waveformZoom.get(), 1.0);
    EXPECT_EQ(store.statusBanner.get(), "Waveform Zoom Out: 1.0x (T = Zoom In · R = Zoom Out)");
    store.waveformZoom = 1.55;
    store.zoomOutWaveform();
    EXPECT_EQ(store.waveformZoom.get(), 1.0);
    EXPECT_EQ(store.waveformCenterFrac.get(), 0.5);
}

TEST_F(StoreZoom, WindowFollowsThePlayhead) {
    loadWithTransients({});
    store.zoomInWaveform(); // playhead at 0: centre at half the span
    EXPECT_DOUBLE_EQ(store.waveformCenterFrac.get(), 1.0 / 3.0);
    EXPECT_DOUBLE_EQ(store.visibleStartFrac(), 0.0);
    EXPECT_NEAR(store.visibleEndSec(), 5.0 / 1.5, 1e-12);
    store.seek(5.0, false);
    store.zoomInWaveform();
    EXPECT_NEAR(store.waveformCenterFrac.get(), 1.0 - 1.0 / 4.5, 1e-12);

    store.resetWaveformZoom();
    store.panWaveform(0.3); // nothing to pan at zoom 1
    EXPECT_EQ(store.waveformCenterFrac.get(), 0.5);
    store.waveformZoom = 2.0;
    store.waveformCenterFrac = 0.25; // window [0, 0.5], margin 0.06
    store.seek(2.15, false);         // 0.43: still inside
    store.ensurePlayheadVisibleInZoomWindow();
    EXPECT_EQ(store.waveformCenterFrac.get(), 0.25);
    store.seek(2.25, false); // 0.45: within the margin
    store.ensurePlayheadVisibleInZoomWindow();
    EXPECT_DOUBLE_EQ(store.waveformCenterFrac.get(), 0.45);
    store.panWaveform(1.0);
    EXPECT_DOUBLE_EQ(store.waveformCenterFrac.get(), 0.75);
    // A load resets the window.
    store.loadAndPlay(store.currentURL->value(), false);
    EXPECT_EQ(store.waveformZoom.get(), 1.0);
    EXPECT_EQ(store.waveformCenterFrac.get(), 0.5);
}

TEST_F(StoreZoom, TransientSteps) {
    loadWithTransients({1.0, 2.0, 3.0});
    struct Step {
        double from;
        bool next;
        double to;
        const char* status;
    };
    const Step steps[] = {
        {1.0, true, 2.0, "⇥ Tab to Transient 2/3 at 0:02.0"},
        {1.01, true, 2.0, "⇥ Tab to Transient 2/3 at 0:02.0"},
        {3.0, true, 4.98, "⇥ Reached end of transients (3 total)"},
        {1.0, false, 0.0, "⇤ Start of track (0:00.0)"},
        {2.5, false, 2.0, "⇤ Shift+Tab to Transient 2/3 at 0:02.0"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.status);
        store.seek(step.from, false);
        step.next ? store.jumpToNextTransient() : store.jumpToPreviousTransient();
        EXPECT_NEAR(store.currentTime.get(), step.to, 1e-9);
        EXPECT_EQ(store.statusBanner.get(), step.status);
        EXPECT_FALSE(store.hasActiveRange());
    }

    store.seek(1.0, false);
    store.jumpToNextTransient(true);
    EXPECT_EQ(store.loopIn->value(), 1.0);
    EXPECT_EQ(store.loopOut->value(), 2.0);
    EXPECT_TRUE(store.isLoopEnabled.get());
    store.loopIn = 2.5;
    store.seek(1.0, false);
    store.jumpToNextTransient(true);
    EXPECT_DOUBLE_EQ(store.loopOut->value(), 2.52);

    store.clearABLoop();
    store.seek(3.0, false);
    store.jumpToPreviousTransient(true);
    EXPECT_EQ(store.loopOut->value(), 3.0);
    EXPECT_EQ(store.loopIn->value(), 2.0);
    EXPECT_EQ(store.currentTime.get(), 2.0);
}

TEST_F(StoreZoom, WithoutTransientsStepsNudge) {
    loadWithTransients({});
    store.seek(1.0, false);
    store.jumpToNextTransient();
    EXPECT_DOUBLE_EQ(store.currentTime.get(), 1.25);
    store.seek(0.1, false);
    store.jumpToPreviousTransient();
    EXPECT_DOUBLE_EQ(store.currentTime.get(), 0.0);
}

} // namespace tindrel
