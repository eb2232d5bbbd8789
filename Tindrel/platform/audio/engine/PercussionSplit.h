#pragma once

// Splits the input of the beats path in two parts: the hits, and everything else. Around each
// hit the OnsetDetector finds, a median-filter separation of the short-time spectrum moves each
// bin's percussive share into the hits part: a bin louder across its neighbours in frequency
// than along its own history (a drum's broad burst) goes there, one that holds still over time
// (a held note's partials, even under the hit) stays. A bin both parts carry is shared at equal
// power, as the two stretchers' outputs add. Before a hit starts, and between hits, all of the
// input stays in the other part (exactly: the hits part is silent there), so held sound is
// never cut and nothing of a hit is heard early.
//
// Frames of about 46 ms (a power of two for the sample rate), hopped by a quarter; a frame is
// separated once the eight after it are read, so the parts lag what has been read from the
// input by about 140 ms of input. Both parts are in the input's index space.
//
// Allocates only in its constructor; everything else is for the render thread.

#include "Tindrel/platform/audio/engine/FourierTransform.h"
#include "Tindrel/platform/audio/engine/OnsetDetector.h"
#include "Tindrel/platform/audio/engine/SampleSource.h"
#include "Tindrel/platform/audio/engine/SourceWindow.h"

#include <array>
#include <complex>
#include <cstdint>
#include <vector>

namespace tindrel::platform {

class PercussionSplit {
public:
    enum class Part { held, hits };

    PercussionSplit(double sampleRate, uint32_t channelCount);
    PercussionSplit(const PercussionSplit&) = delete;
    PercussionSplit& operator=(const PercussionSplit&) = delete;

    // The parts start again at input index `from`; the input before it is analysed from the
    // window, as far as the window still holds it.
    void start(int64_t from);
    // The input to read from until the next call; the split keeps the pointers.
    void bind(SourceWindow& input, SampleSource& source);
    // Delivers a part's frames in order from start()'s index; fewer than asked when the input
    // is late, or when the other part is too far behind.
    SampleSource& part(Part part) { return parts_[static_cast<size_t>(part)]; }
    // Frames of a part split and not yet delivered.
    size_t waiting(Part part) const { return fifos_[static_cast<size_t>(part)].held; }

    // Hits found since start().
    size_t hitsFound() const { return hitCount_; }
    // True when the hits part may be sounding anywhere in input indices [from, to].
    bool hitNear(int64_t from, int64_t to) const;

private:
    class PartSource final : public SampleSource {
    public:
        PartSource(PercussionSplit& split, Part part) : split_(split), part_(part) {}
        size_t pull(float* const* destination, size_t offset, size_t frames) override;

    private:
        PercussionSplit& split_;
        Part part_;
    };

    struct Fifo {
        std::vector<std::vector<float>> channels;
        size_t read = 0;
        size_t held = 0;
    };

    size_t pull(Part part, float* const* destination, size_t offset, size_t frames);
    // Analyses one more frame and, once enough follow it, separates an earlier one.
    bool advance();
    void analyse(int64_t frame);
    void separate(int64_t frame);
    float inputSample(uint32_t channel, int64_t index) const;
    int64_t onsetNear(int64_t frame) const;
    bool nearHit(int64_t frame) const;
    // How much of the separated parts to deliver at an input index, against the input itself
    // and silence.
    float splitShare(int64_t index) const;
    // Each bin's gains into the two parts for a frame near a hit.
    void splitGains(int64_t frame);
    int64_t frameStart(int64_t frame) const { return first_ + frame * hop_; }
    size_t slot(int64_t frame) const;

    uint32_t channelCount_;
    size_t frameLength_;
    int64_t hop_;
    size_t bins_;
    int64_t onsetBlock_; // the resolution of a hit's start
    FourierTransform transform_;
    OnsetDetector detector_;
    std::vector<float> window_;
    float powerScale_;
    std::vector<std::complex<float>> spectra_; // [slot][channel][bin]
    std::vector<float> magnitudes_;            // [slot][bin], all channels together
    std::vector<float> power_;
    std::vector<std::complex<float>> buffer_;
    std::vector<float> heldGain_;
    std::vector<float> hitGain_;
    std::vector<float> history_;
    std::vector<float> neighbours_;
    std::vector<float> splitShare_;                          // by frame of the hop being delivered
    std::array<std::vector<std::vector<float>>, 2> overlap_; // [part][channel], one frame long
    std::array<Fifo, 2> fifos_;
    std::array<PartSource, 2> parts_;
    SourceWindow* input_ = nullptr;
    SampleSource* source_ = nullptr;
    int64_t first_ = 0; // input index of frame 0
    int64_t outputFrom_ = 0;
    int64_t analysed_ = 0;  // the next frame to analyse
    int64_t separated_ = 0; // the next frame to separate
    struct Hit {
        int64_t frame = 0; // counted from start()
        int64_t onset = 0; // the input index where it starts
    };
    std::array<Hit, 16> hits_{};
    size_t hitCount_ = 0; // hits_ holds the last min(hitCount_, size) of them
};

} // namespace tindrel::platform
