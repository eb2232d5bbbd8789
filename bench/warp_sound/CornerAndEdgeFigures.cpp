#include "bench/warp_sound/CornerAndEdgeFigures.h"

#include "tests/platform/engine/WarpGridMeasures.h"

#include "Tindrel/platform/text/LocaleFreeNumber.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace tindrel::test;

void print(const std::string& name, double value, const char* unit) {
    std::fputs(tindrel::formatNumber("%s: %.2f %s\n", name.c_str(), value, unit).c_str(), stdout);
}

void printCornerPitches() {
    const auto grid = cornerGrid();
    const auto measures = measureCornerPitches(grid);
    double live = 0;
    double exported = 0;
    int nonFinite = 0;
    for (const PitchMeasure& measure : measures) {
        live = std::max(live, std::abs(measure.liveCents));
        exported = std::max(exported, std::abs(measure.exportedCents));
        nonFinite += measure.finite ? 0 : 1;
    }
    print("pitch_error_corner_grid_live_max", live, "cent");
    print("pitch_error_corner_grid_exported_max", exported, "cent");
    print("corner_grid_settings_with_non_finite_output", nonFinite, "settings");
}

// How clean and steady a sine comes out where the faster engine stands in for the finer one.
void printCornerTones() {
    constexpr size_t settle = 44100;
    const WarpMode corners[] = {{"musical", 12, 4, -2400},
                                {"musical", 12, 3, -2400},
                                {"beats", 3.5f, 4, -2400},
                                {"beats", 3.5f, 3, -2400}};
    for (const WarpMode& mode : corners) {
        const double tone = 1000 * expectedPitchScale(mode);
        const auto sine = renderWarped(sineSignal(1000, 0.5, 12.0), mode, settle + 65536);
        const std::string name =
            mode.name + tindrel::formatNumber("_%.0fx_%+.0fst", mode.rate, mode.cents / 100);
        print("thdn_sine_corner_" + name, thdPlusNoiseDb(sine, settle, {tone}, 44100), "dB");
        print("dip_sine_corner_" + name, envelopeDipDb(sine, settle, 65536, 44100), "dB");
    }
}

void printRangeEdges() {
    constexpr float speeds[] = {0.5f, 0.75f, 1, 1.2f, 1.25f, 1.29f, 1.5f, 2};
    constexpr float semitones[] = {-12, -7, -5, 0, 3, 5, 7, 12};
    struct Mode {
        const char* name;
        float overlap;
    };
    for (const Mode mode : {Mode{"musical", 12}, Mode{"beats", 3.5f}}) {
        double entering = 0;
        double leaving = 0;
        for (float speed : speeds) {
            for (float st : semitones) {
                const EdgeChange change =
                    measureRangeEdges({mode.name, mode.overlap, speed, st * 100});
                entering = std::max(entering, change.enteringDb);
                leaving = std::max(leaving, change.leavingDb);
            }
        }
        print(std::string("range_only_entering_change_max_") + mode.name, entering, "dB");
        print(std::string("range_only_leaving_change_max_") + mode.name, leaving, "dB");
    }
    double entering = 0;
    double leaving = 0;
    for (float speed : speeds) {
        const EdgeChange change = measureRangeEdges({"tape", 8, speed, 1200 * std::log2(speed)});
        entering = std::max(entering, change.enteringDb);
        leaving = std::max(leaving, change.leavingDb);
    }
    print("range_only_entering_change_max_tape", entering, "dB");
    print("range_only_leaving_change_max_tape", leaving, "dB");
}

} // namespace

void printCornerAndEdgeFigures() {
    printCornerPitches();
    printCornerTones();
    printRangeEdges();
}
