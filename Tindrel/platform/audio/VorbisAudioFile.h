#pragma once

// AudioFile over libvorbisfile for Ogg Vorbis, whose seeks are sample-exact there (libsndfile
// 1.2.0 returns wrong audio after a seek in Vorbis). Chained streams whose links differ in
// rate, channel count or codec are refused, so another reader can take them. The length is
// what really decodes, whatever the last granule position claims. The file is read
// through the descriptor opened first, so reopen() needs no path and works after the file
// was moved or deleted.
// One instance per thread, as AudioFile says.

#include "Tindrel/platform/audio/AudioFile.h"
#include "Tindrel/platform/audio/OpenedFileCursor.h"

#include <vorbis/vorbisfile.h>

namespace tindrel::platform {

class VorbisAudioFile final : public AudioFile {
public:
    // No file and no error text when the content is not Ogg Vorbis; an error text when it is
    // but cannot be read here (damaged, or links of different layouts).
    static std::unique_ptr<AudioFile> open(const std::filesystem::path& path, std::string* error);
    ~VorbisAudioFile() override;

    std::unique_ptr<AudioFile> reopen(std::string* error = nullptr) const override;
    const std::filesystem::path& path() const override { return path_; }
    AudioFormat processingFormat() const override { return format_; }
    AudioFormat fileFormat() const override { return format_; }
    int64_t length() const override { return length_; }
    std::optional<int> fileBitDepth() const override { return std::nullopt; }
    int64_t framePosition() const override { return position_; }
    void setFramePosition(int64_t frame) override;
    bool read(AudioPcmBuffer& buffer, int64_t frameCount) override;

private:
    // `checkedLength`: the length an earlier open found, which reopen() need not find again.
    static std::unique_ptr<AudioFile> open(const std::filesystem::path& path,
                                           std::unique_ptr<OpenedFileCursor> cursor,
                                           std::string* error,
                                           std::optional<int64_t> checkedLength = std::nullopt);
    VorbisAudioFile(std::filesystem::path path, std::unique_ptr<OpenedFileCursor> cursor,
                    std::unique_ptr<OggVorbis_File> file, AudioFormat format, int64_t length);

    std::filesystem::path path_;
    std::unique_ptr<OpenedFileCursor> cursor_; // libvorbisfile reads through it
    std::unique_ptr<OggVorbis_File> file_;
    AudioFormat format_;
    int64_t length_;
    int64_t position_ = 0;
    bool seekFailed_ = false; // the position could not be reached: reads fail until a new seek
};

} // namespace tindrel::platform
