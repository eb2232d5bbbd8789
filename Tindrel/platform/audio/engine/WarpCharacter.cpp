#include "Tindrel/platform/audio/engine/WarpCharacter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace tindrel::platform {

namespace {

using RubberBand::RubberBandStretcher;

// The store passes cents computed in single precision from log2 of the rate.
constexpr double tiedPitchToleranceCents = 0.5;
constexpr double tapeOverlap = 8.0;
constexpr double crispBelowOverlap = 6.0;

} // namespace

WarpSetting warpSettingFor(float overlap, float rate, float cents) {
    WarpSetting setting;
    setting.rate = std::isfinite(rate) ? std::clamp(static_cast<double>(rate), 0.25, 4.0) : 1.0;
    const double clampedCents =
        std::isfinite(cents) ? std::clamp(static_cast<double>(cents), -2400.0, 2400.0) : 0.0;
    setting.pitchScale = std::exp2(clampedCents / 1200.0);
    const double character = std::isfinite(overlap) ? overlap : tapeOverlap;
    const bool neutral = setting.rate == 1.0 && clampedCents == 0.0;
    const bool tape =
        std::abs(character - tapeOverlap) < 0.01 &&
        std::abs(clampedCents - 1200.0 * std::log2(setting.rate)) < tiedPitchToleranceCents;
    if (neutral || tape) {
        setting.path = WarpPath::varispeed;
        setting.pitchScale = setting.rate;
    } else {
        setting.path =
            character < crispBelowOverlap ? WarpPath::crispStretcher : WarpPath::smoothStretcher;
    }
    return setting;
}

namespace {

constexpr RubberBandStretcher::Options commonOptions =
    RubberBandStretcher::OptionProcessRealTime | RubberBandStretcher::OptionThreadingNever |
    RubberBandStretcher::OptionPitchHighConsistency;

} // namespace

RubberBandStretcher::Options stretcherOptions(WarpPath path) {
    if (path == WarpPath::crispStretcher) {
        return commonOptions | RubberBandStretcher::OptionEngineFaster |
               RubberBandStretcher::OptionTransientsCrisp |
               RubberBandStretcher::OptionDetectorPercussive |
               RubberBandStretcher::OptionWindowShort | RubberBandStretcher::OptionPhaseIndependent;
    }
    return commonOptions | RubberBandStretcher::OptionEngineFiner |
           RubberBandStretcher::OptionChannelsTogether;
}

namespace {

constexpr RubberBandStretcher::Options transientOptions =
    RubberBandStretcher::OptionTransientsMixed | RubberBandStretcher::OptionTransientsSmooth;
constexpr double finerSmallestStretch = 0.125;
constexpr double crispSmallestStretch = 0.15;

} // namespace

bool engineCanMake(RubberBandStretcher::Options options, double rate, double pitchScale) {
    // The same product Rubber Band forms from the ratios it is given.
    const double stretch = (1.0 / rate) * pitchScale;
    if ((options & RubberBandStretcher::OptionEngineFiner) != 0) {
        return stretch >= finerSmallestStretch;
    }
    return (options & transientOptions) != 0 || stretch >= crispSmallestStretch;
}

double earlyHearingSeconds(WarpPath path, double rate) {
    if (path != WarpPath::smoothStretcher || !(rate < 1))
        return 0;
    // Measured at these slownesses (1 / rate), in between along straight lines.
    constexpr std::array<std::pair<double, double>, 4> measured{
        {{1.0, 0.0}, {4.0 / 3.0, 0.0013}, {2.0, 0.0041}, {4.0, 0.0194}}};
    const double slowness = std::clamp(1 / rate, 1.0, 4.0);
    for (size_t k = 1; k < measured.size(); ++k) {
        const auto [x0, y0] = measured[k - 1];
        const auto [x1, y1] = measured[k];
        if (slowness <= x1)
            return y0 + (y1 - y0) * (slowness - x0) / (x1 - x0);
    }
    return measured.back().second;
}

bool engineHasBound(RubberBandStretcher::Options options) {
    return (options & RubberBandStretcher::OptionEngineFiner) != 0 ||
           (options & transientOptions) == 0;
}

RubberBandStretcher::Options fasterEngineOptions(RubberBandStretcher::Options options) {
    return (options & ~RubberBandStretcher::OptionEngineFiner & ~transientOptions) |
           RubberBandStretcher::OptionEngineFaster | RubberBandStretcher::OptionTransientsSmooth |
           RubberBandStretcher::OptionPhaseIndependent;
}

} // namespace tindrel::platform
