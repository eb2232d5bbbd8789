#include "Tindrel/platform/audio/engine/StreamingPlayerNode.h"

#include "Tindrel/platform/audio/AudioPcmBuffer.h"
#include "Tindrel/platform/audio/engine/SourceWindow.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <vector>

namespace tindrel::platform {

namespace {

// About 1.5 s at 44.1 kHz: enough to ride out a slow disk at 4x speed.
constexpr size_t ringFrames = 65536;
constexpr int64_t chunkFrames = 4096;
// Only while a new segment waits for the render side to drop the old one.
constexpr auto acknowledgePoll = std::chrono::milliseconds(1);
// Only while playing with a full ring.
constexpr auto refillPoll = std::chrono::milliseconds(10);

} // namespace

StreamingPlayerNode::StreamingPlayerNode() : ring_(std::make_unique<RingBuffer>(2, ringFrames)) {
    thread_ = std::thread([this] { stream(); });
}

StreamingPlayerNode::~StreamingPlayerNode() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    dataReady_.notify_all();
    thread_.join();
}

void StreamingPlayerNode::scheduleSegment(const AudioFile& file, int64_t startFrame,
                                          int64_t frameCount) {
    const int64_t length = std::max<int64_t>(0, file.length());
    const int64_t start = std::clamp<int64_t>(startFrame, 0, length);
    const int64_t count = std::clamp<int64_t>(frameCount, 0, length - start);
    if (count > 0 && playing_.load(std::memory_order_acquire) && adoptWrap(start)) {
        return;
    }
    std::unique_ptr<AudioFile> reader = count > 0 ? file.reopen() : nullptr;
    const bool failed = count > 0 && !reader;
    const bool seek = reader && playing_.load(std::memory_order_acquire);
    const int64_t preRoll =
        std::min(start, SourceWindow::preRollFrames(file.processingFormat().sampleRate));
    startGeneration(std::move(reader), start, count, seek ? preRoll : -1, failed);
}

void StreamingPlayerNode::startGeneration(std::unique_ptr<AudioFile> reader, int64_t startFrame,
                                          int64_t frameCount, int64_t preRoll, bool failed) {
    {
        std::lock_guard lock(mutex_);
        reader_ = std::move(reader);
        readerRate_ = reader_ ? reader_->processingFormat().sampleRate : 0;
        const int64_t ahead = reader_ ? std::max<int64_t>(0, preRoll) : 0;
        readerStart_ = startFrame - ahead;
        readerLeft_ = reader_ ? frameCount + ahead : 0;
        readerGeneration_ = generation_.load(std::memory_order_relaxed) + 1;
        segmentStart_.store(startFrame, std::memory_order_release);
        segmentEnd_ = startFrame + frameCount;
        transportGeneration_.store(readerGeneration_, std::memory_order_release);
        transportStart_.store(startFrame, std::memory_order_release);
        wrapIn_.store(-1, std::memory_order_release);
        renderedSincePlay_.store(false, std::memory_order_release);
        // A failed segment keeps its length, so the render side finds it cut short at once.
        segmentFrames_.store(failed ? frameCount : readerLeft_, std::memory_order_release);
        // -1 marks a segment not scheduled while playing: it starts from silence.
        segmentPreRoll_.store(reader_ ? preRoll : -1, std::memory_order_release);
        if (failed) {
            readFailed_.store(readerGeneration_, std::memory_order_release);
            streamEnded_.store(readerGeneration_, std::memory_order_release);
        }
        generation_.store(readerGeneration_, std::memory_order_release);
    }
    wake_.notify_all();
    dataReady_.notify_all();
    if (wakeRender_) {
        wakeRender_();
    }
}

bool StreamingPlayerNode::adoptWrap(int64_t startFrame) {
    std::lock_guard lock(mutex_);
    const uint64_t generation = generation_.load(std::memory_order_relaxed);
    if (generation == transportGeneration_.load(std::memory_order_relaxed) ||
        wrapIn_.load(std::memory_order_relaxed) != startFrame) {
        return false;
    }
    transportStart_.store(startFrame, std::memory_order_release);
    transportGeneration_.store(generation, std::memory_order_release);
    return true;
}

