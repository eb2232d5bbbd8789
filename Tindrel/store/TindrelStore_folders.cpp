#include "Tindrel/store/TindrelStore.h"

#include "Tindrel/platform/text/LocaleFreeNumber.h"
#include "Tindrel/platform/text/TextCase.h"
#include "Tindrel/store/ExportLeftovers.h"
#include "Tindrel/store/NaturalNameOrder.h"
#include "Tindrel/store/RecentPathsSetting.h"
#include "Tindrel/store/StandardizedPath.h"

#include <algorithm>
#include <chrono>
#include <system_error>

namespace tindrel {

namespace {

constexpr size_t maximumRecentFiles = 20;
constexpr std::chrono::seconds recentPathsWriteInterval{1};

bool isHiddenName(const std::string& name) {
    return !name.empty() && name.front() == '.';
}

} // namespace

void TindrelStore::navigateToFolder(const Path& folder, bool recordHistory, bool autoSelectFirst) {
    if (heldAtGate<&TindrelStore::navigateToFolder>(folder, recordHistory, autoSelectFirst))
        return;
    const Path u = standardizedPath(folder);
    std::error_code error;
    if (!std::filesystem::is_directory(u, error))
        return;
    if (recordHistory) {
        const std::vector<Path>& history = folderHistory;
        const int index = folderHistoryIndex;
        if (history.empty() || history[static_cast<size_t>(std::max(0, index))] != u) {
            folderHistory.mutate([&](std::vector<Path>& entries) {
                if (index < static_cast<int>(entries.size()) - 1)
                    entries.erase(entries.begin() + (index + 1), entries.end());
                entries.push_back(u);
            });
            folderHistoryIndex = static_cast<int>(folderHistory->size()) - 1;
        }
    }
    currentFolderURL = u;
    scanSiblingAudioFiles(u);
    statusBanner = QStringLiteral("Folder: ") + QString::fromStdString(u.string()) +
                   QString::fromStdString(formatNumber(" (%zu audio files)", siblingFiles->size()));
    if (autoSelectFirst && !siblingFiles->empty())
        loadAndPlay(siblingFiles->front().url, false);
}

void TindrelStore::scanSiblingAudioFiles(const Path& folder) {
    std::vector<SiblingAudioEntry> files;
    std::vector<Path> folders;
    std::error_code error;
    std::filesystem::directory_iterator entries(folder, error);
    const std::filesystem::directory_iterator end;
    for (; !error && entries != end; entries.increment(error)) {
        const std::filesystem::directory_entry& entry = *entries;
        const std::string name = entry.path().filename().string();
        if (isHiddenName(name))
            continue;
        std::error_code propertyError;
        if (entry.is_directory(propertyError)) {
            folders.push_back(standardizedPath(entry.path()));
            continue;
        }
        std::string extension = entry.path().extension().string();
        if (extension.empty())
            continue;
        extension = asciiLowercased(std::string_view(extension).substr(1));
        if (!supportedExtensions().contains(extension) || !entry.is_regular_file(propertyError))
            continue;
        const std::uintmax_t size = entry.file_size(propertyError);
        files.push_back({standardizedPath(entry.path()), QString::fromStdString(name),
                         QString::fromStdString(extension).toUpper(),
                         propertyError ? 0 : static_cast<int64_t>(size)});
    }
    if (error) {
        // An unlistable folder shows as empty, never with the previous folder's files.
        files.clear();
        folders.clear();
    }
    const NaturalNameOrder order;
    order.sort(files, [](const SiblingAudioEntry& entry) { return entry.name; });
    order.sort(folders,
               [](const Path& path) { return QString::fromStdString(path.filename().string()); });
    siblingFiles = std::move(files);
    subfoldersInCurrentFolder = std::move(folders);
}

bool TindrelStore::canGoBackFolder() const {
    return folderHistoryIndex > 0;
}

bool TindrelStore::canGoForwardFolder() const {
    return folderHistoryIndex >= 0 &&
           folderHistoryIndex < static_cast<int>(folderHistory->size()) - 1;
}

void TindrelStore::goBackFolder() {
    if (stepHeldAtGate<&TindrelStore::goBackFolder>() || !canGoBackFolder())
        return;
    folderHistoryIndex = folderHistoryIndex - 1;
    navigateToFolder((*folderHistory)[static_cast<size_t>(folderHistoryIndex.get())], false, false);
}

void TindrelStore::goForwardFolder() {
    if (stepHeldAtGate<&TindrelStore::goForwardFolder>() || !canGoForwardFolder())
        return;
    folderHistoryIndex = folderHistoryIndex + 1;
    navigateToFolder((*folderHistory)[static_cast<size_t>(folderHistoryIndex.get())], false, false);
}

std::vector<FolderAncestorItem> TindrelStore::currentFolderAncestors() const {
    std::vector<FolderAncestorItem> ancestors;
    Path folder = standardizedPath(currentFolderURL);
    const Path home = standardizedPath(environment_.homeFolder);
    while (true) {
        const bool isRoot = folder == folder.root_path();
        const QString name = isRoot ? QStringLiteral("File System (/)")
                                    : QString::fromStdString(folder.filename().string());
        const QString icon = isRoot           ? QStringLiteral("internaldrive.fill")
                             : folder == home ? QStringLiteral("house.fill")
                                              : QStringLiteral("folder.fill");
        ancestors.push_back({folder, name, icon});
        if (isRoot)
            break;
        const Path parent = standardizedPath(folder.parent_path());
        if (parent == folder)
            break;
        folder = parent;
    }
    return ancestors;
}

std::vector<SiblingAudioEntry> TindrelStore::filteredSiblings() const {
    const QString query = siblingFilter->trimmed().toLower();
    if (query.isEmpty())
        return siblingFiles;
    std::vector<SiblingAudioEntry> matches;
    for (const SiblingAudioEntry& entry : siblingFiles.get()) {
        if (entry.name.toLower().contains(query))
            matches.push_back(entry);
    }
    return matches;
}

void TindrelStore::stepSibling(int delta) {
    const std::vector<SiblingAudioEntry> list = filteredSiblings();
    if (list.empty())
        return;
    const int count = static_cast<int>(list.size());
    int target = 0;
    const std::optional<Path> from = heldLoadTarget_ ? heldLoadTarget_ : currentURL.get();
    if (from) {
        const auto found = std::find_if(list.begin(), list.end(),
                                        [&](const SiblingAudioEntry& e) { return e.url == *from; });
        if (found != list.end()) {
            const int index = static_cast<int>(found - list.begin());
            target = ((index + delta) % count + count) % count;
        }
    }
    loadAndPlay(list[static_cast<size_t>(target)].url, true);
}

void TindrelStore::loadRecents() {
    std::vector<Path> recents;
    // Exports land beside the files they were made from.
    std::vector<Path> exportFolders;
    for (const Path& path : readRecentPaths(environment_.settingsFile)) {
        if (path.is_absolute() && std::find(exportFolders.begin(), exportFolders.end(),
                                            path.parent_path()) == exportFolders.end())
            exportFolders.push_back(path.parent_path());
        std::error_code error;
        if (!path.is_absolute() || !std::filesystem::exists(path, error))
            continue;
        if (std::find(recents.begin(), recents.end(), path) != recents.end())
            continue;
        recents.push_back(path);
        if (recents.size() == maximumRecentFiles)
            break;
    }
    recentFiles = std::move(recents);
    removeExportLeftoversInBackground(std::move(exportFolders));
}

void TindrelStore::addRecent(const Path& url) {
    recentFiles.mutate([&](std::vector<Path>& recents) {
        recents.erase(std::remove(recents.begin(), recents.end(), url), recents.end());
        recents.insert(recents.begin(), url);
        if (recents.size() > maximumRecentFiles)
            recents.resize(maximumRecentFiles);
    });
    storeRecentPaths();
}

void TindrelStore::storeRecentPaths() {
    // Each write waits for the disk; quick steps through a folder would otherwise wait for it
    // at every step.
    recentPathsUnsaved_ = true;
    const auto sinceWritten = std::chrono::steady_clock::now() - recentPathsWritten_;
    if (sinceWritten >= recentPathsWriteInterval) {
        writeUnsavedRecentPaths();
        return;
    }
    if (!recentPathsWriteTimer_.isActive())
        recentPathsWriteTimer_.start(
            std::chrono::ceil<std::chrono::milliseconds>(recentPathsWriteInterval - sinceWritten));
}

void TindrelStore::writeUnsavedRecentPaths() {
    if (!std::exchange(recentPathsUnsaved_, false))
        return;
    recentPathsWriteTimer_.stop();
    recentPathsWritten_ = std::chrono::steady_clock::now();
    // A failed write leaves the file as it was, and the list is written whole again at the
    // next change.
    writeRecentPaths(environment_.settingsFile, recentFiles.get());
}

} // namespace tindrel
