// The store's one default-handler action.

#include "Tindrel/store/TindrelStore.h"

#include "Tindrel/platform/text/LocaleFreeNumber.h"
#include "Tindrel/store/DefaultAudioHandlerRegistrar.h"

namespace tindrel {

void TindrelStore::makeTindrelDefaultForAllAudio() {
    if (heldAtGate<&TindrelStore::makeTindrelDefaultForAllAudio>())
        return;
    const int count = DefaultAudioHandlerRegistrar::registerAllAsDefault();
    statusBanner = QStringLiteral("Set Tindrel as default audio player (") +
                   QString::fromStdString(formatNumber("%d", count)) +
                   QStringLiteral(" MIME type handlers)");
}

} // namespace tindrel
