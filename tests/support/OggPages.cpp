#include "tests/support/OggPages.h"

#include <algorithm>
#include <string_view>

namespace tindrel::test {

namespace {

uint32_t oggPageChecksum(std::string_view page) {
    uint32_t crc = 0;
    for (const char byte : page) {
        crc ^= uint32_t(uint8_t(byte)) << 24;
        for (int bit = 0; bit < 8; ++bit)
            crc = crc & 0x80000000u ? (crc << 1) ^ 0x04c11db7u : crc << 1;
    }
    return crc;
}

} // namespace

std::string withLastGranulePosition(std::string ogg, uint64_t granule) {
    size_t page = 0;
    size_t last = 0;
    while (page + 27 <= ogg.size() && ogg.compare(page, 4, "OggS") == 0) {
        last = page;
        const size_t segments = uint8_t(ogg[page + 26]);
        size_t size = 27 + segments;
        for (size_t i = 0; i < segments; ++i)
            size += uint8_t(ogg[page + 27 + i]);
        page += size;
    }
    for (int i = 0; i < 8; ++i)
        ogg[last + 6 + i] = char(granule >> (8 * i));
    std::fill_n(ogg.begin() + long(last) + 22, 4, '\0');
    const uint32_t crc = oggPageChecksum(std::string_view(ogg).substr(last, page - last));
    for (int i = 0; i < 4; ++i)
        ogg[last + 22 + i] = char(crc >> (8 * i));
    return ogg;
}

} // namespace tindrel::test
