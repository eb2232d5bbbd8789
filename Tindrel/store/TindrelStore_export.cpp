// Offline export of the effective range through the current warp into a float WAV beside the
// opened file, which replaces no file but an untouched earlier export of the same audio and
// settings; any other file of its name sends it to the next free numbered name.

#include "Tindrel/store/TindrelStore.h"

#include "Tindrel/platform/audio/AudioFile.h"
#include "Tindrel/platform/audio/WorkHeartbeat.h"
#include "Tindrel/platform/desktop/FileRevealer.h"
#include "Tindrel/platform/text/LocaleFreeNumber.h"
#include "Tindrel/store/ExportFileName.h"
#include "Tindrel/store/ExportMark.h"
#include "Tindrel/store/ExportRender.h"
#include "Tindrel/store/FloatWavSaveFile.h"
#include "Tindrel/store/FrameMath.h"
#include "Tindrel/store/TimePitchSettings.h"

#include <algorithm>

namespace tindrel {

void TindrelStore::exportModifiedAudioToWAV() {
    if (heldAtGate<&TindrelStore::exportModifiedAudioToWAV>() || !currentURL.get())
        return;
    const LongOperation operation(*this);
    const Path opened = *currentURL.get();
    // Only audio opened for the current file may be rendered under its name: after a failed
    // load the playable file still belongs to the previous one.
    const bool loaded = audioFile_ && audioSourceURL_ == opened;

    const double start = effectiveRangeStart();
    const double end = effectiveRangeEnd();
    if (!(start + 0.05 < end)) {
        statusBanner = QStringLiteral("Select a valid range (> 0.05s) before exporting");
        return;
    }

    auto fail = [this](const std::string& reason) {
        statusBanner = QStringLiteral("Export Modified failed: ") +
                       (reason.empty() ? QStringLiteral("the audio could not be rendered")
                                       : QString::fromStdString(reason));
    };

    std::string error;
    // The loaded file is read through its open descriptor, which still reads it after it was
    // moved or deleted (or its decoded copy cleared).
    std::unique_ptr<platform::AudioFile> file =
        loaded ? audioFile_->reopen(&error) : platform::AudioFile::openForReading(opened, &error);
    if (!file) {
        fail(error);
        return;
    }
    const platform::AudioFormat format = file->processingFormat();
    const double sourceRate = format.sampleRate;
    const int64_t startFrame = std::max<int64_t>(0, framesForSeconds(start, sourceRate));
    const int64_t endFrame = std::min(file->length(), framesForSeconds(end, sourceRate));
    const int64_t frameCount = std::max<int64_t>(0, endFrame - startFrame);
    if (frameCount == 0)
        return;

    const TimePitchSettings warp =
        warpedTimePitchSettings(warpMode.get(), playbackRate.get(), pitchSemitones.get());
    // The name and the mark give the pitch that is heard: in Tape the one that follows the
    // speed, whatever pitch the card still shows.
    const float heardPitch =
        warpMode.get() == WarpMode::tape ? warp.pitchCents / 100.0f : pitchSemitones.get();
    // The stem is the base name of the file name rules, taken from the bytes of the name.
    const std::string namedOutput = exportFileName(opened.stem().native(), hasActiveRange(), start,
                                                   end, playbackRate.get(), heardPitch);
    const WavInfo mark = exportMark(opened.filename().string(), startFrame, endFrame,
                                    playbackRate.get(), heardPitch, warpMode.get());

    std::unique_ptr<FloatWavSaveFile> output = FloatWavSaveFile::create(
        opened.parent_path(), sourceRate, format.channelCount, mark, &error);
    if (!output) {
        fail(error);
        return;
    }

    const double rate = std::max(0.25f, playbackRate.get());
    const int64_t targetFrames =
        std::max<int64_t>(1, framesForSeconds(static_cast<double>(frameCount) / rate, 1.0));

    SynchronousWorkScope work(*this, QStringLiteral("Exporting"),
                              QString::fromStdString(opened.filename().string()));
    {
        // The main thread only waits for the render in slices of the heartbeat's interval.
        ExportRender render(std::move(file), {startFrame, frameCount, targetFrames}, warp, *output);
        while (!render.waitFor(work.heartbeat().interval())) {
            work.heartbeat().reportProgress(render.progress());
            // Stopped: the unfinished file goes without a trace and without a status line.
            if (!work.heartbeat().keepGoing())
                return;
        }
        if (render.failure()) {
            fail(*render.failure());
            return;
        }
    }

    // A short render would leave a file that silently misses the end of the range.
    if (output->framesWritten() != targetFrames) {
        fail(formatNumber("rendering stopped after %lld of %lld frames",
                          static_cast<long long>(output->framesWritten()),
                          static_cast<long long>(targetFrames)));
        return;
    }
    // The name is taken only now, so that an export running beside this one lands as well.
    const std::optional<Path> published =
        output->commit(opened.parent_path() / namedOutput, work.heartbeat(), &error);
    if (!published) {
        if (!error.empty())
            fail(error);
        return;
    }
    const Path outputURL = *published;

    scanSiblingAudioFiles(opened.parent_path());
    statusBanner = QStringLiteral("Exported Modified: ") +
                   QString::fromStdString(outputURL.filename().native()) + QStringLiteral(" (") +
                   formatTime(static_cast<double>(targetFrames) / sourceRate) + QStringLiteral(")");
    if (environment_.revealer)
        environment_.revealer->revealFiles({outputURL});
}

} // namespace tindrel
