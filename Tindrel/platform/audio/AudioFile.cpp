#include "Tindrel/platform/audio/AudioFile.h"

#include "Tindrel/platform/audio/Mp3AudioFile.h"
#include "Tindrel/platform/audio/SndfileAudioFile.h"
#include "Tindrel/platform/audio/VorbisAudioFile.h"

namespace tindrel::platform {

std::unique_ptr<AudioFile> AudioFile::openForReading(const std::filesystem::path& path,
                                                     std::string* error) {
    if (auto vorbis = VorbisAudioFile::open(path, nullptr))
        return vorbis;
    if (Mp3AudioFile::looksLikeMpegAudio(path))
        return Mp3AudioFile::open(path, error);
    return SndfileAudioFile::open(path, error);
}

} // namespace tindrel::platform
