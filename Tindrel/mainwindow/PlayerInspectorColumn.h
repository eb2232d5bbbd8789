#pragma once

// The main window's right-hand column. With a file loaded: the title line and the metric
// cards, the waveform canvas (at least 165 points tall, taking the spare height), the live
// meters, the transport and warp bar and the pitch and speed cards. Without one:
// a two-line hint, centred. The two states follow the store's spec on changed(). GUI thread
// only.

#include "Tindrel/mainwindow/RoundedPanel.h"

namespace tindrel {

class MetricCardGrid;
class PitchAndSpeedCards;
class StereoMeterStrip;
class TindrelStore;
class TitleLine;
class TransportAndWarpBar;

class PlayerInspectorColumn : public RoundedPanel {
    Q_OBJECT
public:
    explicit PlayerInspectorColumn(TindrelStore& store, QWidget* parent = nullptr);

    bool isShowingFile() const;
    const QWidget& emptyHint() const { return *emptyHint_; }
    TitleLine& titleLine() const { return *title_; }
    const MetricCardGrid& metricCards() const { return *cards_; }
    const QWidget& canvas() const { return *canvas_; }
    const StereoMeterStrip& meters() const { return *meters_; }
    TransportAndWarpBar& transportBar() const { return *transport_; }
    PitchAndSpeedCards& warpCards() const { return *warpCards_; }

private:
    void refresh();

    TindrelStore& store_;
    QWidget* emptyHint_;
    QWidget* loaded_;
    TitleLine* title_;
    MetricCardGrid* cards_;
    QWidget* canvas_;
    StereoMeterStrip* meters_;
    TransportAndWarpBar* transport_;
    PitchAndSpeedCards* warpCards_;
};

} // namespace tindrel
