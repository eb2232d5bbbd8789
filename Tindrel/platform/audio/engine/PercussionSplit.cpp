#include "Tindrel/platform/audio/engine/PercussionSplit.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tindrel::platform {

namespace {

constexpr double frameSeconds = 0.046;
constexpr int64_t reach = 8; // frames either side of a frame judged
constexpr int64_t span = 2 * reach + 1;
constexpr float hitAboveFloor = 4.0f; // a bin's level over its floor that makes it the hit's
// The analysis window spreads a steady partial over this many bins either side of its own (all
// but -34 dB of its energy). A hit over such a bin would take the partial's share there with it
// to the other stretcher, which returns it in unrelated phase: so each bin's floor is the highest
// within this reach, and a held note's skirt stays with the note.
constexpr size_t partialReach = 4;
// Below this a kick's body goes to the hits part only over next to nothing: its stretcher's
// short window loses much of it, and a bass held under it would be handed back and forth.
constexpr double lowBelowHz = 150.0;
constexpr float lowHitAboveFloor = 30.0f;
constexpr int64_t hitLead = 4; // frames before a hit's frame that already hold it
constexpr int64_t hitHold = 6; // frames after it
// A hit's split goes on past its own frames while what it splits off is more than this share
// of what is kept and falling, as long as this many frames after it: the tail's return to the
// held part is then too small for a transient there.
constexpr float lingeringShare = 0.1f;
constexpr int64_t longestHold = 24;
// Hits whose frames may still be separated while the next ones are found.
constexpr size_t levelSlots = 4;
// Far below what any hit holds; what the transform's rounding leaves in the hits part between
// hits (some 1e-7 of the input), made exact silence.
constexpr float transformResidue = 1e-6f;
constexpr int64_t fifoFrames = 16; // frame lengths each part may run ahead of the other

constexpr double onsetBlockSeconds = 0.0007;
constexpr double kickTopHz = 200.0;

size_t frameLengthFor(double sampleRate) {
    // The power of two nearest the duration: 2048 at 44.1 and 48 kHz.
    const double exponent = std::round(std::log2(frameSeconds * sampleRate));
    return size_t{1} << static_cast<int>(std::clamp(exponent, 8.0, 15.0));
}

} // namespace

size_t PercussionSplit::PartSource::pull(float* const* destination, size_t offset, size_t frames) {
    return split_.pull(part_, destination, offset, frames);
}

PercussionSplit::PercussionSplit(double sampleRate, uint32_t channelCount)
    : channelCount_(channelCount), frameLength_(frameLengthFor(sampleRate)),
      hop_(static_cast<int64_t>(frameLength_ / 4)), bins_(frameLength_ / 2 + 1),
      onsetBlock_(std::max<int64_t>(8, std::llround(onsetBlockSeconds * sampleRate))),
      lowBins_(static_cast<size_t>(
          std::lround(lowBelowHz * static_cast<double>(frameLength_) / sampleRate))),
      transform_(frameLength_),
      detector_(bins_, static_cast<size_t>(std::lround(
                           kickTopHz * static_cast<double>(frameLength_) / sampleRate))),
      window_(frameLength_), spectra_(static_cast<size_t>(span) * channelCount * bins_),
      magnitudes_(static_cast<size_t>(span) * bins_), power_(bins_), buffer_(frameLength_),
      heldGain_(bins_), lowest_(bins_), floors_(bins_), levelsBefore_(levelSlots * bins_),
      splitShare_(frameLength_ / 4), parts_{PartSource(*this, Part::held),
                                            PartSource(*this, Part::hits)} {
    double windowSum = 0;
    for (size_t n = 0; n < frameLength_; ++n) {
        // The square root of a periodic Hann window, for analysis and again for synthesis:
        // at a quarter-frame hop the products add up to 2 everywhere.
        window_[n] = static_cast<float>(std::sin(std::numbers::pi * static_cast<double>(n) /
                                                 static_cast<double>(frameLength_)));
        windowSum += window_[n];
    }
    // A full-scale sine's peak bin at about 1 for the detector, channels averaged.
    powerScale_ = static_cast<float>(4.0 / (windowSum * windowSum * channelCount));
    hitsOverlap_.assign(channelCount, std::vector<float>(frameLength_));
    for (Fifo& fifo : fifos_) {
        fifo.channels.assign(channelCount,
                             std::vector<float>(static_cast<size_t>(fifoFrames) * frameLength_));
    }
}

