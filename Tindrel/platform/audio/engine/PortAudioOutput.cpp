#include "Tindrel/platform/audio/engine/PortAudioOutput.h"

#include "Tindrel/platform/audio/engine/ThreadPriority.h"

#include <portaudio.h>
#ifdef TINDREL_HAVE_ALSA
#include <alsa/asoundlib.h>
#endif
#ifdef TINDREL_HAVE_JACK
#include <jack/jack.h>
#endif

#include <algorithm>
#include <mutex>

namespace tindrel::platform {

namespace {

constexpr unsigned long devicePeriodFrames = 512;
constexpr double devicePeriods = 3;

#ifdef TINDREL_HAVE_ALSA
void ignoreAlsaError(const char*, int, const char*, int, const char*, ...) {}
#endif

#ifdef TINDREL_HAVE_JACK
void ignoreJackMessage(const char*) {}
#endif

void silenceAudioLibraries() {
    static std::once_flag once;
    std::call_once(once, [] {
#ifdef TINDREL_HAVE_ALSA
        snd_lib_error_set_handler(ignoreAlsaError);
#endif
#ifdef TINDREL_HAVE_JACK
        jack_set_error_function(ignoreJackMessage);
        jack_set_info_function(ignoreJackMessage);
#endif
    });
}

} // namespace

PortAudioOutput::~PortAudioOutput() {
    stop();
    if (initialised_) {
        Pa_Terminate();
    }
}

int PortAudioOutput::callback(const void*, void* output, unsigned long frames, const void*,
                              unsigned long, void* self) {
    auto* out = static_cast<PortAudioOutput*>(self);
    // Once per stream, while the device still plays the silence it was started with.
    if (!out->priorityRaised_) {
        out->priorityRaised_ = true;
        raiseCurrentThreadPriority(deviceRealTimePriority);
    }
    // A device is fed silence while the source rests: reopening it would delay the next sound.
    out->render_(out->context_, static_cast<float*>(output), static_cast<uint32_t>(frames));
    return paContinue;
}

bool PortAudioOutput::start(double sampleRate, uint32_t channels, RenderFunction render,
                            void* context) {
    stop();
    if (render == nullptr || channels == 0 || !(sampleRate > 0)) {
        return false;
    }
    // Initialised once per output: the engine restarts its output at every new format, and
    // PortAudio probes every host API and device when it initialises.
    if (!initialised_) {
        silenceAudioLibraries();
        if (Pa_Initialize() != paNoError) {
            return false;
        }
        initialised_ = true;
    }
    render_ = render;
    context_ = context;
    const PaDeviceIndex device = Pa_GetDefaultOutputDevice();
    const PaDeviceInfo* info = device == paNoDevice ? nullptr : Pa_GetDeviceInfo(device);
    if (info == nullptr) {
        stop();
        return false;
    }
    PaStreamParameters parameters{};
    parameters.device = device;
    parameters.channelCount = static_cast<int>(channels);
    parameters.sampleFormat = paFloat32;
    // The engine renders ahead on a thread of its own, so each call only copies: a short fixed
    // period with three of them queued in the device rides out a late wake-up of this thread.
    parameters.suggestedLatency =
        std::max(info->defaultLowOutputLatency, devicePeriods * devicePeriodFrames / sampleRate);
    PaStream* stream = nullptr;
    const auto trampoline = [](const void* input, void* output, unsigned long frames,
                               const PaStreamCallbackTimeInfo* timeInfo,
                               PaStreamCallbackFlags flags, void* self) {
        return callback(input, output, frames, timeInfo, flags, self);
    };
    if (Pa_OpenStream(&stream, nullptr, &parameters, sampleRate, devicePeriodFrames, paNoFlag,
                      trampoline, this) != paNoError) {
        stop();
        return false;
    }
    stream_ = stream;
    priorityRaised_ = false;
    if (Pa_StartStream(stream) != paNoError) {
        stop();
        return false;
    }
    return true;
}

void PortAudioOutput::stop() {
    if (stream_ != nullptr) {
        Pa_StopStream(static_cast<PaStream*>(stream_));
        Pa_CloseStream(static_cast<PaStream*>(stream_));
        stream_ = nullptr;
    }
}

bool PortAudioOutput::isRunning() const {
    return stream_ != nullptr && Pa_IsStreamActive(static_cast<PaStream*>(stream_)) == 1;
}

} // namespace tindrel::platform
