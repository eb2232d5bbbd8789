#include "Tindrel/store/DataDigest.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace tindrel {

namespace {

constexpr uint64_t prime1 = 11400714785074694791ull;
constexpr uint64_t prime2 = 14029467366897019727ull;
constexpr uint64_t prime3 = 1609587929392839161ull;
constexpr uint64_t prime4 = 9650029242287828579ull;
constexpr uint64_t prime5 = 2870177450012600261ull;

uint64_t little64(const unsigned char* bytes) {
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

uint64_t little32(const unsigned char* bytes) {
    return uint64_t(bytes[0]) | uint64_t(bytes[1]) << 8 | uint64_t(bytes[2]) << 16 |
           uint64_t(bytes[3]) << 24;
}

uint64_t mixRound(uint64_t lane, uint64_t input) {
    return std::rotl(lane + input * prime2, 31) * prime1;
}

uint64_t merge(uint64_t hash, uint64_t lane) {
    return (hash ^ mixRound(0, lane)) * prime1 + prime4;
}

} // namespace

void DataDigest::addStripe(const unsigned char* stripe) {
    for (int lane = 0; lane < 4; ++lane)
        lanes_[lane] = mixRound(lanes_[lane], little64(stripe + 8 * lane));
}

void DataDigest::add(const void* data, size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    totalSize_ += size;
    if (pendingSize_ > 0) {
        const size_t taken = std::min(size, sizeof pending_ - pendingSize_);
        std::memcpy(pending_ + pendingSize_, bytes, taken);
        pendingSize_ += taken;
        bytes += taken;
        size -= taken;
        if (pendingSize_ < sizeof pending_)
            return;
        addStripe(pending_);
        pendingSize_ = 0;
    }
    for (; size >= sizeof pending_; bytes += sizeof pending_, size -= sizeof pending_)
        addStripe(bytes);
    std::memcpy(pending_, bytes, size);
    pendingSize_ = size;
}

uint64_t DataDigest::value() const {
    uint64_t hash = prime5;
    if (totalSize_ >= sizeof pending_) {
        hash = std::rotl(lanes_[0], 1) + std::rotl(lanes_[1], 7) + std::rotl(lanes_[2], 12) +
               std::rotl(lanes_[3], 18);
        for (const uint64_t lane : lanes_)
            hash = merge(hash, lane);
    }
    hash += totalSize_;
    const unsigned char* tail = pending_;
    size_t left = pendingSize_;
    for (; left >= 8; tail += 8, left -= 8)
        hash = std::rotl(hash ^ mixRound(0, little64(tail)), 27) * prime1 + prime4;
    if (left >= 4) {
        hash = std::rotl(hash ^ (little32(tail) * prime1), 23) * prime2 + prime3;
        tail += 4;
        left -= 4;
    }
    for (; left > 0; ++tail, --left)
        hash = std::rotl(hash ^ (*tail * prime5), 11) * prime1;
    hash ^= hash >> 33;
    hash *= prime2;
    hash ^= hash >> 29;
    hash *= prime3;
    hash ^= hash >> 32;
    return hash;
}

} // namespace tindrel
