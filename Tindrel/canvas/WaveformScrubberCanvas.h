#pragma once

// The waveform of the open file inside the store's visible zoom window: played and unplayed
// bars, the In/Out range with its handles and summary, transient markers, the playhead and,
// above 110 pixels of height, the zoom/pan/transient toolbar. A press and drag scrubs the
// playhead, moves one edge of the range, or (with Alt or Shift) sweeps a new range.
//
// It keeps no state of its own besides the drag in progress and a cache of drawn bars; it
// repaints whenever the store announces a change. One point of the layout is one
// device-independent pixel. Main thread only; holds a reference to the store, which must
// outlive it.

#include "Tindrel/canvas/CanvasGeometry.h"
#include "Tindrel/canvas/TransientMarkerLayer.h"
#include "Tindrel/canvas/WaveformBarLayer.h"
#include "Tindrel/canvas/WaveformDragController.h"

#include <QWidget>

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
    void hideEvent(QHideEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    CanvasGeometry geometry() const;
    void storeChanged();
    void layOutToolbar();
    void paintRange(QPainter& painter, const CanvasGeometry& g);
    void paintWaveform(QPainter& painter, const CanvasGeometry& g);

    TindrelStore& store_;
    WaveformDragController drag_;
    WaveformBarLayer barLayer_;
    TransientMarkerLayer markerLayer_;
    WaveformToolbar* toolbar_ = nullptr;
};

} // namespace tindrel
