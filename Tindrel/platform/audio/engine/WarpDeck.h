#pragma once

// One playback deck of the time-pitch unit: a window of input and the three processing paths
// over it (varispeed, smooth stretcher and beats). A change of path (the edges of a range that
// alone is warped) is taken when two blocks in a row ask for it: the new path starts at the
// heard position, primed from the input just before it (a stretcher 20 ms of output earlier,
// dropping what it makes before the heard position, past the sag of its first milliseconds),
// and is joined to the old one as a seek is (SeekCrossfade.h): lined up, at equal gain where
// the two are alike and equal power where not. Two tones of different pitch mixed in a join
// beat against each other (a held tone would swell and dip by several dB), so where the
// varispeed meets a path at another pitch it glides, tape-like, over 20 ms: to the new pitch
// before it hands over, or from the old pitch once it has taken over. Each side of the join
// then plays the same pitch, and a held tone keeps its level within 0.2 dB. No gap, no click,
// no jump in time beyond the few frames the line-up skips and the glide's few milliseconds.
//
// The unit keeps two decks so that a seek can fade from the one playing into one started at
// the new place. Allocates only in its constructor; everything else is for the render thread
// and does not allocate or lock, except inside Rubber Band (see StretcherPath.h).

#include "Tindrel/platform/audio/engine/BeatsPath.h"
#include "Tindrel/platform/audio/engine/SampleSource.h"
#include "Tindrel/platform/audio/engine/SeekCrossfade.h"
#include "Tindrel/platform/audio/engine/SourceWindow.h"
#include "Tindrel/platform/audio/engine/StretcherPath.h"
#include "Tindrel/platform/audio/engine/VarispeedPath.h"
#include "Tindrel/platform/audio/engine/WarpCharacter.h"

#include <array>
#include <cstdint>

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
    // The path playing now (the incoming one while a join is made).
    WarpPath playingPath() const { return joining_ ? incoming_ : active_; }

private:
    double heardOf(WarpPath path) const;
    void startPath(WarpPath path, double heard, SampleSource& source);
    size_t renderPath(WarpPath path, float* const* out, size_t offset, size_t frames,
                      SampleSource& source);
    // Fills the join with the incoming path's output and the active one's next frames, then
    // hands over; false while the input is late.
    bool join(SampleSource& source);
    void beginSwitch(WarpPath path, SampleSource& source);
    void beginJoin(SampleSource& source);
    double pitchOf(WarpPath path) const;
    void glide(double from, double to);
    // The varispeed's rate at the end of the next `frames` frames.
    double varispeedRate(size_t frames);

    uint32_t channelCount_;
    SourceWindow window_;
    VarispeedPath varispeed_;
    StretcherPath smooth_;
    BeatsPath crisp_;
    SeekCrossfade joint_;
    std::array<WarpSetting, 3> lastSetting_{};
    WarpPath active_ = WarpPath::varispeed;
    bool switching_ = false; // from the decision to the join
    bool leadingIn_ = false; // the varispeed glides before the join
    bool joining_ = false;
    WarpPath incoming_ = WarpPath::varispeed;
    int votes_ = 0;
    size_t glideLength_;
    bool gliding_ = false;
    double glideFrom_ = 1;
    double glideTo_ = 1;
    size_t glided_ = 0;
    size_t stretcherLeadFrames_; // output frames a stretcher taking over makes before it is heard
};

} // namespace tindrel::platform
