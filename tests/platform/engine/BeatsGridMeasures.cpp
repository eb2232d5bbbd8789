#include "tests/platform/engine/BeatsGridMeasures.h"

#include "tests/platform/engine/WarpPathPlayer.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>

namespace tindrel::test {

namespace {

// Past the stretchers' first frames, which swell in.
constexpr double settledSeconds = 0.5;

double median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

} // namespace

std::vector<GridPad> heldPads() {
    return {{{{440.0, 0.126}, {329.63, 0.126}}, 11},
            {{{392.0, 0.126}, {587.33, 0.1}, {880.0, 0.08}}, 12},
            {{{1046.5, 0.08}, {1318.51, 0.06}}, 13}};
}

std::vector<BeatsGridMeasure> measureBeatsGrid(const std::vector<GridSetting>& settings,
                                               const std::vector<GridPad>& pads, double seconds,
                                               bool withReferences, double sampleRate, size_t block,
                                               int threads) {
    constexpr int channels = 2;
    std::vector<Signal> signals;
    std::vector<Signal> padsAlone;
    std::vector<std::vector<double>> hitSeconds;
    for (const GridPad& pad : pads) {
        signals.push_back(
            padUnderDrumsSignal(pad.notes, seconds, sampleRate, channels, pad.drumSeed));
        padsAlone.push_back(padSignal(pad.notes, seconds, sampleRate, channels));
        hitSeconds.push_back(padDrumSeconds(seconds, pad.drumSeed));
    }
    const Signal mix = drumMixSignal(seconds, 1.0, sampleRate);
    std::vector<BeatsGridMeasure> measures(settings.size());
    std::atomic<size_t> next{0};
    const auto work = [&] {
        WarpPathPlayer player(sampleRate, channels);
        for (size_t i = next++; i < settings.size(); i = next++) {
            const GridSetting& setting = settings[i];
            BeatsGridMeasure& measure = measures[i];
            measure.setting = setting;
            const double scale = std::exp2(setting.semitones / 12);
            const auto frames = static_cast<size_t>((seconds - 0.5) * sampleRate / setting.rate);
            std::vector<double> beatsHitDips;
            std::vector<double> musicalHitDips;
            for (size_t p = 0; p < pads.size(); ++p) {
                for (const WarpPathKind kind : {WarpPathKind::beats, WarpPathKind::musical}) {
                    const PathRender played =
                        player.render(signals[p], kind, setting.rate, scale, frames, block);
                    const double dip = worstNoteDipDb(played.out, pads[p].notes, scale,
                                                      settledSeconds, sampleRate);
                    const std::vector<double> hitDips =
                        noteDipsAtHitsDb(played.out, pads[p].notes, scale, hitSeconds[p],
                                         setting.rate, settledSeconds, sampleRate);
                    if (kind == WarpPathKind::musical) {
                        measure.musicalDipDb = std::min(measure.musicalDipDb, dip);
                        musicalHitDips.insert(musicalHitDips.end(), hitDips.begin(), hitDips.end());
                        continue;
                    }
                    measure.beatsDipDb = std::min(measure.beatsDipDb, dip);
                    beatsHitDips.insert(beatsHitDips.end(), hitDips.begin(), hitDips.end());
                    measure.startSeconds = std::max(measure.startSeconds, played.startSeconds);
                    const auto settled = static_cast<size_t>(settledSeconds * sampleRate /
                                                             static_cast<double>(block));
                    measure.blockSeconds.insert(measure.blockSeconds.end(),
                                                played.blockSeconds.begin() +
                                                    static_cast<std::ptrdiff_t>(std::min(
                                                        settled, played.blockSeconds.size())),
                                                played.blockSeconds.end());
                }
            }
            measure.beatsHitDipMedianDb = median(beatsHitDips);
            measure.musicalHitDipMedianDb = median(musicalHitDips);
            for (size_t p = 0; p < pads.size() && withReferences; ++p) {
                for (const WarpPathKind kind : {WarpPathKind::beats, WarpPathKind::musical}) {
                    const PathRender played =
                        player.render(padsAlone[p], kind, setting.rate, scale, frames, block);
                    double& dip = kind == WarpPathKind::beats ? measure.beatsPadAloneDipDb
                                                              : measure.padAloneDipDb;
                    dip = std::min(dip, worstNoteDipDb(played.out, pads[p].notes, scale,
                                                       settledSeconds, sampleRate));
                }
            }
            if (withReferences) {
                const PathRender beats =
                    player.render(mix, WarpPathKind::beats, setting.rate, scale, frames, block);
                const PathRender musical =
                    player.render(mix, WarpPathKind::musical, setting.rate, scale, frames, block);
                measure.beatsLevelDb =
                    levelAgainstSource(mix, beats.out, setting.rate, settledSeconds).changeDb;
                measure.musicalLevelDb =
                    levelAgainstSource(mix, musical.out, setting.rate, settledSeconds).changeDb;
                measure.levelAgainstMusicalDb = measure.beatsLevelDb - measure.musicalLevelDb;
            }
        }
    };
    std::vector<std::thread> workers;
    for (int t = 1; t < threads; ++t) {
        workers.emplace_back(work);
    }
    work();
    for (std::thread& worker : workers) {
        worker.join();
    }
    return measures;
}

} // namespace tindrel::test
