#include "Tindrel/store/DataDigest.h"

#include <xxhash.h>

#include <new>

namespace tindrel {

void DataDigest::StateRelease::operator()(XXH64_state_s* state) const {
    XXH64_freeState(state);
}

DataDigest::DataDigest() : state_(XXH64_createState()) {
    if (!state_)
        throw std::bad_alloc();
    XXH64_reset(state_.get(), 0);
}

DataDigest::~DataDigest() = default;

void DataDigest::add(const void* data, size_t size) {
    XXH64_update(state_.get(), data, size);
}

uint64_t DataDigest::value() const {
    return XXH64_digest(state_.get());
}

} // namespace tindrel