void PercussionSplit::start(int64_t from, int64_t hitsFrom) {
    outputFrom_ = from;
    hitsFrom_ = hitsFrom;
    // The first frame ends where the first delivered one has every overlapping frame.
    first_ = from - static_cast<int64_t>(frameLength_);
    analysed_ = 0;
    separated_ = 0;
    hitCount_ = 0;
    isSplitting_ = false;
    hitsLevel_ = 0;
    recentHitsLevels_.fill(0.0f);
    detector_.start(1);
    std::fill(magnitudes_.begin(), magnitudes_.end(), 0.0f);
    for (auto& channel : hitsOverlap_) {
        std::fill(channel.begin(), channel.end(), 0.0f);
    }
    for (Fifo& fifo : fifos_) {
        fifo.read = 0;
        fifo.held = 0;
    }
}

void PercussionSplit::bind(SourceWindow& input, SampleSource& source) {
    input_ = &input;
    source_ = &source;
}

size_t PercussionSplit::slot(int64_t frame) const {
    return static_cast<size_t>(((frame % span) + span) % span);
}

size_t PercussionSplit::pull(Part part, float* const* destination, size_t offset, size_t frames) {
    Fifo& fifo = fifos_[static_cast<size_t>(part)];
    const size_t capacity = fifo.channels[0].size();
    size_t done = 0;
    while (done < frames) {
        if (fifo.held == 0 && !advance()) {
            break;
        }
        const size_t run = std::min({fifo.held, frames - done, capacity - fifo.read});
        for (uint32_t c = 0; c < channelCount_; ++c) {
            std::copy_n(fifo.channels[c].begin() + static_cast<std::ptrdiff_t>(fifo.read), run,
                        destination[c] + offset + done);
        }
        fifo.read = (fifo.read + run) % capacity;
        fifo.held -= run;
        done += run;
    }
    return done;
}

bool PercussionSplit::advance() {
    for (const Fifo& fifo : fifos_) {
        if (fifo.held + static_cast<size_t>(hop_) > fifo.channels[0].size()) {
            return false; // the other part has not taken its share yet
        }
    }
    if (!input_->fill(frameStart(analysed_) + static_cast<int64_t>(frameLength_), *source_)) {
        return false;
    }
    analyse(analysed_++);
    if (analysed_ - 1 - separated_ >= reach) {
        separate(separated_++);
    }
    return true;
}

void PercussionSplit::analyse(int64_t frame) {
    const int64_t begin = frameStart(frame);
    const int64_t held = input_->firstHeld();
    std::fill(power_.begin(), power_.end(), 0.0f);
    for (uint32_t c = 0; c < channelCount_; ++c) {
        const int64_t from = std::clamp(held, begin, begin + static_cast<int64_t>(frameLength_));
        const auto silent = static_cast<size_t>(from - begin);
        std::fill_n(buffer_.begin(), silent, std::complex<float>{});
        const float* x = input_->at(c, from);
        for (size_t n = silent; n < frameLength_; ++n) {
            buffer_[n] = {x[n - silent] * window_[n], 0.0f};
        }
        transform_.transform(buffer_.data(), false);
        std::complex<float>* spectrum = &spectra_[(slot(frame) * channelCount_ + c) * bins_];
        std::copy_n(buffer_.begin(), bins_, spectrum);
        for (size_t k = 0; k < bins_; ++k) {
            power_[k] += std::norm(spectrum[k]);
        }
    }
    float* magnitude = &magnitudes_[slot(frame) * bins_];
    for (size_t k = 0; k < bins_; ++k) {
        magnitude[k] = std::sqrt(power_[k]);
        power_[k] *= powerScale_;
    }
    if (const auto hit = detector_.push(power_.data())) {
        addHit(*hit, frame);
    }
}

