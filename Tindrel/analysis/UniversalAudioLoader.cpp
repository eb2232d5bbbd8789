#include "Tindrel/analysis/UniversalAudioLoader.h"

#include "Tindrel/analysis/DecodedCopyFile.h"
#include "Tindrel/analysis/PcmCache.h"
#include "Tindrel/analysis/TindrelError.h"
#include "Tindrel/platform/audio/AudioDemuxerAllowList.h"
#include "Tindrel/platform/audio/ChildProcess.h"
#include "Tindrel/platform/audio/TranscoderModule.h"
#include "Tindrel/platform/text/LocaleFreeNumber.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace tindrel {
namespace {

using platform::AudioFile;
using platform::AudioTranscoder;
using platform::WorkHeartbeat;

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

TindrelError noRoomIn(const std::filesystem::path& folder, int64_t freeBytes) {
    return TindrelError(
        formatNumber("Not enough free space for the decoded audio (%.0f MiB free in %s)",
                     double(std::max<int64_t>(0, freeBytes)) / (1 << 20), folder.c_str()));
}

// The copies kept add up to at most the limit and to at most a quarter of the free space.
void trimCache(const std::filesystem::path& folder, int64_t limitBytes) {
    const int64_t freeSpace = PcmCache::freeBytes(folder);
    PcmCache::trim(folder, freeSpace < 0 ? limitBytes : std::min(limitBytes, freeSpace / 4));
}

// A run killed in the middle of a decode may have left a temporary (where the file system has
// no unnamed files): the first load of the next run clears it, whatever that load opens.
void trimExistingCacheOnce(const UniversalAudioLoader::Settings& settings) {
    static std::once_flag once;
    std::call_once(once, [&] {
        struct stat info {};
        if (::lstat(settings.cacheFolder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
            info.st_uid == ::geteuid())
            trimCache(settings.cacheFolder, settings.cacheByteLimit);
    });
}

enum class Decoded { yes, no, noRoom };

// The external decoder, writing into `copy` at most `byteLimit` bytes: its own -fs limit stops
// it there, and a copy that reached the limit is cut short, not complete.
Decoded decodeWithFfmpeg(const std::filesystem::path& source, DecodedCopyFile& copy,
                         const UniversalAudioLoader::Settings& settings, int64_t sourceBytes,
                         int64_t roomBytes, WorkHeartbeat& heartbeat) {
    const int64_t byteLimit = std::min(roomBytes, AudioTranscoder::outputByteCeiling(sourceBytes));
    for (const auto& candidate : settings.ffmpegCandidates) {
        if (!platform::ChildProcess::isExecutableFile(candidate))
            continue;
        const bool unnamed = copy.pathForWriting().rfind("/proc/self/fd/", 0) == 0;
        // Only local files and single-file containers: a playlist could name a FIFO or a URL.
        const auto status = platform::ChildProcess::run(
            candidate,
            {"-nostdin", "-y", "-v", "error", "-protocol_whitelist",
             platform::audioProtocolAllowList, "-format_whitelist", platform::audioDemuxerAllowList,
             "-i", source.string(), "-c:a", "pcm_s16le", "-fs", std::to_string(byteLimit), "-f",
             "wav", copy.pathForWriting()},
            {decodeTimeLimit(sourceBytes, settings.decodeTimeFloor),
             unnamed ? copy.descriptor() : -1, &heartbeat});
        if (status != 0)
            return Decoded::no;
        if (copy.sizeBytes() < byteLimit)
            return Decoded::yes;
        return byteLimit == roomBytes ? Decoded::noRoom : Decoded::no;
    }
    return Decoded::no;
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
    WorkHeartbeat unattended;
    return openPlayableAudioFile(url, settings, unattended);
}

PlayableAudioFile UniversalAudioLoader::openPlayableAudioFile(const std::filesystem::path& url,
                                                              const Settings& settings,
                                                              WorkHeartbeat& heartbeat) {
    trimExistingCacheOnce(settings);
    const TindrelError failure("Unsupported or empty audio stream in " + url.filename().string());
    struct stat info {};
    if (::stat(url.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        throw failure;

    if (auto direct = openWithAudio(url)) {
        const int bitDepth = direct->fileBitDepth().value_or(24);
        return {std::move(direct), url, bitDepth, {}};
    }

    std::error_code ignored;
    const std::filesystem::path source = std::filesystem::absolute(url, ignored).lexically_normal();
    const auto folder = PcmCache(settings.cacheFolder).folder();
    if (!folder)
        throw failure;
    const std::filesystem::path cacheFile =
        *folder / PcmCache::cacheFileName(source, PcmCache::SourceIdentity::of(info));
    if (isRegularFileAt(cacheFile)) {
        platform::FileDescriptor hold = PcmCache::hold(cacheFile);
        auto cached = hold.valid() ? openWithAudio(cacheFile) : nullptr;
        if (cached) {
            trimCache(*folder, settings.cacheByteLimit);
            return {std::move(cached), cacheFile, decodedBitDepth, std::move(hold)};
        }
    }

    const int64_t freeSpace = PcmCache::freeBytes(*folder);
    const int64_t roomBytes =
        freeSpace < 0 ? std::numeric_limits<int64_t>::max() : freeSpace - settings.keepFreeBytes;
    if (roomBytes <= AudioTranscoder::wavOverheadBytes)
        throw noRoomIn(*folder, freeSpace);

    // A new copy in the cache's folder, or in the private folder when the shared one takes no
    // new file (read-only); `copyFolder` says which.
    const auto createCopy = [&](std::filesystem::path& copyFolder) {
        std::string reason;
        if (auto copy = DecodedCopyFile::create(copyFolder, &reason))
            return copy;
        const auto fallback = PcmCache::privateFolder();
        if (fallback && *fallback != copyFolder) {
            copyFolder = *fallback;
            if (auto copy = DecodedCopyFile::create(copyFolder, &reason))
                return copy;
        }
        throw TindrelError("Cannot write the decoded audio in " + copyFolder.string() + ": " +
                           reason);
    };

    // Decodes into a fresh unnamed file that takes the cache name only once it plays.
    const auto decodeInto = [&](auto&& decode) -> std::optional<PlayableAudioFile> {
        std::filesystem::path copyFolder = *folder;
        std::optional<DecodedCopyFile> copy = createCopy(copyFolder);
        const Decoded decoded = decode(*copy);
        if (heartbeat.stopped())
            throw failure;
        if (decoded == Decoded::noRoom)
            throw noRoomIn(copyFolder, freeSpace);
        if (decoded == Decoded::no || !openWithAudio(copy->pathForWriting()))
            return std::nullopt;
        const auto playable = copy->publish(copyFolder / cacheFile.filename());
        auto audio = playable ? openWithAudio(*playable) : nullptr;
        if (!audio)
            return std::nullopt;
        trimCache(copyFolder, settings.cacheByteLimit);
        return PlayableAudioFile{std::move(audio), *playable, decodedBitDepth, copy->release()};
    };

    bool transcoderMissing = false;
    if (settings.usePlatformTranscoder) {
        auto transcoded = decodeInto([&](DecodedCopyFile& copy) {
            const auto transcode = platform::TranscoderModule::transcodeToWav();
            transcoderMissing = !transcode;
            if (!transcode)
                return Decoded::no;
            switch (transcode(source, copy.descriptor(), roomBytes, heartbeat, nullptr)) {
            case AudioTranscoder::Outcome::written:
                return Decoded::yes;
            case AudioTranscoder::Outcome::noRoom:
                return Decoded::noRoom;
            default:
                return Decoded::no;
            }
        });
        if (transcoded)
            return std::move(*transcoded);
    }
    auto decoded = decodeInto([&](DecodedCopyFile& copy) {
        return decodeWithFfmpeg(source, copy, settings, info.st_size, roomBytes, heartbeat);
    });
    if (decoded)
        return std::move(*decoded);
    if (transcoderMissing)
        throw TindrelError("The transcoder could not be loaded (" +
                           platform::TranscoderModule::loadFailure() + ")");
    throw failure;
}

} // namespace tindrel
