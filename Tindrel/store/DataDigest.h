#pragma once

// A 64-bit digest of a stream of bytes (XXH64, seed 0, through libxxhash), fed in pieces of any
// size: fast enough to follow a file as it is written or read, and certain to change with any
// edit a person or program makes. Not a defence against someone forging a match. One thread at
// a time.

#include <cstddef>
#include <cstdint>
#include <memory>

struct XXH64_state_s;

namespace tindrel {

class DataDigest {
public:
    DataDigest();
    ~DataDigest();
    DataDigest(const DataDigest&) = delete;
    DataDigest& operator=(const DataDigest&) = delete;

    void add(const void* data, size_t size);
    // The digest of everything added so far; adding may go on after.
    uint64_t value() const;

private:
    struct StateRelease {
        void operator()(XXH64_state_s* state) const;
    };
    std::unique_ptr<XXH64_state_s, StateRelease> state_;
};

} // namespace tindrel
