#include "Tindrel/store/ExportLeftovers.h"

#include "Tindrel/platform/files/UnpublishedFile.h"

#include <system_error>
#include <thread>

namespace tindrel {

void removeExportLeftoversInBackground(std::vector<std::filesystem::path> folders) {
    if (folders.empty())
        return;
    try {
        std::thread([folders = std::move(folders)] {
            for (const std::filesystem::path& folder : folders)
                platform::UnpublishedFile::removeLeftovers(folder);
        }).detach();
    } catch (const std::system_error&) {
        // No thread to spare: the next export into each folder clears it as before.
    }
}

} // namespace tindrel
