#pragma once

// AudioFile over libmpg123 for MPEG audio (MP3, MP2, MP1). Opening reads the frame headers
// only, never decodes: that gives the exact length even of a variable-bitrate stream that
// states no frame count, and a seek index. Encoder delay and padding named in a LAME tag are
// trimmed, so the frames are those the encoder was given. A stream that changes its channel
// count or rate part-way is refused, so that the transcoder can decode it whole.
//
// Seeks are exact: what is read after one is, bit for bit, what a read from the start gives
// there. reopen() shares the opened file, the scanned length and the seek index with the new
// instance (all read-only, the file read by position), so it costs no second scan and still
// reads a file moved or deleted since the open. One instance per thread, as AudioFile says.

#include "Tindrel/platform/audio/AudioFile.h"

#include <sys/types.h>

#include <vector>

typedef struct mpg123_handle_struct mpg123_handle;

namespace tindrel::platform {

class FileDescriptor;

class Mp3AudioFile final : public AudioFile {
public:
    // Whether the file starts (after any ID3v2 tags) with an MPEG audio frame header. Reads a
    // few bytes; false for anything that is not a readable regular file.
    static bool looksLikeMpegAudio(const std::filesystem::path& path);

    // Null, with `error` set when given, for a file that is not MPEG audio, holds no frames,
    // or changes its channel count or rate.
    static std::unique_ptr<AudioFile> open(const std::filesystem::path& path, std::string* error);
    ~Mp3AudioFile() override;

    std::unique_ptr<AudioFile> reopen(std::string* error = nullptr) const override;
    const std::filesystem::path& path() const override { return path_; }
    AudioFormat processingFormat() const override { return stream_->format; }
    AudioFormat fileFormat() const override { return stream_->format; }
    int64_t length() const override { return stream_->length; }
    std::optional<int> fileBitDepth() const override { return std::nullopt; }
    int64_t framePosition() const override { return position_; }
    void setFramePosition(int64_t frame) override;
    bool read(AudioPcmBuffer& buffer, int64_t frameCount) override;

    // What the scan learnt; shared by reopened instances. Public only so that the .cpp can
    // build it.
    struct ScannedStream {
        AudioFormat format;
        int64_t length = 0;           // frames, after trimming
        std::vector<int64_t> offsets; // byte offset of every `indexStep`-th MPEG frame
        int64_t indexStep = 0;
        int64_t samplesPerFrame = 0;
        int64_t primingFrames = 0;     // decoded before the frame a seek wants
        int64_t firstDecodedFrame = 0; // where a read from the start begins decoding
    };

private:
    // The file as libmpg123 reads it: through a buffer of our own, since its reader would
    // make two system calls for every frame.
    struct BufferedSource;

    // Reads the opened `file`; scans it, or takes `stream` as an earlier scan of it left it.
    static std::unique_ptr<AudioFile> open(const std::filesystem::path& path,
                                           std::shared_ptr<const FileDescriptor> file,
                                           std::shared_ptr<const ScannedStream> stream,
                                           std::string* error);
    Mp3AudioFile(std::filesystem::path path, std::unique_ptr<BufferedSource> source,
                 mpg123_handle* handle, std::shared_ptr<const ScannedStream> stream);

    // Opens the stream afresh and decodes up to `frame`, so that what follows is what a read
    // from the start gives there, bit for bit. False when the stream cannot be read so far.
    bool restartAt(int64_t frame);
    bool decodeAndDrop(int64_t frames);
    // Frames after which the synthesis filter's ring is back where it started.
    int64_t ringCycleFrames() const;
    // Where the decoder frame `frame` begins in the file, from the seek index; -1 when unknown.
    off_t frameOffset(int64_t frame) const;

    std::filesystem::path path_;
    std::unique_ptr<BufferedSource> source_; // outlives handle_, which reads through it
    mpg123_handle* handle_;
    std::shared_ptr<const ScannedStream> stream_;
    std::vector<off_t> indexOffsets_; // the seek index as libmpg123 takes it
    int64_t position_ = 0;
    bool positioned_ = false; // false after a seek that failed: reads fail until the next one
    std::vector<float> interleaved_;
};

} // namespace tindrel::platform
