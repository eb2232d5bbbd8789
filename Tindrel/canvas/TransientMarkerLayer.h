#pragma once

// The transient onset markers over the waveform: a dashed orange line down the full height
// and a small triangle hanging from the top edge for each onset inside the visible window
// (both ends included). Drawn once into a cached image, rebuilt only when the onsets, the
// window, the size, the line opacity or the device pixel ratio change; a file's worth of
// dashed lines would otherwise cost several milliseconds per frame.
// GUI thread only.

#include <QImage>

#include <vector>

class QPainter;

namespace tindrel {

struct TransientMarkerFrame {
    double t0 = 0; // visible window start, seconds
    double t1 = 0; // visible window end, seconds
    double T = 1;  // visible span, seconds, at least 0.0001
    double width = 1;
    double height = 1;
    double lineOpacity = 0.3;
    bool operator==(const TransientMarkerFrame&) const = default;
};

class TransientMarkerLayer {
public:
    void paint(QPainter& painter, const std::vector<double>& transients,
               const TransientMarkerFrame& frame, qreal devicePixelRatio);

    // Draws the markers directly: the reference the cached image reproduces.
    static void paintDirectly(QPainter& painter, const std::vector<double>& transients,
                              const TransientMarkerFrame& frame);

    int rebuildCount() const { return rebuildCount_; }

private:
    std::vector<double> transients_;
    TransientMarkerFrame frame_;
    qreal ratio_ = 0;
    QImage image_;
    int rebuildCount_ = 0;
};

} // namespace tindrel
