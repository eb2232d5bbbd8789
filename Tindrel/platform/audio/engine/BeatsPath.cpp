#include "Tindrel/platform/audio/engine/BeatsPath.h"

#include "Tindrel/platform/audio/engine/WarpCharacter.h"

#include <algorithm>
#include <cmath>

namespace tindrel::platform {

BeatsPath::Queue::Queue(uint32_t channelCount)
    : frames(channelCount, std::vector<float>(2 * maximumBlock)), tail(channelCount) {}

size_t BeatsPath::Queue::fill(StretcherPath& path, size_t wanted, double rate, double pitchScale,
                              SourceWindow& window, SampleSource& source) {
    if (held < wanted) {
        for (size_t c = 0; c < frames.size(); ++c) {
            tail[c] = frames[c].data();
        }
        held += path.render(tail.data(), held, wanted - held, rate, pitchScale, window, source);
    }
    return held;
}

void BeatsPath::Queue::drop(size_t count) {
    for (auto& channel : frames) {
        std::copy(channel.begin() + static_cast<std::ptrdiff_t>(count),
                  channel.begin() + static_cast<std::ptrdiff_t>(held), channel.begin());
    }
    held -= count;
}

BeatsPath::BeatsPath(double sampleRate, uint32_t channelCount)
    : sustained_(sampleRate, channelCount, beatsSustainedOptions()),
      transient_(sampleRate, channelCount, stretcherOptions(WarpPath::crispStretcher)),
      gate_(sampleRate), sustainedQueue_(channelCount), transientQueue_(channelCount),
      share_(maximumBlock) {}

void BeatsPath::start(int64_t index, double rate, double pitchScale, SourceWindow& window,
                      SampleSource& source) {
    sustained_.start(index, rate, pitchScale, window, source);
    transient_.start(index, rate, pitchScale, window, source);
    gate_.start(index);
    sustainedQueue_.held = 0;
    transientQueue_.held = 0;
    rate_ = rate;
    realign_ = false;
}

double BeatsPath::heard() const {
    return sustained_.heard() - static_cast<double>(sustainedQueue_.held) * rate_;
}

size_t BeatsPath::render(float* const* out, size_t offset, size_t frames, double rate,
                         double pitchScale, SourceWindow& window, SampleSource& source) {
    frames = std::min(frames, maximumBlock);
    const double position = heard();
    realign_ = realign_ || rate != rate_;
    const size_t ready = std::min(
        {frames, sustainedQueue_.fill(sustained_, frames, rate, pitchScale, window, source),
         transientQueue_.fill(transient_, frames, rate, pitchScale, window, source)});
    rate_ = rate;
    gate_.shares(share_.data(), ready, position, rate, window);
    for (size_t c = 0; c < sustainedQueue_.frames.size(); ++c) {
        const float* held = sustainedQueue_.frames[c].data();
        const float* hit = transientQueue_.frames[c].data();
        for (size_t k = 0; k < ready; ++k) {
            out[c][offset + k] = held[k] + (hit[k] - held[k]) * share_[k];
        }
    }
    sustainedQueue_.drop(ready);
    transientQueue_.drop(ready);

    const double next = heard();
    if (realign_ && sustained_.rateSettled() &&
        gate_.idle(next, next + static_cast<double>(maximumBlock) * rate, rate, window)) {
        realign_ = false;
        transient_.start(std::llround(next), rate, pitchScale, window, source);
        transientQueue_.held = 0;
    }
    return ready;
}

} // namespace tindrel::platform
