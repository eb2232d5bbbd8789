#include "Tindrel/mainwindow/PitchAndSpeedCards.h"
#include "Tindrel/mainwindow/ChipButton.h"
#include "Tindrel/mainwindow/WarpValueCard.h"
#include "Tindrel/platform/ui/ApplicationLook.h"
#include "Tindrel/platform/ui/SystemColors.h"
#include "tests/store_support/StoreTestRig.h"

#include <QLineEdit>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace tindrel;
using platform::SystemColors;

namespace {

class Cards : public testing::Test {
protected:
    Cards() : cards(rig.store()) {
        cards.resize(900, 62);
        cards.show();
        cards.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&cards));
        rig.loadTone("tone.wav", 4.0, false);
    }

    TindrelStore& store() { return rig.store(); }
    void click(ChipButton& chip) { QTest::mouseClick(&chip, Qt::LeftButton); }
    // Clicks into the field, replaces its text by typing and presses Return.
    void type(WarpValueCard& card, const QString& text) {
        QLineEdit& field = card.field();
        QTest::mouseClick(&field, Qt::LeftButton);
        field.selectAll();
        QTest::keyClicks(&field, text);
        EXPECT_TRUE(field.hasFocus());
        QTest::keyClick(&field, Qt::Key_Return);
    }
    bool zeroChipHighlighted() const {
        return cards.pitchChip(2).look().foreground == SystemColors::orange();
    }
    int selectedSpeedChips() const {
        int count = 0;
        for (size_t i = 0; i < PitchAndSpeedCards::speedPresets.size(); ++i)
            count += cards.speedChip(i).look().fill == SystemColors::mint();
        return count;
    }

    test::StoreTestRig rig;
    PitchAndSpeedCards cards;
};

} // namespace

TEST_F(Cards, PitchChipsSetOctavesAndZeroOutrightAndNudgeBySemitones) {
    struct Case {
        float start;
        size_t chip; // index into pitchPresets: -12, -1, 0, +1, +12
        float expected;
    } cases[] = {{5, 0, -12}, {5, 1, 4}, {5, 3, 6}, {23.5f, 3, 24}, {-7, 4, 12}, {5, 2, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.start << " then chip " << c.chip);
        store().setPitchSemitones(c.start);
        click(cards.pitchChip(c.chip));
        EXPECT_FLOAT_EQ(store().pitchSemitones.get(), c.expected);
    }
    EXPECT_EQ(cards.pitchChip(0).title(), QStringLiteral("-12"));
    EXPECT_EQ(cards.pitchChip(2).title(), QStringLiteral("0 st"));
    EXPECT_EQ(cards.pitchChip(3).title(), QStringLiteral("+1"));
}

TEST_F(Cards, OnlyTheZeroChipLightsUpAndOnlyWhileThePitchIsShifted) {
    EXPECT_FALSE(zeroChipHighlighted());
    click(cards.pitchChip(3));
    EXPECT_TRUE(zeroChipHighlighted());
    // The +1 chip stays neutral although the pitch now equals its value.
    EXPECT_EQ(cards.pitchChip(3).look().foreground, SystemColors::primaryLabel());
    click(cards.pitchChip(2));
    EXPECT_FLOAT_EQ(store().pitchSemitones.get(), 0);
    EXPECT_FALSE(zeroChipHighlighted());
}

