#pragma once

// Turns the pointer events of one drag on the canvas into store calls: at the press it
// decides once whether the drag scrubs, moves the In or Out edge, or sweeps a new range, and
// every event of the drag then acts on the store by that decision. The decision is made
// afresh at every press and forgotten at the release (or when the canvas hides), so a drag
// that lost its release cannot leak its mode into the next one.
// Main thread only; holds a reference to the store, which must outlive it.

#include "Tindrel/canvas/CanvasGeometry.h"
#include "Tindrel/canvas/WaveformDragMode.h"

namespace tindrel {

class TindrelStore;

class WaveformDragController {
public:
    explicit WaveformDragController(TindrelStore& store);

    // A press at x (the drag's start); sweepModifierHeld = Alt or Shift held now.
    void press(double x, const CanvasGeometry& geometry, bool sweepModifierHeld);
    // A movement of the pointer to x while the drag lasts. The modifiers count only while
    // no mode is decided yet (nothing was loaded at the press).
    void move(double x, const CanvasGeometry& geometry, bool sweepModifierHeld);
    void end();

    const WaveformDragMode& mode() const { return mode_; }
    bool isDragging() const { return dragging_; }

private:
    void change(double x, const CanvasGeometry& geometry, bool sweepModifierHeld);

    TindrelStore& store_;
    WaveformDragMode mode_;
    double pressX_ = 0;
    bool dragging_ = false;
};

} // namespace tindrel
