#include "tests/store_support/StoreTestRig.h"
#include "tests/support/ScopedLocale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tindrel {

TEST(StoreRange, FormatTimeUnderAnyLocale) {
    test::ScopedCommaDecimalLocale comma;
    const std::pair<double, const char*> cases[] = {
        {0, "0:00.0"},
        {9.99, "0:10.0"},
        {59.96, "0:60.0"},
        {65.3, "1:05.3"},
        {119.97, "1:60.0"},
        {3600, "60:00.0"},
        {605.04, "10:05.0"},
        {-1, "0:00.0"},
        {std::nan(""), "0:00.0"},
        {std::numeric_limits<double>::infinity(), "0:00.0"},
    };
    for (const auto& [seconds, expected] : cases)
        EXPECT_EQ(TindrelStore::formatTime(seconds), expected) << seconds;
}

TEST(StoreRange, DerivedValuesAndSummary) {
    test::StoreTestRig rig;
    TindrelStore& store = rig.store();
    struct Case {
        double duration;
        std::optional<double> in, out;
        float rate, pitch;
        double start, end, warpedLength;
        const char* summary;
    };
    const Case cases[] = {
        {90, {}, {}, 1, 0, 0, 90, 90, "Range 0:00.0 – 1:30.0 (90.0s)"},
        {90, 1.0, 5.0, 1, 0, 1, 5, 4, "Range 0:01.0 – 0:05.0 (4.0s)"},
        {90, 1.0, 5.0, 1.5f, 0, 1, 5, 4 / 1.5,
         "Range 0:01.0 – 0:05.0 (4.0s → Warped 2.7s @ 1.5x, +0.0 st)"},
        {90, 10.0, {}, 1, 0, 10, 90, 80, "Range 0:10.0 – 1:30.0 (80.0s)"},
        {90,
         {},
         20.0,
         0.1f,
         0,
         0,
         20,
         80,
         "Range 0:00.0 – 0:20.0 (20.0s → Warped 80.0s @ 0.1x, +0.0 st)"},
        {90, 95.0, {}, 1, 0, 90, 90, 0, "Range 1:30.0 – 1:30.0 (0.0s)"},
        {90, 5.0, 3.0, 1, 0, 5, 5, 0, "Range 0:05.0 – 0:05.0 (0.0s)"},
        {0, 1.0, 2.0, 1, 0, 0, 0, 0, "Range 0:00.0 – 0:00.0 (0.0s)"},
        {10, {}, {}, 1.004f, 0.005f, 0, 10, 10 / 1.004, "Range 0:00.0 – 0:10.0 (10.0s)"},
        {10,
         {},
         {},
         1.006f,
         0,
         0,
         10,
         10 / 1.006,
         "Range 0:00.0 – 0:10.0 (10.0s → Warped 9.9s @ 1x, +0.0 st)"},
        {10,
         {},
         {},
         1,
         -12,
         0,
         10,
         10,
         "Range 0:00.0 – 0:10.0 (10.0s → Warped 10.0s @ 1x, -12.0 st)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.summary);
        store.duration = c.duration;
        store.loopIn = c.in;
        store.loopOut = c.out;
        store.playbackRate = c.rate;
        store.pitchSemitones = c.pitch;
        EXPECT_EQ(store.hasActiveRange(), c.in.has_value() || c.out.has_value());
        EXPECT_DOUBLE_EQ(store.effectiveRangeStart(), c.start);
        EXPECT_DOUBLE_EQ(store.effectiveRangeEnd(), c.end);
        EXPECT_NEAR(store.rangeWarpedDuration(), c.warpedLength, 1e-5);
        EXPECT_EQ(store.warpedRangeSummaryText(), c.summary);
    }
}

TEST(StoreRange, MenuBarTextCutsWholeCharacters) {
    test::StoreTestRig rig;
    TindrelStore& store = rig.store();
    EXPECT_EQ(store.statusBarPillText(), "");
    const QString accented = QStringLiteral("e\u0301");          // one character, two units
    const QString flag = QStringLiteral("\U0001F1E9\U0001F1EA"); // one character, four units
    const std::pair<QString, QString> cases[] = {
        {"exactly18chars.wav", "exactly18chars.wav"},
        {"nineteen_chars.wave", "nineteen_chars.w…"},
        {accented.repeated(18), accented.repeated(18)},
        {accented.repeated(19), accented.repeated(16) + "…"},
        {flag.repeated(20), flag.repeated(16) + "…"},
    };
    AudioFileSpec spec;
    spec.lufsIntegrated = -14.0f;
    for (const auto& [name, shown] : cases) {
        spec.fileName = name.toStdString();
        store.spec = spec;
        EXPECT_EQ(store.statusBarPillText(), shown);
    }
    store.isPlaying = true;
    spec.fileName = "a.wav";
    store.spec = spec;
    EXPECT_EQ(store.statusBarPillText(), "▶ a.wav · -14.0 LUFS");
}

} // namespace tindrel
