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
    // A page header, its segment table and the start of its first packet.
    std::array<unsigned char, pageHeaderSize + 255 + sizeof vorbisIdentification> page{};
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
        if (std::memcmp(page.data(), "OggS", 4) != 0) {
            // Damage: go on from the next page found.
            offset = nextCapturePattern(*cursor, offset + 1);
            if (offset < 0)
                break;
            continue;
        }
        const size_t segments = page[26];
        if (got < int64_t(pageHeaderSize + segments))
            break;
        int64_t bodySize = 0;
        for (size_t i = 0; i < segments; ++i)
            bodySize += page[pageHeaderSize + i];
        const unsigned char* body = page.data() + pageHeaderSize + segments;
        const bool bodyHasHeader = got >= int64_t(pageHeaderSize + segments + 7);
        if (page[5] & beginsStream) {
            if (!inBeginnings)
                linkHasVorbis = false;
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
        offset += int64_t(pageHeaderSize + segments) + bodySize;
    }
    return !inBeginnings || linkHasVorbis;
}

} // namespace tindrel::platform
