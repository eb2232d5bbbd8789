#include "Tindrel/platform/text/TextCase.h"
#include "tests/support/ScopedLocale.h"

#include <gtest/gtest.h>

namespace tindrel {

TEST(TextCase, CaseChangesIgnoreATurkishLocale) {
    test::ScopedTurkishLocale turkish;
    ASSERT_TRUE(turkish.available()) << "tr_TR.UTF-8 is not installed";
    const struct {
        const char* text;
        const char* lower;
        const char* upper;
    } cases[] = {
        {"AIFF", "aiff", "AIFF"},
        {"aiff", "aiff", "AIFF"},
        {"wäv", "wäv", "WÄV"},
        {"WÄV", "wÄv", "WÄV"}, // lower-casing is ASCII only
        {"flac1", "flac1", "FLAC1"},
        {"\xff"
         "a\xc3",
         "\xff"
         "a\xc3",
         "\xff"
         "A\xc3"}, // broken UTF-8 passes through
        {"", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(asciiLowercased(c.text), c.lower) << c.text;
        EXPECT_EQ(unicodeUppercased(c.text), c.upper) << c.text;
    }
}

} // namespace tindrel
