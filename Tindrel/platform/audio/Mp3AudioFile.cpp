#include "Tindrel/platform/audio/Mp3AudioFile.h"

#include "Tindrel/platform/files/FileDescriptor.h"

#include <mpg123.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>
#include <optional>

namespace tindrel::platform {

namespace {

// One byte of the stream as the decoder is given it: only `keptBits` of the file's byte.
struct BytePatch {
    off_t offset;
    unsigned char keptBits;
};

} // namespace

struct Mp3AudioFile::BufferedSource {
    // Shared by every reader reopened from the first; read only by position.
    std::shared_ptr<const FileDescriptor> file;
    off_t position = 0;
    // Dozens of frames, yet little to copy for a seek, which reads the stream's head afresh
    // and then the frames at its target.
    std::vector<unsigned char> buffer = std::vector<unsigned char>(32 * 1024);
    off_t bufferStart = 0;
    size_t bufferHeld = 0;
    // Bits cleared in the bytes handed to the decoder (see restartAt()); the file is unchanged.
    std::vector<BytePatch> patches;

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
            for (const BytePatch& patch : self.patches)
                if (patch.offset >= self.position && patch.offset < self.position + off_t(taken))
                    out[done + size_t(patch.offset - self.position)] &= patch.keptBits;
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
    // The tags are skipped unread, since every seek opens the stream afresh. The decoder's own
    // priming is kept to its least; restartAt() primes as far as each stream needs.
    mpg123_param(handle.get(), MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS | MPG123_SKIP_ID3V2,
                 0);
    mpg123_param(handle.get(), MPG123_PREFRAMES, 1, 0);
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

// How many frames back a layer III frame's main data may begin: up to 511 bytes of main data
// back (255 in MPEG 2 and 2.5), where each frame carries main data after its header, checksum
// and side information. Taken over every frame, the largest count bounds them all.
int64_t framesTheReservoirSpans(const mpg123_frameinfo& info) {
    const bool mono = info.mode == MPG123_M_MONO;
    const bool mpeg1 = info.version == MPG123_1_0;
    const int64_t sideInfo = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    const int64_t mainData = std::max<int64_t>(
        1, int64_t(info.framesize) - 4 - ((info.flags & MPG123_CRC) ? 2 : 0) - sideInfo);
    const int64_t reach = mpeg1 ? 511 : 255;
    return (reach + mainData - 1) / mainData;
}

// A layer III frame header as the restart planning needs it; nullopt for anything else.
struct LayerThreeFrame {
    int64_t bytes = 0;          // the whole frame
    int64_t sideInfoAt = 0;     // from the frame's start, after the header and any checksum
    int64_t dataBytes = 0;      // the decoder's count of what the frame adds to the reservoir
    bool lowSampleRate = false; // MPEG 2 or 2.5
    bool mono = false;
};

std::optional<LayerThreeFrame> layerThreeFrameAt(int fd, off_t offset) {
    unsigned char h[4];
    if (::pread(fd, h, sizeof h, offset) != ssize_t(sizeof h) || !isMpegAudioFrameHeader(h) ||
        ((h[1] >> 1) & 3) != 1)
        return std::nullopt;
    static constexpr int kbps[2][15] = {
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}};
    static constexpr int rates[3] = {44100, 48000, 32000};
    const int version = (h[1] >> 3) & 3; // 3: MPEG 1, 2: MPEG 2, 0: MPEG 2.5
    const bool low = version != 3;
    const int bitrate = kbps[low][h[2] >> 4];
    if (bitrate == 0) // free format: no size in the header
        return std::nullopt;
    const int rate = rates[(h[2] >> 2) & 3] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    const bool checksum = (h[1] & 1) == 0;
    const bool mono = (h[3] >> 6) == 3;
    LayerThreeFrame frame;
    frame.bytes = int64_t(low ? 72000 : 144000) * bitrate / rate + ((h[2] >> 1) & 1);
    frame.sideInfoAt = 4 + (checksum ? 2 : 0);
    // As libmpg123 counts: its side information size holds the checksum, taken off once more.
    const int64_t sideInfo = (low ? (mono ? 9 : 17) : (mono ? 17 : 32)) + (checksum ? 2 : 0);
    frame.dataBytes = frame.bytes - 4 - sideInfo - (checksum ? 2 : 0);
    frame.lowSampleRate = low;
    frame.mono = mono;
    return frame;
}

// libmpg123 starts its reservoir count at nothing when it starts decoding, so the first frames
// after a restart that reach further back than it has counted are decoded as silence: it sets
// their reservoir offset to the count and clears their side information. In MPEG 2 and 2.5 it
// clears from the third byte on, which leaves the top bits of the first part2_3_length in the
// second; such a frame then fails its length check and is not synthesized at all, so the
// synthesis ring ends up a frame off from a read from the start. Clearing those bits too
// makes it the silent frame meant. Returns the bits to clear in the frames decoded from the
// one at `offset` on; which they are depends on that frame alone.
std::vector<BytePatch> silencedFrameLengths(int fd, off_t offset) {
    std::vector<BytePatch> patches;
    if (offset < 0)
        return patches;
    constexpr int64_t fullReservoir = 255; // the most an MPEG 2 frame reaches back
    int64_t counted = 0;
    // Every frame counts at least a byte, but for a damaged one.
    for (int64_t i = 0; i <= fullReservoir && counted < fullReservoir; ++i) {
        const std::optional<LayerThreeFrame> frame = layerThreeFrameAt(fd, offset);
        if (!frame || !frame->lowSampleRate)
            break;
        unsigned char reach = 0;
        if (::pread(fd, &reach, 1, offset + frame->sideInfoAt) != 1)
            break;
        if (reach > counted)
            patches.push_back(
                {offset + frame->sideInfoAt + 1, (unsigned char)(frame->mono ? 0x80 : 0xC0)});
        counted = std::min(fullReservoir, counted + frame->dataBytes);
        offset += frame->bytes;
    }
    return patches;
}

// Walks every frame header without decoding; false when the stream holds no frame or its
// channel count or rate changes, since one output format could not carry it whole.
bool hasOneFormatThroughout(mpg123_handle* handle, Mp3AudioFile::ScannedStream& stream) {
    int formats = 0;
    int64_t reservoirFrames = 0;
    int status = MPG123_OK;
    while ((status = mpg123_framebyframe_next(handle)) == MPG123_OK ||
           status == MPG123_NEW_FORMAT) {
        if (status == MPG123_NEW_FORMAT) {
            long rate = 0;
            int channels = 0, encoding = 0;
            if (++formats > 1 || mpg123_getformat(handle, &rate, &channels, &encoding) != MPG123_OK)
                return false;
            stream.format = {double(rate), uint32_t(channels)};
            stream.samplesPerFrame = mpg123_spf(handle);
        }
        mpg123_frameinfo info{};
        if (mpg123_info(handle, &info) == MPG123_OK && info.layer == 3)
            reservoirFrames = std::max(reservoirFrames, framesTheReservoirSpans(info));
    }
    // Beyond the reservoir, the frame before the one wanted must itself decode whole, as its
    // overlap carries into the wanted one; and the first frame decoded after opening lends
    // its bytes to no reservoir.
    stream.primingFrames = reservoirFrames + 2;
    return status == MPG123_DONE && formats == 1 && stream.samplesPerFrame >= 32;
}

std::shared_ptr<const Mp3AudioFile::ScannedStream> scan(mpg123_handle* handle, std::string* error) {
    auto stream = std::make_shared<Mp3AudioFile::ScannedStream>();
    if (!hasOneFormatThroughout(handle, *stream)) {
        if (error)
            *error = "MPEG stream without frames or with changing channels or rate";
        return nullptr;
    }
    off_t* offsets = nullptr;
    off_t step = 0;
    size_t fill = 0;
    if (mpg123_scan(handle) != MPG123_OK ||
        mpg123_index(handle, &offsets, &step, &fill) != MPG123_OK ||
        mpg123_seek(handle, 0, SEEK_SET) < 0) {
        if (error)
            *error = mpg123_strerror(handle);
        return nullptr;
    }
    stream->length = std::max<int64_t>(0, mpg123_length(handle));
    stream->offsets.assign(offsets, offsets + fill);
    stream->indexStep = step;
    // With one frame of the decoder's own priming, reading from the start decodes from the
    // frame before the first one trimming keeps.
    stream->firstDecodedFrame = std::max<int64_t>(0, mpg123_tellframe(handle) - 1);
    return stream;
}

} // namespace

