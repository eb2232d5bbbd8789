#pragma once

// AudioFile over libsndfile: WAV/BWF, AIFF/AIFC, CAF, FLAC, Ogg Opus and the rest of what
// libsndfile 1.2 reads, except MPEG audio, which it refuses (Mp3AudioFile reads that). A
// stream that states no length (a FLAC written through a pipe) is counted by decoding it
// once; the count is remembered per file (device, inode, size, modification time) so later
// opens of the same file are instant.
// A length a header states is checked against the data: a file cut short reports the frames
// that still decode. The file is read through the descriptor opened first, so reopen() needs
// no path and works after the file was moved or deleted.
// One instance per thread, as AudioFile says.

#include "Tindrel/platform/audio/AudioFile.h"
#include "Tindrel/platform/audio/OpenedFileCursor.h"

#include <vector>

typedef struct sf_private_tag SNDFILE;

namespace tindrel::platform {

class SndfileAudioFile final : public AudioFile {
public:
    static std::unique_ptr<AudioFile> open(const std::filesystem::path& path, std::string* error);
    ~SndfileAudioFile() override;

    std::unique_ptr<AudioFile> reopen(std::string* error = nullptr) const override;
    const std::filesystem::path& path() const override { return path_; }
    AudioFormat processingFormat() const override { return format_; }
    AudioFormat fileFormat() const override { return format_; }
    int64_t length() const override { return length_; }
    std::optional<int> fileBitDepth() const override { return bitDepth_; }
    int64_t framePosition() const override { return position_; }
    void setFramePosition(int64_t frame) override;
    bool read(AudioPcmBuffer& buffer, int64_t frameCount) override;

private:
    // `checkedLength`: the length an earlier open found, which reopen() need not find again.
    static std::unique_ptr<AudioFile> open(const std::filesystem::path& path,
                                           std::unique_ptr<OpenedFileCursor> cursor,
                                           std::string* error,
                                           std::optional<int64_t> checkedLength = std::nullopt);
    SndfileAudioFile(std::filesystem::path path, std::unique_ptr<OpenedFileCursor> cursor,
                     SNDFILE* file, int format, int channels, int sampleRate, int64_t length);

    std::filesystem::path path_;
    std::unique_ptr<OpenedFileCursor> cursor_; // libsndfile reads through it
    SNDFILE* file_;
    AudioFormat format_;
    int64_t length_;
    std::optional<int> bitDepth_;
    int64_t position_ = 0;
    bool seekFailed_ = false; // the position could not be reached: reads fail until a new seek
    std::vector<float> interleaved_;
};

} // namespace tindrel::platform
