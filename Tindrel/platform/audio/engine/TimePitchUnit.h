#pragma once

// The time-pitch unit between the player node and the mixer. Parameters may be set from the
// main thread at any time, also while the engine renders; they take effect at the next block
// boundary without a click. Defaults: rate 1, pitch 0 cents, overlap 8 (neutral).
//
// rate: 0.25 to 4, output duration = input duration / rate.
// pitch: cents, -2400 to 2400.
// overlap: the warp character. 12 smooth and harmonic ("musical"), 3.5 tight transients
// ("beats"), 8 varispeed-like ("tape").

namespace tindrel::platform {

class TimePitchUnit {
public:
    virtual ~TimePitchUnit() = default;
    virtual void setRate(float rate) = 0;
    virtual float rate() const = 0;
    virtual void setPitch(float cents) = 0;
    virtual float pitch() const = 0;
    virtual void setOverlap(float overlap) = 0;
    virtual float overlap() const = 0;
};

} // namespace tindrel::platform