void PercussionSplit::addHit(int64_t frame, int64_t analysed) {
    const Hit hit{frame, onsetNear(frame), hitCount_ % levelSlots};
    if (hit.onset < hitsFrom_) {
        return;
    }
    float* before = &levelsBefore_[hit.before * bins_];
    const Hit* previous = hitCount_ > 0 ? &hits_[(hitCount_ - 1) % hits_.size()] : nullptr;
    const bool lingers = isSplitting_ && previous != nullptr && splitting_.frame == previous->frame;
    if (previous != nullptr && (lingers || frame - hitLead <= previous->frame + hitHold)) {
        // What the first of them split off stays split off until the last one is over.
        std::copy_n(&levelsBefore_[previous->before * bins_], bins_, before);
    } else {
        // The last frame that ends before the hit starts, as far as the history reaches back.
        const int64_t end = hit.onset - static_cast<int64_t>(frameLength_) - first_;
        const int64_t last = end >= 0 ? end / hop_ : -((-end + hop_ - 1) / hop_);
        const int64_t clear = std::clamp(last, analysed - span + 1, analysed);
        std::copy_n(&magnitudes_[slot(clear) * bins_], bins_, before);
    }
    hits_[hitCount_ % hits_.size()] = hit;
    ++hitCount_;
}

const PercussionSplit::Hit* PercussionSplit::hitAround(int64_t frame) const {
    const size_t known = std::min(hitCount_, hits_.size());
    for (size_t k = 0; k < known; ++k) {
        const Hit& hit = hits_[(hitCount_ - 1 - k) % hits_.size()];
        const int64_t after = frame - hit.frame;
        if (after >= -hitLead && after <= hitHold) {
            return &hit;
        }
    }
    return nullptr;
}

float PercussionSplit::splitGains(int64_t frame, const Hit& hit) {
    for (int64_t j = 0; j <= reach; ++j) {
        const float* level = &magnitudes_[slot(frame + j) * bins_];
        for (size_t k = 0; k < bins_; ++k) {
            lowest_[k] = j == 0 ? level[k] : std::min(lowest_[k], level[k]);
        }
    }
    // What sounded before the hit (a tail, a hit not found) goes on in the held part too, not
    // cut off where the hit begins.
    const float* before = &levelsBefore_[hit.before * bins_];
    for (size_t k = 0; k < bins_; ++k) {
        floors_[k] = 0;
        const size_t to = std::min(bins_, k + partialReach + 1);
        for (size_t j = k < partialReach ? 0 : k - partialReach; j < to; ++j) {
            floors_[k] = std::max({floors_[k], before[j], lowest_[j]});
        }
    }
    const float* own = &magnitudes_[slot(frame) * bins_];
    float splitOff = 0;
    float kept = 0;
    for (size_t k = 0; k < bins_; ++k) {
        const float floor = floors_[k];
        const float energy = own[k] * own[k];
        // Once the hit's, a bin stays so while it is above its floor: one that went back and
        // forth would be carried by both stretchers in turn, adding out of phase in between.
        const bool wasHit = isSplitting_ && heldGain_[k] == 0;
        const float above = wasHit ? 1.0f : k < lowBins_ ? lowHitAboveFloor : hitAboveFloor;
        if (own[k] > above * floor) {
            heldGain_[k] = 0;
            splitOff += energy;
        } else {
            heldGain_[k] = 1;
            kept += energy;
        }
    }
    return splitOff / std::max(kept, 1e-30f);
}

