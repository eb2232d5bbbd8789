#pragma once

// Splits the input of the beats path in two parts: the hits, and everything else. The stretcher
// of everything else keeps held notes steady but spreads a hit over its long frames, so a hit
// is to leave as little as it can in that part; and a bin both parts carry comes out of the two
// stretchers in unrelated phases, losing level or cancelling. So around each hit the
// OnsetDetector finds, each bin of the short-time spectrum goes whole to one part: to the hits
// where it is clearly louder than its floor (the higher of its lowest level over the frames that
// follow, which a held note's partials keep under the hit, and a note begun with the hit keeps
// after it, and its level before the first of a row of hits, so that a tail or a hit not found
// goes on there and is not cut off; and no lower than the floor of the bins a partial spreads
// over, so that a note's skirt stays with it); else it stays. A hit's split lasts while what it
// takes off is more than a small share of what is left, so that its tail returns to the held part
// too softly to be a transient there. Before a hit starts the hits part may carry on but not rise
// (what would is the hit spread back by the transform), and between hits all of the input stays in
// the held part (exactly: the hits part is silent there), so nothing of a hit is heard early.
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
    // window, as far as the window still holds it. Hits are looked for from `hitsFrom` on: what
    // starts sounding before it (where play starts, after silence or not) stays held.
    void start(int64_t from, int64_t hitsFrom);
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

    struct Hit {
        int64_t frame = 0; // counted from start()
        int64_t onset = 0; // the input index where it starts
        size_t before = 0; // its slot of levelsBefore_
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
    void addHit(int64_t frame, int64_t analysed);
    // The latest hit whose frames reach `frame`, or none.
    const Hit* hitAround(int64_t frame) const;
    // How much of the separated hits part to deliver at an input index (the rest stays in the
    // held part).
    float splitShare(int64_t index) const;
    // Each bin's gain into the held part (0 or 1) for a frame near a hit; returns the energy
    // split off over the energy kept.
    float splitGains(int64_t frame, const Hit& hit);
    int64_t frameStart(int64_t frame) const { return first_ + frame * hop_; }
    size_t slot(int64_t frame) const;

    uint32_t channelCount_;
    size_t frameLength_;
    int64_t hop_;
    size_t bins_;
    int64_t onsetBlock_; // the resolution of a hit's start
    size_t lowBins_;     // bins below lowBelowHz
    FourierTransform transform_;
    OnsetDetector detector_;
    std::vector<float> window_;
    float powerScale_;
    std::vector<std::complex<float>> spectra_; // [slot][channel][bin]
    std::vector<float> magnitudes_;            // [slot][bin], all channels together
    std::vector<float> power_;
    std::vector<std::complex<float>> buffer_;
    std::vector<float> heldGain_;
    std::vector<float> lowest_; // by bin, the lowest level over the frames that follow
    std::vector<float> floors_; // by bin, the level a hit must clear there
    // [slot][bin]: the magnitudes just before a hit, or before the first of hits in a row.
    std::vector<float> levelsBefore_;
    std::vector<float> splitShare_;               // by frame of the hop being delivered
    std::vector<std::vector<float>> hitsOverlap_; // [channel], one frame long
    std::array<Fifo, 2> fifos_;
    std::array<PartSource, 2> parts_;
    SourceWindow* input_ = nullptr;
    SampleSource* source_ = nullptr;
    int64_t first_ = 0; // input index of frame 0
    int64_t outputFrom_ = 0;
    int64_t hitsFrom_ = 0;
    int64_t analysed_ = 0;  // the next frame to analyse
    int64_t separated_ = 0; // the next frame to separate
    std::array<Hit, 16> hits_{};
    // The hit whose split the last frame separated carried on (none: -1), past its own frames
    // while what it split off still sounds.
    Hit splitting_{};
    bool isSplitting_ = false;
    float splitShareBefore_ = 0; // what the last frame split off, over what it kept
    float hitsLevel_ = 0;        // the hits part's level before the spread of the coming hit
    std::array<float, 32> recentHitsLevels_{}; // by block, some 20 ms
    size_t recentBlocks_ = 0;
    size_t hitCount_ = 0; // hits_ holds the last min(hitCount_, size) of them
};

} // namespace tindrel::platform
