#include "Tindrel/analysis/UniversalAudioLoader.h"

#include "Tindrel/analysis/PcmCache.h"
#include "Tindrel/analysis/TindrelError.h"
#include "Tindrel/platform/audio/AudioDemuxerAllowList.h"
#include "Tindrel/platform/audio/ChildProcess.h"
#include "Tindrel/platform/audio/TranscoderModule.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace tindrel {
namespace {

using platform::AudioFile;

constexpr int decodedBitDepth = 16;

std::unique_ptr<AudioFile> openWithAudio(const std::filesystem::path& path) {
    auto file = AudioFile::openForReading(path);
    return file && file->length() > 0 ? std::move(file) : nullptr;
}

bool isRegularFileAt(const std::filesystem::path& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Generous for any decoder: a second per MiB of source, never less than the floor.
std::chrono::milliseconds decodeTimeLimit(int64_t sourceBytes, std::chrono::milliseconds floor) {
    return std::max(floor, std::chrono::milliseconds(sourceBytes / 1024 * 1000 / 1024));
}

bool decodeWithFfmpeg(const std::filesystem::path& source, const std::filesystem::path& destination,
                      const std::vector<std::filesystem::path>& candidates,
                      std::chrono::milliseconds timeLimit) {
    for (const auto& candidate : candidates) {
        if (!platform::ChildProcess::isExecutableFile(candidate))
            continue;
        // Only local files and single-file containers: a playlist could name a FIFO or a URL.
        const auto status = platform::ChildProcess::run(
            candidate,
            {"-nostdin", "-y", "-v", "error", "-protocol_whitelist",
             platform::audioProtocolAllowList, "-format_whitelist", platform::audioDemuxerAllowList,
             "-i", source.string(), "-c:a", "pcm_s16le", destination.string()},
            timeLimit);
        return status == 0;
    }
    return false;
}

// Decodes into a fresh temporary file in `folder` and renames it to `cacheFile` only once it
// opens with audio; a failed decode leaves nothing behind.
std::unique_ptr<AudioFile>
decodeInto(const std::filesystem::path& folder, const std::filesystem::path& cacheFile,
           const std::function<bool(const std::filesystem::path&)>& decode,
           std::filesystem::path& playable) {
    const auto temporary = PcmCache::createTemporaryFile(folder, cacheFile.filename().string());
    if (!temporary)
        return nullptr;
    if (!decode(*temporary) || !openWithAudio(*temporary)) {
        ::unlink(temporary->c_str());
        return nullptr;
    }
    // rename() never replaces a directory, so one planted at the cache name stays put and
    // the copy is played from its temporary name.
    playable = ::rename(temporary->c_str(), cacheFile.c_str()) == 0 ? cacheFile : *temporary;
    return openWithAudio(playable);
}

} // namespace

const UniversalAudioLoader::Settings& UniversalAudioLoader::standardSettings() {
    static const Settings settings{
        "/tmp/tindrel-pcm-cache",
        {"/opt/homebrew/bin/ffmpeg", "/Users/tindrel/.nix-profile/bin/ffmpeg",
         "/run/current-system/sw/bin/ffmpeg", "/usr/local/bin/ffmpeg", "/usr/bin/ffmpeg"},
        true};
    return settings;
}

PlayableAudioFile UniversalAudioLoader::openPlayableAudioFile(const std::filesystem::path& url) {
    return openPlayableAudioFile(url, standardSettings());
}

PlayableAudioFile UniversalAudioLoader::openPlayableAudioFile(const std::filesystem::path& url,
                                                              const Settings& settings) {
    const TindrelError failure("Unsupported or empty audio stream in " + url.filename().string());
    struct stat info {};
    if (::stat(url.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        throw failure;

    if (auto direct = openWithAudio(url)) {
        const int bitDepth = direct->fileBitDepth().value_or(24);
        return {std::move(direct), url, bitDepth};
    }

    std::error_code ignored;
    const std::filesystem::path source = std::filesystem::absolute(url, ignored).lexically_normal();
    const auto folder = PcmCache(settings.cacheFolder).folder();
    if (!folder)
        throw failure;
    const int64_t modified = int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    const std::filesystem::path cacheFile =
        *folder / PcmCache::cacheFileName(source, info.st_size, modified);

    if (isRegularFileAt(cacheFile)) {
        if (auto cached = openWithAudio(cacheFile))
            return {std::move(cached), cacheFile, decodedBitDepth};
    }

    std::filesystem::path playable;
    if (settings.usePlatformTranscoder) {
        auto transcoded = decodeInto(
            *folder, cacheFile,
            [&](const std::filesystem::path& to) {
                const auto transcode = platform::TranscoderModule::transcodeToWav();
                return transcode && transcode(source, to, nullptr);
            },
            playable);
        if (transcoded)
            return {std::move(transcoded), playable, decodedBitDepth};
    }
    auto decoded = decodeInto(
        *folder, cacheFile,
        [&](const std::filesystem::path& to) {
            return decodeWithFfmpeg(source, to, settings.ffmpegCandidates,
                                    decodeTimeLimit(info.st_size, settings.decodeTimeFloor));
        },
        playable);
    if (decoded)
        return {std::move(decoded), playable, decodedBitDepth};
    throw failure;
}

} // namespace tindrel
