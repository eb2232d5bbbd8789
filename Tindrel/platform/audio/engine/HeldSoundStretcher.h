#pragma once

// The stretcher of the beats path's held part: everything but the hits (PercussionSplit.h), so
// notes, pads and chords, and the low body of a kick over a bass. A phase vocoder with identity
// phase locking: each spectral peak's phase advances at the frequency measured for it, and the
// bins around it keep their phases relative to it, so a partial's bins stay in phase with each
// other and a held note keeps its level whatever passes beside it. Rubber Band's engines reset
// phases where they find a transient, and those resets dip held notes by 10 to 40 dB here and
// there, drums or not; this one resets a peak only where it rises 12 dB over the frame before
// (an onset, which keeps the phases it came with so that its attack stays together).
//
// A peak's frequency is read against the frame before, up to half a frame apart (a peak lies
// within half a bin of its frequency, so a longer hop would alias it), and at faster speeds
// against a frame an eighth of a frame earlier. Its partial goes on from the bin of the peak
// that held that part of the spectrum in the frame before: a partial between two bins moves its
// peak back and forth as other sound passes beside it, and the two bins' phases differ by up to
// half a turn, so a turn carried over from the other bin would flip the partial and cancel it
// against the frames it overlaps. So, and with the frequency read there against the frame
// before, a speed of 1 gives back the source exactly however the peaks move. Stereo stays
// together: the peaks and their advance are found on the channels' sum, and each channel's bins
// are turned by the same angle.
//
// The pitch is changed by reading the stretched sound back at the pitch scale through a
// windowed-sinc interpolator (band-limited below the new Nyquist frequency when reading
// faster); at the pitch of the source the stretched sound is copied unchanged. Frames of about
// 85 ms, hopped by a quarter on the stretched side. Output frame j of a start at `index` plays
// the source around index + the sum of the rates of the frames before it: aligned with the
// source, with no start delay.
//
// Allocates only in its constructor; start() and render() are for the render thread.

#include "Tindrel/platform/audio/engine/FourierTransform.h"
#include "Tindrel/platform/audio/engine/SampleSource.h"
#include "Tindrel/platform/audio/engine/SourceWindow.h"
#include "Tindrel/platform/audio/engine/WindowedSincKernel.h"

#include <array>
#include <complex>
#include <cstdint>
#include <vector>

namespace tindrel::platform {

class HeldSoundStretcher {
public:
    HeldSoundStretcher(double sampleRate, uint32_t channelCount);

    // The most input it reads ahead of heard(), at 4x and -24 st (some 0.7 s of source).
    static size_t lookAheadFrames(double sampleRate);

    void start(int64_t index, double rate, double pitchScale, SourceWindow& window,
               SampleSource& source);
    // Renders up to `frames` frames to `out[c] + offset`; fewer only when the input is late.
    size_t render(float* const* out, size_t offset, size_t frames, double rate, double pitchScale,
                  SourceWindow& window, SampleSource& source);
    // The source index of the next frame to leave, fractional.
    double heard() const;
    // True once the frames leaving are made at the latest ratios.
    bool rateSettled() const { return position_ >= settledFrom_; }

private:
    // Analyses the source around the next frame's centre and adds its synthesis to the
    // stretched sound; false when the input is late.
    bool addFrame(SourceWindow& window, SampleSource& source);
    // The transform of the frame from `begin` into sum_ (all channels) and, when asked, spectra_.
    void analyse(int64_t begin, SourceWindow& window, bool withChannels);
    // The local maxima of the sum's magnitude, and the peak each bin belongs to.
    void findPeaks();
    // The source index at a frame's centre (stretched-side time frame * hop_).
    double centreOf(int64_t frame) const;

    uint32_t channelCount_;
    size_t frameLength_;
    int64_t hop_; // stretched side
    size_t bins_;
    FourierTransform transform_;
    WindowedSincKernel kernel_;
    std::vector<float> window_;
    float synthesisScale_;
    int64_t advanceLag_;       // how much earlier the frame a peak's frequency is read from lies
    double primingRatioLimit_; // keeps the frames before a start within the window's lead

    std::vector<std::complex<float>> spectra_; // [channel][bin] of the frame being made
    std::vector<std::complex<float>> buffer_;
    std::vector<std::complex<float>> sum_; // of the channels
    std::vector<float> magnitude_;
    std::vector<float> previousMagnitude_;
    std::vector<double> phase_; // of the sum
    std::vector<double> previousPhase_;
    std::vector<double> lagPhase_;
    std::vector<std::complex<float>> peakPhase_; // by peak bin: its turn this frame
    std::vector<double> previousSynthesisPhase_; // by peak bin
    std::vector<double> synthesisPhase_;
    std::vector<uint32_t> owner_; // by bin: the peak whose region holds it
    std::vector<uint32_t> previousOwner_;
    std::vector<uint32_t> peaks_;
    std::vector<std::complex<float>> turn_;     // by bin: its region's turn
    std::vector<std::vector<float>> stretched_; // [channel], a ring by stretched-side time
    size_t ringMask_;
    std::vector<float> weights_;

    static constexpr size_t centreSlots = 8;
    std::array<double, centreSlots> centres_{}; // by frame
    int64_t start_ = 0;
    int64_t firstFrame_ = 0;
    int64_t nextFrame_ = 0;     // the frame addFrame() makes next
    int64_t previousBegin_ = 0; // the source index the last frame began at
    bool previousHadPeaks_ = false;
    int64_t complete_ = 0; // stretched-side times below it are final
    double position_ = 0;  // stretched-side time of the next output frame
    double settledFrom_ = 0;
    double ratio_ = 1; // source frames per stretched-side frame
    double pitchScale_ = 1;
};

} // namespace tindrel::platform
