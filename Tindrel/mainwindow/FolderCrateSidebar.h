#pragma once

// The folder crate, the main window's left column (295 points wide): a header with the number
// of shown files and the "Up" button, a filter field bound to the store's sibling filter, and
// the list of the folder's audio files (or, when none passes the filter, its subfolders and the
// recent files). A click plays a file or browses a folder; a file row's context menu renames,
// copies or shows in the file manager that row's file, whichever file is current.
//
// Keeps no state of its own: everything it shows is re-read from the store on each change.
// The store and the two desktop services are not owned and must outlive it. GUI thread only.

#include "Tindrel/mainwindow/RoundedPanel.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

class QLineEdit;
class QMenu;

namespace tindrel {

namespace platform {
class FileClipboard;
class FileRevealer;
} // namespace platform

class ChipButton;
class FolderCrateList;
class FolderCrateModel;
class SymbolLabel;
class TindrelStore;

class FolderCrateSidebar : public RoundedPanel {
    Q_OBJECT
public:
    FolderCrateSidebar(TindrelStore& store, platform::FileRevealer& revealer,
                       platform::FileClipboard& clipboard, QWidget* parent = nullptr);

    static constexpr int columnWidth = 295;

    // What a click on the row does.
    void activateRow(int row);
    // The context menu of a file row ("Rename File...", "Copy Audio File", "Show in File
    // Manager"); null for the other rows. The caller runs and owns it.
    std::unique_ptr<QMenu> makeRowMenu(int row);

    const FolderCrateModel& model() const { return *model_; }
    FolderCrateList& list() const { return *list_; }
    QLineEdit& filterField() const { return *filter_; }
    ChipButton& upButton() const { return *up_; }
    ChipButton& clearFilterButton() const { return *clear_; }
    QString headerTitle() const;

private:
    void refresh();
    void renameRowFile(const std::filesystem::path& file);

    TindrelStore& store_;
    platform::FileRevealer& revealer_;
    platform::FileClipboard& clipboard_;
    FolderCrateModel* model_;
    SymbolLabel* count_;
    ChipButton* up_;
    QLineEdit* filter_;
    ChipButton* clear_;
    FolderCrateList* list_;
    // What the count and the Up button last showed: every store change (each tick while
    // playing) would otherwise format and measure them anew.
    std::optional<size_t> shownCount_;
    std::optional<std::string> shownFolder_;
};

} // namespace tindrel
