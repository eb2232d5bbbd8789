#pragma once

// The measurement: one bounded pass over a playable file into a complete AudioFileSpec
// (2048-bin peak and RMS envelopes, gated integrated loudness, loudest bin, true peak, RMS,
// crest and transient times).
//
// The bins are measured in fixed chunks on `workerThreads` threads (when 0, every core but
// one, which stays free for playback), each thread with its own reader; the record is the
// same for any thread count. Touches no shared state, so calls may run on any thread, several
// at once. Blocks until every chunk is done. `cancel`, when given, is polled between bins;
// once it reads true the call returns no record.

#include "Tindrel/analysis/AudioFileSpec.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>

namespace tindrel {

// No record when the playable file cannot be opened or holds no frames, or on cancellation.
// fileSize in bytes; fallbackDuration in seconds, used when the file's rate is not positive.
std::optional<AudioFileSpec> extractWaveformAndLUFS(const std::filesystem::path& originalURL,
                                                    const std::filesystem::path& playableURL,
                                                    int64_t fileSize, int originalBitDepth,
                                                    double fallbackDuration,
                                                    const std::atomic<bool>* cancel = nullptr,
                                                    int workerThreads = 0);

} // namespace tindrel
