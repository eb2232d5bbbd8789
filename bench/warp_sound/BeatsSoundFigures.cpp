#include "bench/warp_sound/BeatsSoundFigures.h"

#include "tests/platform/engine/BeatsSoundMeasures.h"
#include "tests/platform/engine/WarpSoundMeasures.h"

#include "Tindrel/platform/text/LocaleFreeNumber.h"

#include <cmath>
#include <utility>

namespace {

using namespace tindrel::test;

constexpr double sampleRate = 44100;

std::string settingName(const WarpMode& mode) {
    return std::string(mode.name) + tindrel::formatNumber("_%.2fx_%+.0fc", mode.rate, mode.cents);
}

} // namespace

void printBeatsFigures(FigurePrinter print) {
    const WarpMode settings[] = {{"beats", 3.5f, 1.25f, 0},    {"beats", 3.5f, 1, 300},
                                 {"beats", 3.5f, 0.75f, -500}, {"beats", 3.5f, 2, 700},
                                 {"musical", 12, 1.25f, 0},    {"musical", 12, 1, 300},
                                 {"musical", 12, 0.75f, -500}, {"musical", 12, 2, 700}};
    const Signal tone = toneUnderHitsSignal(4.0);
    constexpr double musicSeconds = 10.0;
    const Signal dense = drumMixSignal(musicSeconds);
    const Signal loud = drumMixSignal(musicSeconds, loudDrums);
    for (const WarpMode& mode : settings) {
        const std::string name = settingName(mode);
        const auto out =
            renderWarped(tone, mode, static_cast<size_t>(3.6 * sampleRate / mode.rate));
        const HitDips dips =
            hitDips(out, mode.rate, 1000 * std::exp2(mode.cents / 1200.0), 0.5, sampleRate);
        print("held_tone_dip_median_" + name, dips.medianDb, "dB");
        print("held_tone_dip_worst_" + name, dips.worstDb, "dB");
        for (const auto& [mix, music] :
             {std::pair{"dense", &dense}, std::pair{"loud_drums", &loud}}) {
            const auto played = renderWarped(
                *music, mode, static_cast<size_t>((musicSeconds - 0.5) * sampleRate / mode.rate));
            const LevelAgainstSource level = levelAgainstSource(*music, played, mode.rate, 0.5);
            print(std::string("music_level_change_") + mix + "_" + name, level.changeDb, "dB");
            print(std::string("music_frames_6db_low_") + mix + "_" + name,
                  100 * level.shareFramesLow, "%");
        }
    }
    // The fastest setting above, which the tone figures of the other modes leave out.
    const WarpMode fastest = settings[3];
    const auto sine = renderWarped(sineSignal(1000, 0.5, 6.0), fastest, 44100 + 65536);
    print("thdn_sine_" + settingName(fastest),
          thdPlusNoiseDb(sine, 44100, {1000 * std::exp2(fastest.cents / 1200.0)}, sampleRate),
          "dB");
    const auto clicks = renderWarped(clickTrainSignal(4.0), fastest,
                                     static_cast<size_t>(3.5 * sampleRate / fastest.rate));
    const OnsetTiming timing = clickTrainTiming(clicks, fastest.rate, sampleRate);
    print("onset_" + settingName(fastest), timing.worstOnsetMs, "ms");
    print("pre_echo_" + settingName(fastest), timing.worstPreEchoDb, "dB");
    constexpr double denseSeconds = 20.0;
    print("hits_played_dense_mix", static_cast<double>(drumMixHitSeconds(denseSeconds).size()),
          "count");
    print("hits_found_dense_mix",
          static_cast<double>(splitAsBeatsDoes(drumMixSignal(denseSeconds)).hitsFound), "count");
}
