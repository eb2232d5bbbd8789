#pragma once

// The tray's mini player, 410 x 255 points: the open file's name and playback time, four
// measurement badges (while a file record exists), the waveform at 82 points (no toolbar),
// the transport row (previous, play/pause, next, loop, pitch -1 / readout / +1) and the row
// "Copy File", "Open Window", "Exit". It keeps no state: every control calls the store, and
// the look follows the store on each changed(). "Exit" shuts the store's gate, cleans the store up
// (which stops a decode or an export in progress) and asks the application to quit.
//
// GUI thread only; holds a reference to the store, which must outlive it.

#include <QWidget>

#include <array>

namespace tindrel {

class ChipButton;
class ElidedLabel;
class TindrelStore;
class WaveformScrubberCanvas;

class TindrelMiniPopoverView : public QWidget {
    Q_OBJECT
public:
    static constexpr QSize contentSize{410, 255};

    explicit TindrelMiniPopoverView(TindrelStore& store, QWidget* parent = nullptr);

    // What it shows and holds, for tests.
    const ElidedLabel& fileName() const { return *name_; }
    const ElidedLabel& timeText() const { return *time_; }
    const QWidget& badgeRow() const { return *badgeRow_; }
    // LUFS-I, true peak, sample rate, bit depth.
    const ChipButton& badge(size_t index) const { return *badges_.at(index); }
    WaveformScrubberCanvas& canvas() const { return *canvas_; }
    ChipButton& previousButton() const { return *previous_; }
    ChipButton& playButton() const { return *play_; }
    ChipButton& nextButton() const { return *next_; }
    ChipButton& loopButton() const { return *loop_; }
    ChipButton& pitchDownButton() const { return *pitchDown_; }
    const ElidedLabel& pitchReadout() const { return *pitch_; }
    ChipButton& pitchUpButton() const { return *pitchUp_; }
    ChipButton& copyFileButton() const { return *copyFile_; }
    ChipButton& openWindowButton() const { return *openWindow_; }
    ChipButton& exitButton() const { return *exit_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QLayout* makeTitleRow();
    QLayout* makeTransportRow();
    QLayout* makeActionRow();
    void refresh();
    void exitProgram();

    TindrelStore& store_;
    ElidedLabel* name_ = nullptr;
    ElidedLabel* time_ = nullptr;
    QWidget* badgeRow_ = nullptr;
    std::array<ChipButton*, 4> badges_{};
    WaveformScrubberCanvas* canvas_ = nullptr;
    ChipButton* previous_ = nullptr;
    ChipButton* play_ = nullptr;
    ChipButton* next_ = nullptr;
    ChipButton* loop_ = nullptr;
    ChipButton* pitchDown_ = nullptr;
    ElidedLabel* pitch_ = nullptr;
    ChipButton* pitchUp_ = nullptr;
    ChipButton* copyFile_ = nullptr;
    ChipButton* openWindow_ = nullptr;
    ChipButton* exit_ = nullptr;
};

} // namespace tindrel
