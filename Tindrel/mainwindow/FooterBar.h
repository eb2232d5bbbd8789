#pragma once

// The main window's bottom row: a status dot (green while playing, cyan otherwise), the
// store's status line on one line, and the fixed key legend. Bound to the store: refreshes on
// changed() and repaints only what differs. GUI thread only.

#include <QWidget>

namespace tindrel {

class ElidedLabel;
class TindrelStore;

class FooterBar : public QWidget {
    Q_OBJECT
public:
    explicit FooterBar(TindrelStore& store, QWidget* parent = nullptr);

    // The keys it names follow the keyboard table and the waveform's range drag.
    static QString keyLegend();

    QColor statusDotColor() const;
    const ElidedLabel& statusLine() const { return *statusLine_; }

private:
    class StatusDot;
    void refresh();

    TindrelStore& store_;
    StatusDot* dot_;
    ElidedLabel* statusLine_;
};

} // namespace tindrel
