#pragma once

// The length a compressed stream really has when its header (or its last Ogg granule
// position) may claim more: a file cut short or written by a lying muxer still decodes only a
// prefix of the frames it states. `decodesFrameAt(frame)` tells whether that frame decodes;
// the last one that does is found by bisection, as decodable frames form a prefix.
// Pure; any thread.

#include <algorithm>
#include <cstdint>

namespace tindrel::platform {

template <typename DecodesFrameAt>
int64_t decodableLength(int64_t stated, DecodesFrameAt&& decodesFrameAt) {
    if (stated <= 0 || decodesFrameAt(stated - 1))
        return std::max<int64_t>(0, stated);
    int64_t good = -1;
    int64_t bad = stated - 1;
    while (bad - good > 1) {
        const int64_t middle = good + (bad - good) / 2;
        (decodesFrameAt(middle) ? good : bad) = middle;
    }
    return good + 1;
}

} // namespace tindrel::platform
