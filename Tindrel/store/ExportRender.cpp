#include "Tindrel/store/ExportRender.h"

#include "Tindrel/platform/audio/AudioPcmBuffer.h"
#include "Tindrel/platform/audio/engine/AudioEngine.h"
#include "Tindrel/platform/audio/engine/AudioPlayerNode.h"
#include "Tindrel/platform/audio/engine/ManualOutput.h"
#include "Tindrel/platform/audio/engine/TimePitchUnit.h"

#include <algorithm>

namespace tindrel {

namespace {

constexpr uint32_t maximumRenderFrames = 4096;

// The export engine renders only through renderOffline(); it never opens the sound device.
std::unique_ptr<platform::AudioOutput> unusedOutput() {
    return std::make_unique<platform::ManualOutput>();
}

} // namespace

ExportRender::ExportRender(std::unique_ptr<platform::AudioFile> file, Segment segment,
                           TimePitchSettings warp, FloatWavSaveFile& output)
    : segment_(segment), output_(output),
      thread_([this, file = std::move(file), warp]() mutable { render(std::move(file), warp); }) {}

ExportRender::~ExportRender() {
    stopRequested_ = true;
    thread_.join();
}

bool ExportRender::waitFor(std::chrono::milliseconds bound) {
    std::unique_lock lock(mutex_);
    return ended_.wait_for(lock, bound, [this] { return hasEnded_; });
}

double ExportRender::progress() const {
    return static_cast<double>(renderedFrames_.load()) /
           static_cast<double>(std::max<int64_t>(1, segment_.targetFrames));
}

void ExportRender::render(std::unique_ptr<platform::AudioFile> file, TimePitchSettings warp) {
    std::optional<std::string> failure = renderInto(std::move(file), warp);
    const std::lock_guard lock(mutex_);
    failure_ = std::move(failure);
    hasEnded_ = true;
    ended_.notify_all();
}

std::optional<std::string> ExportRender::renderInto(std::unique_ptr<platform::AudioFile> file,
                                                    TimePitchSettings warp) {
    std::string error;
    const platform::AudioFormat format = file->processingFormat();
    platform::AudioEngine engine(unusedOutput);
    engine.connect(format);
    platform::TimePitchUnit& unit = engine.timePitchUnit();
    unit.setOverlap(warp.overlap);
    unit.setRate(warp.rate);
    unit.setPitch(warp.pitchCents);
    if (!engine.enableManualRenderingMode(format, maximumRenderFrames, &error) ||
        !engine.start(&error))
        return error;
    platform::AudioPlayerNode& player = engine.playerNode();
    // The input goes on past the segment's end, as it does while the range plays: the paths
    // read ahead of what they make (a faster stretcher's first frames already come from input
    // past a short range's end), and what is rendered up to the end is to be what was heard.
    player.scheduleSegment(*file, segment_.startFrame, file->length() - segment_.startFrame);
    player.play();
    platform::AudioPcmBuffer buffer(engine.manualRenderingFormat().channelCount,
                                    maximumRenderFrames);
    while (!stopRequested_ && engine.manualRenderingSampleTime() < segment_.targetFrames) {
        const int64_t wanted = std::min<int64_t>(
            segment_.targetFrames - engine.manualRenderingSampleTime(), maximumRenderFrames);
        const platform::AudioEngine::RenderStatus status =
            engine.renderOffline(static_cast<uint32_t>(wanted), buffer, &error);
        if (status == platform::AudioEngine::RenderStatus::error)
            return error;
        if (status != platform::AudioEngine::RenderStatus::success || buffer.frameLength() == 0)
            break;
        if (!output_.append(buffer, &error))
            return error;
        renderedFrames_ = engine.manualRenderingSampleTime();
        // Audio that ran out before its stated end (and whose tail has been rendered) would
        // otherwise be followed by silence up to the target, however far away that lies.
        if (player.segmentShortfall() != platform::AudioPlayerNode::Shortfall::none)
            break;
    }
    player.stop();
    engine.stop();
    return std::nullopt;
}

} // namespace tindrel