Mp3AudioFile::Mp3AudioFile(std::filesystem::path path, std::unique_ptr<BufferedSource> source,
                           mpg123_handle* handle, std::shared_ptr<const ScannedStream> stream)
    : path_(std::move(path)), source_(std::move(source)), handle_(handle),
      stream_(std::move(stream)), indexOffsets_(stream_->offsets.begin(), stream_->offsets.end()) {}

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
        if (!stream)
            return nullptr;
    }
    std::unique_ptr<Mp3AudioFile> opened(
        new Mp3AudioFile(path, std::move(source), handle.release(), std::move(stream)));
    opened->positioned_ = opened->restartAt(0);
    if (!opened->positioned_) {
        if (error)
            *error = mpg123_strerror(opened->handle_);
        return nullptr;
    }
    return opened;
}

bool Mp3AudioFile::restartAt(int64_t frame) {
    // The synthesis filter keeps its history in a ring of 16 blocks of 32 samples, and which
    // block a sum starts from changes how it rounds. Only opening the stream puts the ring
    // back to its first block, and a seek keeps it where the last read left it. So every seek
    // opens the stream afresh and starts decoding where a read from the start would have the
    // ring in the same place, far enough back for the bit reservoir and the overlap to fill;
    // the frames up to the one wanted are decoded and dropped. Every frame decoded on the way
    // must turn the ring as one read from the start does (silencedFrameLengths()).
    const int64_t ringCycle = ringCycleFrames();
    const int64_t first = stream_->firstDecodedFrame;
    // Trimming the start only moves `frame` into a later decoder frame, so this is early
    // enough.
    const int64_t holding = frame / stream_->samplesPerFrame;
    const int64_t start =
        first +
        std::max<int64_t>(0, (holding - stream_->primingFrames - first) / ringCycle) * ringCycle;
    source_->patches = silencedFrameLengths(source_->file->get(), frameOffset(start));
    mpg123_close(handle_);
    if (mpg123_open_handle(handle_, source_.get()) != MPG123_OK ||
        mpg123_set_index(handle_, indexOffsets_.data(), off_t(stream_->indexStep),
                         indexOffsets_.size()) != MPG123_OK)
        return false;
    int64_t reached = 0;
    if (start == first) {
        if (mpg123_seek(handle_, 0, SEEK_SET) < 0)
            return false;
    } else {
        // The decoder primes itself with one frame, the start.
        if (mpg123_seek_frame(handle_, off_t(start + 1), SEEK_SET) < 0)
            return false;
        reached = mpg123_tell(handle_);
    }
    return reached >= 0 && reached <= frame && decodeAndDrop(frame - reached);
}

