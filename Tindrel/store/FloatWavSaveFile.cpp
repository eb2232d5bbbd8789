#include "Tindrel/store/FloatWavSaveFile.h"

#include "Tindrel/platform/files/DiskFlush.h"
#include "Tindrel/platform/files/NewFileWriting.h"
#include "Tindrel/platform/text/LocaleFreeNumber.h"

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tindrel {

namespace {

// Writeback is started whenever this much more has been written.
constexpr int64_t writebackStep = int64_t(8) << 20;
constexpr size_t checkPieceBytes = size_t(1) << 20;
// Where the fixed header keeps the channel count and the sample rate.
constexpr size_t channelsAt = 58;
constexpr size_t sampleRateAt = 60;

std::string systemError(int code) {
    return std::string(std::strerror(code));
}

std::filesystem::path folderOf(const std::filesystem::path& target) {
    return target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
}

WavInfo withDigest(WavInfo info, uint64_t digest) {
    info.comment += formatNumber(", audio digest %016llx", static_cast<unsigned long long>(digest));
    return info;
}

uint32_t readLittle(const std::string& bytes, size_t at, int size) {
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + size_t(i)]);
    return value;
}

bool readWhole(int fd, void* data, size_t size, int64_t offset) {
    auto* bytes = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t got = ::pread(fd, bytes, size, offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        bytes += got;
        size -= size_t(got);
        offset += got;
    }
    return true;
}

} // namespace

std::unique_ptr<FloatWavSaveFile> FloatWavSaveFile::create(const std::filesystem::path& folder,
                                                           double sampleRate, uint32_t channels,
                                                           WavInfo info, std::string* error) {
    std::optional<platform::UnpublishedFile> file =
        platform::UnpublishedFile::create(folder.empty() ? "." : folder, 0666, error);
    if (!file)
        return nullptr;
    std::unique_ptr<FloatWavSaveFile> saveFile(
        new FloatWavSaveFile(std::move(*file), static_cast<uint32_t>(std::lround(sampleRate)),
                             channels, std::move(info)));
    // The header is written again with the sizes and the digest at commit; its length stays.
    const std::string header =
        floatWavHeader(saveFile->sampleRate_, channels, 0, withDigest(saveFile->info_, 0));
    if (!saveFile->writeAll(header.data(), header.size(), error))
        return nullptr;
    return saveFile;
}

FloatWavSaveFile::FloatWavSaveFile(platform::UnpublishedFile file, uint32_t sampleRate,
                                   uint32_t channels, WavInfo info)
    : file_(std::move(file)), sampleRate_(sampleRate), channels_(channels), info_(std::move(info)) {
}

bool FloatWavSaveFile::writeAll(const void* data, size_t size, std::string* error) {
    if (!platform::writeWhole(file_.descriptor(), data, size)) {
        if (error)
            *error = systemError(errno);
        return false;
    }
    bytesWritten_ += int64_t(size);
    if (bytesWritten_ - writebackStartedUpTo_ >= writebackStep) {
        platform::startWriteback(file_.descriptor(), writebackStartedUpTo_,
                                 bytesWritten_ - writebackStartedUpTo_);
        writebackStartedUpTo_ = bytesWritten_;
    }
    return true;
}

bool FloatWavSaveFile::append(const platform::AudioPcmBuffer& buffer, std::string* error) {
    if (committed_ || buffer.channelCount() != channels_) {
        if (error)
            *error = "The rendered audio does not match the file's channels";
        return false;
    }
    const int64_t frames = buffer.frameLength();
    interleaved_.resize(static_cast<size_t>(frames) * channels_);
    for (uint32_t channel = 0; channel < channels_; ++channel) {
        const float* samples = buffer.channelData(channel);
        for (int64_t frame = 0; frame < frames; ++frame)
            interleaved_[static_cast<size_t>(frame) * channels_ + channel] = samples[frame];
    }
    // WAV samples are little-endian.
    if constexpr (std::endian::native == std::endian::big) {
        for (float& sample : interleaved_) {
            uint32_t bits = 0;
            std::memcpy(&bits, &sample, sizeof bits);
            bits = __builtin_bswap32(bits);
            std::memcpy(&sample, &bits, sizeof bits);
        }
    }
    const size_t bytes = interleaved_.size() * sizeof(float);
    if (!writeAll(interleaved_.data(), bytes, error))
        return false;
    digest_.add(interleaved_.data(), bytes);
    framesWritten_ += frames;
    return true;
}

std::optional<std::filesystem::path> FloatWavSaveFile::commit(const std::filesystem::path& named,
                                                              platform::WorkHeartbeat& heartbeat,
                                                              std::string* error) {
    std::string ignored;
    std::string& reason = error ? *error : ignored;
    reason.clear();
    if (committed_)
        return std::nullopt;
    const std::string header =
        floatWavHeader(sampleRate_, channels_, framesWritten_, withDigest(info_, digest_.value()));
    if (::pwrite(file_.descriptor(), header.data(), header.size(), 0) != ssize_t(header.size())) {
        reason = systemError(errno);
        return std::nullopt;
    }
    switch (platform::flushToDisk(
        file_.descriptor(), [&] { return heartbeat.keepGoing(); }, heartbeat.interval())) {
    case platform::FlushOutcome::stopped:
        return std::nullopt;
    case platform::FlushOutcome::failed:
        reason = systemError(errno);
        return std::nullopt;
    case platform::FlushOutcome::flushed:
        break;
    }
    using Taken = platform::UnpublishedFile::TakenName;
    const auto published = file_.publishUnderFreeName(
        folderOf(named) / named.filename(),
        [&](const std::filesystem::path& taken) {
            switch (checkUntouched(taken, info_, heartbeat)) {
            case Check::untouched:
                return Taken::replace;
            case Check::stopped:
                return Taken::giveUp;
            case Check::changed:
                break;
            }
            return Taken::skip;
        },
        &reason);
    committed_ = published.has_value();
    return published;
}

FloatWavSaveFile::Check FloatWavSaveFile::checkUntouched(const std::filesystem::path& path,
                                                         const WavInfo& info,
                                                         platform::WorkHeartbeat& heartbeat) {
    const platform::FileDescriptor file(
        ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat status {};
    if (!file.valid() || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return Check::changed;
    // The header's length depends only on the INFO texts.
    std::string header(floatWavHeader(1, 1, 0, withDigest(info, 0)).size(), '\0');
    if (status.st_size < off_t(header.size()) ||
        !readWhole(file.get(), header.data(), header.size(), 0))
        return Check::changed;
    const uint32_t channels = readLittle(header, channelsAt, 2);
    const int64_t dataBytes = int64_t(status.st_size) - int64_t(header.size());
    if (channels == 0 || dataBytes % (4 * int64_t(channels)) != 0)
        return Check::changed;

    DataDigest digest;
    std::vector<char> piece(checkPieceBytes);
    for (int64_t at = 0; at < dataBytes;) {
        if (!heartbeat.keepGoing())
            return Check::stopped;
        const size_t size = size_t(std::min<int64_t>(dataBytes - at, int64_t(piece.size())));
        if (!readWhole(file.get(), piece.data(), size, int64_t(header.size()) + at))
            return Check::changed;
        digest.add(piece.data(), size);
        at += int64_t(size);
    }
    const std::string written =
        floatWavHeader(readLittle(header, sampleRateAt, 4), channels,
                       dataBytes / (4 * int64_t(channels)), withDigest(info, digest.value()));
    return written == header ? Check::untouched : Check::changed;
}

} // namespace tindrel
