#pragma once

// The last row of the player column: the PITCH card (orange, semitones) and the SPEED card
// (mint, rate) side by side, sharing the width. Each sets its value by preset chips, a typed
// field committed with Return, or a slider (pitch to 0.1 st over -12...12, speed to 0.01x
// over 0.25...2.5); values beyond a slider's span leave its thumb at the end. It keeps no
// state: every control calls the store's warp setters, and the chips' looks, the thumbs and
// the field texts follow the store on each changed() without calling it back. GUI thread only.

#include <QWidget>

#include <array>

namespace tindrel {

class ChipButton;
class TindrelStore;
class WarpValueCard;

class PitchAndSpeedCards : public QWidget {
    Q_OBJECT
public:
    static constexpr std::array<float, 5> pitchPresets{-12.0f, -1.0f, 0.0f, 1.0f, 12.0f};
    static constexpr std::array<float, 6> speedPresets{0.5f, 0.75f, 1.0f, 1.25f, 1.5f, 2.0f};

    explicit PitchAndSpeedCards(TindrelStore& store, QWidget* parent = nullptr);

    WarpValueCard& pitchCard() const { return *pitch_; }
    WarpValueCard& speedCard() const { return *speed_; }
    // The chip of pitchPresets[index] / speedPresets[index].
    ChipButton& pitchChip(size_t index) const { return *pitchChips_.at(index); }
    ChipButton& speedChip(size_t index) const { return *speedChips_.at(index); }

private:
    void pitchChipClicked(float preset);
    void refresh();

    TindrelStore& store_;
    WarpValueCard* pitch_;
    WarpValueCard* speed_;
    std::array<ChipButton*, pitchPresets.size()> pitchChips_{};
    std::array<ChipButton*, speedPresets.size()> speedChips_{};
};

} // namespace tindrel
