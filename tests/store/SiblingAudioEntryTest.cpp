#include "Tindrel/store/SiblingAudioEntry.h"
#include "Tindrel/store/NaturalNameOrder.h"
#include "tests/support/ScopedLocale.h"

#include <gtest/gtest.h>

namespace tindrel {

TEST(SiblingAudioEntry, ShortSizeUnderAnyLocale) {
    test::ScopedCommaDecimalLocale comma;
    const std::pair<int64_t, const char*> cases[] = {
        {0, "1K"}, {10240, "10K"}, {1048575, "1024K"}, {1048576, "1.0M"}, {5767168, "5.5M"},
    };
    for (const auto& [bytes, expected] : cases)
        EXPECT_EQ(SiblingAudioEntry({"/a.wav", "a.wav", "WAV", bytes}).sizeShort(), expected)
            << bytes;
}

TEST(NaturalNameOrder, SortsLikeAFileManagerOfTheLocale) {
    const struct {
        QLocale locale;
        std::vector<QString> names;
        std::vector<QString> expected;
    } cases[] = {
        // Equal by value and case ("Take 2" and "take 02"): the exact text decides.
        {QLocale::c(),
         {"take 10.wav", "Take 2.wav", "b.wav", "A.wav", "take 02.wav", "Take 1.wav", "Zed.wav",
          "Éclair.wav"},
         {"A.wav", "b.wav", "Éclair.wav", "Take 1.wav", "Take 2.wav", "take 02.wav", "take 10.wav",
          "Zed.wav"}},
        // The user's language decides where letters with marks go.
        {QLocale(QLocale::German, QLocale::Germany),
         {"Zucker.wav", "Äpfel.wav", "Apfel.wav"},
         {"Apfel.wav", "Äpfel.wav", "Zucker.wav"}},
        {QLocale(QLocale::Swedish, QLocale::Sweden),
         {"Zucker.wav", "Äpfel.wav", "Apfel.wav"},
         {"Apfel.wav", "Zucker.wav", "Äpfel.wav"}},
    };
    for (auto c : cases) {
        const NaturalNameOrder order(c.locale);
        order.sort(c.names, [](const QString& name) { return name; });
        EXPECT_EQ(c.names, c.expected) << c.locale.name().toStdString();
    }
    // A strict order: nothing goes before itself, and case-only twins are still ordered.
    const NaturalNameOrder order(QLocale::c());
    EXPECT_FALSE(order.less("x", "x"));
    EXPECT_NE(order.less("Kick", "kick"), order.less("kick", "Kick"));
    // Digit runs longer than any integer type still compare by value.
    EXPECT_TRUE(order.less("t99999999999999999999", "t100000000000000000000"));
}

} // namespace tindrel
