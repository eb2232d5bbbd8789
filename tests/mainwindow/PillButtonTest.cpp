#include "Tindrel/mainwindow/PillButton.h"
#include "Tindrel/platform/ui/SystemColors.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace tindrel;
using platform::SystemColors;

TEST(PillButton, KeepsItsHeightAndGrowsWithItsTitleButNeverBelowItsMinimum) {
    PillButton iconOnly(QStringLiteral("xmark"), {}, std::nullopt, std::nullopt,
                        QStringLiteral("Clear"));
    EXPECT_EQ(iconOnly.sizeHint().height(), 30);
    EXPECT_LT(iconOnly.sizeHint().width(), 40); // the symbol and 10 points either side

    PillButton pill({}, QStringLiteral("In"), std::nullopt, 90, QStringLiteral("help"));
    EXPECT_EQ(pill.sizeHint(), QSize(90, 30));
    pill.setTitle(QStringLiteral("[ In 0:12.5"));
    const int timeWidth = pill.sizeHint().width();
    // Other digits in the same places take the same room: a running time does not jitter.
    pill.setTitle(QStringLiteral("[ In 1:48.0"));
    EXPECT_EQ(pill.sizeHint().width(), timeWidth);
    pill.setTitle(QStringLiteral("[ In 12:48.0 and a much longer title than ninety points"));
    EXPECT_GT(pill.sizeHint().width(), 90);
    EXPECT_EQ(pill.sizeHint().height(), 30);
    EXPECT_EQ(pill.toolTip(), QStringLiteral("help"));
}

TEST(PillButton, TintColoursFillOutlineAndText) {
    PillButton pill({}, QStringLiteral("Exit"), SystemColors::red(), std::nullopt, {});
    EXPECT_EQ(pill.look().foreground, SystemColors::red());
    EXPECT_EQ(pill.look().fill, SystemColors::red(0.22));
    EXPECT_EQ(pill.look().outline, SystemColors::red(0.45));
    pill.setTint(std::nullopt);
    EXPECT_EQ(pill.look().fill, SystemColors::white(0.08));
    EXPECT_EQ(pill.look().outline, SystemColors::white(0.08));
    EXPECT_EQ(pill.look().foreground, SystemColors::primaryLabel());
}

TEST(PillButton, ClicksRunItsActionUnlessDisabled) {
    PillButton pill(QStringLiteral("xmark"), QStringLiteral("Go"), std::nullopt, std::nullopt,
                    QStringLiteral("help"));
    pill.resize(pill.sizeHint());
    pill.show();
    QSignalSpy clicked(&pill, &PillButton::clicked);
    QTest::mouseClick(&pill, Qt::LeftButton);
    EXPECT_EQ(clicked.count(), 1);
    pill.setEnabled(false);
    QTest::mouseClick(&pill, Qt::LeftButton);
    EXPECT_EQ(clicked.count(), 1);
    EXPECT_EQ(pill.toolTip(), QStringLiteral("help"));
}
