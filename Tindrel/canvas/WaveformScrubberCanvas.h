#pragma once

// The waveform of the open file inside the store's visible zoom window: played and unplayed
// bars, the In/Out range with its handles and summary, transient markers, the playhead and,
// above 110 pixels of height, the zoom/pan/transient toolbar. A press and drag scrubs the
// playhead, moves one edge of the range, or (with Alt or Shift) sweeps a new range.
//
// It keeps no state of its own besides the drag in progress, a cache of drawn bars and a
// summary of what it last drew: a store change repaints only when something drawn differs,
// and a playhead that merely moved repaints only the strips it left and entered. One point of the
// layout is one device-independent pixel. Main thread only; holds a reference to the store, which
// must outlive it.

#include "Tindrel/canvas/CanvasGeometry.h"
#include "Tindrel/canvas/TransientMarkerLayer.h"
#include "Tindrel/canvas/WaveformBarLayer.h"
#include "Tindrel/canvas/WaveformDragController.h"

#include <QString>
#include <QWidget>

#include <memory>
#include <vector>

namespace tindrel {

class TindrelStore;
class WaveformToolbar;

class WaveformScrubberCanvas final : public QWidget {
    Q_OBJECT

public:
    explicit WaveformScrubberCanvas(TindrelStore& store, QWidget* parent = nullptr);

    const WaveformDragMode& dragMode() const { return drag_.mode(); }
    // The toolbar row; hidden at 110 pixels of height or less.
    WaveformToolbar* toolbar() const { return toolbar_; }
    const WaveformBarLayer& barLayer() const { return barLayer_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    struct Envelope {
        std::vector<float> peaks;
        std::vector<float> rms;
        std::vector<double> transientTimes;
    };
    // What a paint shows, at the resolution it is drawn: the playhead in device pixels and
    // in played bars; the size is Qt's to track.
    struct Drawn {
        CanvasGeometryInput window; // without the playhead's time, which counts in pixels
        int playheadPixel = -1;     // -1 when off the window
        int playedBars = 0;
        bool hasSpec = false;
        // Shared with the last Drawn while the store's is the same, so that comparing a tick's
        // Drawn with the last one compares the pointers and copies no waveform.
        std::shared_ptr<const Envelope> envelope;
        bool showsTransients = false;
        bool boldTransients = false;
        bool hasRange = false;
        double rangeStart = 0;
        double rangeEnd = 0;
        bool loopEnabled = false;
        QString rangeSummary;
        bool operator==(const Drawn&) const = default;
    };
    Drawn drawn() const; // with drawn_'s envelope when the store's is the same
    // Repaints what differs between `before` and `after`: the playhead's strips alone when
    // nothing else changed.
    void repaintChanges(const Drawn& before, const Drawn& after);

    CanvasGeometryInput geometryInput() const;
    CanvasGeometry geometry() const;
    void storeChanged();
    void layOutToolbar();
    // Everything, clipped to one band of the repainted region.
    void paintBand(QPainter& painter, const CanvasGeometry& g);
    void paintRange(QPainter& painter, const CanvasGeometry& g);
    void paintWaveform(QPainter& painter, const CanvasGeometry& g);

    TindrelStore& store_;
    WaveformDragController drag_;
    WaveformBarLayer barLayer_;
    TransientMarkerLayer markerLayer_;
    WaveformToolbar* toolbar_ = nullptr;
    Drawn drawn_;
};

} // namespace tindrel
