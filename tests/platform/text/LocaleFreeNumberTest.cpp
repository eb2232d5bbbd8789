#include "Tindrel/platform/text/LocaleFreeNumber.h"
#include "tests/support/ScopedLocale.h"

#include <gtest/gtest.h>

using tindrel::formatNumber;
using tindrel::parseNumber;

TEST(LocaleFreeNumber, FormatsWithAPointUnderACommaLocale) {
    tindrel::test::ScopedCommaDecimalLocale comma;
    ASSERT_TRUE(comma.available()) << "de_DE.UTF-8 must be installed by the setup script";
    EXPECT_EQ(formatNumber("%.1f kHz", 44.1), "44.1 kHz");
    EXPECT_EQ(formatNumber("%d:%04.1f", 1, 5.25), "1:05.2");
    EXPECT_EQ(formatNumber("%+.1f", 3.0), "+3.0");
    EXPECT_EQ(formatNumber("%.2g", 1.25), "1.2");
    EXPECT_EQ(formatNumber("%.2f MB", 117.737), "117.74 MB");
}

TEST(LocaleFreeNumber, ParsesPointDecimalsOnlyUnderACommaLocale) {
    tindrel::test::ScopedCommaDecimalLocale comma;
    ASSERT_TRUE(comma.available());
    struct Case {
        const char* text;
        std::optional<double> value;
    } cases[] = {
        {"1.25", 1.25}, {" -3 ", -3.0}, {"+0.5", 0.5}, {"2e1", 20.0},
        {"1,25", std::nullopt}, {"", std::nullopt}, {"  ", std::nullopt},
        {"abc", std::nullopt}, {"1.5x", std::nullopt}, {"nan", std::nullopt}, {"inf", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(parseNumber(c.text), c.value) << c.text;
}
