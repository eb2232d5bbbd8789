#pragma once

// A playback engine on a ManualOutput over a real file written to a temporary folder, plus
// the few signal measurements the engine tests make on what comes out.

#include "Tindrel/platform/audio/AudioFile.h"
#include "Tindrel/platform/audio/engine/AudioEngine.h"
#include "Tindrel/platform/audio/engine/ManualOutput.h"
#include "tests/support/GeneratedAudio.h"
#include "tests/support/TemporaryFolder.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace tindrel::test {

class EngineTestRig {
public:
    explicit EngineTestRig(const Signal& signal);

    platform::AudioEngine& engine() { return engine_; }
    platform::ManualOutput& output() { return *output_; }
    const platform::AudioFile& file() const { return *file_; }
    const TemporaryFolder& folder() const { return folder_; }

    void setWarp(float overlap, float rate, float cents);
    // Stops, schedules [frame, end of file) and plays.
    void playFrom(int64_t frame);
    // Pumps and returns one channel of what came out.
    std::vector<float> pump(uint32_t frames, int channel = 0);
    // The player's sample time, or -1 when it has none.
    int64_t heard();

private:
    TemporaryFolder folder_;
    std::unique_ptr<platform::AudioFile> file_;
    platform::ManualOutput* output_ = nullptr;
    platform::AudioEngine engine_;
};

// A sine of `frequency` Hz that starts at `onsetSeconds` after silence.
Signal toneAfterSilence(double frequency, double onsetSeconds, double seconds, int channels = 2);

double rms(const std::vector<float>& x, size_t begin, size_t count);
// Power of `frequency` in x (Goertzel), relative units.
double tonePower(const std::vector<float>& x, double frequency, double sampleRate);
// The first frame whose magnitude exceeds `threshold`, or -1.
int64_t firstFrameAbove(const std::vector<float>& x, float threshold);
// The largest |x[n] - 2 x[n-1] + x[n-2]|: near zero for a smooth tone, large at a click.
double largestSecondDifference(const std::vector<float>& x);

} // namespace tindrel::test
