#pragma once

// Turns any audio file into an open, readable PCM file. The cascade: the file itself when a
// direct reader opens it with at least one frame; else a 16-bit WAV copy in the PCM cache,
// reused when present and playable, else made by the platform transcoder (48 kHz stereo),
// else by the external ffmpeg program (source rate and channels); else TindrelError.
// Both decoders open only single-file containers from local files: a playlist or a
// concatenation list fails like any unreadable file. The external decoder has a time limit and
// the transcoder's output cap (given to it as its own -fs limit); a copy that reaches it is
// cut short and so refused.
// Only regular files are opened; anything else fails at once without blocking.
// Decoded copies are written as PcmCache describes (complete or not at all, held while in use,
// the cache trimmed after each decode). A decode must fit in the free space of the cache's file
// system, less a reserve: one that does not fails with its own message, leaving nothing. A
// shared cache folder that takes no new file leaves the copy to the private folder; a copy
// that can be made in neither fails with the system's reason.
//
// Synchronous: blocks the calling thread for the whole cascade, decodes included, asking the
// caller's heartbeat between steps of a decode; when it says stop, the decode is abandoned,
// nothing is left behind and TindrelError is thrown. Holds no state between calls apart from
// the cache folder on disk, so calls may come from any thread.

#include "Tindrel/platform/audio/AudioFile.h"
#include "Tindrel/platform/audio/WorkHeartbeat.h"
#include "Tindrel/platform/files/FileDescriptor.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <vector>

namespace tindrel {

struct PlayableAudioFile {
    std::unique_ptr<platform::AudioFile> audio; // positioned at frame 0
    std::filesystem::path playableURL;          // the source itself or its decoded copy
    int originalBitDepth = 0;                   // the source's; 16 for any decoded copy
    // For a decoded copy, its hold in the cache: the copy is not removed while this is open.
    platform::FileDescriptor copyHold;
};

class UniversalAudioLoader {
public:
    struct Settings {
        std::filesystem::path cacheFolder;
        // Tried in order; the first executable regular file is used.
        std::vector<std::filesystem::path> ffmpegCandidates;
        bool usePlatformTranscoder = true;
        // The external decoder is killed after a second per MiB of source, or this if longer.
        std::chrono::milliseconds decodeTimeFloor = std::chrono::seconds(30);
        // Free space a decode leaves on the cache's file system for everything else.
        int64_t keepFreeBytes = int64_t(64) << 20;
        // The copies kept add up to at most this, and to at most a quarter of the free space.
        int64_t cacheByteLimit = int64_t(4) << 30;
    };

    // "/tmp/tindrel-pcm-cache" and the standard ffmpeg locations, made once.
    static const Settings& standardSettings();

    // Throws TindrelError("Unsupported or empty audio stream in <file name>") when every
    // step fails, or one that says the free space is short or the copy cannot be written.
    static PlayableAudioFile openPlayableAudioFile(const std::filesystem::path& url);
    static PlayableAudioFile openPlayableAudioFile(const std::filesystem::path& url,
                                                   const Settings& settings);
    static PlayableAudioFile openPlayableAudioFile(const std::filesystem::path& url,
                                                   const Settings& settings,
                                                   platform::WorkHeartbeat& heartbeat);

    UniversalAudioLoader() = delete;
};

} // namespace tindrel
