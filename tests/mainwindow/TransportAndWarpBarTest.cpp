#include "Tindrel/mainwindow/TransportAndWarpBar.h"
#include "Tindrel/mainwindow/PillButton.h"
#include "Tindrel/platform/ui/SystemColors.h"
#include "tests/store_support/StoreTestRig.h"

#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

using namespace tindrel;
using platform::SystemColors;

namespace {

class TransportBar : public testing::Test {
protected:
    TransportBar() : bar(rig.store()) {
        bar.resize(1200, 80);
        bar.show();
    }

    void click(QAbstractButton& button) { QTest::mouseClick(&button, Qt::LeftButton); }

    test::StoreTestRig rig;
    TransportAndWarpBar bar;
};

} // namespace

TEST_F(TransportBar, PlayAndStepPillsDriveTheStore) {
    const auto first = rig.writeTone("a.wav");
    const auto second = rig.writeTone("b.wav");
    rig.store().loadAndPlay(first, false);
    EXPECT_EQ(bar.playButton().title(), QStringLiteral("Play (Space)"));
    EXPECT_EQ(bar.playButton().symbol(), QStringLiteral("play.fill"));

    click(bar.playButton());
    EXPECT_TRUE(rig.store().isPlaying.get());
    EXPECT_EQ(bar.playButton().title(), QStringLiteral("Pause (Space)"));
    EXPECT_EQ(bar.playButton().symbol(), QStringLiteral("pause.fill"));

    click(bar.nextButton());
    EXPECT_EQ(rig.store().currentURL.get(), second);
    click(bar.nextButton()); // wraps to the first
    EXPECT_EQ(rig.store().currentURL.get(), first);
    click(bar.previousButton());
    EXPECT_EQ(rig.store().currentURL.get(), second);
}

TEST_F(TransportBar, RangePillsSetShowAndClearTheRange) {
    rig.loadTone("long.wav", 20.0);
    TindrelStore& store = rig.store();
    EXPECT_EQ(bar.inButton().title(), QStringLiteral("[ Set In (I)"));
    EXPECT_EQ(bar.outButton().title(), QStringLiteral("Set Out (O) ]"));
    EXPECT_EQ(bar.playRangeButton().title(), QStringLiteral("Play Range"));
    EXPECT_TRUE(bar.clearButton().isHidden());
    EXPECT_EQ(bar.loopSwitch().title(), QStringLiteral("Loop"));

    store.seek(2.5, false);
    click(bar.inButton());
    EXPECT_EQ(store.loopIn.get(), std::optional(2.5));
    EXPECT_EQ(bar.inButton().title(), QStringLiteral("[ In 0:02.5"));
    EXPECT_EQ(bar.inButton().tint(), std::optional(SystemColors::orange()));
    EXPECT_EQ(bar.outButton().tint(), std::nullopt); // only the edge that is set turns orange
    EXPECT_FALSE(bar.clearButton().isHidden());
    EXPECT_EQ(bar.loopSwitch().title(), QStringLiteral("Loop ON"));
    EXPECT_EQ(bar.playRangeButton().title(), QStringLiteral("17.5s")); // In to the end at 1x

    store.seek(12.5, false);
    click(bar.outButton());
    EXPECT_EQ(bar.outButton().title(), QStringLiteral("Out 0:12.5 ]"));
    store.setPlaybackRate(2.0f);
    EXPECT_EQ(bar.playRangeButton().title(), QStringLiteral("5.0s"));
    store.setPlaybackRate(0.5f);
    EXPECT_EQ(bar.playRangeButton().title(), QStringLiteral("20.0s"));

    click(bar.clearButton());
    EXPECT_FALSE(store.hasActiveRange());
    EXPECT_FALSE(store.isLoopEnabled.get());
    EXPECT_EQ(bar.inButton().title(), QStringLiteral("[ Set In (I)"));
    EXPECT_EQ(bar.playRangeButton().title(), QStringLiteral("Play Range"));
    EXPECT_TRUE(bar.clearButton().isHidden());

    // The loop switch flips the store's flag alone: no status text, no range.
    const QString status = store.statusBanner.get();
    click(bar.loopSwitch());
    EXPECT_TRUE(store.isLoopEnabled.get());
    EXPECT_EQ(bar.loopSwitch().title(), QStringLiteral("Loop ON"));
    EXPECT_EQ(bar.loopSwitch().look().fill, SystemColors::orange());
    EXPECT_EQ(store.statusBanner.get(), status);

    click(bar.playRangeButton());
    EXPECT_TRUE(store.hasActiveRange());
    EXPECT_TRUE(store.isPlaying.get());
    EXPECT_EQ(bar.playButton().title(), QStringLiteral("Pause (Space)"));
}

TEST_F(TransportBar, ExactlyOneModeButtonIsSelected) {
    rig.loadTone();
    auto selected = [this] {
        int count = 0;
        for (WarpMode mode : allWarpModes)
            count += bar.modeButton(mode).look().fill == SystemColors::cyan(0.24);
        return count;
    };
    EXPECT_EQ(selected(), 1);
    EXPECT_EQ(bar.modeButton(WarpMode::musical).look().foreground, SystemColors::cyan());
    for (WarpMode mode : {WarpMode::tape, WarpMode::beats, WarpMode::beats, WarpMode::musical}) {
        click(bar.modeButton(mode));
        EXPECT_EQ(rig.store().warpMode.get(), mode);
        EXPECT_EQ(selected(), 1);
        EXPECT_EQ(bar.modeButton(mode).look().fill, SystemColors::cyan(0.24));
        EXPECT_EQ(bar.modeButton(mode).toolTip(), helpDescription(mode));
    }
}

TEST_F(TransportBar, ScopeMenuChoosesWhereTheWarpApplies) {
    rig.loadTone("long.wav", 20.0);
    EXPECT_EQ(bar.scopeButton().title(), QStringLiteral("Scope: Track"));
    QAction* rangeOnly = nullptr;
    for (QAction* item : bar.scopeMenu().actions())
        if (item->text() == QStringLiteral("Range Only [ In .. Out ]"))
            rangeOnly = item;
    ASSERT_NE(rangeOnly, nullptr);
    rangeOnly->trigger();
    EXPECT_EQ(rig.store().warpScope.get(), WarpScope::rangeOnly);
    EXPECT_EQ(bar.scopeButton().title(), QStringLiteral("Scope: Range"));
    // The store made a default range, which the pills now show.
    EXPECT_EQ(bar.inButton().tint(), std::optional(SystemColors::orange()));
    EXPECT_FALSE(bar.clearButton().isHidden());

    // A pull-down chevron at the trailing edge, in the label's colour, the title clear of it.
    QImage chip(bar.scopeButton().size(), QImage::Format_RGB32);
    chip.fill(Qt::black);
    bar.scopeButton().render(&chip, QPoint(), QRegion(), QWidget::DrawChildren);
    const int ground = qGray(chip.pixel(3, chip.height() / 2));
    const auto brightColumns = [&](int from, int to) {
        int columns = 0;
        for (int x = from; x < to; ++x)
            for (int y = 0; y < chip.height(); ++y)
                if (std::abs(qGray(chip.pixel(x, y)) - ground) > 40) {
                    ++columns;
                    break;
                }
        return columns;
    };
    const int width = chip.width();
    EXPECT_GE(brightColumns(width - 15, width - 5), 5);
    EXPECT_EQ(brightColumns(width - 20, width - 15), 0);
}
