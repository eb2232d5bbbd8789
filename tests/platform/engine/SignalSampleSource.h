#pragma once

// A test signal as the time-pitch unit's input: its frames in order, then silence.

#include "Tindrel/platform/audio/engine/SampleSource.h"
#include "tests/support/GeneratedAudio.h"

namespace tindrel::test {

class SignalSampleSource final : public platform::SampleSource {
public:
    explicit SignalSampleSource(const Signal& signal) : signal_(signal) {}
    size_t pull(float* const* destination, size_t offset, size_t frames) override {
        for (size_t k = 0; k < frames; ++k, ++next_) {
            for (int c = 0; c < signal_.channels; ++c) {
                destination[c][offset + k] = next_ < signal_.frames() ? signal_.at(next_, c) : 0;
            }
        }
        return frames;
    }

private:
    const Signal& signal_;
    int64_t next_ = 0;
};

} // namespace tindrel::test
