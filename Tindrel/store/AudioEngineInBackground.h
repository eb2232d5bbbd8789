#pragma once

// The live audio engine, made and started on a thread of its own: building its stretchers and
// opening the output device take tens of milliseconds, which then overlap the main window's
// first paint instead of delaying it. get() waits for that thread the first time it is called;
// from then on the engine belongs to the calling thread (the main thread), as it did to the
// building thread before, and the wait is what hands it over.
//
// `setUp` runs on the building thread once the engine exists (it installs the tap and starts
// the engine); it must not touch state the main thread uses meanwhile.

#include "Tindrel/platform/audio/engine/AudioEngine.h"

#include <functional>
#include <future>
#include <memory>

namespace tindrel {

class AudioEngineInBackground {
public:
    using SetUp = std::function<void(platform::AudioEngine&)>;

    AudioEngineInBackground(platform::AudioEngine::OutputFactory makeOutput, SetUp setUp);
    // Waits for the building thread when get() never did.
    ~AudioEngineInBackground();
    AudioEngineInBackground(const AudioEngineInBackground&) = delete;
    AudioEngineInBackground& operator=(const AudioEngineInBackground&) = delete;

    platform::AudioEngine& get();
    // Whether get() would return at once.
    bool isBuilt() const;

private:
    std::future<std::unique_ptr<platform::AudioEngine>> building_;
    std::unique_ptr<platform::AudioEngine> engine_;
};

} // namespace tindrel
