#include "Tindrel/platform/audio/OggVorbisLinks.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

namespace tindrel::platform {

namespace {

constexpr size_t pageHeaderSize = 27;
constexpr unsigned char beginsStream = 0x02;
constexpr unsigned char vorbisIdentification[] = {0x01, 'v', 'o', 'r', 'b', 'i', 's'};
constexpr unsigned char vorbisComment[] = {0x03, 'v', 'o', 'r', 'b', 'i', 's'};

// The Ogg page checksum: CRC-32 with polynomial 0x04c11db7, no reflection, no final xor.
uint32_t pageChecksum(const unsigned char* page, size_t size) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> entries{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t r = i << 24;
            for (int bit = 0; bit < 8; ++bit)
                r = (r & 0x80000000u) ? (r << 1) ^ 0x04c11db7u : r << 1;
            entries[i] = r;
        }
        return entries;
    }();
    uint32_t crc = 0;
    for (size_t i = 0; i < size; ++i) {
        // The checksum field itself counts as zeros.
        const unsigned char byte = (i >= 22 && i < 26) ? 0 : page[i];
        crc = (crc << 8) ^ table[((crc >> 24) ^ byte) & 0xff];
    }
    return crc;
}

uint32_t serialNumber(const unsigned char* page) {
    return uint32_t(page[14]) | uint32_t(page[15]) << 8 | uint32_t(page[16]) << 16 |
           uint32_t(page[17]) << 24;
}

// The offset of the next page's capture pattern at or after `offset`; -1 when there is none.
int64_t nextCapturePattern(OpenedFileCursor& cursor, int64_t offset) {
    std::vector<char> chunk(64 * 1024);
    for (;;) {
        cursor.seek(offset, SEEK_SET);
        const int64_t got = cursor.read(chunk.data(), chunk.size());
        if (got < 4)
            return -1;
        const auto end = chunk.begin() + got;
        const auto found = std::search(chunk.begin(), end, "OggS", "OggS" + 4);
        if (found != end)
            return offset + (found - chunk.begin());
        offset += got - 3;
    }
}

} // namespace

bool everyOggLinkCarriesVorbis(const OpenedFileCursor& file) {
    auto cursor = file.fresh();
    // A whole page: its header, segment table and body.
    std::vector<unsigned char> page(pageHeaderSize + 255 + 255 * 255);
    // A link begins with a run of pages that begin streams, one per stream it multiplexes.
    bool inBeginnings = false;
    bool linkHasVorbis = false;
    // The link's Vorbis stream, until its next page shows the comment header.
    std::optional<uint32_t> awaitingComment;
    int64_t offset = 0;
    for (;;) {
        cursor->seek(offset, SEEK_SET);
        const int64_t got = cursor->read(page.data(), page.size());
        if (got < int64_t(pageHeaderSize))
            break;
        const size_t segments = page[26];
        int64_t bodySize = 0;
        for (size_t i = 0; i < segments && pageHeaderSize + i < size_t(got); ++i)
            bodySize += page[pageHeaderSize + i];
        const int64_t pageSize = int64_t(pageHeaderSize + segments) + bodySize;
        // A page is what the Ogg library takes for one: its pattern and its checksum agree.
        // Anything else is damage, passed over to the next page found, as the library does.
        if (std::memcmp(page.data(), "OggS", 4) != 0 || got < pageSize ||
            pageChecksum(page.data(), size_t(pageSize)) !=
                (uint32_t(page[22]) | uint32_t(page[23]) << 8 | uint32_t(page[24]) << 16 |
                 uint32_t(page[25]) << 24)) {
            offset = nextCapturePattern(*cursor, offset + 1);
            if (offset < 0)
                break;
            continue;
        }
        const unsigned char* body = page.data() + pageHeaderSize + segments;
        const bool bodyHasHeader = bodySize >= 7;
        if (page[5] & beginsStream) {
            if (!inBeginnings) {
                // A new link, while the last one's Vorbis stream never showed its comments.
                if (awaitingComment)
                    return false;
                linkHasVorbis = false;
            }
            inBeginnings = true;
            if (bodyHasHeader && std::memcmp(body, vorbisIdentification, 7) == 0) {
                linkHasVorbis = true;
                awaitingComment = serialNumber(page.data());
            }
        } else {
            if (inBeginnings && !linkHasVorbis)
                return false;
            inBeginnings = false;
            if (awaitingComment == serialNumber(page.data())) {
                if (!bodyHasHeader || std::memcmp(body, vorbisComment, 7) != 0)
                    return false;
                awaitingComment.reset();
            }
        }
        offset += pageSize;
    }
    return (!inBeginnings || linkHasVorbis) && !awaitingComment;
}

} // namespace tindrel::platform
