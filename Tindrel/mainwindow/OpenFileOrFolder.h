#pragma once

// What the window does with one location the user handed it (a drop, the file-or-folder
// panel, the command line, a later launch): a folder is browsed (listed, recorded in the
// folder history, its first audio file loaded without playing) and never becomes the current
// or a recent file; anything else is loaded and played, the store reporting what fails.
// Main thread.

#include <filesystem>

namespace tindrel {

class TindrelStore;

void openFileOrFolder(TindrelStore& store, const std::filesystem::path& location);

} // namespace tindrel
