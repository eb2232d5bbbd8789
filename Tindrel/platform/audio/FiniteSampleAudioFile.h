#pragma once

// Wraps any reader so that every sample it delivers is finite and of a plausible size: NaN,
// infinite and absurdly large samples (beyond 2^15 full scale, as a damaged or hostile float
// file holds) become 0 before they reach the player, the time-pitch unit, the meters, the
// measurement or an export, so all of them agree on what the file holds. AudioFile::openForReading
// hands out every reader this way. One instance per thread, as AudioFile says.

#include "Tindrel/platform/audio/AudioFile.h"

namespace tindrel::platform {

class FiniteSampleAudioFile final : public AudioFile {
public:
    explicit FiniteSampleAudioFile(std::unique_ptr<AudioFile> reader)
        : reader_(std::move(reader)) {}

    std::unique_ptr<AudioFile> reopen(std::string* error = nullptr) const override;
    const std::filesystem::path& path() const override { return reader_->path(); }
    AudioFormat processingFormat() const override { return reader_->processingFormat(); }
    AudioFormat fileFormat() const override { return reader_->fileFormat(); }
    int64_t length() const override { return reader_->length(); }
    std::optional<int> fileBitDepth() const override { return reader_->fileBitDepth(); }
    int64_t framePosition() const override { return reader_->framePosition(); }
    void setFramePosition(int64_t frame) override { reader_->setFramePosition(frame); }
    bool read(AudioPcmBuffer& buffer, int64_t frameCount) override;

private:
    std::unique_ptr<AudioFile> reader_;
};

} // namespace tindrel::platform
