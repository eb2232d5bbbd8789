#pragma once

// A 64-bit digest of a stream of bytes (XXH64, seed 0), fed in pieces of any size: fast enough
// to follow a file as it is written or read, and certain to change with any edit a person or
// program makes. Not a defence against someone forging a match. One thread at a time.

#include <cstddef>
#include <cstdint>

namespace tindrel {

class DataDigest {
public:
    void add(const void* data, size_t size);
    // The digest of everything added so far; adding may go on after.
    uint64_t value() const;

private:
    void addStripe(const unsigned char* stripe);

    uint64_t lanes_[4] = {0x60ea27eeadc0b5d6ull, 0xc2b2ae3d27d4eb4full, 0, 0x61c8864e7a143579ull};
    unsigned char pending_[32] = {};
    size_t pendingSize_ = 0;
    uint64_t totalSize_ = 0;
};

} // namespace tindrel
