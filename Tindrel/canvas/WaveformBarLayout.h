#pragma once

// Turns the record's fixed-resolution envelope into as many bars as fit the width (at least
// 120 unless fewer bins are visible): which bins each bar covers, where it sits, how tall
// its peak and RMS parts are, and whether it counts as played. A plain value; no Qt.

#include <span>
#include <vector>

namespace tindrel {

// The envelope the canvas draws: the record's arrays, or the flat fallback when there is no
// record or its peaks are empty (so binning never reads an empty array).
struct WaveformEnvelope {
    std::span<const float> peaks;
    std::span<const float> rms;

    static WaveformEnvelope withFallback(const std::vector<float>* recordPeaks,
                                         const std::vector<float>* recordRms);
};

struct WaveformBar {
    int firstBin = 0; // bins firstBin ..< endBin, at least one
    int endBin = 1;
    float peak = 0.01f;
    float rms = 0.005f;
    double x = 0; // left edge
    double peakHeight = 3;
    double rmsHeight = 2;
};

struct WaveformBarLayout {
    int n = 1;   // bin count
    int s = 0;   // first visible bin
    int e = 1;   // one past the last visible bin
    int vis = 1; // visible bins
    int bars = 1;
    double width = 1;
    double height = 1;
    double slot = 1;
    double barW = 1.4;

    static WaveformBarLayout make(int binCount, double visibleStartFrac, double visibleEndFrac,
                                  double width, double height);

    WaveformBar bar(int index, const WaveformEnvelope& envelope) const;
    double barX(int index) const;
    // How many leading bars count as played: those whose left edge is at or before playX.
    int playedBarCount(double playX) const;
};

} // namespace tindrel
