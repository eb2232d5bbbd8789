#pragma once

// The rows of the folder crate, read from the store: one file row per entry of the filtered
// sibling files; only while that list is empty, folder rows for the first 15 subfolders
// followed by a row for each recent file. It also knows the current file and whether it plays,
// for the current row's look. refresh() re-reads the store and tells the view only what
// changed (the rows, or just the current row's look), so the many store changes that touch
// neither (the playhead, the meters) cost a comparison and no repaint. GUI thread only.

#include "Tindrel/store/SiblingAudioEntry.h"

#include <QAbstractListModel>

#include <filesystem>
#include <optional>
#include <vector>

namespace tindrel {

class TindrelStore;

class FolderCrateModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum class RowKind { file, folder, recent };

    static constexpr size_t subfolderLimit = 15;

    explicit FolderCrateModel(QObject* parent = nullptr);

    void refresh(const TindrelStore& store);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    // Display: the row's title. Tool tip: the file's name (file and recent-file rows).
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // The number of entries of the filtered sibling files (0 while the fallback rows show).
    size_t fileCount() const { return files_.size(); }
    RowKind kind(int row) const;
    const std::filesystem::path& url(int row) const;
    QString title(int row) const;
    // The entry behind a file row; null for the other kinds.
    const SiblingAudioEntry* file(int row) const;
    bool isCurrent(int row) const;
    bool isPlaying() const { return isPlaying_; }

private:
    std::vector<SiblingAudioEntry> source_; // the store's unfiltered list, for comparison
    QString filter_;
    std::vector<SiblingAudioEntry> files_; // shown rows while not empty
    std::vector<std::filesystem::path> folders_;
    std::vector<std::filesystem::path> recents_;
    std::optional<std::filesystem::path> current_;
    bool isPlaying_ = false;
};

} // namespace tindrel