bool StreamingPlayerNode::wrapToLoopIn() {
    const std::optional<LoopRange> loop = loopRange();
    if (!loop || !playing_.load(std::memory_order_acquire)) {
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        const uint64_t generation = generation_.load(std::memory_order_relaxed);
        if (!reader_ || generation != renderGeneration_ || loop->inFrame >= segmentEnd_) {
            return false;
        }
        const int64_t preRoll = std::min(loop->inFrame, SourceWindow::preRollFrames(readerRate_));
        readerStart_ = loop->inFrame - preRoll;
        readerLeft_ = segmentEnd_ - loop->inFrame + preRoll;
        readerGeneration_ = generation + 1;
        segmentFrames_.store(readerLeft_, std::memory_order_release);
        segmentPreRoll_.store(preRoll, std::memory_order_release);
        segmentStart_.store(loop->inFrame, std::memory_order_release);
        if (transportGeneration_.load(std::memory_order_relaxed) == generation) {
            wrapOffset_.store(loop->outFrame - transportStart_.load(std::memory_order_relaxed),
                              std::memory_order_release);
        }
        wrapIn_.store(loop->inFrame, std::memory_order_release);
        wrapGeneration_ = readerGeneration_;
        generation_.store(readerGeneration_, std::memory_order_release);
    }
    wake_.notify_all();
    return true;
}

