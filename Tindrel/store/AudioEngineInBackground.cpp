#include "Tindrel/store/AudioEngineInBackground.h"

namespace tindrel {

AudioEngineInBackground::AudioEngineInBackground(platform::AudioEngine::OutputFactory makeOutput,
                                                 SetUp setUp)
    : building_(std::async(std::launch::async,
                           [makeOutput = std::move(makeOutput), setUp = std::move(setUp)] {
                               auto engine = std::make_unique<platform::AudioEngine>(makeOutput);
                               setUp(*engine);
                               return engine;
                           })) {}

AudioEngineInBackground::~AudioEngineInBackground() {
    if (building_.valid())
        building_.wait();
}

platform::AudioEngine& AudioEngineInBackground::get() {
    if (!engine_)
        engine_ = building_.get();
    return *engine_;
}

bool AudioEngineInBackground::isBuilt() const {
    return engine_ || building_.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

} // namespace tindrel
