#pragma once

// The main window's top row: the logo and name, back and forward through the folder history,
// the folder menu, then on the right "Export Modified", "Copy File" and "Reveal" (usable only
// with a current file), "Open File...", "Settings" and "Exit". It keeps no state: it shows the
// store and calls it; what belongs to the main view (the open panels, the settings pop-up,
// leaving the program) it asks for through its signals. GUI thread only.

#include <QWidget>

namespace tindrel {

class ChipButton;
class FolderMenuButton;
class PillButton;
class TindrelStore;

class HeaderBar : public QWidget {
    Q_OBJECT
public:
    explicit HeaderBar(TindrelStore& store, QWidget* parent = nullptr);

    ChipButton& backButton() const { return *back_; }
    ChipButton& forwardButton() const { return *forward_; }
    FolderMenuButton& folderMenu() const { return *folderMenu_; }
    PillButton& exportButton() const { return *export_; }
    PillButton& copyButton() const { return *copy_; }
    PillButton& revealButton() const { return *reveal_; }
    PillButton& openButton() const { return *open_; }
    ChipButton& settingsButton() const { return *settings_; }
    PillButton& exitButton() const { return *exit_; }

signals:
    void openFileRequested();
    void chooseFolderRequested();
    void settingsClicked();
    void exitClicked();

private:
    class LogoBadge;
    ChipButton* historyButton(const QString& symbol, const QString& helpText);
    void refresh();

    TindrelStore& store_;
    ChipButton* back_;
    ChipButton* forward_;
    FolderMenuButton* folderMenu_;
    PillButton* export_;
    PillButton* copy_;
    PillButton* reveal_;
    PillButton* open_;
    ChipButton* settings_;
    PillButton* exit_;
};

} // namespace tindrel
