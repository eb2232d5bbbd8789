#pragma once

// Copies between non-interleaved frames and a ring of per-channel storage, across the ring's
// wrap: the one copy loop of RingBuffer and RenderAheadQueue. No allocation.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tindrel::platform {

using PlanarRing = std::vector<std::vector<float>>;

// Copies `frames` frames of `source[c] + offset` into the ring from `position` (counted from
// the ring's first write; the ring holds `capacity` frames per channel).
void copyIntoRing(PlanarRing& ring, size_t capacity, uint64_t position, const float* const* source,
                  size_t offset, size_t frames);
// Copies `frames` frames of the ring from `position` to `destination[c] + offset`.
void copyOutOfRing(const PlanarRing& ring, size_t capacity, uint64_t position,
                   float* const* destination, size_t offset, size_t frames);

} // namespace tindrel::platform
