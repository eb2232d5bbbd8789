#pragma once

// One playback deck of the time-pitch unit: a window of input and the three processing paths
// over it (varispeed, smooth stretcher and beats). A change of path is taken when two blocks
// in a row ask for it and crossfades the new path in over 1024 frames, primed from the input
// just before the heard position: no gap, no click, no jump in time.
//
// The unit keeps two decks so that a seek can fade from the one playing into one started at
// the new place. Allocates only in its constructor; everything else is for the render thread
// and does not allocate or lock, except inside Rubber Band (see StretcherPath.h).

#include "Tindrel/platform/audio/engine/BeatsPath.h"
#include "Tindrel/platform/audio/engine/SampleSource.h"
#include "Tindrel/platform/audio/engine/SourceWindow.h"
#include "Tindrel/platform/audio/engine/StretcherPath.h"
#include "Tindrel/platform/audio/engine/VarispeedPath.h"
#include "Tindrel/platform/audio/engine/WarpCharacter.h"

#include <array>
#include <cstdint>
#include <vector>

namespace tindrel::platform {

class WarpDeck {
public:
    static constexpr size_t maximumBlock = 1024;

    WarpDeck(double sampleRate, uint32_t channelCount);

    // Starts a segment at its index 0 on the path of `setting`; the first `preRoll` frames the
    // source delivers are the input just before it (0: silence before it).
    void start(const WarpSetting& setting, int64_t preRoll, SampleSource& source);
    // Renders up to `frames` (at most maximumBlock) frames into `out[c] + offset`; fewer only
    // when the input is late.
    size_t render(float* const* out, size_t offset, size_t frames, const WarpSetting& setting,
                  SampleSource& source);
    // Source frames heard since start(), fractional.
    double heard() const;
    // The path playing now (the incoming one during a crossfade).
    WarpPath playingPath() const { return fading_ ? incoming_ : active_; }

private:
    double heardOf(WarpPath path) const;
    void startPath(WarpPath path, double heard, SampleSource& source);
    size_t renderPath(WarpPath path, float* const* out, size_t offset, size_t frames,
                      SampleSource& source);

    uint32_t channelCount_;
    SourceWindow window_;
    VarispeedPath varispeed_;
    StretcherPath smooth_;
    BeatsPath crisp_;
    std::vector<std::vector<float>> fade_;
    std::vector<float*> fadePointers_;
    std::array<WarpSetting, 3> lastSetting_{};
    WarpPath active_ = WarpPath::varispeed;
    bool fading_ = false;
    WarpPath incoming_ = WarpPath::varispeed;
    size_t faded_ = 0;
    int votes_ = 0;
};

} // namespace tindrel::platform
