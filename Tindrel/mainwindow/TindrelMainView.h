#pragma once

// The whole content of the main window: the header's place, the folder crate's place and the
// player column side by side, the update row and the footer, on the window's dark
// gradient, never smaller than 1180 x 660. It owns the program's one update store. Files dropped
// anywhere on it are opened (the first local one only; links to anything but local files are
// refused), and it runs the two open panels. Bound to the one store, which it does not own. GUI
// thread only.

#include <QWidget>

#include <filesystem>

namespace velmo {
class VelmoUpdateStore;
}

namespace tindrel {

class FooterBar;
class PlayerInspectorColumn;
class TindrelStore;

class TindrelMainView : public QWidget {
    Q_OBJECT
public:
    explicit TindrelMainView(TindrelStore& store, QWidget* parent = nullptr);

    static constexpr QSize idealSize{1240, 700};
    static constexpr QSize minimumContentSize{1180, 660};

    // Asks for a folder, then browses it and loads its first audio file without playing.
    void chooseFolderPanel();
    // Asks for a file or a folder: a folder is browsed as above, a file is played.
    void openAudioFilePanel();

    PlayerInspectorColumn& playerColumn() const { return *column_; }
    const FooterBar& footer() const { return *footer_; }
    velmo::VelmoUpdateStore& updateStore() const { return *updateStore_; }

signals:
    // The update installer has handed over to the new program and asks the application to end.
    void terminateRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    TindrelStore& store_;
    PlayerInspectorColumn* column_;
    FooterBar* footer_;
    velmo::VelmoUpdateStore* updateStore_ = nullptr;
};

} // namespace tindrel
