#include "Tindrel/platform/audio/engine/BeatsPath.h"

#include "Tindrel/platform/audio/engine/WarpCharacter.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace tindrel::platform {

namespace {

// The history a restart primes from and the held stretcher's look-ahead (R2's for the hits, some
// 60000 frames at 4x and -24 st, stays within the smallest).
size_t partWindowFrames(double sampleRate) {
    return std::max(size_t{1} << 17,
                    std::bit_ceil(static_cast<size_t>(SourceWindow::leadFrames) +
                                  HeldSoundStretcher::lookAheadFrames(sampleRate)));
}
// How far apart the two stretchers may run before the transient one starts again in line.
constexpr double alignedWithinSeconds = 0.0005;
// The held part's level follows the mix slowly: what it measures over the first blocks after a
// start is rough, and a step in a held note's level would be heard.
constexpr double heldLevelGlideDbPerSecond = 2.0;

} // namespace

BeatsPath::Queue::Queue(uint32_t channelCount)
    : frames(channelCount, std::vector<float>(2 * maximumBlock)), tail(channelCount) {}

void BeatsPath::Queue::drop(size_t count) {
    for (auto& channel : frames) {
        std::copy(channel.begin() + static_cast<std::ptrdiff_t>(count),
                  channel.begin() + static_cast<std::ptrdiff_t>(held), channel.begin());
    }
    held -= count;
}

size_t BeatsPath::PartFeed::pull(float* const* destination, size_t offset, size_t frames) {
    using Part = PercussionSplit::Part;
    const Part other = part_ == Part::held ? Part::hits : Part::held;
    size_t done = path_.split_.part(part_).pull(destination, offset, frames);
    while (done < frames && path_.split_.waiting(other) > 0 && path_.deliverWaiting(other)) {
        done += path_.split_.part(part_).pull(destination, offset + done, frames - done);
    }
    return done;
}

SourceWindow& BeatsPath::inputOf(PercussionSplit::Part part) {
    return part == PercussionSplit::Part::held ? heldInput_ : hitInput_;
}

bool BeatsPath::deliverWaiting(PercussionSplit::Part part) {
    SourceWindow& input = inputOf(part);
    return input.fill(input.end() + static_cast<int64_t>(split_.waiting(part)), split_.part(part));
}

BeatsPath::BeatsPath(double sampleRate, uint32_t channelCount)
    : split_(sampleRate, channelCount), heldInput_(channelCount, partWindowFrames(sampleRate)),
      hitInput_(channelCount, partWindowFrames(sampleRate)),
      heldFeed_(*this, PercussionSplit::Part::held), hitFeed_(*this, PercussionSplit::Part::hits),
      sustained_(sampleRate, channelCount),
      transient_(sampleRate, channelCount, stretcherOptions(WarpPath::crispStretcher)),
      sustainedQueue_(channelCount), transientQueue_(channelCount), hitLevel_(sampleRate),
      heldLevel_(sampleRate, heldLevelGlideDbPerSecond),
      alignedWithinFrames_(alignedWithinSeconds * sampleRate) {}

void BeatsPath::start(int64_t index, double rate, double pitchScale, SourceWindow& window,
                      SampleSource& source) {
    origin_ = index;
    split_.bind(window, source);
    // The stretchers prime themselves from up to leadFrames of the parts before the start.
    split_.start(index - SourceWindow::leadFrames, index);
    heldInput_.reset(SourceWindow::leadFrames);
    hitInput_.reset(SourceWindow::leadFrames);
    sustained_.start(0, rate, pitchScale, heldInput_, heldFeed_);
    transient_.start(0, rate, pitchScale, hitInput_, hitFeed_);
    sustainedQueue_.held = 0;
    transientQueue_.held = 0;
    hitLevel_.reset();
    heldLevel_.reset();
    rate_ = rate;
    realign_ = false;
}

