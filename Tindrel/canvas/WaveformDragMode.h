#pragma once

// What one drag on the canvas does, decided at its press and kept until its release:
// scrub the playhead, move one edge of the In/Out range, or sweep a new range from an anchor.
// Also the pure rules of that decision and of the handle moves. Plain values; no Qt.

namespace tindrel {

struct WaveformDragMode {
    enum class Kind { none, scrubPlayhead, moveInHandle, moveOutHandle, sweepNewRange };
    Kind kind = Kind::none;
    double anchorSec = 0; // only for sweepNewRange

    static WaveformDragMode none() { return {}; }
    static WaveformDragMode sweepNewRange(double anchor) { return {Kind::sweepNewRange, anchor}; }
    bool operator==(const WaveformDragMode&) const = default;
};

struct DragRangeState {
    bool hasActiveRange = false;
    double effectiveRangeStart = 0;
    double effectiveRangeEnd = 0;
};

struct WaveformDragRules {
    static constexpr double handleReach = 12.0;      // pixels either side of an edge
    static constexpr double minimumHandleGap = 0.05; // seconds kept between In and Out

    // The mode for a press at x = pressX whose pointer time is t. A held sweep modifier wins
    // over everything; then the In edge, then the Out edge (unclamped x of each), else scrub.
    static WaveformDragMode decide(bool sweepModifierHeld, double t, double pressX,
                                   const DragRangeState& range, double inX, double outX);

    // The new In for a pointer time t: never later than 0.05 s before the Out edge, never
    // before 0.
    static double movedIn(double t, double effectiveRangeEnd);
    // The new Out: never earlier than 0.05 s after the In edge (even past the track's end
    // when In sits in its last 0.05 s), otherwise at most the duration.
    static double movedOut(double t, double effectiveRangeStart, double duration);
};

} // namespace tindrel