bool Mp3AudioFile::decodeAndDrop(int64_t frames) {
    const size_t channels = stream_->format.channelCount;
    constexpr size_t dropFrames = 4096;
    if (interleaved_.size() < dropFrames * channels)
        interleaved_.resize(dropFrames * channels);
    while (frames > 0) {
        const size_t bytes = std::min(size_t(frames), dropFrames) * channels * sizeof(float);
        size_t done = 0;
        const int status = mpg123_read(
            handle_, reinterpret_cast<unsigned char*>(interleaved_.data()), bytes, &done);
        frames -= int64_t(done / (channels * sizeof(float)));
        // A stream that ends early ends there for reads too, as it does for a sequential one.
        if (status == MPG123_DONE)
            return true;
        if (frames > 0 && status != MPG123_NEW_FORMAT && (status != MPG123_OK || done == 0))
            return false;
    }
    return true;
}

void Mp3AudioFile::setFramePosition(int64_t frame) {
    const int64_t target = std::clamp<int64_t>(frame, 0, stream_->length);
    // Reading on is exact too, and cheaper than a restart over a short way forward (the
    // measurement positions every bin, most often where the last read ended).
    const int64_t restartCost =
        (stream_->primingFrames + ringCycleFrames()) * stream_->samplesPerFrame;
    if (positioned_ && target >= position_ && target - position_ <= restartCost) {
        positioned_ = decodeAndDrop(target - position_);
    } else {
        positioned_ = restartAt(target);
    }
    position_ = target;
}

off_t Mp3AudioFile::frameOffset(int64_t frame) const {
    if (stream_->offsets.empty() || stream_->indexStep <= 0)
        return -1;
    const int64_t entry =
        std::min<int64_t>(frame / stream_->indexStep, int64_t(stream_->offsets.size()) - 1);
    off_t offset = off_t(stream_->offsets[size_t(entry)]);
    for (int64_t at = entry * stream_->indexStep; at < frame && offset >= 0; ++at) {
        const std::optional<LayerThreeFrame> walked =
            layerThreeFrameAt(source_->file->get(), offset);
        offset = walked ? offset + off_t(walked->bytes) : -1;
    }
    return offset;
}

int64_t Mp3AudioFile::ringCycleFrames() const {
    return 16 / std::gcd<int64_t>(16, stream_->samplesPerFrame / 32);
}

bool Mp3AudioFile::read(AudioPcmBuffer& buffer, int64_t frameCount) {
    buffer.setFrameLength(0);
    const uint32_t channels = stream_->format.channelCount;
    if (buffer.channelCount() != channels || !positioned_)
        return false;
    const int64_t wanted = std::max<int64_t>(
        0, std::min({frameCount, buffer.frameCapacity(), stream_->length - position_}));
    // Grown only: a seek's drop and a read share it, and a resize each way would clear it anew.
    const size_t valuesWanted = size_t(wanted * channels);
    if (interleaved_.size() < valuesWanted)
        interleaved_.resize(valuesWanted);
    const size_t bytesWanted = valuesWanted * sizeof(float);
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
