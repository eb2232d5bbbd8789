#pragma once

// The canvas's toolbar row: the visible-window readout while zoomed, the transient markers
// toggle and steps, and pan/zoom controls. Every control reads the store when refreshed and
// acts only through the store's zoom and transient operations and its marker flag. Clicks on
// the row outside its controls fall through to the canvas underneath.
// Main thread only; holds a reference to the store, which must outlive it.

#include <QWidget>

namespace tindrel {

class TindrelStore;
class WaveformToolbarChip;

class WaveformToolbar final : public QWidget {
    Q_OBJECT

public:
    WaveformToolbar(TindrelStore& store, QWidget* parent = nullptr);

    // Brings every control in line with the store and the canvas's visible window (seconds).
    void refresh(double t0, double t1, int transientCount);

    WaveformToolbarChip* markersToggle() const { return markers_; }
    WaveformToolbarChip* previousTransientButton() const { return previous_; }
    WaveformToolbarChip* nextTransientButton() const { return next_; }
    WaveformToolbarChip* panLeftButton() const { return panLeft_; }
    WaveformToolbarChip* zoomOutButton() const { return zoomOut_; }
    WaveformToolbarChip* zoomReadout() const { return zoomReadout_; }
    WaveformToolbarChip* zoomInButton() const { return zoomIn_; }
    WaveformToolbarChip* panRightButton() const { return panRight_; }
    QWidget* windowPill() const { return windowPill_; }
    QString windowPillText() const;

private:
    TindrelStore& store_;
    QWidget* windowPill_ = nullptr;
    WaveformToolbarChip* markers_ = nullptr;
    WaveformToolbarChip* previous_ = nullptr;
    WaveformToolbarChip* next_ = nullptr;
    WaveformToolbarChip* panLeft_ = nullptr;
    WaveformToolbarChip* zoomOut_ = nullptr;
    WaveformToolbarChip* zoomReadout_ = nullptr;
    WaveformToolbarChip* zoomIn_ = nullptr;
    WaveformToolbarChip* panRight_ = nullptr;
};

} // namespace tindrel
