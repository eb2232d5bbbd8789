#include "Tindrel/canvas/WaveformBarLayout.h"

#include <algorithm>
#include <cmath>

namespace tindrel {

namespace {

const std::vector<float>& fallbackPeaks() {
    static const std::vector<float> values(240, 0.12f);
    return values;
}

const std::vector<float>& fallbackRms() {
    static const std::vector<float> values(240, 0.06f);
    return values;
}

} // namespace

WaveformEnvelope WaveformEnvelope::withFallback(const std::vector<float>* recordPeaks,
                                                const std::vector<float>* recordRms) {
    if (!recordPeaks || recordPeaks->empty())
        return {fallbackPeaks(), fallbackRms()};
    if (!recordRms)
        return {*recordPeaks, {}};
    return {*recordPeaks, *recordRms};
}

WaveformBarLayout WaveformBarLayout::make(int binCount, double f0, double f1, double width,
                                          double height) {
    WaveformBarLayout l;
    l.width = width;
    l.height = height;
    l.n = std::max(1, binCount);
    const double startBin = std::floor(f0 * l.n);
    const double endBin = std::ceil(f1 * l.n);
    l.s = int(std::max(0.0, std::min(double(l.n - 1), startBin)));
    l.e = int(std::max(double(l.s + 1), std::min(double(l.n), endBin)));
    l.vis = std::max(1, l.e - l.s);
    const int byWidth = int(std::max(0.0, std::trunc(width / 2.6)));
    l.bars = std::min(l.vis, std::max(120, byWidth));
    l.slot = width / l.bars;
    l.barW = std::max(1.4, l.slot * 0.74);
    return l;
}

double WaveformBarLayout::barX(int i) const {
    return i * slot + (slot - barW) / 2;
}

WaveformBar WaveformBarLayout::bar(int i, const WaveformEnvelope& envelope) const {
    WaveformBar b;
    // 64-bit products: i * vis can exceed int for huge envelopes.
    const long long a = s + (static_cast<long long>(i) * vis) / bars;
    const long long next = s + (static_cast<long long>(i + 1) * vis) / bars;
    const long long end = std::max(a + 1, std::min<long long>(e, next));
    b.firstBin = int(a);
    b.endBin = int(end);
    const auto peakCount = static_cast<long long>(envelope.peaks.size());
    const auto rmsCount = static_cast<long long>(envelope.rms.size());
    for (long long j = a; j < end && j < peakCount; ++j) {
        b.peak = std::max(b.peak, envelope.peaks[size_t(j)]);
        if (j < rmsCount)
            b.rms = std::max(b.rms, envelope.rms[size_t(j)]);
    }
    b.x = barX(i);
    b.peakHeight = std::max(3.0, double(b.peak) * (height * 0.86));
    b.rmsHeight = std::max(2.0, double(b.rms) * (height * 0.86));
    return b;
}

int WaveformBarLayout::playedBarCount(double playX) const {
    // barX grows with the index, so the played bars are a prefix.
    int lo = 0;
    int hi = bars;
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (barX(mid) <= playX)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

} // namespace tindrel
