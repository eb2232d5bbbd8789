#include "Tindrel/platform/audio/MpegFrameCountTag.h"

#include <sys/types.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace tindrel::platform {
namespace {

// Bytes searched for the first frame after an ID3v2 tag (padding may come first).
constexpr size_t searchBytes = 64 * 1024;

bool isLayer3FrameHeader(const unsigned char* h) {
    const int version = (h[1] >> 3) & 3;
    const int layer = (h[1] >> 1) & 3;
    const int bitrate = h[2] >> 4;
    const int rate = (h[2] >> 2) & 3;
    return h[0] == 0xFF && (h[1] & 0xE0) == 0xE0 && version != 1 && layer == 1 && bitrate != 0 &&
           bitrate != 15 && rate != 3;
}

off_t firstFrameSearchStart(int fd) {
    unsigned char id3[10];
    if (::pread(fd, id3, sizeof id3, 0) != ssize_t(sizeof id3) || std::memcmp(id3, "ID3", 3) != 0)
        return 0;
    const off_t size = (off_t(id3[6] & 0x7F) << 21) | (off_t(id3[7] & 0x7F) << 14) |
                       (off_t(id3[8] & 0x7F) << 7) | off_t(id3[9] & 0x7F);
    const off_t footer = (id3[5] & 0x10) ? 10 : 0;
    return 10 + size + footer;
}

} // namespace

bool hasMpegFrameCountTag(int fd) {
    std::vector<unsigned char> bytes(searchBytes);
    const ssize_t got = ::pread(fd, bytes.data(), bytes.size(), firstFrameSearchStart(fd));
    const size_t held = got > 0 ? size_t(got) : 0;
    for (size_t at = 0; at + 4 <= held; ++at) {
        const unsigned char* frame = bytes.data() + at;
        if (!isLayer3FrameHeader(frame))
            continue;
        const bool mpeg1 = ((frame[1] >> 3) & 3) == 3;
        const bool mono = (frame[3] >> 6) == 3;
        const size_t sideInfo = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
        const auto tagAt = [&](size_t offset, const char* tag) {
            return at + offset + 4 <= held && std::memcmp(frame + offset, tag, 4) == 0;
        };
        return tagAt(4 + sideInfo, "Xing") || tagAt(4 + sideInfo, "Info") || tagAt(36, "VBRI");
    }
    return false;
}

} // namespace tindrel::platform