TEST_F(Cards, TypedValuesTakeUnitsClampAndHandTheKeysBack) {
    struct Case {
        bool pitch;
        QString typed;
        float expected;
        QString shown;
    } cases[] = {
        {true, "+3", 3, "+3"},         {true, "2.5 st", 2.5f, "+2.50"}, {true, "30", 24, "+24"},
        {true, "abc", 24, "+24.0"},    {false, "1.5x", 1.5f, "1.50"},   {false, "5", 4, "4.00"},
        {false, "0.1", 0.25f, "0.25"}, {false, "fast", 0.25f, "0.25"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        WarpValueCard& card = c.pitch ? cards.pitchCard() : cards.speedCard();
        type(card, c.typed);
        EXPECT_FLOAT_EQ(c.pitch ? store().pitchSemitones.get() : store().playbackRate.get(),
                        c.expected);
        EXPECT_EQ(card.field().text(), c.shown);
        EXPECT_FALSE(card.field().hasFocus());
    }
}

TEST_F(Cards, ASpeedChipIsSelectedWithinOneHundredthOfItsRate) {
    struct Case {
        float rate;
        int selectedChip; // index into speedPresets, -1 for none
    } cases[] = {{1.005f, 2}, {1.02f, -1}, {0.75f, 1}, {4.0f, -1}, {2.0f, 5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        store().setPlaybackRate(c.rate);
        EXPECT_EQ(selectedSpeedChips(), c.selectedChip < 0 ? 0 : 1);
        if (c.selectedChip >= 0) {
            EXPECT_EQ(cards.speedChip(size_t(c.selectedChip)).look().foreground,
                      SystemColors::black());
        }
    }
    click(cards.speedChip(4));
    EXPECT_FLOAT_EQ(store().playbackRate.get(), 1.5f);
    EXPECT_EQ(cards.speedChip(4).title(), QStringLiteral("1.5x"));
}

TEST_F(Cards, SlidersRoundTheirValueAndFollowTheStoreWithoutWritingBack) {
    cards.pitchCard().slider().setValue(734); // 7.34 st
    EXPECT_FLOAT_EQ(store().pitchSemitones.get(), 7.3f);
    cards.speedCard().slider().setValue(1234); // 1.234x
    EXPECT_FLOAT_EQ(store().playbackRate.get(), 1.23f);

    // Beyond the spans the thumbs sit at the ends and the store keeps its values.
    type(cards.pitchCard(), "18");
    type(cards.speedCard(), "3.5");
    const QString banner = store().statusBanner.get();
    EXPECT_EQ(cards.pitchCard().slider().value(), cards.pitchCard().slider().maximum());
    EXPECT_EQ(cards.speedCard().slider().value(), cards.speedCard().slider().maximum());
    EXPECT_FLOAT_EQ(store().pitchSemitones.get(), 18);
    EXPECT_FLOAT_EQ(store().playbackRate.get(), 3.5f);
    EXPECT_EQ(store().statusBanner.get(), banner);

    cards.pitchCard().slider().setValue(-1149);
    EXPECT_FLOAT_EQ(store().pitchSemitones.get(), -11.5f);
}

TEST_F(Cards, AClickOnATrackPutsTheThumbThereThroughTheDragsRounding) {
    platform::ApplicationLook::apply();
    struct Case {
        const char* card;
        double fraction; // of the track's width
        float expected;
        float tolerance; // the thumb's half width
        float step;      // the rounding
    } cases[] = {
        {"pitch", 0.75, 6, 0.5f, 0.1f},
        {"pitch", 0.1, -9.6f, 0.5f, 0.1f},
        {"speed", 0.9, 2.275f, 0.05f, 0.01f},
        {"speed", 0.2, 0.7f, 0.05f, 0.01f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.card << " at " << c.fraction);
        const bool pitch = c.card == std::string("pitch");
        QSlider& slider = (pitch ? cards.pitchCard() : cards.speedCard()).slider();
        QTest::mouseClick(&slider, Qt::LeftButton, {},
                          QPoint(int(slider.width() * c.fraction), slider.height() / 2));
        const float value = pitch ? store().pitchSemitones.get() : store().playbackRate.get();
        EXPECT_NEAR(value, c.expected, c.tolerance);
        EXPECT_NEAR(value / c.step, std::round(value / c.step), 1e-3);
    }
}

TEST_F(Cards, InTapeModeEachCardMovesTheOther) {
    store().setWarpMode(WarpMode::tape);
    click(cards.pitchChip(4));
    EXPECT_FLOAT_EQ(store().playbackRate.get(), 2.0f);
    EXPECT_EQ(cards.speedChip(5).look().fill, SystemColors::mint());
    EXPECT_EQ(cards.speedCard().field().text(), QStringLiteral("2.00"));
    click(cards.speedChip(0));
    EXPECT_FLOAT_EQ(store().pitchSemitones.get(), -12);
    EXPECT_EQ(cards.pitchCard().slider().value(), cards.pitchCard().slider().minimum());
}
