#include "Tindrel/platform/audio/Mp3AudioFile.h"

#include "Tindrel/platform/audio/FileDescriptor.h"

#include <mpg123.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace tindrel::platform {

struct Mp3AudioFile::BufferedSource {
    // Shared by every reader reopened from the first; read only by position.
    std::shared_ptr<const FileDescriptor> file;
    off_t position = 0;
    std::vector<unsigned char> buffer = std::vector<unsigned char>(256 * 1024);
    off_t bufferStart = 0;
    size_t bufferHeld = 0;

    static mpg123_ssize_t read(void* source, void* destination, size_t bytes) {
        auto& self = *static_cast<BufferedSource*>(source);
        auto* out = static_cast<unsigned char*>(destination);
        size_t done = 0;
        while (done < bytes) {
            if (self.position < self.bufferStart ||
                self.position >= self.bufferStart + off_t(self.bufferHeld)) {
                const ssize_t got = ::pread(self.file->get(), self.buffer.data(),
                                            self.buffer.size(), self.position);
                if (got < 0)
                    return done > 0 ? mpg123_ssize_t(done) : -1;
                self.bufferStart = self.position;
                self.bufferHeld = size_t(got);
                if (got == 0)
                    break;
            }
            const size_t from = size_t(self.position - self.bufferStart);
            const size_t taken = std::min(bytes - done, self.bufferHeld - from);
            std::memcpy(out + done, self.buffer.data() + from, taken);
            done += taken;
            self.position += off_t(taken);
        }
        return mpg123_ssize_t(done);
    }

    static off_t seek(void* source, off_t offset, int whence) {
        auto& self = *static_cast<BufferedSource*>(source);
        off_t base = self.position;
        if (whence == SEEK_SET) {
            base = 0;
        } else if (whence == SEEK_END) {
            struct stat info {};
            if (::fstat(self.file->get(), &info) != 0)
                return -1;
            base = info.st_size;
        }
        if (base + offset < 0)
            return -1;
        self.position = base + offset;
        return self.position;
    }
};

namespace {

// Bytes searched for the first frame after the ID3v2 tags (padding may come first).
constexpr size_t paddingSearchBytes = 64 * 1024;

bool isMpegAudioFrameHeader(const unsigned char* h) {
    const int version = (h[1] >> 3) & 3;
    const int layer = (h[1] >> 1) & 3;
    const int bitrate = h[2] >> 4;
    const int rate = (h[2] >> 2) & 3;
    return h[0] == 0xFF && (h[1] & 0xE0) == 0xE0 && version != 1 && layer != 0 && bitrate != 15 &&
           rate != 3;
}

// Offset just past the ID3v2 tags at the start of the file (several may follow each other).
off_t afterId3v2Tags(int fd) {
    off_t at = 0;
    unsigned char id3[10];
    while (::pread(fd, id3, sizeof id3, at) == ssize_t(sizeof id3) &&
           std::memcmp(id3, "ID3", 3) == 0) {
        const off_t size = (off_t(id3[6] & 0x7F) << 21) | (off_t(id3[7] & 0x7F) << 14) |
                           (off_t(id3[8] & 0x7F) << 7) | off_t(id3[9] & 0x7F);
        at += 10 + size + ((id3[5] & 0x10) ? 10 : 0);
    }
    return at;
}

bool startsWithMpegAudio(int fd) {
    const off_t start = afterId3v2Tags(fd);
    std::vector<unsigned char> bytes(start > 0 ? paddingSearchBytes : 4);
    const ssize_t got = ::pread(fd, bytes.data(), bytes.size(), start);
    size_t at = 0;
    while (start > 0 && at < size_t(std::max<ssize_t>(0, got)) && bytes[at] == 0)
        ++at;
    return got >= 4 && at + 4 <= size_t(got) && isMpegAudioFrameHeader(bytes.data() + at);
}

struct HandleDeleter {
    void operator()(mpg123_handle* handle) const {
        mpg123_close(handle);
        mpg123_delete(handle);
    }
};
using Handle = std::unique_ptr<mpg123_handle, HandleDeleter>;

// A handle reading `source` that decodes to 32-bit float in the stream's own channels and rate.
template <typename Source> Handle openHandle(Source& source, std::string* error) {
    int status = MPG123_OK;
    Handle handle(mpg123_new(nullptr, &status));
    if (!handle) {
        if (error)
            *error = mpg123_plain_strerror(status);
        return nullptr;
    }
    mpg123_param(handle.get(), MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0);
    mpg123_format_none(handle.get());
    const long* rates = nullptr;
    size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (size_t i = 0; i < rateCount; ++i)
        mpg123_format(handle.get(), rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_FLOAT_32);
    if (mpg123_replace_reader_handle(handle.get(), &Source::read, &Source::seek, nullptr) !=
            MPG123_OK ||
        mpg123_open_handle(handle.get(), &source) != MPG123_OK) {
        if (error)
            *error = mpg123_strerror(handle.get());
        return nullptr;
    }
    return handle;
}

// Walks every frame header without decoding; false when the stream holds no frame or its
// channel count or rate changes, since one output format could not carry it whole.
bool hasOneFormatThroughout(mpg123_handle* handle, AudioFormat& format) {
    int formats = 0;
    for (;;) {
        const int status = mpg123_framebyframe_next(handle);
        if (status == MPG123_NEW_FORMAT) {
            long rate = 0;
            int channels = 0, encoding = 0;
            if (++formats > 1 || mpg123_getformat(handle, &rate, &channels, &encoding) != MPG123_OK)
                return false;
            format = {double(rate), uint32_t(channels)};
        } else if (status != MPG123_OK) {
            return status == MPG123_DONE && formats == 1;
        }
    }
}

std::shared_ptr<const Mp3AudioFile::ScannedStream> scan(mpg123_handle* handle, std::string* error) {
    auto stream = std::make_shared<Mp3AudioFile::ScannedStream>();
    if (!hasOneFormatThroughout(handle, stream->format)) {
        if (error)
            *error = "MPEG stream without frames or with changing channels or rate";
        return nullptr;
    }
    off_t* offsets = nullptr;
    off_t step = 0;
    size_t fill = 0;
    if (mpg123_scan(handle) != MPG123_OK ||
        mpg123_index(handle, &offsets, &step, &fill) != MPG123_OK) {
        if (error)
            *error = mpg123_strerror(handle);
        return nullptr;
    }
    stream->length = std::max<int64_t>(0, mpg123_length(handle));
    stream->offsets.assign(offsets, offsets + fill);
    stream->indexStep = step;
    return stream;
}

} // namespace

