#pragma once

// The beats character's processing path. A PercussionSplit divides the input into its hits and
// everything else; the hits go through a stretcher with tight transients (R2 with crisp phase
// resets and a short window), everything else through one that never resets a phase
// (HeldSoundStretcher.h), and the two outputs add up. A held note under a drum hit stays in the
// second part, so it is never handed from one stretcher to the other. Each part keeps its
// energy through its stretcher (EnergyMatch.h): a phase vocoder adds the frames of noisy or
// crowded sound with partly unrelated phases, losing up to a decibel of it.
//
// Both stretchers start aligned with the source (StretcherPath.h, HeldSoundStretcher.h), so
// the sum needs no delay; after a change of rate, which each takes up with its own latency, or
// a change of engine that left them apart, the transient one starts again at the other's place
// once that one plays the new rate and no hit is near.
//
// Same contract as StretcherPath: allocates in its constructor; start() and render() are for
// the render thread.

#include "Tindrel/platform/audio/engine/EnergyMatch.h"
#include "Tindrel/platform/audio/engine/HeldSoundStretcher.h"
#include "Tindrel/platform/audio/engine/PercussionSplit.h"
#include "Tindrel/platform/audio/engine/SourceWindow.h"
#include "Tindrel/platform/audio/engine/StretcherPath.h"

#include <cstdint>
#include <vector>

namespace tindrel::platform {

class BeatsPath {
public:
    static constexpr size_t maximumBlock = 1024;

    BeatsPath(double sampleRate, uint32_t channelCount);

    void start(int64_t index, double rate, double pitchScale, SourceWindow& window,
               SampleSource& source);
    // Renders up to `frames` (at most maximumBlock) frames to `out[c] + offset`; fewer only
    // when the input is late.
    size_t render(float* const* out, size_t offset, size_t frames, double rate, double pitchScale,
                  SourceWindow& window, SampleSource& source);
    // Source frames heard: those of the frames that have left this path.
    double heard() const;

private:
    // The energy of a part's input over source indices [from, to), all channels.
    double energy(const SourceWindow& input, double from, double to) const;

    // A part's input to its stretcher. The split stops while the other part's frames wait
    // undelivered, and a stretcher may ask for much input at once (the faster engine taking
    // over at 4x and -24 st reads some 60000 frames ahead): so what waits of the other part
    // goes to that part's window and the split goes on.
    class PartFeed final : public SampleSource {
    public:
        PartFeed(BeatsPath& path, PercussionSplit::Part part) : path_(path), part_(part) {}
        size_t pull(float* const* destination, size_t offset, size_t frames) override;

    private:
        BeatsPath& path_;
        PercussionSplit::Part part_;
    };

    SourceWindow& inputOf(PercussionSplit::Part part);
    // Moves what the split has made of a part to its window; false when the window is full.
    bool deliverWaiting(PercussionSplit::Part part);

    // Output made by one stretcher and not yet mixed (when the other one's input was late).
    struct Queue {
        Queue(uint32_t channelCount);
        // Renders through either stretcher until `wanted` frames wait.
        template <typename Path>
        size_t fill(Path& path, size_t wanted, double rate, double pitchScale, SourceWindow& window,
                    SampleSource& source) {
            if (held < wanted) {
                for (size_t c = 0; c < frames.size(); ++c) {
                    tail[c] = frames[c].data();
                }
                held +=
                    path.render(tail.data(), held, wanted - held, rate, pitchScale, window, source);
            }
            return held;
        }
        void drop(size_t frames);
        std::vector<std::vector<float>> frames;
        std::vector<float*> tail;
        size_t held = 0;
    };

    PercussionSplit split_;
    // The parts' input, indexed from the start index (the windows cannot begin elsewhere).
    SourceWindow heldInput_;
    SourceWindow hitInput_;
    PartFeed heldFeed_;
    PartFeed hitFeed_;
    HeldSoundStretcher sustained_;
    StretcherPath transient_;
    Queue sustainedQueue_;
    Queue transientQueue_;
    EnergyMatch hitLevel_;
    EnergyMatch heldLevel_;
    double alignedWithinFrames_; // of output
    int64_t origin_ = 0;         // the source index of the parts' index 0
    double rate_ = 1;
    bool realign_ = false;
};

} // namespace tindrel::platform
