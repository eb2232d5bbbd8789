// How each warp mode sounds, through the real graph rendered offline at 44.1 kHz: THD+N of a
// 1 kHz sine and of a 440 + 660 Hz two-tone, the deepest envelope dip and the pitch error at
// each setting; onset timing and pre-echo on a click train; and, at a loop wrap and at a seek
// while playing, the largest sample step against the tone's own, the deepest level dip and
// the share of the output above 3 kHz (a click's burst) next to the tone's own share, and the
// level dip at the costliest Musical setting at 44.1 to 192 kHz with 2 and 8 channels. Then the
// figures over the whole grid of settings (CornerAndEdgeFigures.h, BeatsGridFigures.h).

#include "bench/warp_sound/BeatsGridFigures.h"
#include "bench/warp_sound/BeatsSoundFigures.h"
#include "bench/warp_sound/CornerAndEdgeFigures.h"
#include "tests/platform/engine/WarpSoundMeasures.h"

#include "Tindrel/platform/text/LocaleFreeNumber.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace {

using namespace tindrel::test;

constexpr double sampleRate = 44100;
constexpr size_t settle = 44100;

void print(const std::string& name, double value, const char* unit) {
    std::fputs(tindrel::formatNumber("%s: %.2f %s\n", name.c_str(), value, unit).c_str(), stdout);
}

std::string settingName(const WarpMode& mode) {
    return std::string(mode.name) + tindrel::formatNumber("_%.2fx_%+.0fc", mode.rate, mode.cents);
}

void measureTones(const WarpMode& mode) {
    const std::string name = settingName(mode);
    const double scale = std::exp2(mode.cents / 1200.0);
    const auto sine = renderWarped(sineSignal(1000, 0.5, 6.0), mode, settle + 65536);
    print("thdn_sine_" + name, thdPlusNoiseDb(sine, settle, {1000 * scale}, sampleRate), "dB");
    print("dip_sine_" + name, envelopeDipDb(sine, settle, 65536, sampleRate), "dB");
    print("pitch_error_" + name, pitchErrorCents(sine, settle, 1000 * scale, sampleRate), "cent");
    Signal twoTone = sineSignal(440, 0.25, 6.0);
    const Signal upper = sineSignal(660, 0.25, 6.0);
    for (size_t k = 0; k < twoTone.samples.size(); ++k) {
        twoTone.samples[k] += upper.samples[k];
    }
    const auto two = renderWarped(twoTone, mode, settle + 65536);
    print("thdn_two_tone_" + name,
          thdPlusNoiseDb(two, settle, {440 * scale, 660 * scale}, sampleRate), "dB");
    const auto clicks = renderWarped(clickTrainSignal(4.0), mode,
                                     static_cast<size_t>(3.5 * sampleRate / mode.rate));
    const OnsetTiming timing = clickTrainTiming(clicks, mode.rate, sampleRate);
    print("onset_" + name, timing.worstOnsetMs, "ms");
    print("pre_echo_" + name, timing.worstPreEchoDb, "dB");
}

} // namespace

int main() {
    const float tape125 = static_cast<float>(1200 * std::log2(1.25));
    const float tape075 = static_cast<float>(1200 * std::log2(0.75));
    const WarpMode settings[] = {
        {"neutral", 8, 1, 0},         {"musical", 12, 1.25f, 0},   {"musical", 12, 1, 300},
        {"musical", 12, 0.75f, -500}, {"beats", 3.5f, 1.25f, 0},   {"beats", 3.5f, 1, 300},
        {"beats", 3.5f, 0.75f, -500}, {"tape", 8, 1.25f, tape125}, {"tape", 8, 0.75f, tape075},
    };
    for (const WarpMode& mode : settings) {
        measureTones(mode);
    }
    const WarpMode joined[] = {{"neutral", 8, 1, 0},
                               {"tape", 8, 1.25f, tape125},
                               {"musical", 12, 1.25f, 0},
                               {"beats", 3.5f, 1.25f, 0}};
    for (const WarpMode& mode : joined) {
        for (bool wrap : {true, false}) {
            const JoinMeasure joins = measureJoins(mode, wrap);
            const std::string kind = wrap ? "wrap" : "seek";
            print(kind + "_step_" + mode.name, 20 * std::log10(joins.worstStep / joins.ownStep),
                  "dB");
            print(kind + "_dip_" + mode.name, 20 * std::log10(joins.lowestLevel / joins.level),
                  "dB");
            print(kind + "_above_3khz_" + mode.name, joins.worstHighDb, "dB");
            print("steady_above_3khz_" + std::string(wrap ? "before_wraps_" : "before_seeks_") +
                      mode.name,
                  joins.ownHighDb, "dB");
        }
    }
    // The costliest Musical setting joins from input delivered before the new place, as far as
    // it is held; at high rates and many channels that is less time than at 44.1 kHz.
    const WarpMode fastest{"musical", 12, 4, -2400};
    for (const double rate : {44100.0, 96000.0, 192000.0}) {
        for (const int channels : {2, 8}) {
            for (bool wrap : {true, false}) {
                const JoinMeasure joins = measureJoins(fastest, wrap, rate, channels);
                print(tindrel::formatNumber("%s_dip_%s_%.0f_hz_%d_ch", wrap ? "wrap" : "seek",
                                            settingName(fastest).c_str(), rate, channels),
                      20 * std::log10(joins.lowestLevelUntilNext / joins.level), "dB");
            }
        }
    }
    printCornerAndEdgeFigures();
    printBeatsFigures(print);
    printBeatsGridFigures(print);
    return 0;
}
