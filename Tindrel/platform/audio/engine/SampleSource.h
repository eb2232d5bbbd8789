#pragma once

// Where the time-pitch unit pulls its input from. Called on the render thread only.

#include <cstddef>

namespace tindrel::platform {

class SampleSource {
public:
    virtual ~SampleSource() = default;
    // Writes up to `frames` frames to `destination[channel] + offset`. Returns the frames
    // written; fewer than asked means the data is late (an underrun), not the end: past the
    // end of its material a source delivers silence.
    virtual size_t pull(float* const* destination, size_t offset, size_t frames) = 0;
};

} // namespace tindrel::platform
