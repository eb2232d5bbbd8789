#pragma once

// AudioFile over libsndfile: WAV/BWF, AIFF/AIFC, CAF, FLAC, Ogg Opus and the rest of what
// libsndfile 1.2 reads, except MPEG audio, which it refuses (Mp3AudioFile reads that). A
// stream that states no length (a FLAC written through a pipe) is counted by decoding it
// once; the count is remembered per file (device, inode, size, modification time) so later
// opens of the same file are instant.
// One instance per thread, as AudioFile says.

#include "Tindrel/platform/audio/AudioFile.h"

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
    SndfileAudioFile(std::filesystem::path path, SNDFILE* file, int format, int channels,
                     int sampleRate, int64_t length);

    std::filesystem::path path_;
    SNDFILE* file_;
    AudioFormat format_;
    int64_t length_;
    std::optional<int> bitDepth_;
    int64_t position_ = 0;
    std::vector<float> interleaved_;
};

} // namespace tindrel::platform
