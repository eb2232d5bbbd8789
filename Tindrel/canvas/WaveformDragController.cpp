#include "Tindrel/canvas/WaveformDragController.h"

#include "Tindrel/store/TindrelStore.h"

namespace tindrel {

using Kind = WaveformDragMode::Kind;

WaveformDragController::WaveformDragController(TindrelStore& store) : store_(store) {}

void WaveformDragController::press(double x, const CanvasGeometry& geometry,
                                   bool sweepModifierHeld) {
    mode_ = WaveformDragMode::none();
    pressX_ = x;
    dragging_ = true;
    change(x, geometry, sweepModifierHeld);
}

void WaveformDragController::move(double x, const CanvasGeometry& geometry,
                                  bool sweepModifierHeld) {
    if (dragging_)
        change(x, geometry, sweepModifierHeld);
}

void WaveformDragController::end() {
    mode_ = WaveformDragMode::none();
    dragging_ = false;
}

void WaveformDragController::change(double x, const CanvasGeometry& g, bool sweepModifierHeld) {
    const double duration = store_.duration.get();
    if (!(duration > 0))
        return;
    const double t = g.pointerToTime(x, duration);
    if (mode_.kind == Kind::none) {
        const double start = store_.effectiveRangeStart();
        const double end = store_.effectiveRangeEnd();
        mode_ = WaveformDragRules::decide(sweepModifierHeld, t, pressX_,
                                          {store_.hasActiveRange(), start, end}, g.timeToX(start),
                                          g.timeToX(end));
    }
    switch (mode_.kind) {
    case Kind::none:
        break;
    case Kind::scrubPlayhead:
        store_.seek(t, true);
        break;
    case Kind::moveInHandle: {
        const double newIn = WaveformDragRules::movedIn(t, store_.effectiveRangeEnd());
        store_.loopIn = newIn;
        if (!store_.loopOut.get())
            store_.loopOut = duration;
        store_.isLoopEnabled = true;
        break;
    }
    case Kind::moveOutHandle: {
        const double newOut =
            WaveformDragRules::movedOut(t, store_.effectiveRangeStart(), duration);
        if (!store_.loopIn.get())
            store_.loopIn = 0.0;
        store_.loopOut = newOut;
        store_.isLoopEnabled = true;
        break;
    }
    case Kind::sweepNewRange:
        store_.setRangeBounds(mode_.anchorSec, t);
        break;
    }
}

} // namespace tindrel