void StreamingPlayerNode::setLoopRange(std::optional<LoopRange> range) {
    const uint32_t version = loopVersion_.load(std::memory_order_relaxed);
    loopVersion_.store(version + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    loopIn_.store(range ? range->inFrame : -1, std::memory_order_relaxed);
    loopOut_.store(range ? range->outFrame : -1, std::memory_order_relaxed);
    loopVersion_.store(version + 2, std::memory_order_release);
}

std::optional<AudioPlayerNode::LoopRange> StreamingPlayerNode::loopRange() const {
    const uint32_t version = loopVersion_.load(std::memory_order_acquire);
    if (version % 2 == 1) {
        return std::nullopt;
    }
    const LoopRange range{loopIn_.load(std::memory_order_relaxed),
                          loopOut_.load(std::memory_order_relaxed)};
    std::atomic_thread_fence(std::memory_order_acquire);
    if (loopVersion_.load(std::memory_order_relaxed) != version || range.inFrame < 0 ||
        range.outFrame <= range.inFrame) {
        return std::nullopt;
    }
    return range;
}

std::optional<int64_t> StreamingPlayerNode::framesToLoopOut(int64_t heard) const {
    const std::optional<LoopRange> loop = loopRange();
    if (!loop || renderStart_ >= loop->outFrame || segmentWaiting()) {
        return std::nullopt;
    }
    return loop->outFrame - (renderStart_ + heard);
}

void StreamingPlayerNode::play() {
    {
        // Under the lock, so a streaming thread about to sleep on a full ring cannot miss it.
        std::lock_guard lock(mutex_);
        renderedSincePlay_.store(false, std::memory_order_release);
        playing_.store(true, std::memory_order_release);
    }
    wake_.notify_all();
    if (wakeRender_) {
        wakeRender_();
    }
}

void StreamingPlayerNode::pause() {
    playing_.store(false, std::memory_order_release);
}

void StreamingPlayerNode::stop() {
    playing_.store(false, std::memory_order_release);
    startGeneration(nullptr, 0, 0);
}

bool StreamingPlayerNode::isPlaying() const {
    return playing_.load(std::memory_order_acquire);
}

void StreamingPlayerNode::setVolume(float gain) {
    volume_.store(std::isfinite(gain) ? std::max(0.0f, gain) : 0.0f, std::memory_order_release);
}

float StreamingPlayerNode::volume() const {
    return volume_.load(std::memory_order_acquire);
}

std::optional<int64_t>
StreamingPlayerNode::inTransportSegment(const std::atomic<uint64_t>& generation,
                                        const std::atomic<int64_t>& frames,
                                        int64_t pastWrap) const {
    const uint64_t of = generation.load(std::memory_order_acquire);
    const uint64_t transport = transportGeneration_.load(std::memory_order_acquire);
    const int64_t count = frames.load(std::memory_order_acquire);
    if (of == transport) {
        return count;
    }
    if (of > transport && of <= generation_.load(std::memory_order_acquire)) {
        return pastWrap + count;
    }
    return std::nullopt;
}

std::optional<int64_t> StreamingPlayerNode::playerSampleTime() const {
    if (!playing_.load(std::memory_order_acquire) ||
        !renderedSincePlay_.load(std::memory_order_acquire)) {
        return std::nullopt;
    }
    // Heard past a wrap the transport has not taken over yet: the playhead goes on past Out.
    return inTransportSegment(heardGeneration_, heard_,
                              wrapOffset_.load(std::memory_order_acquire));
}

std::optional<int64_t> StreamingPlayerNode::playerRenderTime() const {
    if (!playerSampleTime()) {
        return std::nullopt;
    }
    // Rendered past a wrap: where it stands in the file, counted from the transport's start.
    return inTransportSegment(renderedGeneration_, rendered_,
                              wrapIn_.load(std::memory_order_acquire) -
                                  transportStart_.load(std::memory_order_acquire));
}

AudioPlayerNode::Shortfall StreamingPlayerNode::segmentShortfall() const {
    const uint64_t generation = generation_.load(std::memory_order_acquire);
    if (cutShort_.load(std::memory_order_acquire) != generation)
        return Shortfall::none;
    // A segment cut short at its very start has nothing to be heard first (a seek's pre-roll
    // may have played, but none of the segment itself).
    const int64_t cutAt = cutShortAt_.load(std::memory_order_acquire);
    if (cutAt > 0 && (heardGeneration_.load(std::memory_order_acquire) != generation ||
                      heard_.load(std::memory_order_acquire) < cutAt)) {
        return Shortfall::none;
    }
    return readFailed_.load(std::memory_order_acquire) == generation ? Shortfall::readFailed
                                                                     : Shortfall::endedEarly;
}

void StreamingPlayerNode::configure(uint32_t channelCount) {
    {
        std::lock_guard lock(mutex_);
        ring_ = std::make_unique<RingBuffer>(std::max<uint32_t>(1, channelCount), ringFrames);
    }
    startGeneration(nullptr, 0, 0);
}

void StreamingPlayerNode::setRenderWaker(std::function<void()> wake) {
    wakeRender_ = std::move(wake);
}

StreamingPlayerNode::Cue StreamingPlayerNode::beginRender(bool takeNewSegment) {
    Cue cue;
    cue.playing = playing_.load(std::memory_order_acquire);
    const uint64_t generation = generation_.load(std::memory_order_acquire);
    // Nothing renders while stopped, so what holds the new segment back would never end.
    if (generation != renderGeneration_ && (takeNewSegment || !cue.playing)) {
        renderGeneration_ = generation;
        renderSegmentFrames_ = segmentFrames_.load(std::memory_order_acquire);
        const int64_t preRoll = segmentPreRoll_.load(std::memory_order_acquire);
        renderPreRoll_ = std::max<int64_t>(0, preRoll);
        cue.seek = preRoll >= 0;
        cue.wrap = generation == wrapGeneration_;
        cue.preRoll = renderPreRoll_;
        renderStart_ = segmentStart_.load(std::memory_order_acquire);
        consumed_ = 0;
        ring_->discardReadable();
        acknowledged_.store(generation, std::memory_order_release);
        wake_.notify_all();
        cue.newSegment = true;
    }
    return cue;
}

size_t StreamingPlayerNode::pull(float* const* destination, size_t offset, size_t frames) {
    size_t delivered = 0;
    const auto fromSegment = static_cast<size_t>(std::min<int64_t>(
        static_cast<int64_t>(frames), std::max<int64_t>(0, renderSegmentFrames_ - consumed_)));
    while (delivered < fromSegment) {
        const size_t got = ring_->read(destination, offset + delivered, fromSegment - delivered);
        delivered += got;
        consumed_ += static_cast<int64_t>(got);
        if (delivered == fromSegment) {
            break;
        }
        if (got > 0) {
            continue;
        }
        if (streamEnded_.load(std::memory_order_acquire) == renderGeneration_ &&
            ring_->readable() == 0) {
            // The file delivered fewer frames than it announced: its end comes early.
            renderSegmentFrames_ = consumed_;
            // In frames of the segment itself, as the playhead counts them (no pre-roll).
            cutShortAt_.store(std::max<int64_t>(0, consumed_ - renderPreRoll_),
                              std::memory_order_release);
            cutShort_.store(renderGeneration_, std::memory_order_release);
            break;
        }
        // A segment scheduled since will not refill the ring with this one: what is missing
        // plays as silence rather than waiting forever.
        if (generation_.load(std::memory_order_acquire) != renderGeneration_) {
            renderSegmentFrames_ = consumed_;
            break;
        }
        std::unique_lock lock(mutex_);
        wake_.notify_all();
        dataReady_.wait(lock, [&] {
            return quit_ || ring_->readable() > 0 ||
                   streamEnded_.load(std::memory_order_acquire) == renderGeneration_ ||
                   generation_.load(std::memory_order_acquire) != renderGeneration_;
        });
        if (quit_) {
            return delivered;
        }
    }
    if (consumed_ >= renderSegmentFrames_ && delivered < frames) {
        for (uint32_t c = 0; c < ring_->channelCount(); ++c) {
            std::memset(destination[c] + offset + delivered, 0,
                        (frames - delivered) * sizeof(float));
        }
        delivered = frames;
    }
    return delivered;
}

bool StreamingPlayerNode::segmentWaiting() const {
    return generation_.load(std::memory_order_acquire) != renderGeneration_;
}

RenderAheadQueue::Mark StreamingPlayerNode::markHeard(std::optional<int64_t> heard) {
    RenderAheadQueue::Mark mark;
    mark.generation = renderGeneration_;
    mark.known = heard.has_value();
    mark.heard = std::clamp<int64_t>(heard.value_or(0), 0,
                                     std::max<int64_t>(0, renderSegmentFrames_ - renderPreRoll_));
    if (mark.known) {
        rendered_.store(mark.heard, std::memory_order_release);
        renderedGeneration_.store(mark.generation, std::memory_order_release);
    }
    return mark;
}

void StreamingPlayerNode::publishHeard(const RenderAheadQueue::Mark& mark) {
    if (!mark.known) {
        return;
    }
    heard_.store(mark.heard, std::memory_order_release);
    heardGeneration_.store(mark.generation, std::memory_order_release);
    renderedSincePlay_.store(true, std::memory_order_release);
}

void StreamingPlayerNode::stream() {
    std::unique_lock lock(mutex_);
    std::unique_ptr<AudioPcmBuffer> chunk;
    std::vector<const float*> channels;
    bool positioned = false;
    uint64_t positionedGeneration = 0;
    while (!quit_) {
        const uint64_t generation = readerGeneration_;
        if (positionedGeneration != generation) {
            positionedGeneration = generation;
            positioned = false;
        }
        const bool hasWork = reader_ && readerLeft_ > 0;
        const bool acknowledged = acknowledged_.load(std::memory_order_acquire) == generation;
        const int64_t want = std::min(chunkFrames, readerLeft_);
        if (hasWork && acknowledged && static_cast<int64_t>(ring_->writable()) >= want) {
            // The disk is read without the lock, so a slow read holds neither the render side
            // (waiting for input, or wrapping) nor the main thread scheduling the next segment.
            // This copy keeps the reader alive should a new segment replace it meanwhile.
            const std::shared_ptr<AudioFile> reader = reader_;
            const int64_t positionAt = positioned ? -1 : readerStart_;
            lock.unlock();
            const uint32_t fileChannels =
                std::max<uint32_t>(1, reader->processingFormat().channelCount);
            if (!chunk || chunk->channelCount() != fileChannels) {
                chunk = std::make_unique<AudioPcmBuffer>(fileChannels, chunkFrames);
            }
            if (positionAt >= 0) {
                reader->setFramePosition(positionAt);
            }
            const bool ok = reader->read(*chunk, want);
            lock.lock();
            positioned = true;
            if (readerGeneration_ != generation) {
                continue; // read for a segment or wrap that has been replaced since
            }
            const int64_t got = ok ? std::min(chunk->frameLength(), want) : 0;
            if (got > 0) {
                // A file whose channel count differs from the graph's is mapped channel by
                // channel; missing channels repeat the file's last one.
                channels.resize(ring_->channelCount());
                for (uint32_t c = 0; c < channels.size(); ++c) {
                    channels[c] = chunk->channelData(std::min(c, fileChannels - 1));
                }
                ring_->write(channels.data(), 0, static_cast<size_t>(got));
                readerLeft_ -= got;
            }
            if (got == 0 || readerLeft_ == 0) {
                if (!ok) {
                    readFailed_.store(generation, std::memory_order_release);
                }
                // The reader stays for a loop wrap back into the file.
                readerLeft_ = 0;
                streamEnded_.store(generation, std::memory_order_release);
            }
            dataReady_.notify_all();
            continue;
        }
        if (!hasWork) {
            wake_.wait(lock);
        } else if (!acknowledged) {
            wake_.wait_for(lock, acknowledgePoll);
        } else if (!playing_.load(std::memory_order_acquire)) {
            wake_.wait(lock);
        } else {
            wake_.wait_for(lock, refillPoll);
        }
    }
}

} // namespace tindrel::platform