void PercussionSplit::separate(int64_t frame) {
    const Hit* around = hitAround(frame);
    bool hit = around != nullptr;
    if (hit) {
        splitShareBefore_ = splitGains(frame, *around);
        splitting_ = *around;
    } else if (isSplitting_ && frame - splitting_.frame <= longestHold) {
        // A tail, not a sound that holds (a note begun with the hit, which the held part then
        // takes up as it would without the hit).
        const float share = splitGains(frame, splitting_);
        hit = share > lingeringShare && share < splitShareBefore_;
        splitShareBefore_ = share;
    }
    isSplitting_ = hit;
    const int64_t begin = frameStart(frame);
    // The held part is the input less the hits part, which is silent away from hits.
    for (uint32_t c = 0; c < channelCount_ && hit; ++c) {
        const std::complex<float>* spectrum = &spectra_[(slot(frame) * channelCount_ + c) * bins_];
        for (size_t k = 0; k < bins_; ++k) {
            buffer_[k] = spectrum[k] * (1 - heldGain_[k]);
            if (k > 0 && k < frameLength_ / 2) {
                buffer_[frameLength_ - k] = std::conj(buffer_[k]);
            }
        }
        transform_.transform(buffer_.data(), true);
        const float scale = 1.0f / (2.0f * static_cast<float>(frameLength_));
        float* hitsOut = hitsOverlap_[c].data();
        for (size_t n = 0; n < frameLength_; ++n) {
            hitsOut[n] += buffer_[n].real() * window_[n] * scale;
        }
    }
    // The frame's first hop is complete: no later frame reaches back into it.
    const auto skip = static_cast<size_t>(std::clamp<int64_t>(outputFrom_ - begin, 0, hop_));
    const auto hop = static_cast<size_t>(hop_);
    for (size_t n = skip; n < hop; ++n) {
        splitShare_[n] = splitShare(begin + static_cast<int64_t>(n));
    }
    // Before a hit the hits part may go on (a tail of the split so far) but not rise: what
    // rises there is the coming hit spread back by the transform. Measured in blocks, over all
    // channels, against the loudest of the blocks just before the hit's spread (a kick's cycle
    // is longer than a block).
    const auto block = static_cast<size_t>(onsetBlock_);
    for (size_t from = skip; from < hop; from += block) {
        const size_t to = std::min(hop, from + block);
        double energy = 0;
        for (uint32_t c = 0; c < channelCount_; ++c) {
            for (size_t n = from; n < to; ++n) {
                energy += static_cast<double>(hitsOverlap_[c][n]) * hitsOverlap_[c][n];
            }
        }
        const auto level = static_cast<float>(std::sqrt(energy / static_cast<double>(to - from)));
        const bool before = std::any_of(splitShare_.begin() + static_cast<std::ptrdiff_t>(from),
                                        splitShare_.begin() + static_cast<std::ptrdiff_t>(to),
                                        [](float share) { return share < 1; });
        if (!before) {
            recentHitsLevels_[recentBlocks_++ % recentHitsLevels_.size()] = level;
            hitsLevel_ = *std::max_element(recentHitsLevels_.begin(), recentHitsLevels_.end());
        }
        const float limit = before && level > hitsLevel_ ? hitsLevel_ / level : 1.0f;
        for (size_t n = from; n < to; ++n) {
            splitShare_[n] += (1 - splitShare_[n]) * limit;
        }
    }
    Fifo& held = fifos_[0];
    Fifo& hits = fifos_[1];
    const size_t capacity = held.channels[0].size();
    for (uint32_t c = 0; c < channelCount_; ++c) {
        for (size_t n = skip; n < hop; ++n) {
            const float input = inputSample(c, begin + static_cast<int64_t>(n));
            float hit = splitShare_[n] * hitsOverlap_[c][n];
            if (std::abs(hit) < transformResidue) {
                hit = 0; // the hits stretcher resets cleanly on a hit after true silence
            }
            held.channels[c][(held.read + held.held + n - skip) % capacity] = input - hit;
            hits.channels[c][(hits.read + hits.held + n - skip) % capacity] = hit;
        }
        std::vector<float>& overlap = hitsOverlap_[c];
        std::copy(overlap.begin() + static_cast<std::ptrdiff_t>(hop), overlap.end(),
                  overlap.begin());
        std::fill(overlap.end() - static_cast<std::ptrdiff_t>(hop), overlap.end(), 0.0f);
    }
    held.held += hop - skip;
    hits.held += hop - skip;
}