double BeatsPath::energy(const SourceWindow& input, double from, double to) const {
    const int64_t first =
        std::max(static_cast<int64_t>(std::floor(from)) - origin_, input.firstHeld());
    const int64_t end = std::min(static_cast<int64_t>(std::floor(to)) - origin_, input.end());
    double energy = 0;
    for (uint32_t c = 0; c < input.channelCount() && first < end; ++c) {
        const float* x = input.at(c, first);
        for (int64_t k = 0; k < end - first; ++k) {
            energy += static_cast<double>(x[k]) * x[k];
        }
    }
    return energy;
}

double BeatsPath::heard() const {
    return static_cast<double>(origin_) + sustained_.heard() -
           static_cast<double>(sustainedQueue_.held) * rate_;
}

size_t BeatsPath::render(float* const* out, size_t offset, size_t frames, double rate,
                         double pitchScale, SourceWindow& window, SampleSource& source) {
    frames = std::min(frames, maximumBlock);
    split_.bind(window, source);
    // What is split already goes to the windows, so that neither part's queue fills up (which
    // stops the split) while its stretcher still has input and the other one waits.
    deliverWaiting(PercussionSplit::Part::held);
    deliverWaiting(PercussionSplit::Part::hits);
    realign_ = realign_ || rate != rate_;
    const double before = heard();
    const size_t ready = std::min(
        {frames, sustainedQueue_.fill(sustained_, frames, rate, pitchScale, heldInput_, heldFeed_),
         transientQueue_.fill(transient_, frames, rate, pitchScale, hitInput_, hitFeed_)});
    rate_ = rate;
    const double after = static_cast<double>(origin_) + sustained_.heard() -
                         static_cast<double>(sustainedQueue_.held - ready) * rate;
    hitLevel_.addInput(energy(hitInput_, before, after) / rate);
    heldLevel_.addInput(energy(heldInput_, before, after) / rate);
    for (Queue* queue : {&sustainedQueue_, &transientQueue_}) {
        for (size_t c = 0; c < queue->frames.size(); ++c) {
            queue->tail[c] = queue->frames[c].data();
        }
    }
    const auto channels = static_cast<uint32_t>(transientQueue_.tail.size());
    hitLevel_.apply(transientQueue_.tail.data(), channels, ready);
    heldLevel_.apply(sustainedQueue_.tail.data(), channels, ready);
    for (size_t c = 0; c < sustainedQueue_.frames.size(); ++c) {
        const float* held = sustainedQueue_.frames[c].data();
        const float* hit = transientQueue_.frames[c].data();
        for (size_t k = 0; k < ready; ++k) {
            out[c][offset + k] = held[k] + hit[k];
        }
    }
    sustainedQueue_.drop(ready);
    transientQueue_.drop(ready);

    const double next = heard();
    // A change of engine in either stretcher (crossing the finer engine's bound) joins the new
    // one a little further on, where it lines up best: the other one follows it there.
    const double transientAt = static_cast<double>(origin_) + transient_.heard() -
                               static_cast<double>(transientQueue_.held) * rate;
    realign_ = realign_ || std::abs(transientAt - next) > alignedWithinFrames_ * rate;
    const auto keep = static_cast<int64_t>(std::floor(next)) - origin_ - SourceWindow::leadFrames;
    heldInput_.keepFrom(keep);
    hitInput_.keepFrom(keep);
    const auto from = static_cast<int64_t>(std::floor(next)) - SourceWindow::leadFrames;
    const auto to =
        static_cast<int64_t>(std::ceil(next + static_cast<double>(maximumBlock) * rate));
    if (realign_ && sustained_.rateSettled() && !split_.hitNear(from, to)) {
        realign_ = false;
        transient_.start(std::llround(next) - origin_, rate, pitchScale, hitInput_, hitFeed_);
        transientQueue_.held = 0;
    }
    return ready;
}

} // namespace tindrel::platform
