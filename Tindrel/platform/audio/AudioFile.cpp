#include "Tindrel/platform/audio/AudioFile.h"

#include "Tindrel/platform/audio/FiniteSampleAudioFile.h"
#include "Tindrel/platform/audio/Mp3AudioFile.h"
#include "Tindrel/platform/audio/SndfileAudioFile.h"
#include "Tindrel/platform/audio/SupportedSampleRates.h"
#include "Tindrel/platform/audio/VorbisAudioFile.h"

namespace tindrel::platform {

namespace {

std::unique_ptr<AudioFile> openReader(const std::filesystem::path& path, std::string* error) {
    std::string vorbisError;
    if (auto vorbis = VorbisAudioFile::open(path, &vorbisError))
        return vorbis;
    // Ogg Vorbis that its own reader refused (damaged, or links of different layouts) is left
    // to the transcoder: libsndfile would play only its first link and leaks on such input.
    if (!vorbisError.empty()) {
        if (error)
            *error = vorbisError;
        return nullptr;
    }
    if (Mp3AudioFile::looksLikeMpegAudio(path))
        return Mp3AudioFile::open(path, error);
    return SndfileAudioFile::open(path, error);
}

} // namespace

std::unique_ptr<AudioFile> AudioFile::openForReading(const std::filesystem::path& path,
                                                     std::string* error) {
    auto reader = openReader(path, error);
    if (!reader)
        return nullptr;
    if (!isSupportedSampleRate(reader->fileFormat().sampleRate)) {
        if (error)
            *error = "unsupported sample rate";
        return nullptr;
    }
    return std::make_unique<FiniteSampleAudioFile>(std::move(reader));
}

} // namespace tindrel::platform
