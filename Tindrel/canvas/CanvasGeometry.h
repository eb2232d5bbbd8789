#pragma once

// The canvas's geometry for one paint or one pointer event: frame size, visible window (as
// fractions of the track and as seconds), the playhead's place, and the mappings between
// time and x. Units are device-independent pixels and seconds. A plain value; no Qt.

namespace tindrel {

struct CanvasGeometryInput {
    double width = 0;
    double height = 0;
    double visibleStartFrac = 0;
    double visibleEndFrac = 1;
    double visibleStartSec = 0;
    double visibleEndSec = 0;
    double currentTime = 0;
    double duration = 0;
    bool operator==(const CanvasGeometryInput&) const = default;
};

struct CanvasGeometry {
    double w = 1;
    double h = 1;
    double f0 = 0;
    double f1 = 1;
    double F = 1; // visible fraction span, never below 0.0001
    double t0 = 0;
    double t1 = 0;
    double T = 0.0001; // visible seconds span, never below 0.0001
    double p = 0;      // playhead as a fraction of the track
    double q = 0;      // playhead as a fraction of the visible window; outside [0, 1] off-window

    static CanvasGeometry make(const CanvasGeometryInput& input);

    // Unclamped: a time outside the window maps outside [0, w].
    double timeToX(double seconds) const;
    // The pointer pinned to the frame, then to [0, duration].
    double pointerToTime(double px, double duration) const;
    // Left edge of the 2-wide playhead bar, kept inside the frame so that the end of the
    // track stays visible; none when the playhead lies outside the window.
    bool showsPlayhead() const;
    double playheadX() const;
    bool showsToolbar() const;

    static constexpr double playheadWidth = 2.0;
    static constexpr double toolbarMinimumHeight = 110.0; // shown only above this height
};

} // namespace tindrel
