#pragma once

// The row of transport and warp controls under the meters: previous / play-pause / next,
// the loop switch, In, Out, play range and (with a range) clear, then the warp scope menu
// and one button per warp mode. It keeps no state: every control calls the store, and the
// look follows the store on each changed(). When the column is too narrow for one row, the
// warp group moves onto a second row instead of being clipped. GUI thread only.

#include "Tindrel/store/WarpMode.h"

#include <QWidget>

#include <array>

class QMenu;

namespace tindrel {

class ChipButton;
class PillButton;
class TindrelStore;
class TwoGroupRowLayout;

class TransportAndWarpBar : public QWidget {
    Q_OBJECT
public:
    explicit TransportAndWarpBar(TindrelStore& store, QWidget* parent = nullptr);

    // The controls, for tests and for the window's checks that they are on screen.
    ChipButton& previousButton() const;
    ChipButton& playButton() const { return *play_; }
    ChipButton& nextButton() const;
    ChipButton& loopSwitch() const { return *loop_; }
    PillButton& inButton() const { return *in_; }
    PillButton& outButton() const { return *out_; }
    PillButton& playRangeButton() const { return *playRange_; }
    PillButton& clearButton() const { return *clear_; }
    ChipButton& scopeButton() const { return *scope_; }
    QMenu& scopeMenu() const { return *scopeMenu_; }
    ChipButton& modeButton(WarpMode mode) const;
    bool isWarpGroupWrapped() const;

private:
    void refresh();
    void refreshScopeMenu();
    void playClicked();

    TindrelStore& store_;
    PillButton* previous_;
    ChipButton* play_;
    PillButton* next_;
    ChipButton* loop_;
    PillButton* in_;
    PillButton* out_;
    PillButton* playRange_;
    PillButton* clear_;
    ChipButton* scope_;
    QMenu* scopeMenu_;
    std::array<ChipButton*, 3> modes_{};
    TwoGroupRowLayout* layout_;
};

} // namespace tindrel
