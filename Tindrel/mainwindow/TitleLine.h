#pragma once

// The player column's first line: the loaded file's name (cut in the middle when long) with
// its "Rename" button, or, while the store is renaming, the rename editor (name field bound
// to the store's draft, the kept extension, Save and Cancel); then the playhead and the
// file's length with equal-width digits. Follows the store's changed(): the playhead text is
// the only thing that changes on each tick. GUI thread only.

#include <QWidget>

#include <string>

class QLineEdit;
class QPushButton;

namespace tindrel {

class ChipButton;
class ElidedLabel;
class TindrelStore;

class TitleLine : public QWidget {
    Q_OBJECT
public:
    explicit TitleLine(TindrelStore& store, QWidget* parent = nullptr);

    const ElidedLabel& fileName() const { return *name_; }
    const ElidedLabel& timeReadout() const { return *time_; }
    ChipButton& renameButton() const { return *rename_; }
    QLineEdit& nameField() const { return *field_; }
    const ElidedLabel& extensionLabel() const { return *extension_; }
    QPushButton& saveButton() const { return *save_; }
    QPushButton& cancelButton() const { return *cancel_; }
    bool isEditorShown() const;

private:
    void refresh();

    TindrelStore& store_;
    QWidget* nameArea_;
    ElidedLabel* name_;
    ChipButton* rename_;
    QWidget* editor_;
    QLineEdit* field_;
    ElidedLabel* extension_;
    QPushButton* save_;
    QPushButton* cancel_;
    ElidedLabel* time_;
    // What the name and the duration were last drawn from: each store change (every tick
    // while playing) would otherwise convert and format them anew.
    std::string shownPath_;
    std::string shownFileName_;
    double shownDuration_ = -1;
    QString durationText_;
};

} // namespace tindrel
