#include "Tindrel/platform/audio/engine/SourceWindow.h"

#include <algorithm>
#include <cstring>

namespace tindrel::platform {

SourceWindow::SourceWindow(uint32_t channelCount, size_t capacityFrames)
    : channels_(std::max<uint32_t>(1, channelCount), std::vector<float>(capacityFrames)),
      pullPointers_(channels_.size()), capacity_(capacityFrames) {
    reset();
}

namespace {

constexpr double stretcherLeadInputSeconds = 1.2;
constexpr int64_t longestPreRoll = SourceWindow::leadFrames + 65536;

} // namespace

int64_t SourceWindow::preRollFrames(double sampleRate) {
    return std::min(longestPreRoll,
                    leadFrames + static_cast<int64_t>(stretcherLeadInputSeconds * sampleRate));
}

void SourceWindow::reset(int64_t preRoll) {
    preRoll = std::clamp<int64_t>(preRoll, 0, longestPreRoll);
    base_ = -std::max(preRoll, leadFrames);
    end_ = -preRoll;
    keepFrom_ = base_;
    demand_ = 0;
    for (auto& channel : channels_) {
        std::fill_n(channel.begin(), std::max<int64_t>(0, leadFrames - preRoll), 0.0f);
    }
}

bool SourceWindow::makeRoom(size_t frames) {
    const auto used = static_cast<size_t>(end_ - base_);
    if (used + frames <= capacity_) {
        return true;
    }
    const int64_t keep = std::max(base_, std::min(keepFrom_, end_));
    const auto dropped = static_cast<size_t>(keep - base_);
    const size_t kept = used - dropped;
    if (kept + frames > capacity_) {
        return false;
    }
    for (auto& channel : channels_) {
        std::memmove(channel.data(), channel.data() + dropped, kept * sizeof(float));
    }
    base_ = keep;
    return true;
}

bool SourceWindow::fill(int64_t index, SampleSource& source) {
    demand_ = std::max(demand_, index);
    return pullUntil(index, source);
}

void SourceWindow::readAhead(int64_t frames, SampleSource& source) {
    pullUntil(demand_ + frames, source);
}

bool SourceWindow::pullUntil(int64_t index, SampleSource& source) {
    while (end_ < index) {
        const auto wanted = static_cast<size_t>(index - end_);
        if (!makeRoom(wanted)) {
            return false;
        }
        const auto offset = static_cast<size_t>(end_ - base_);
        for (size_t c = 0; c < channels_.size(); ++c) {
            pullPointers_[c] = channels_[c].data();
        }
        const size_t got = source.pull(pullPointers_.data(), offset, wanted);
        end_ += static_cast<int64_t>(got);
        if (got < wanted) {
            return false;
        }
    }
    return true;
}

const float* SourceWindow::at(uint32_t channel, int64_t index) const {
    return channels_[channel].data() + (index - base_);
}

void SourceWindow::keepFrom(int64_t index) {
    keepFrom_ = std::max(keepFrom_, index);
}

} // namespace tindrel::platform
