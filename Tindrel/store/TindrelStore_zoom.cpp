#include "Tindrel/store/TindrelStore.h"

#include "Tindrel/platform/text/LocaleFreeNumber.h"

#include <algorithm>
#include <cmath>

namespace tindrel {

namespace {

// Keeps a window of `span` around the centre inside [0, 1].
double clampCentre(double centre, double span) {
    return std::clamp(centre, span / 2.0, std::max(span / 2.0, 1.0 - span / 2.0));
}

QString transientStatus(const char* prefix, size_t index, size_t count, const QString& time) {
    return QString::fromStdString(formatNumber("%s %zu/%zu at ", prefix, index + 1, count)) + time;
}

// The playhead as a fraction of the track, or `fallback` without a track.
double playheadFraction(double currentTime, double duration, double fallback) {
    if (!(duration > 0))
        return fallback;
    return std::clamp(currentTime / duration, 0.0, 1.0);
}

} // namespace

double TindrelStore::visibleFracSpan() const {
    return 1.0 / std::max(1.0, std::min(32.0, waveformZoom.get()));
}

double TindrelStore::visibleStartFrac() const {
    const double span = visibleFracSpan();
    return std::max(0.0, std::min(1.0 - span, waveformCenterFrac - span / 2.0));
}

double TindrelStore::visibleEndFrac() const {
    return std::min(1.0, visibleStartFrac() + visibleFracSpan());
}

double TindrelStore::visibleStartSec() const {
    return visibleStartFrac() * std::max(0.001, duration.get());
}

double TindrelStore::visibleEndSec() const {
    return visibleEndFrac() * std::max(0.001, duration.get());
}

void TindrelStore::ensurePlayheadVisibleInZoomWindow() {
    if (heldAtGate<&TindrelStore::ensurePlayheadVisibleInZoomWindow>())
        return;
    if (!(waveformZoom > 1.01 && duration > 0))
        return;
    const double span = visibleFracSpan();
    const double margin = 0.12 * span;
    const double p = playheadFraction(currentTime, duration, 0.5);
    if (p < visibleStartFrac() + margin || p > visibleEndFrac() - margin)
        waveformCenterFrac = clampCentre(p, span);
}

void TindrelStore::zoomInWaveform() {
    if (stepHeldAtGate<&TindrelStore::zoomInWaveform>())
        return;
    const double p = playheadFraction(currentTime, duration, 0.5);
    waveformZoom = std::min(32.0, waveformZoom * 1.5);
    waveformCenterFrac = clampCentre(p, 1.0 / waveformZoom);
    statusBanner = QString::fromStdString(
        formatNumber("Waveform Zoom In: %.1fx (T = Zoom In · R = Zoom Out · Tab/⇧Tab = Transient)",
                     waveformZoom.get()));
}

void TindrelStore::zoomOutWaveform() {
    if (stepHeldAtGate<&TindrelStore::zoomOutWaveform>())
        return;
    const double p = playheadFraction(currentTime, duration, 0.5);
    double zoom = std::max(1.0, waveformZoom / 1.5);
    if (zoom <= 1.05)
        zoom = 1.0;
    waveformZoom = zoom;
    waveformCenterFrac = zoom <= 1.01 ? 0.5 : clampCentre(p, 1.0 / zoom);
    statusBanner = QString::fromStdString(
        formatNumber("Waveform Zoom Out: %.1fx (T = Zoom In · R = Zoom Out)", zoom));
}

void TindrelStore::resetWaveformZoom() {
    if (heldAtGate<&TindrelStore::resetWaveformZoom>())
        return;
    waveformZoom = 1.0;
    waveformCenterFrac = 0.5;
    statusBanner = QStringLiteral("Waveform Zoom reset to 1.0x (Full Track)");
}

void TindrelStore::panWaveform(double deltaFrac) {
    if (stepHeldAtGate<&TindrelStore::panWaveform>(deltaFrac))
        return;
    if (!(waveformZoom > 1.01) || std::isnan(deltaFrac))
        return;
    waveformCenterFrac = clampCentre(waveformCenterFrac + deltaFrac, visibleFracSpan());
}

void TindrelStore::jumpToNextTransient(bool extendSelection) {
    if (stepHeldAtGate<&TindrelStore::jumpToNextTransient>(extendSelection))
        return;
    if (!(duration > 0))
        return;
    const std::vector<double> ts =
        spec->has_value() ? (*spec)->transientTimes : std::vector<double>{};
    if (ts.empty()) {
        seekRelative(0.25);
        ensurePlayheadVisibleInZoomWindow();
        return;
    }
    const double t = currentTime;
    const auto target = std::find_if(ts.begin(), ts.end(), [t](double x) { return x > t + 0.018; });
    if (target == ts.end()) {
        seek(std::max(0.0, duration - 0.02), std::nullopt);
        ensurePlayheadVisibleInZoomWindow();
        statusBanner = QString::fromStdString(
            formatNumber("⇥ Reached end of transients (%zu total)", ts.size()));
        return;
    }
    const double targetTime = *target;
    const size_t index = static_cast<size_t>(target - ts.begin());
    const size_t count = ts.size();
    if (extendSelection) {
        if (!loopIn->has_value())
            loopIn = t;
        loopOut = std::max(**loopIn + 0.02, targetTime);
        isLoopEnabled = true;
    }
    seek(targetTime, std::nullopt);
    ensurePlayheadVisibleInZoomWindow();
    statusBanner = transientStatus("⇥ Tab to Transient", index, count, formatTime(targetTime));
}

void TindrelStore::jumpToPreviousTransient(bool extendSelection) {
    if (stepHeldAtGate<&TindrelStore::jumpToPreviousTransient>(extendSelection))
        return;
    if (!(duration > 0))
        return;
    const std::vector<double> ts =
        spec->has_value() ? (*spec)->transientTimes : std::vector<double>{};
    if (ts.empty()) {
        seekRelative(-0.25);
        ensurePlayheadVisibleInZoomWindow();
        return;
    }
    const double t = currentTime;
    const auto target =
        std::find_if(ts.rbegin(), ts.rend(), [t](double x) { return x < t - 0.028; });
    if (target == ts.rend()) {
        seek(0.0, std::nullopt);
        ensurePlayheadVisibleInZoomWindow();
        statusBanner = QStringLiteral("⇤ Start of track (0:00.0)");
        return;
    }
    const double targetTime = *target;
    const size_t index = static_cast<size_t>(ts.rend() - target) - 1;
    const size_t count = ts.size();
    if (extendSelection) {
        if (!loopOut->has_value())
            loopOut = t;
        loopIn = std::min(**loopOut - 0.02, targetTime);
        isLoopEnabled = true;
    }
    seek(targetTime, std::nullopt);
    ensurePlayheadVisibleInZoomWindow();
    statusBanner =
        transientStatus("⇤ Shift+Tab to Transient", index, count, formatTime(targetTime));
}

} // namespace tindrel
