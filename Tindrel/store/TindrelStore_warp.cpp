#include "Tindrel/store/TindrelStore.h"

#include "Tindrel/platform/audio/engine/AudioPlayerNode.h"
#include "Tindrel/platform/audio/engine/TimePitchUnit.h"
#include "Tindrel/platform/text/LocaleFreeNumber.h"
#include "Tindrel/store/TimePitchSettings.h"

#include <algorithm>
#include <cmath>

namespace tindrel {

namespace {

// Upper bound first, then the lower one, so a NaN comes out as the upper bound.
float clampRate(float rate) {
    return std::max(0.25f, std::min(4.0f, rate));
}
float clampSemitones(float semitones) {
    return std::max(-24.0f, std::min(24.0f, semitones));
}

QString text(const std::string& formatted) {
    return QString::fromStdString(formatted);
}

} // namespace

void TindrelStore::applyWarpRateAndPitchParameters(std::optional<double> atPlayhead) {
    const double t = atPlayhead.value_or(currentTime.get());
    const bool outsideRange = t < effectiveRangeStart() || t > effectiveRangeEnd();
    const TimePitchSettings settings =
        warpScope == WarpScope::rangeOnly && hasActiveRange() && outsideRange
            ? neutralTimePitchSettings
            : warpedTimePitchSettings(warpMode, playbackRate, pitchSemitones);
    timePitchNode().setOverlap(settings.overlap);
    timePitchNode().setRate(settings.rate);
    timePitchNode().setPitch(settings.pitchCents);
}

void TindrelStore::setWarpMode(WarpMode mode) {
    if (heldAtGate<&TindrelStore::setWarpMode>(mode))
        return;
    warpMode = mode;
    applyWarpRateAndPitchParameters();
    statusBanner = QStringLiteral("Warp Mode: ") + rawValue(mode) + QStringLiteral(" — ") +
                   helpDescription(mode);
}

void TindrelStore::setWarpScope(WarpScope scope) {
    if (heldAtGate<&TindrelStore::setWarpScope>(scope))
        return;
    warpScope = scope;
    if (scope == WarpScope::rangeOnly && !hasActiveRange()) {
        const double in = std::max(0.0, std::min(duration * 0.75, currentTime.get()));
        loopIn = in;
        loopOut = std::min(duration.get(), in + std::min(10.0, duration * 0.35));
    }
    applyWarpRateAndPitchParameters();
    statusBanner =
        scope == WarpScope::rangeOnly
            ? QStringLiteral("Warp Scope: Range Only — Warp applies inside [ In .. Out ], "
                             "normal 1x/0st outside")
            : QStringLiteral("Warp Scope: Whole Track — Warp applies across entire audio file");
}

void TindrelStore::setPlaybackRate(float rate) {
    if (heldAtGate<&TindrelStore::setPlaybackRate>(rate))
        return;
    const float clamped = clampRate(rate);
    playbackRate = clamped;
    speedInputText = text(formatNumber("%.2f", static_cast<double>(clamped)));
    if (warpMode == WarpMode::tape) {
        pitchSemitones = clampSemitones(12.0f * std::log2(std::max(0.25f, clamped)));
        pitchInputText = text(formatNumber("%+.2f", static_cast<double>(pitchSemitones.get())));
    }
    applyWarpRateAndPitchParameters();
    statusBanner =
        QStringLiteral("Warp [") + rawValue(warpMode) + QStringLiteral("] · ") +
        text(formatNumber("Speed %.2fx · Pitch %+.2f st", static_cast<double>(playbackRate.get()),
                          static_cast<double>(pitchSemitones.get())));
}

void TindrelStore::setPitchSemitones(float semitones) {
    if (heldAtGate<&TindrelStore::setPitchSemitones>(semitones))
        return;
    // Adding 0 turns -0 into +0, so the field never reads "-0".
    const float clamped = clampSemitones(semitones) + 0.0f;
    pitchSemitones = clamped;
    pitchInputText = text(formatNumber(clamped == std::floor(clamped) ? "%+.0f" : "%+.2f",
                                       static_cast<double>(clamped)));
    if (warpMode == WarpMode::tape) {
        playbackRate = clampRate(std::pow(2.0f, clamped / 12.0f));
        speedInputText = text(formatNumber("%.2f", static_cast<double>(playbackRate.get())));
    }
    applyWarpRateAndPitchParameters();
    statusBanner =
        QStringLiteral("Warp [") + rawValue(warpMode) + QStringLiteral("] · ") +
        text(formatNumber("Pitch %+.2f st · Speed %.2fx", static_cast<double>(pitchSemitones.get()),
                          static_cast<double>(playbackRate.get())));
}

void TindrelStore::stepPitchSemitones(float delta) {
    if (stepHeldAtGate<&TindrelStore::stepPitchSemitones>(delta))
        return;
    setPitchSemitones(pitchSemitones + delta);
}

void TindrelStore::commitTypedPitch() {
    if (heldAtGate<&TindrelStore::commitTypedPitch>())
        return;
    QString typed = pitchInputText;
    typed.remove(QStringLiteral("st"));
    if (const std::optional<double> value = parseNumber(typed.trimmed().toStdString())) {
        setPitchSemitones(static_cast<float>(*value));
        return;
    }
    pitchInputText = text(formatNumber("%+.1f", static_cast<double>(pitchSemitones.get())));
}

void TindrelStore::commitTypedSpeed() {
    if (heldAtGate<&TindrelStore::commitTypedSpeed>())
        return;
    QString typed = speedInputText;
    typed.remove(QLatin1Char('x'));
    if (const std::optional<double> value = parseNumber(typed.trimmed().toStdString())) {
        setPlaybackRate(static_cast<float>(*value));
        return;
    }
    speedInputText = text(formatNumber("%.2f", static_cast<double>(playbackRate.get())));
}

void TindrelStore::setVolume(float gain) {
    if (heldAtGate<&TindrelStore::setVolume>(gain))
        return;
    volume = std::max(0.0f, std::min(1.5f, gain));
    playerNode().setVolume(volume);
}

void TindrelStore::setLoopInAtPlayhead() {
    if (heldAtGate<&TindrelStore::setLoopInAtPlayhead>())
        return;
    const double t = currentTime;
    loopIn = t;
    if (loopOut->has_value() && **loopOut <= t)
        loopOut = std::min(duration.get(), t + 2.0);
    isLoopEnabled = true;
    applyWarpRateAndPitchParameters();
    statusBanner = QStringLiteral("Set In at ") + formatTime(t) + QStringLiteral(" · ") +
                   warpedRangeSummaryText();
}

void TindrelStore::setLoopOutAtPlayhead() {
    if (heldAtGate<&TindrelStore::setLoopOutAtPlayhead>())
        return;
    if (!loopIn->has_value())
        loopIn = 0.0;
    const double t = currentTime;
    if (!(**loopIn + 0.05 < t))
        return;
    loopOut = t;
    isLoopEnabled = true;
    applyWarpRateAndPitchParameters();
    statusBanner = QStringLiteral("Set Out at ") + formatTime(t) + QStringLiteral(" · ") +
                   warpedRangeSummaryText();
}

void TindrelStore::clearABLoop() {
    if (heldAtGate<&TindrelStore::clearABLoop>())
        return;
    loopIn = std::nullopt;
    loopOut = std::nullopt;
    isLoopEnabled = false;
    applyWarpRateAndPitchParameters();
    statusBanner = QStringLiteral("Cleared playback range");
}

void TindrelStore::setRangeBounds(double start, double end) {
    if (heldAtGate<&TindrelStore::setRangeBounds>(start, end))
        return;
    if (std::isnan(start) || std::isnan(end))
        return;
    const double s = std::max(0.0, std::min(duration.get(), std::min(start, end)));
    const double e = std::max(s + 0.05, std::min(duration.get(), std::max(start, end)));
    loopIn = s;
    loopOut = e;
    isLoopEnabled = true;
    applyWarpRateAndPitchParameters();
    statusBanner = warpedRangeSummaryText();
}

} // namespace tindrel
