// The mini player on a real store with generated files: what it shows and what each control
// does to the store.

#include "Tindrel/shell/TindrelMiniPopoverView.h"

#include "Tindrel/canvas/WaveformScrubberCanvas.h"
#include "Tindrel/canvas/WaveformToolbar.h"
#include "Tindrel/mainwindow/ChipButton.h"
#include "Tindrel/mainwindow/ElidedLabel.h"
#include "Tindrel/platform/ui/SystemColors.h"
#include "tests/store_support/StoreTestRig.h"

#include <gtest/gtest.h>

using namespace tindrel;
using tindrel::platform::SystemColors;
using tindrel::test::StoreTestRig;

namespace {

class MiniPopoverTest : public testing::Test {
protected:
    MiniPopoverTest() { view.show(); }

    QString badge(size_t i) const { return view.badge(i).title(); }

    StoreTestRig rig;
    TindrelStore& store = rig.store();
    TindrelMiniPopoverView view{store};
};

TEST_F(MiniPopoverTest, ShowsTheFileItsTimeAndItsMeasurements) {
    EXPECT_EQ(view.size(), QSize(410, 255));
    EXPECT_EQ(view.fileName().text(), "Tindrel");
    EXPECT_EQ(view.timeText().text(), "0:00.0 / 0:00.0");
    EXPECT_FALSE(view.badgeRow().isVisible());
    EXPECT_EQ(view.canvas().height(), 82);
    EXPECT_FALSE(view.canvas().toolbar()->isVisible());

    rig.loadTone("tone.wav", 2.0, false);
    EXPECT_EQ(view.fileName().text(), "tone.wav");
    EXPECT_EQ(view.timeText().text(), "0:00.0 / 0:02.0");
    EXPECT_TRUE(view.badgeRow().isVisible());
    EXPECT_EQ(badge(0), "-14.0 LUFS-I"); // the placeholder until the measurement lands
    EXPECT_EQ(badge(1), "TP -0.5 dBTP");
    EXPECT_EQ(badge(2), "44.1 kHz");
    EXPECT_EQ(badge(3), "16-bit");
    rig.analysis().runAll();
    EXPECT_NE(badge(0), "-14.0 LUFS-I");

    struct Case {
        float truePeak;
        QString text;
        QColor colour;
    } cases[] = {
        {-0.2f, "TP -0.2 dBTP", SystemColors::mint()},
        {-0.1f, "TP -0.1 dBTP", SystemColors::red()},
    };
    for (const Case& c : cases) {
        AudioFileSpec spec = *store.spec.get();
        spec.truePeakDBTP = c.truePeak;
        store.spec = spec;
        EXPECT_EQ(badge(1), c.text);
        EXPECT_EQ(view.badge(1).look().foreground, c.colour) << c.truePeak;
    }
}

TEST_F(MiniPopoverTest, TransportRowActsOnTheStore) {
    const auto a = rig.writeTone("a.wav", 1.0);
    const auto b = rig.writeTone("b.wav", 1.0);
    store.loadAndPlay(a, false);

    view.playButton().click();
    EXPECT_TRUE(store.isPlaying.get());
    EXPECT_EQ(view.playButton().title(), "Pause");
    view.playButton().click();
    EXPECT_FALSE(store.isPlaying.get());
    EXPECT_EQ(view.playButton().title(), "Play");

    view.nextButton().click();
    EXPECT_EQ(store.currentURL.get(), b);
    view.nextButton().click(); // wraps around
    EXPECT_EQ(store.currentURL.get(), a);
    view.previousButton().click();
    EXPECT_EQ(store.currentURL.get(), b);

    const QString status = store.statusBanner.get();
    view.loopButton().click();
    EXPECT_TRUE(store.isLoopEnabled.get());
    EXPECT_EQ(view.loopButton().look().fill, SystemColors::orange());
    EXPECT_EQ(store.statusBanner.get(), status);
    view.loopButton().click();
    EXPECT_EQ(view.loopButton().look().fill, SystemColors::gray());

    EXPECT_EQ(view.pitchReadout().text(), "+0.0 st");
    EXPECT_EQ(view.pitchReadout().color(), SystemColors::secondaryLabel());
    view.pitchDownButton().click();
    EXPECT_EQ(store.pitchSemitones.get(), -1.0f);
    EXPECT_EQ(view.pitchReadout().text(), "-1.0 st");
    EXPECT_EQ(view.pitchReadout().color(), SystemColors::orange());
    store.setPitchSemitones(-24);
    view.pitchDownButton().click();
    EXPECT_EQ(view.pitchReadout().text(), "-24.0 st");
    view.pitchUpButton().click();
    EXPECT_EQ(store.pitchSemitones.get(), -23.0f);
}

TEST_F(MiniPopoverTest, LastRowCopiesOpensTheWindowAndExits) {
    EXPECT_FALSE(view.copyFileButton().isEnabled());
    int windowRequests = 0;
    view.openWindowButton().click(); // no callback yet: nothing happens
    store.onOpenMainWindowRequested = [&] { ++windowRequests; };
    view.openWindowButton().click();
    EXPECT_EQ(windowRequests, 1);

    const auto file = rig.loadTone();
    ASSERT_TRUE(view.copyFileButton().isEnabled());
    view.copyFileButton().click();
    EXPECT_EQ(rig.clipboard().copies, (std::vector<std::vector<std::filesystem::path>>{{file}}));
    EXPECT_EQ(store.statusBanner.get(), "Copied tone.wav to clipboard");

    ASSERT_TRUE(store.isPlaying.get());
    view.exitButton().click();
    EXPECT_FALSE(store.isPlaying.get());
    EXPECT_FALSE(rig.ticker().isRunning());
}

} // namespace
