#include "Tindrel/mainwindow/FolderCrateModel.h"

#include "Tindrel/store/TindrelStore.h"

#include <algorithm>

namespace tindrel {

namespace {

QString lastComponent(const std::filesystem::path& path) {
    return QString::fromStdString(path.filename().string());
}

} // namespace

FolderCrateModel::FolderCrateModel(QObject* parent) : QAbstractListModel(parent) {}

namespace {

// Equality by the paths' spelling: path::operator== splits both into components, which every
// store change (30 times a second while playing) would pay for each entry.
bool samePaths(const std::filesystem::path& a, const std::filesystem::path& b) {
    return a.native() == b.native();
}

bool sameEntries(const std::vector<SiblingAudioEntry>& a, const std::vector<SiblingAudioEntry>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return samePaths(x.url, y.url) && x.sizeBytes == y.sizeBytes && x.name == y.name &&
               x.ext == y.ext;
    });
}

} // namespace

void FolderCrateModel::refresh(const TindrelStore& store) {
    const std::vector<SiblingAudioEntry>& source = store.siblingFiles.get();
    const bool sourceChanged = !sameEntries(source_, source);
    const bool filesChanged = sourceChanged || filter_ != store.siblingFilter.get();
    const std::vector<std::filesystem::path>& subfolders = store.subfoldersInCurrentFolder.get();
    const auto shownSubfolders =
        subfolders.begin() + std::ptrdiff_t(std::min(subfolders.size(), subfolderLimit));
    const std::vector<std::filesystem::path>& recents = store.recentFiles.get();
    const bool fallbackChanged =
        !std::equal(folders_.begin(), folders_.end(), subfolders.begin(), shownSubfolders,
                    samePaths) ||
        !std::equal(recents_.begin(), recents_.end(), recents.begin(), recents.end(), samePaths);
    if (filesChanged || fallbackChanged) {
        beginResetModel();
        if (sourceChanged)
            source_ = source;
        if (filesChanged) {
            filter_ = store.siblingFilter.get();
            files_ = store.filteredSiblings();
        }
        folders_.assign(subfolders.begin(), shownSubfolders);
        recents_ = store.recentFiles.get();
        current_ = store.currentURL.get();
        isPlaying_ = store.isPlaying.get();
        endResetModel();
        return;
    }
    const std::optional<std::filesystem::path>& current = store.currentURL.get();
    if (current_.has_value() == current.has_value() &&
        (!current || samePaths(*current_, *current)) && isPlaying_ == store.isPlaying.get())
        return;
    current_ = store.currentURL.get();
    isPlaying_ = store.isPlaying.get();
    if (!files_.empty())
        emit dataChanged(index(0), index(rowCount() - 1));
}

int FolderCrateModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid())
        return 0;
    return int(files_.empty() ? folders_.size() + recents_.size() : files_.size());
}

QVariant FolderCrateModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const int row = index.row();
    if (role == Qt::DisplayRole)
        return title(row);
    if (role == Qt::ToolTipRole && kind(row) != RowKind::folder)
        return title(row);
    return {};
}

FolderCrateModel::RowKind FolderCrateModel::kind(int row) const {
    if (!files_.empty())
        return RowKind::file;
    return size_t(row) < folders_.size() ? RowKind::folder : RowKind::recent;
}

const std::filesystem::path& FolderCrateModel::url(int row) const {
    switch (kind(row)) {
    case RowKind::file:
        return files_[size_t(row)].url;
    case RowKind::folder:
        return folders_[size_t(row)];
    case RowKind::recent:
        break;
    }
    return recents_[size_t(row) - folders_.size()];
}

QString FolderCrateModel::title(int row) const {
    if (const SiblingAudioEntry* entry = file(row))
        return entry->name;
    return lastComponent(url(row));
}

const SiblingAudioEntry* FolderCrateModel::file(int row) const {
    return files_.empty() ? nullptr : &files_[size_t(row)];
}

bool FolderCrateModel::isCurrent(int row) const {
    return kind(row) == RowKind::file && current_ == files_[size_t(row)].url;
}

} // namespace tindrel
