#pragma once

// Renders one segment of a file through a warp into a FloatWavSaveFile, on a thread of its
// own, so that the main thread that started it only ever waits for it in short, bounded slices
// and keeps its event loop turning (the export engine's set-up, its pull of the graph and the
// writes all wait on other threads or on the disk, unbounded).
//
// Made, asked and destroyed on one thread (the main thread). The render thread owns the file
// and the export engine; it writes `output` until it has ended, and only then may the caller
// touch `output` again. Destroying an unfinished render stops it and waits for its thread,
// which ends within one block of rendering (or once the engine's set-up is over).

#include "Tindrel/platform/audio/AudioFile.h"
#include "Tindrel/store/FloatWavSaveFile.h"
#include "Tindrel/store/TimePitchSettings.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace tindrel {

class ExportRender {
public:
    struct Segment {
        int64_t startFrame = 0;
        int64_t frameCount = 0;   // the input read on past it, to the file's end
        int64_t targetFrames = 0; // what the warp makes of frameCount
    };

    ExportRender(std::unique_ptr<platform::AudioFile> file, Segment segment, TimePitchSettings warp,
                 FloatWavSaveFile& output);
    ~ExportRender();
    ExportRender(const ExportRender&) = delete;
    ExportRender& operator=(const ExportRender&) = delete;

    // Waits at most `bound`; true once the render has ended (finished, failed or stopped).
    bool waitFor(std::chrono::milliseconds bound);
    // The share of the target rendered so far, 0 to 1.
    double progress() const;
    // Once ended: why the audio could not be rendered (empty when nobody said); none when it
    // could (the output may still hold fewer frames than the target: the audio ran out early).
    const std::optional<std::string>& failure() const { return failure_; }

private:
    void render(std::unique_ptr<platform::AudioFile> file, TimePitchSettings warp);
    // The engine and the file are gone when it returns.
    std::optional<std::string> renderInto(std::unique_ptr<platform::AudioFile> file,
                                          TimePitchSettings warp);

    const Segment segment_;
    FloatWavSaveFile& output_;
    std::atomic<int64_t> renderedFrames_{0};
    std::atomic<bool> stopRequested_{false};
    std::mutex mutex_;
    std::condition_variable ended_;
    bool hasEnded_ = false;
    std::optional<std::string> failure_;
    std::thread thread_;
};

} // namespace tindrel
