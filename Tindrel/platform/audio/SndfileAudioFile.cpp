#include "Tindrel/platform/audio/SndfileAudioFile.h"

#include "Tindrel/platform/audio/DecodableLength.h"

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

sf_count_t cursorLength(void* cursor) {
    return static_cast<OpenedFileCursor*>(cursor)->size();
}
sf_count_t cursorSeek(sf_count_t offset, int whence, void* cursor) {
    return static_cast<OpenedFileCursor*>(cursor)->seek(offset, whence);
}
sf_count_t cursorRead(void* data, sf_count_t count, void* cursor) {
    return std::max<int64_t>(
        0, static_cast<OpenedFileCursor*>(cursor)->read(data, static_cast<size_t>(count)));
}
sf_count_t refuseWrite(const void*, sf_count_t, void*) {
    return 0;
}
sf_count_t cursorTell(void* cursor) {
    return static_cast<OpenedFileCursor*>(cursor)->tell();
}

SF_VIRTUAL_IO cursorIo{cursorLength, cursorSeek, cursorRead, refuseWrite, cursorTell};

SNDFILE* openThrough(OpenedFileCursor& cursor, SF_INFO& info) {
    return sf_open_virtual(&cursorIo, SFM_READ, &info, &cursor);
}

// Whether frame `frame` decodes, tried on a handle of its own: a failed seek can leave a
// decoder unusable.
bool decodesFrameAt(const OpenedFileCursor& cursor, int64_t frame) {
    auto probe = cursor.fresh();
    SF_INFO info{};
    SNDFILE* file = openThrough(*probe, info);
    if (!file)
        return false;
    std::vector<float> scratch(static_cast<size_t>(std::max(1, info.channels)));
    const bool decodes =
        sf_seek(file, frame, SEEK_SET) == frame && sf_readf_float(file, scratch.data(), 1) == 1;
    sf_close(file);
    return decodes;
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

SndfileAudioFile::SndfileAudioFile(std::filesystem::path path,
                                   std::unique_ptr<OpenedFileCursor> cursor, SNDFILE* file,
                                   int format, int channels, int sampleRate, int64_t length)
    : path_(std::move(path)), cursor_(std::move(cursor)),
      file_(file), format_{double(sampleRate), static_cast<uint32_t>(channels)}, length_(length),
      bitDepth_(bitDepthOf(format)) {}

SndfileAudioFile::~SndfileAudioFile() {
    sf_close(file_);
}

std::unique_ptr<AudioFile> SndfileAudioFile::open(const std::filesystem::path& path,
                                                  std::string* error) {
    auto cursor = OpenedFileCursor::openRegularFile(path, error);
    return cursor ? open(path, std::move(cursor), error) : nullptr;
}

std::unique_ptr<AudioFile> SndfileAudioFile::open(const std::filesystem::path& path,
                                                  std::unique_ptr<OpenedFileCursor> cursor,
                                                  std::string* error,
                                                  std::optional<int64_t> checkedLength) {
    const int descriptor = cursor->descriptor();
    const auto identity = identityOf(descriptor);
    SF_INFO info{};
    SNDFILE* file = openThrough(*cursor, info);
    if (!file) {
        if (error)
            *error = sf_strerror(nullptr);
        return nullptr;
    }
    if (info.channels <= 0 || info.samplerate <= 0) {
        sf_close(file);
        if (error)
            *error = "no audio channels or no sample rate";
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
    } else {
        // A stream cut short (a FLAC copied half-way) still states its whole length.
        length = checkedLength ? *checkedLength : decodableLength(length, [&](int64_t frame) {
            return decodesFrameAt(*cursor, frame);
        });
    }
    return std::unique_ptr<AudioFile>(
        new SndfileAudioFile(path, std::move(cursor), file, info.format, info.channels,
                             info.samplerate, std::max<int64_t>(0, length)));
}

std::unique_ptr<AudioFile> SndfileAudioFile::reopen(std::string* error) const {
    return open(path_, cursor_->fresh(), error, length_);
}

void SndfileAudioFile::setFramePosition(int64_t frame) {
    position_ = std::clamp<int64_t>(frame, 0, length_);
    // At the end nothing is read. A failed seek can leave a FLAC decoder unusable, so the
    // stream is opened afresh and the seek tried once more; failing again, reads fail rather
    // than deliver audio from some other place.
    seekFailed_ = false;
    if (position_ == length_ || sf_seek(file_, position_, SEEK_SET) == position_)
        return;
    auto cursor = cursor_->fresh();
    SF_INFO info{};
    SNDFILE* file = openThrough(*cursor, info);
    if (!file) {
        seekFailed_ = true;
        return;
    }
    sf_close(file_);
    file_ = file;
    cursor_ = std::move(cursor);
    seekFailed_ = sf_seek(file_, position_, SEEK_SET) != position_;
}

bool SndfileAudioFile::read(AudioPcmBuffer& buffer, int64_t frameCount) {
    buffer.setFrameLength(0);
    const uint32_t channels = format_.channelCount;
    if (buffer.channelCount() != channels || seekFailed_)
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
