#include "Tindrel/VelmoCore/VelmoZipDirectory.h"

#include <algorithm>
#include <array>
#include <fstream>

namespace velmo {

namespace {

constexpr std::uint32_t endOfDirectorySignature = 0x06054b50;
constexpr std::uint32_t zip64LocatorSignature = 0x07064b50;
constexpr std::uint32_t zip64EndSignature = 0x06064b50;
constexpr std::uint32_t directoryEntrySignature = 0x02014b50;
constexpr std::size_t endOfDirectoryBytes = 22;
constexpr std::size_t zip64LocatorBytes = 20;
constexpr std::size_t zip64EndBytes = 56;
constexpr std::size_t directoryEntryBytes = 46;
constexpr std::size_t longestComment = 0xffff;
constexpr std::uint16_t zip64ExtraId = 0x0001;

std::uint64_t little(const unsigned char* bytes, int count) {
    std::uint64_t value = 0;
    for (int index = count - 1; index >= 0; --index)
        value = (value << 8) | bytes[index];
    return value;
}

bool readAt(std::ifstream& file, std::uint64_t offset, unsigned char* into, std::size_t count) {
    file.seekg(static_cast<std::streamoff>(offset));
    file.read(reinterpret_cast<char*>(into), static_cast<std::streamsize>(count));
    return static_cast<std::size_t>(file.gcount()) == count;
}

struct DirectoryPlace {
    std::uint64_t entries;
    std::uint64_t size;
    std::uint64_t offset;
    // Where the records that follow the directory begin: it must end before.
    std::uint64_t end;
};

// The end-of-directory record is the last one whose comment reaches the end of the file.
std::optional<DirectoryPlace> findDirectory(std::ifstream& file, std::uint64_t fileBytes) {
    const std::uint64_t tailBytes =
        std::min<std::uint64_t>(fileBytes, endOfDirectoryBytes + longestComment);
    std::vector<unsigned char> tail(tailBytes);
    if (tailBytes < endOfDirectoryBytes ||
        !readAt(file, fileBytes - tailBytes, tail.data(), tailBytes))
        return std::nullopt;
    for (std::uint64_t at = tailBytes - endOfDirectoryBytes + 1; at-- > 0;) {
        const unsigned char* record = tail.data() + at;
        if (little(record, 4) != endOfDirectorySignature ||
            at + endOfDirectoryBytes + little(record + 20, 2) != tailBytes)
            continue;
        const std::uint64_t position = fileBytes - tailBytes + at;
        DirectoryPlace place{little(record + 10, 2), little(record + 12, 4), little(record + 16, 4),
                             position};
        if (little(record + 4, 2) != 0 || little(record + 6, 2) != 0 ||
            little(record + 8, 2) != place.entries)
            return std::nullopt;
        if (place.entries != 0xffff && place.size != 0xffffffff && place.offset != 0xffffffff)
            return place;
        std::array<unsigned char, zip64LocatorBytes> locator{};
        std::array<unsigned char, zip64EndBytes> end{};
        if (position < zip64LocatorBytes ||
            !readAt(file, position - zip64LocatorBytes, locator.data(), locator.size()) ||
            little(locator.data(), 4) != zip64LocatorSignature)
            return std::nullopt;
        const std::uint64_t endAt = little(locator.data() + 8, 8);
        if (endAt > position || !readAt(file, endAt, end.data(), end.size()) ||
            little(end.data(), 4) != zip64EndSignature || little(end.data() + 16, 4) != 0 ||
            little(end.data() + 20, 4) != 0 ||
            little(end.data() + 24, 8) != little(end.data() + 32, 8))
            return std::nullopt;
        return DirectoryPlace{little(end.data() + 32, 8), little(end.data() + 40, 8),
                              little(end.data() + 48, 8), endAt};
    }
    return std::nullopt;
}

// The local header's offset from the zip64 extra field, where the entry's own field is full.
std::optional<std::uint64_t> zip64Offset(const std::vector<unsigned char>& extra,
                                         const unsigned char* entry) {
    for (std::size_t at = 0; at + 4 <= extra.size();) {
        const std::uint64_t id = little(extra.data() + at, 2);
        const std::size_t length = little(extra.data() + at + 2, 2);
        if (at + 4 + length > extra.size())
            return std::nullopt;
        if (id == zip64ExtraId) {
            // The sizes come first, each only when the entry's own field is full.
            std::size_t skip = 0;
            skip += little(entry + 24, 4) == 0xffffffff ? 8 : 0;
            skip += little(entry + 20, 4) == 0xffffffff ? 8 : 0;
            if (skip + 8 > length)
                return std::nullopt;
            return little(extra.data() + at + 4 + skip, 8);
        }
        at += 4 + length;
    }
    return std::nullopt;
}

} // namespace

std::string_view VelmoZipDirectory::name(std::size_t index) const {
    return std::string_view(names_).substr(entries_[index].nameStart, entries_[index].nameLength);
}

std::optional<VelmoZipDirectory> VelmoZipDirectory::read(const std::filesystem::path& archive,
                                                         const VelmoUpdateLimits& limits) {
    std::error_code error;
    const std::uint64_t fileBytes = std::filesystem::file_size(archive, error);
    std::ifstream file(archive, std::ios::binary);
    if (error || !file)
        return std::nullopt;
    const std::optional<DirectoryPlace> place = findDirectory(file, fileBytes);
    if (!place || place->entries > static_cast<std::uint64_t>(limits.archiveEntries) ||
        place->offset > place->end || place->size > place->end - place->offset)
        return std::nullopt;

    VelmoZipDirectory directory;
    directory.entries_.reserve(place->entries);
    std::uint64_t at = place->offset;
    std::array<unsigned char, directoryEntryBytes> entry{};
    std::vector<unsigned char> extra;
    for (std::uint64_t index = 0; index < place->entries; ++index) {
        if (place->offset + place->size - at < directoryEntryBytes ||
            !readAt(file, at, entry.data(), entry.size()) ||
            little(entry.data(), 4) != directoryEntrySignature || little(entry.data() + 34, 2) != 0)
            return std::nullopt;
        const std::uint64_t nameBytes = little(entry.data() + 28, 2);
        const std::uint64_t extraBytes = little(entry.data() + 30, 2);
        const std::uint64_t recordBytes =
            directoryEntryBytes + nameBytes + extraBytes + little(entry.data() + 32, 2);
        if (nameBytes > static_cast<std::uint64_t>(limits.pathBytes) ||
            directory.names_.size() + nameBytes > static_cast<std::uint64_t>(limits.allPathBytes) ||
            place->offset + place->size - at < recordBytes)
            return std::nullopt;
        const std::size_t nameStart = directory.names_.size();
        directory.names_.resize(nameStart + nameBytes);
        if (!readAt(file, at + directoryEntryBytes,
                    reinterpret_cast<unsigned char*>(directory.names_.data() + nameStart),
                    nameBytes))
            return std::nullopt;
        std::optional<std::uint64_t> offset = little(entry.data() + 42, 4);
        if (*offset == 0xffffffff) {
            extra.resize(extraBytes);
            offset = readAt(file, at + directoryEntryBytes + nameBytes, extra.data(), extraBytes)
                         ? zip64Offset(extra, entry.data())
                         : std::nullopt;
        }
        if (!offset || *offset >= place->offset)
            return std::nullopt;
        directory.entries_.push_back({*offset, static_cast<std::uint32_t>(nameStart),
                                      static_cast<std::uint32_t>(nameBytes)});
        at += recordBytes;
    }
    std::stable_sort(
        directory.entries_.begin(), directory.entries_.end(),
        [](const Entry& a, const Entry& b) { return a.localHeaderOffset < b.localHeaderOffset; });
    const auto shared = std::adjacent_find(
        directory.entries_.begin(), directory.entries_.end(),
        [](const Entry& a, const Entry& b) { return a.localHeaderOffset == b.localHeaderOffset; });
    if (shared != directory.entries_.end())
        return std::nullopt;
    return directory;
}

} // namespace velmo
