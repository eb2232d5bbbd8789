#pragma once

// The whole content of the main window: the header, the folder crate and the player column
// side by side, the update row and the footer, on the window's dark gradient, never
// smaller than 1180 x 660. Files dropped anywhere on it, its text fields included, are opened
// (the first local one only; links to anything but local files are refused); it runs the two open
// panels and the Settings pop-up, and reports the header's Exit (after the store's clean-up) and
// the update installer's hand-over to whoever ends the program. Bound to the one store, which it
// does not own; owns the program's one update store and the desktop services that the crate's row
// actions use. GUI thread only.

#include <QWidget>

#include <filesystem>
#include <functional>
#include <memory>

namespace velmo {
class VelmoUpdateStore;
}

namespace tindrel {

namespace platform {
class FileClipboard;
class FileRevealer;
} // namespace platform

class FolderCrateSidebar;
class FooterBar;
class HeaderBar;
class PlayerInspectorColumn;
class SettingsPopup;
class TindrelStore;

class TindrelMainView : public QWidget {
    Q_OBJECT
public:
    explicit TindrelMainView(TindrelStore& store, QWidget* parent = nullptr);
    ~TindrelMainView() override;

    static constexpr QSize idealSize{1240, 700};
    static constexpr QSize minimumContentSize{1180, 660};

    // Asks for a folder, then browses it and loads its first audio file without playing.
    void chooseFolderPanel();
    // Asks for a file or a folder: a folder is browsed as above, a file is played.
    void openAudioFilePanel();

    // What the Settings pop-up holds, made anew each time it opens; until it is set the pop-up
    // opens empty.
    void setSettingsPopoverContent(std::function<QWidget*(QWidget* parent)> makeContent);
    // Whether the Settings pop-up shows. The Settings button flips it; a click outside the
    // pop-up closes it and sets it back to false.
    bool showSettingsPopover() const { return showSettingsPopover_; }
    void setShowSettingsPopover(bool show);

    HeaderBar& header() const { return *header_; }
    FolderCrateSidebar& crate() const { return *crate_; }
    SettingsPopup& settingsPopup() const { return *settingsPopup_; }
    PlayerInspectorColumn& playerColumn() const { return *column_; }
    const FooterBar& footer() const { return *footer_; }
    velmo::VelmoUpdateStore& updateStore() const { return *updateStore_; }

signals:
    // The header's Exit (after the store's clean-up), or the update installer handing over to
    // the new program: the program should end.
    void exitRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void toggleSettingsPopover();

    TindrelStore& store_;
    std::unique_ptr<platform::FileRevealer> revealer_;
    std::unique_ptr<platform::FileClipboard> clipboard_;
    HeaderBar* header_;
    FolderCrateSidebar* crate_;
    PlayerInspectorColumn* column_;
    FooterBar* footer_;
    SettingsPopup* settingsPopup_;
    bool showSettingsPopover_ = false;
    velmo::VelmoUpdateStore* updateStore_ = nullptr;
};

} // namespace tindrel
