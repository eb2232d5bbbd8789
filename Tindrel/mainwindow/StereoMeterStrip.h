#pragma once

// The live meter strip under the waveform: "LIVE METER" and one bar each for the store's
// left and right output levels. Follows the store's changed(), during playback at the pace of
// the UI tick; only the bars whose level moved repaint. GUI thread only.

#include "Tindrel/mainwindow/RoundedPanel.h"

namespace tindrel {

class MeterChannelBar;
class TindrelStore;

class StereoMeterStrip : public RoundedPanel {
    Q_OBJECT
public:
    explicit StereoMeterStrip(TindrelStore& store, QWidget* parent = nullptr);

    const MeterChannelBar& left() const { return *left_; }
    const MeterChannelBar& right() const { return *right_; }

private:
    void refresh();

    TindrelStore& store_;
    MeterChannelBar* left_;
    MeterChannelBar* right_;
    double levelsDrawnAt_ = -1; // the playhead when the shown levels were taken
};

} // namespace tindrel
