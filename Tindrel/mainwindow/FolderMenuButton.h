#pragma once

// The header's folder menu: a bordered button showing the browsed folder's path (cut at its
// start, so the last folder names stay visible; never wider than 300 points) that pops a menu
// built afresh each time it opens: the folder's ancestors up to the root, its first 25
// subfolders, the quick locations in the home folder, "Choose Any Folder..." and "Show in File
// Manager". Every folder item browses that folder and loads its first audio file without
// playing. Bound to the store, which it does not own. GUI thread only.

#include <QAbstractButton>

#include <filesystem>

class QMenu;

namespace tindrel {

class TindrelStore;

class FolderMenuButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit FolderMenuButton(TindrelStore& store, QWidget* parent = nullptr);

    static constexpr int maximumButtonWidth = 300;
    static constexpr int subfolderLimit = 25;

    QMenu& menu() const { return *menu_; }
    // Fills the menu from the store's present folder (run each time the menu opens).
    void rebuildMenu();
    // The path as drawn at the present width.
    QString displayedPath() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void chooseFolderRequested();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();
    void addHeading(const QString& title);
    void addFolderItem(const QString& title, const QString& symbol,
                       const std::filesystem::path& folder);
    qreal pathRoom() const;

    TindrelStore& store_;
    QMenu* menu_;
    QString path_;
};

} // namespace tindrel
