#pragma once

// The waveform's bars, drawn from cached images: every bar in its played colouring, every bar
// in its unplayed colouring, and two with the colourings alternating (even bars played, odd
// bars played). Each frame shows the played image left of the played boundary and the unplayed
// image right of it; the few pixel columns where a played and an unplayed bar meet come from
// the alternating image that colours that pair rightly, or are drawn bar by bar where a third
// bar reaches into them (very narrow bars). The result matches drawing every bar directly (up
// to 8-bit rounding of the blend), and a moving playhead costs image copies alone. The images
// are rebuilt only when the envelope, the size, the visible window or the device pixel ratio
// change.
// GUI thread only.

#include "Tindrel/canvas/WaveformBarLayout.h"

#include <QImage>

#include <vector>

class QPainter;

namespace tindrel {

class WaveformBarLayer {
public:
    // Paints the bars of `layout` at the painter's origin; bars whose left edge is at or
    // before playX are played.
    void paint(QPainter& painter, const WaveformEnvelope& envelope, const WaveformBarLayout& layout,
               double playX, qreal devicePixelRatio);

    // Draws bars [from, to) directly, the first `playedCount` of the layout in the played
    // colouring: the reference the cached path reproduces.
    static void paintBarsDirectly(QPainter& painter, const WaveformEnvelope& envelope,
                                  const WaveformBarLayout& layout, int from, int to,
                                  int playedCount);

    // How often the cached images were rebuilt.
    int rebuildCount() const { return rebuildCount_; }

private:
    struct Key {
        std::vector<float> peaks;
        std::vector<float> rms;
        int binCount = 0;
        int s = 0;
        int e = 0;
        double width = 0;
        double height = 0;
        qreal ratio = 0;
        bool operator==(const Key&) const = default;
    };

    void rebuildIfNeeded(const WaveformEnvelope& envelope, const WaveformBarLayout& layout,
                         qreal ratio);

    Key key_;
    QImage played_;
    QImage unplayed_;
    QImage evenPlayed_;
    QImage oddPlayed_;
    int rebuildCount_ = 0;
};

} // namespace tindrel
