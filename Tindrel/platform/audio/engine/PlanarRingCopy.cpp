#include "Tindrel/platform/audio/engine/PlanarRingCopy.h"

#include <algorithm>
#include <cstring>

namespace tindrel::platform {

void copyIntoRing(PlanarRing& ring, size_t capacity, uint64_t position, const float* const* source,
                  size_t offset, size_t frames) {
    const auto start = static_cast<size_t>(position % capacity);
    const size_t first = std::min(frames, capacity - start);
    for (size_t c = 0; c < ring.size(); ++c) {
        std::memcpy(ring[c].data() + start, source[c] + offset, first * sizeof(float));
        std::memcpy(ring[c].data(), source[c] + offset + first, (frames - first) * sizeof(float));
    }
}

void copyOutOfRing(const PlanarRing& ring, size_t capacity, uint64_t position,
                   float* const* destination, size_t offset, size_t frames) {
    const auto start = static_cast<size_t>(position % capacity);
    const size_t first = std::min(frames, capacity - start);
    for (size_t c = 0; c < ring.size(); ++c) {
        std::memcpy(destination[c] + offset, ring[c].data() + start, first * sizeof(float));
        std::memcpy(destination[c] + offset + first, ring[c].data(),
                    (frames - first) * sizeof(float));
    }
}

} // namespace tindrel::platform
