#include "Tindrel/mainwindow/OpenFileOrFolder.h"

#include "Tindrel/store/TindrelStore.h"

#include <system_error>

namespace tindrel {

void openFileOrFolder(TindrelStore& store, const std::filesystem::path& location) {
    std::error_code error;
    if (std::filesystem::is_directory(location, error))
        store.navigateToFolder(location, true, true);
    else
        store.loadAndPlay(location, true);
}

} // namespace tindrel
