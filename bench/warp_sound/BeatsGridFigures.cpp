#include "bench/warp_sound/BeatsGridFigures.h"

#include "tests/platform/engine/BeatsGridMeasures.h"

#include <algorithm>
#include <cmath>
#include <thread>
#include <vector>

namespace {

using namespace tindrel::test;

constexpr double sampleRate = 48000;
constexpr size_t block = 256;
constexpr double seconds = 4.0;

double median(std::vector<double> values) {
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

} // namespace

void printBeatsGridFigures(FigurePrinter print) {
    std::vector<GridSetting> grid;
    for (double rate : {0.25, 0.5, 0.75, 1.0, 1.25, 2.0, 4.0}) {
        for (double semitones : {-24.0, -12.0, -5.0, 0.0, 3.0, 7.0, 12.0, 24.0}) {
            grid.push_back({rate, semitones});
        }
    }
    const int threads = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
    const auto measures =
        measureBeatsGrid(grid, heldPads(), seconds, true, sampleRate, block, threads);
    std::vector<double> beats;
    std::vector<double> musical;
    std::vector<double> padAlone;
    std::vector<double> beatsPadAlone;
    std::vector<double> beatsAtHits;
    std::vector<double> musicalAtHits;
    std::vector<double> deeperAtHits;
    std::vector<double> deeper;
    std::vector<double> blocks;
    double level = 0;
    double beatsLevel = 0;
    double musicalLevel = 0;
    double start = 0;
    for (const BeatsGridMeasure& measure : measures) {
        beats.push_back(measure.beatsDipDb);
        musical.push_back(measure.musicalDipDb);
        padAlone.push_back(measure.padAloneDipDb);
        beatsPadAlone.push_back(measure.beatsPadAloneDipDb);
        beatsAtHits.push_back(measure.beatsHitDipMedianDb);
        musicalAtHits.push_back(measure.musicalHitDipMedianDb);
        deeperAtHits.push_back(measure.musicalHitDipMedianDb - measure.beatsHitDipMedianDb);
        deeper.push_back(measure.musicalDipDb - measure.beatsDipDb);
        level = std::max(level, std::abs(measure.levelAgainstMusicalDb));
        beatsLevel = std::max(beatsLevel, std::abs(measure.beatsLevelDb));
        musicalLevel = std::max(musicalLevel, std::abs(measure.musicalLevelDb));
        start = std::max(start, measure.startSeconds);
        blocks.insert(blocks.end(), measure.blockSeconds.begin(), measure.blockSeconds.end());
    }
    print("grid_held_note_dip_worst_beats", *std::min_element(beats.begin(), beats.end()), "dB");
    print("grid_held_note_dip_median_beats", median(beats), "dB");
    print("grid_held_note_dip_worst_musical", *std::min_element(musical.begin(), musical.end()),
          "dB");
    print("grid_held_note_dip_median_musical", median(musical), "dB");
    print("grid_held_note_dip_worst_pad_alone_musical",
          *std::min_element(padAlone.begin(), padAlone.end()), "dB");
    print("grid_held_note_dip_median_pad_alone_musical", median(padAlone), "dB");
    print("grid_held_note_dip_worst_pad_alone_beats",
          *std::min_element(beatsPadAlone.begin(), beatsPadAlone.end()), "dB");
    print("grid_settings_beats_dips_over_3db",
          static_cast<double>(
              std::count_if(beats.begin(), beats.end(), [](double value) { return value < -3; })),
          "settings");
    print("grid_held_note_dip_beats_deeper_than_musical_worst",
          *std::max_element(deeper.begin(), deeper.end()), "dB");
    print("grid_held_note_dip_beats_deeper_than_musical_median", median(deeper), "dB");
    print("grid_settings_beats_dips_over_1db_deeper_than_musical",
          static_cast<double>(
              std::count_if(deeper.begin(), deeper.end(), [](double value) { return value > 1; })),
          "settings");
    print("grid_held_note_dip_at_hits_median_worst_beats",
          *std::min_element(beatsAtHits.begin(), beatsAtHits.end()), "dB");
    print("grid_held_note_dip_at_hits_median_worst_musical",
          *std::min_element(musicalAtHits.begin(), musicalAtHits.end()), "dB");
    print("grid_held_note_dip_at_hits_median_beats_deeper_than_musical_worst",
          *std::max_element(deeperAtHits.begin(), deeperAtHits.end()), "dB");
    print("grid_settings_beats_dips_at_hits_over_1db_deeper_than_musical",
          static_cast<double>(std::count_if(deeperAtHits.begin(), deeperAtHits.end(),
                                            [](double value) { return value > 1; })),
          "settings");
    print("grid_music_level_beats_against_musical_worst", level, "dB");
    print("grid_music_level_beats_against_source_worst", beatsLevel, "dB");
    print("grid_music_level_musical_against_source_worst", musicalLevel, "dB");
    std::sort(blocks.begin(), blocks.end());
    print("grid_beats_block_cpu_worst", 1000 * blocks.back(), "ms");
    print("grid_beats_block_cpu_p99_9",
          1000 * blocks[static_cast<size_t>(0.999 * static_cast<double>(blocks.size() - 1))], "ms");
    print("grid_beats_start_and_first_block_cpu_worst", 1000 * start, "ms");
}
