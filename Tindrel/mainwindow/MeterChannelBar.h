#pragma once

// One channel of the live meter: its label ("L" or "R"), an 8-point bar whose level runs
// linearly from -60 dB (empty) to 0 dB (full) through a green-mint-yellow-red gradient, and
// a "%5.1f dB" readout with equal-width digits. A level that is not a finite number shows as
// the -60 dB floor. Repaints only when the level changes. GUI thread only.

#include <QWidget>

namespace tindrel {

class ElidedLabel;

class MeterChannelBar : public QWidget {
    Q_OBJECT
public:
    MeterChannelBar(const QString& label, QWidget* parent = nullptr);

    void setLevel(float db);

    // The part of the bar's width that the level fills, 0 to 1.
    static float levelFraction(float db);
    static QString readoutText(float db);

    float fraction() const { return levelFraction(db_); }
    QString readout() const;
    // The bar itself (track and level), for pixel checks.
    QWidget& bar() const;

private:
    class Bar;
    float db_ = -60.0f;
    Bar* bar_;
    ElidedLabel* readout_;
};

} // namespace tindrel