float PercussionSplit::inputSample(uint32_t channel, int64_t index) const {
    return index < input_->firstHeld() || index >= input_->end() ? 0.0f
                                                                 : *input_->at(channel, index);
}

int64_t PercussionSplit::onsetNear(int64_t frame) const {
    // The block of input, around where the hit's frame first holds it, whose high-passed energy
    // rises most above the loudest of the blocks just before it.
    constexpr size_t blocksBefore = 8;
    std::array<double, blocksBefore> before{};
    const int64_t from = frameStart(frame) - hop_;
    const int64_t to = frameStart(frame) + static_cast<int64_t>(frameLength_) + hop_;
    const auto floor = static_cast<double>(onsetBlock_) * 1e-12;
    double steepest = -1;
    int64_t onset = from;
    size_t count = 0;
    for (int64_t at = from - static_cast<int64_t>(blocksBefore) * onsetBlock_;
         at + onsetBlock_ <= to; at += onsetBlock_, ++count) {
        double energy = 0;
        for (uint32_t c = 0; c < channelCount_; ++c) {
            for (int64_t k = at; k < at + onsetBlock_; ++k) {
                const double difference = inputSample(c, k) - inputSample(c, k - 1);
                energy += difference * difference;
            }
        }
        if (at >= from) {
            const double rise = energy / (*std::max_element(before.begin(), before.end()) + floor);
            if (rise > steepest) {
                steepest = rise;
                onset = at;
            }
        }
        before[count % blocksBefore] = energy;
    }
    return onset;
}

float PercussionSplit::splitShare(int64_t index) const {
    // Before a hit starts the input is held sound only, but the transform spreads a frame's
    // separation over the whole frame: the part of the frames holding the hit that falls before
    // it would come out early, as pre-echo. So there the hits part is held back (0 here; what
    // it may still carry is up to separate()), ramping into the separated parts just before the
    // hit.
    float share = 1;
    const size_t known = std::min(hitCount_, hits_.size());
    for (size_t k = 0; k < known; ++k) {
        const int64_t onset = hits_[(hitCount_ - 1 - k) % hits_.size()].onset;
        int64_t from = onset - static_cast<int64_t>(frameLength_) + hop_;
        if (k + 1 < known) {
            // Not into the hit before: its own separation stands.
            from = std::max(from, hits_[(hitCount_ - 2 - k) % hits_.size()].onset + onsetBlock_);
        }
        if (index >= from && index < onset) {
            const auto ramp = static_cast<float>(index - (onset - 2 * onsetBlock_)) /
                              static_cast<float>(onsetBlock_);
            share = std::min(share, std::clamp(ramp, 0.0f, 1.0f));
        }
    }
    return share;
}

bool PercussionSplit::hitNear(int64_t from, int64_t to) const {
    // Hits not yet judged may lie anywhere past the frames judged so far.
    const int64_t judged = analysed_ - 1 - OnsetDetector::lookahead;
    if (to >= frameStart(judged - hitLead)) {
        return true;
    }
    const size_t known = std::min(hitCount_, hits_.size());
    for (size_t k = 0; k < known; ++k) {
        const int64_t hit = hits_[(hitCount_ - 1 - k) % hits_.size()].frame;
        const int64_t begin = frameStart(hit - hitLead);
        const int64_t end = frameStart(hit + hitHold) + static_cast<int64_t>(frameLength_);
        if (to >= begin && from < end) {
            return true;
        }
    }
    return false;
}

} // namespace tindrel::platform
