#include "Tindrel/store/ExportFileName.h"

#include "tests/support/ScopedLocale.h"

#include <gtest/gtest.h>

TEST(ExportFileName, nameFollowsRangeSpeedAndPitch) {
    struct Case {
        bool hasRange;
        double start, end;
        float rate, pitch;
        const char* expected;
    };
    const Case cases[] = {
        {true, 12.7, 20.2, 1.5f, 3.0f, "Take 3_modified_12-20s_1.5x_+3.0st.wav"},
        {false, 0, 95.3, 1.0f, 0.0f, "Take 3_modified.wav"},
        {true, 0, 95.9, 1.0f, 0.0f, "Take 3_modified_0-95s.wav"}, // In only: Out is the end
        {false, 0, 10, 0.75f, 0.0f, "Take 3_modified_0.75x.wav"},
        {false, 0, 10, 2.0f, 0.0f, "Take 3_modified_2x.wav"},
        {false, 0, 10, 1.25f, 0.0f, "Take 3_modified_1.2x.wav"},
        {false, 0, 10, 1.006f, 0.0f, "Take 3_modified_1x.wav"},
        {false, 0, 10, 1.004f, 0.0f, "Take 3_modified.wav"},
        {false, 0, 10, 1.0f, -12.0f, "Take 3_modified_-12.0st.wav"},
        {false, 0, 10, 1.0f, 0.04f, "Take 3_modified_+0.0st.wav"},
        {false, 0, 10, 1.0f, 0.01f, "Take 3_modified.wav"},
    };
    tindrel::test::ScopedCommaDecimalLocale commaLocale; // a comma must never appear
    for (const Case& c : cases) {
        EXPECT_EQ(tindrel::exportFileName("Take 3", c.hasRange, c.start, c.end, c.rate, c.pitch),
                  c.expected);
    }
}
