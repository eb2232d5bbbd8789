#pragma once

// The content of the main window's Settings popup, 340 points wide: "Set All Default" and one
// row per audio format family that shows whether the desktop opens that family's files with
// Tindrel ("Default") or offers "Make Default". Every row asks the registrar again whenever
// the view is evaluated: when it is made (the popup makes a new one on each opening), after
// each of its two actions, and when the store announces a change (coalesced to once per turn
// of the event loop, as the store announces each playback tick).
//
// GUI thread only; holds a reference to the store, which must outlive it.

#include <QWidget>

#include <vector>

namespace tindrel {

class ChipButton;
class TindrelStore;

class TindrelSettingsPopover : public QWidget {
    Q_OBJECT
public:
    static constexpr int contentWidth = 340;

    explicit TindrelSettingsPopover(TindrelStore& store, QWidget* parent = nullptr);

    ChipButton& setAllDefaultButton() const { return *setAllDefault_; }
    size_t rowCount() const { return rows_.size(); }
    // The row's "Default" mark is shown (else its "Make Default" button).
    bool showsDefault(size_t row) const;
    ChipButton& makeDefaultButton(size_t row) const { return *rows_.at(row).makeDefault; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Row {
        ChipButton* defaultMark;
        ChipButton* makeDefault;
    };

    QWidget* makeRow(size_t index);
    void scheduleRefresh();
    void refresh();

    TindrelStore& store_;
    ChipButton* setAllDefault_;
    std::vector<Row> rows_;
    bool refreshPending_ = false;
};

} // namespace tindrel
