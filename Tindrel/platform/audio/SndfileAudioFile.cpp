#include "Tindrel/platform/audio/SndfileAudioFile.h"

#include "Tindrel/platform/audio/FileDescriptor.h"

#include <sndfile.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <tuple>

namespace tindrel::platform {
namespace {

using FileIdentity = std::tuple<dev_t, ino_t, off_t, int64_t, int64_t>;

std::optional<FileIdentity> identityOf(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return std::nullopt;
    return FileIdentity{info.st_dev, info.st_ino, info.st_size, info.st_mtim.tv_sec,
                        info.st_mtim.tv_nsec};
}

// Decoded lengths of compressed streams whose header only estimates it.
class CountedLengths {
public:
    std::optional<int64_t> find(const FileIdentity& id) {
        std::lock_guard lock(mutex_);
        const auto it = lengths_.find(id);
        return it == lengths_.end() ? std::nullopt : std::optional<int64_t>(it->second);
    }
    void remember(const FileIdentity& id, int64_t frames) {
        std::lock_guard lock(mutex_);
        lengths_[id] = frames;
    }

private:
    std::mutex mutex_;
    std::map<FileIdentity, int64_t> lengths_;
};

CountedLengths& countedLengths() {
    static CountedLengths lengths;
    return lengths;
}

int64_t countDecodedFrames(SNDFILE* file, int channels) {
    std::vector<float> scratch(static_cast<size_t>(8192 * channels));
    int64_t frames = 0;
    for (;;) {
        const sf_count_t got = sf_readf_float(file, scratch.data(), 8192);
        if (got <= 0)
            break;
        frames += got;
    }
    sf_seek(file, 0, SEEK_SET);
    return frames;
}

std::optional<int> bitDepthOf(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
        return 8;
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_ALAC_16:
        return 16;
    case SF_FORMAT_ALAC_20:
        return 20;
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_ALAC_24:
        return 24;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_ALAC_32:
    case SF_FORMAT_FLOAT:
        return 32;
    case SF_FORMAT_DOUBLE:
        return 64;
    default:
        return std::nullopt;
    }
}

} // namespace

SndfileAudioFile::SndfileAudioFile(std::filesystem::path path, SNDFILE* file, int format,
                                   int channels, int sampleRate, int64_t length)
    : path_(std::move(path)),
      file_(file), format_{double(sampleRate), static_cast<uint32_t>(channels)}, length_(length),
      bitDepth_(bitDepthOf(format)) {}

SndfileAudioFile::~SndfileAudioFile() {
    sf_close(file_);
}

std::unique_ptr<AudioFile> SndfileAudioFile::open(const std::filesystem::path& path,
                                                  std::string* error) {
    FileDescriptor fd = FileDescriptor::openRegularForReading(path, error);
    if (!fd.valid())
        return nullptr;
    const auto identity = identityOf(fd.get());
    SF_INFO info{};
    // libsndfile owns the descriptor from here on and closes it itself when the open fails.
    const int descriptor = fd.release();
    SNDFILE* file = sf_open_fd(descriptor, SFM_READ, &info, SF_TRUE);
    if (!file) {
        if (error)
            *error = sf_strerror(nullptr);
        return nullptr;
    }
    if (info.channels <= 0) {
        sf_close(file);
        if (error)
            *error = "no audio channels";
        return nullptr;
    }
    // MPEG audio is Mp3AudioFile's: libsndfile only estimates its length.
    if ((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG) {
        sf_close(file);
        if (error)
            *error = "MPEG stream not at the start of the file";
        return nullptr;
    }
    int64_t length = info.frames;
    // A stream written through a pipe (FLAC above all) may state no length at all.
    if (info.frames == SF_COUNT_MAX) {
        const auto known = identity ? countedLengths().find(*identity) : std::nullopt;
        length = known ? *known : countDecodedFrames(file, info.channels);
        if (identity && !known)
            countedLengths().remember(*identity, length);
    }
    return std::unique_ptr<AudioFile>(new SndfileAudioFile(
        path, file, info.format, info.channels, info.samplerate, std::max<int64_t>(0, length)));
}

std::unique_ptr<AudioFile> SndfileAudioFile::reopen(std::string* error) const {
    return open(path_, error);
}

void SndfileAudioFile::setFramePosition(int64_t frame) {
    position_ = std::clamp<int64_t>(frame, 0, length_);
    sf_seek(file_, position_, SEEK_SET);
}

bool SndfileAudioFile::read(AudioPcmBuffer& buffer, int64_t frameCount) {
    buffer.setFrameLength(0);
    const uint32_t channels = format_.channelCount;
    if (buffer.channelCount() != channels)
        return false;
    const int64_t wanted =
        std::max<int64_t>(0, std::min({frameCount, buffer.frameCapacity(), length_ - position_}));
    if (wanted == 0)
        return true;
    interleaved_.resize(static_cast<size_t>(wanted * channels));
    const sf_count_t got = sf_readf_float(file_, interleaved_.data(), wanted);
    if (got < wanted && sf_error(file_) != SF_ERR_NO_ERROR)
        return false;
    const int64_t frames = std::max<sf_count_t>(0, got);
    for (uint32_t c = 0; c < channels; ++c) {
        float* out = buffer.channelData(c);
        for (int64_t i = 0; i < frames; ++i)
            out[i] = interleaved_[static_cast<size_t>(i * channels + c)];
    }
    buffer.setFrameLength(frames);
    position_ += frames;
    return true;
}

} // namespace tindrel::platform
