#include "Tindrel/platform/audio/OggVorbisLinks.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <span>
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

// The file's bytes in order, each read from the file once: a page, or a search for the next
// capture pattern, only ever moves on from where the last one began.
class ForwardWindow {
public:
    explicit ForwardWindow(OpenedFileCursor& cursor) : cursor_(cursor) {}

    // Up to `size` bytes from `offset` (fewer at the end of the file); `offset` is never
    // before an offset asked for earlier.
    std::span<const unsigned char> at(int64_t offset, size_t size) {
        if (bytes_.size() < 2 * size)
            bytes_.resize(2 * size);
        if (offset >= start_ + int64_t(held_)) {
            // Bytes skipped over are never read.
            start_ = offset;
            held_ = 0;
            ended_ = cursor_.seek(offset, SEEK_SET) < 0;
        }
        size_t from = size_t(offset - start_);
        if (from + size > bytes_.size()) {
            // Moves at most `size` bytes each time `size` bytes have passed.
            std::memmove(bytes_.data(), bytes_.data() + from, held_ - from);
            held_ -= from;
            start_ = offset;
            from = 0;
        }
        while (!ended_ && held_ < from + size) {
            const int64_t got = cursor_.read(bytes_.data() + held_, bytes_.size() - held_);
            ended_ = got <= 0;
            held_ += size_t(std::max<int64_t>(0, got));
        }
        return {bytes_.data() + from, std::min(size, held_ - from)};
    }

private:
    OpenedFileCursor& cursor_;
    std::vector<unsigned char> bytes_;
    int64_t start_ = 0; // the file offset of bytes_[0]
    size_t held_ = 0;
    bool ended_ = false;
};

// The offset of the next page's capture pattern at or after `offset`; -1 when there is none.
int64_t nextCapturePattern(ForwardWindow& window, int64_t offset) {
    constexpr size_t searched = 64 * 1024;
    for (;;) {
        const std::span<const unsigned char> chunk = window.at(offset, searched);
        if (chunk.size() < 4)
            return -1;
        const auto found = std::search(chunk.begin(), chunk.end(), "OggS", "OggS" + 4);
        if (found != chunk.end())
            return offset + (found - chunk.begin());
        offset += int64_t(chunk.size()) - 3;
    }
}

} // namespace

bool everyOggLinkCarriesVorbis(const OpenedFileCursor& file) {
    auto cursor = file.fresh();
    ForwardWindow window(*cursor);
    // A whole page: its header, segment table and body.
    constexpr size_t largestPage = pageHeaderSize + 255 + 255 * 255;
    // A link begins with a run of pages that begin streams, one per stream it multiplexes.
    bool inBeginnings = false;
    bool linkHasVorbis = false;
    // The link's Vorbis stream (its serial number), until its next page shows the comment
    // header.
    bool awaitingComment = false;
    uint32_t awaitedSerial = 0;
    int64_t offset = 0;
    for (;;) {
        const std::span<const unsigned char> page = window.at(offset, largestPage);
        const int64_t got = int64_t(page.size());
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
            offset = nextCapturePattern(window, offset + 1);
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
                awaitingComment = true;
                awaitedSerial = serialNumber(page.data());
            }
        } else {
            if (inBeginnings && !linkHasVorbis)
                return false;
            inBeginnings = false;
            if (awaitingComment && awaitedSerial == serialNumber(page.data())) {
                if (!bodyHasHeader || std::memcmp(body, vorbisComment, 7) != 0)
                    return false;
                awaitingComment = false;
            }
        }
        offset += pageSize;
    }
    return (!inBeginnings || linkHasVorbis) && !awaitingComment;
}

} // namespace tindrel::platform
