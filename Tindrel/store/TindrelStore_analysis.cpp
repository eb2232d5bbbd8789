#include "Tindrel/store/TindrelStore.h"

#include "Tindrel/analysis/WaveformAndLUFS.h"

namespace tindrel {

void TindrelStore::triggerFastWaveformAndLUFSAnalysis(const Path& originalURL,
                                                      const Path& playableURL, int64_t fileSize,
                                                      int originalBitDepth,
                                                      double fallbackDuration) {
    if (analysisCancel_)
        analysisCancel_->store(true);
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    analysisCancel_ = cancel;
    auto result = std::make_shared<std::optional<AudioFileSpec>>();
    const uint64_t generation = loadGeneration_;
    analysisExecutor_->run(
        [=] {
            // Owns copies only: the store may be gone before this ends.
            *result = extractWaveformAndLUFS(originalURL, playableURL, fileSize, originalBitDepth,
                                             fallbackDuration, cancel.get());
        },
        [this, cancel, result, generation] { publishMeasurement(cancel, result, generation); });
}

void TindrelStore::publishMeasurement(const std::shared_ptr<std::atomic<bool>>& cancel,
                                      const std::shared_ptr<std::optional<AudioFileSpec>>& result,
                                      uint64_t generation) {
    if (heldAtGate<&TindrelStore::publishMeasurement>(cancel, result, generation))
        return;
    // Matched by load, not by location: a rename during the measurement keeps it.
    if (cancel->load() || generation != loadGeneration_ || !currentURL->has_value() ||
        !result->has_value())
        return;
    AudioFileSpec measured = std::move(**result);
    measured.url = **currentURL;
    measured.fileName = currentURL->value().filename().string();
    spec = std::move(measured);
    callStatusChanged();
}

} // namespace tindrel
