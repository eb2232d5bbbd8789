#include "Tindrel/store/SiblingAudioEntry.h"
#include "Tindrel/store/NaturalNameOrder.h"
#include "tests/support/ScopedLocale.h"

#include <gtest/gtest.h>

#include <algorithm>

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

TEST(NaturalNameOrder, SortsLikeAFileManager) {
    std::vector<QString> names{"take 10.wav", "Take 2.wav", "b.wav",    "A.wav",
                               "take 02.wav", "Take 1.wav", "take1.wav"};
    std::sort(names.begin(), names.end(), naturalNameLess);
    // Equal by value and case ("Take 2" and "take 02"): the exact text decides.
    const std::vector<QString> expected{"A.wav",       "b.wav",       "Take 1.wav", "Take 2.wav",
                                        "take 02.wav", "take 10.wav", "take1.wav"};
    EXPECT_EQ(names, expected);
    // A strict order: nothing goes before itself, and case-only twins are still ordered.
    EXPECT_FALSE(naturalNameLess("x", "x"));
    EXPECT_NE(naturalNameLess("Kick", "kick"), naturalNameLess("kick", "Kick"));
    // Digit runs longer than any integer type still compare by value.
    EXPECT_TRUE(naturalNameLess("t99999999999999999999", "t100000000000000000000"));
}

} // namespace tindrel