Mp3AudioFile::Mp3AudioFile(std::filesystem::path path, std::unique_ptr<BufferedSource> source,
                           mpg123_handle* handle, std::shared_ptr<const ScannedStream> stream)
    : path_(std::move(path)), source_(std::move(source)), handle_(handle),
      stream_(std::move(stream)) {}

Mp3AudioFile::~Mp3AudioFile() {
    HandleDeleter()(handle_);
}

bool Mp3AudioFile::looksLikeMpegAudio(const std::filesystem::path& path) {
    const FileDescriptor fd = FileDescriptor::openRegularForReading(path);
    return fd.valid() && startsWithMpegAudio(fd.get());
}

std::unique_ptr<AudioFile> Mp3AudioFile::open(const std::filesystem::path& path,
                                              std::string* error) {
    auto file =
        std::make_shared<const FileDescriptor>(FileDescriptor::openRegularForReading(path, error));
    return file->valid() ? open(path, std::move(file), nullptr, error) : nullptr;
}

std::unique_ptr<AudioFile> Mp3AudioFile::reopen(std::string* error) const {
    return open(path_, source_->file, stream_, error);
}

std::unique_ptr<AudioFile> Mp3AudioFile::open(const std::filesystem::path& path,
                                              std::shared_ptr<const FileDescriptor> file,
                                              std::shared_ptr<const ScannedStream> stream,
                                              std::string* error) {
    auto source = std::make_unique<BufferedSource>();
    source->file = std::move(file);
    Handle handle = openHandle(*source, error);
    if (!handle)
        return nullptr;
    if (!stream) {
        stream = scan(handle.get(), error);
        if (!stream || mpg123_seek(handle.get(), 0, SEEK_SET) < 0)
            return nullptr;
    } else {
        std::vector<off_t> offsets(stream->offsets.begin(), stream->offsets.end());
        if (mpg123_set_index(handle.get(), offsets.data(), off_t(stream->indexStep),
                             offsets.size()) != MPG123_OK) {
            if (error)
                *error = mpg123_strerror(handle.get());
            return nullptr;
        }
    }
    return std::unique_ptr<AudioFile>(
        new Mp3AudioFile(path, std::move(source), handle.release(), std::move(stream)));
}

void Mp3AudioFile::setFramePosition(int64_t frame) {
    position_ = std::clamp<int64_t>(frame, 0, stream_->length);
    mpg123_seek(handle_, off_t(position_), SEEK_SET);
}

bool Mp3AudioFile::read(AudioPcmBuffer& buffer, int64_t frameCount) {
    buffer.setFrameLength(0);
    const uint32_t channels = stream_->format.channelCount;
    if (buffer.channelCount() != channels)
        return false;
    const int64_t wanted = std::max<int64_t>(
        0, std::min({frameCount, buffer.frameCapacity(), stream_->length - position_}));
    interleaved_.resize(size_t(wanted * channels));
    const size_t bytesWanted = interleaved_.size() * sizeof(float);
    size_t bytesHeld = 0;
    while (bytesHeld < bytesWanted) {
        size_t done = 0;
        const int status =
            mpg123_read(handle_, reinterpret_cast<unsigned char*>(interleaved_.data()) + bytesHeld,
                        bytesWanted - bytesHeld, &done);
        bytesHeld += done;
        if (status == MPG123_DONE || (status == MPG123_OK && done == 0))
            break;
        if (status != MPG123_OK && status != MPG123_NEW_FORMAT)
            return false;
    }
    const int64_t frames = int64_t(bytesHeld / (sizeof(float) * channels));
    for (uint32_t c = 0; c < channels; ++c) {
        float* out = buffer.channelData(c);
        for (int64_t i = 0; i < frames; ++i)
            out[i] = interleaved_[size_t(i * channels + c)];
    }
    buffer.setFrameLength(frames);
    position_ += frames;
    return true;
}

} // namespace tindrel::platform
