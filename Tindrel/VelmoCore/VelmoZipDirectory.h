#pragma once

// What a zip archive's central directory lists: each entry's name, in the order in which the
// entries' data lie in the file (the order in which the archive is read). The unpack holds each
// entry it reads against this list, so that a local header naming another path than the
// directory, an entry listed twice or one never listed, cannot slip through. Reading stops at
// the bounds of VelmoUpdateLimits (entries, name length, all names together) before anything of
// that size is held. Blocking file reads; any thread.

#include "Tindrel/VelmoCore/VelmoUpdateLimits.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmo {

class VelmoZipDirectory {
public:
    // Nothing when the archive has no readable central directory (zip64 included), when two
    // entries share one local header, or when a bound is passed.
    static std::optional<VelmoZipDirectory> read(const std::filesystem::path& archive,
                                                 const VelmoUpdateLimits& limits);

    std::size_t size() const { return entries_.size(); }
    std::string_view name(std::size_t index) const;

private:
    struct Entry {
        std::uint64_t localHeaderOffset;
        std::uint32_t nameStart;
        std::uint32_t nameLength;
    };
    std::string names_;
    std::vector<Entry> entries_;
};

} // namespace velmo
