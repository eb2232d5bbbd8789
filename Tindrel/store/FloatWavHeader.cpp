#include "Tindrel/store/FloatWavHeader.h"

#include "Tindrel/platform/files/FileDescriptor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <limits>
#include <vector>

namespace tindrel {

namespace {

constexpr uint16_t ieeeFloatFormat = 3;
constexpr uint32_t bytesPerSample = 4;
constexpr uint32_t ds64BodySize = 28; // RIFF size, data size, sample count, empty table
constexpr uint32_t unknownSize = 0xFFFFFFFF;

void appendLittle(std::string& bytes, uint64_t value, int size) {
    for (int i = 0; i < size; ++i)
        bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
}

uint64_t readLittle(std::string_view bytes, size_t at, int size) {
    uint64_t value = 0;
    for (int i = 0; i < size; ++i)
        value |= uint64_t(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    return value;
}

// An INFO text chunk: the text with its terminating zero, padded to an even size.
void appendInfoText(std::string& bytes, std::string_view id, std::string_view text) {
    const size_t size = text.size() + 1;
    bytes += id;
    appendLittle(bytes, size, 4);
    bytes += text;
    bytes.append(size % 2 ? 2 : 1, '\0');
}

// Text up to its first zero: INFO texts end with one, but a writer may pad with more.
std::string infoText(std::string_view body) {
    return std::string(body.substr(0, body.find('\0')));
}

std::optional<WavInfo> infoIn(std::string_view list) {
    if (list.size() < 4 || list.substr(0, 4) != "INFO")
        return std::nullopt;
    WavInfo info;
    for (size_t at = 4; at + 8 <= list.size();) {
        const std::string_view id = list.substr(at, 4);
        const uint64_t size = readLittle(list, at + 4, 4);
        if (size > list.size() - at - 8)
            break;
        if (id == "ISFT")
            info.software = infoText(list.substr(at + 8, size));
        else if (id == "ICMT")
            info.comment = infoText(list.substr(at + 8, size));
        at += 8 + size + size % 2;
    }
    return info;
}

} // namespace

std::string floatWavHeader(uint32_t sampleRate, uint32_t channels, int64_t frames,
                           const WavInfo& info) {
    std::string list = "INFO";
    appendInfoText(list, "ISFT", info.software);
    appendInfoText(list, "ICMT", info.comment);

    std::string tail = "fmt ";
    appendLittle(tail, 18, 4);
    appendLittle(tail, ieeeFloatFormat, 2);
    appendLittle(tail, channels, 2);
    appendLittle(tail, sampleRate, 4);
    appendLittle(tail, uint64_t(sampleRate) * channels * bytesPerSample, 4);
    appendLittle(tail, channels * bytesPerSample, 2);
    appendLittle(tail, bytesPerSample * 8, 2);
    appendLittle(tail, 0, 2); // no extension
    const size_t factAt = tail.size() + 8;
    tail += "fact";
    appendLittle(tail, 4, 4);
    appendLittle(tail, 0, 4); // the frame count, set below
    tail += "LIST";
    appendLittle(tail, list.size(), 4);
    tail += list;
    tail += "data";
    appendLittle(tail, 0, 4); // the data size, set below

    const size_t headerSize = 12 + 8 + ds64BodySize + tail.size();
    const uint64_t dataSize = uint64_t(std::max<int64_t>(0, frames)) * channels * bytesPerSample;
    const uint64_t riffSize = headerSize - 8 + dataSize;
    const bool large = riffSize > std::numeric_limits<uint32_t>::max();
    const auto setLittle32 = [&](size_t at, uint64_t value) {
        for (int i = 0; i < 4; ++i)
            tail[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    // RF64 keeps the 64-bit sizes in ds64 and marks the 32-bit ones as unknown.
    setLittle32(factAt, large ? unknownSize : uint64_t(std::max<int64_t>(0, frames)));
    setLittle32(tail.size() - 4, large ? unknownSize : dataSize);

    std::string header = large ? "RF64" : "RIFF";
    appendLittle(header, large ? unknownSize : riffSize, 4);
    header += large ? "WAVEds64" : "WAVEJUNK";
    appendLittle(header, ds64BodySize, 4);
    if (large) {
        appendLittle(header, riffSize, 8);
        appendLittle(header, dataSize, 8);
        appendLittle(header, uint64_t(frames), 8);
        appendLittle(header, 0, 4);
    } else {
        header.append(ds64BodySize, '\0');
    }
    return header + tail;
}

std::optional<WavInfo> readWavInfo(const std::filesystem::path& path) {
    const platform::FileDescriptor file(
        ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat status {};
    if (!file.valid() || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    std::string head(64 * 1024, '\0');
    const ssize_t got = ::pread(file.get(), head.data(), head.size(), 0);
    if (got < 12)
        return std::nullopt;
    head.resize(static_cast<size_t>(got));
    const std::string_view bytes(head);
    if ((bytes.substr(0, 4) != "RIFF" && bytes.substr(0, 4) != "RF64") ||
        bytes.substr(8, 4) != "WAVE")
        return std::nullopt;
    for (size_t at = 12; at + 8 <= bytes.size();) {
        const std::string_view id = bytes.substr(at, 4);
        const uint64_t size = readLittle(bytes, at + 4, 4);
        if (id == "data" || size > bytes.size() - at - 8)
            break;
        if (id == "LIST")
            if (auto info = infoIn(bytes.substr(at + 8, size)))
                return info;
        at += 8 + size + size % 2;
    }
    return std::nullopt;
}

} // namespace tindrel
