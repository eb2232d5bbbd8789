#pragma once

// One small control of the canvas toolbar: a rounded chip showing a symbol, a text, or a
// symbol and a text side by side, on a translucent background. It remembers the keyboard
// modifiers of the click that triggered it, so an action can read them as they were at the
// moment of the click. GUI thread only.

#include "Tindrel/platform/ui/SystemFont.h"

#include <QAbstractButton>
#include <QColor>

namespace tindrel {

struct WaveformToolbarChipStyle {
    QString symbol; // symbol name, or empty
    QString text;   // or empty
    platform::FontWeight weight = platform::FontWeight::bold;
    bool monospacedDigits = false;
    double horizontalPadding = 6;
    double verticalPadding = 3;
    QColor foreground;
    QColor background;
};

class WaveformToolbarChip final : public QAbstractButton {
    Q_OBJECT

public:
    explicit WaveformToolbarChip(QWidget* parent = nullptr);

    void setChipStyle(const WaveformToolbarChipStyle& style);
    const WaveformToolbarChipStyle& chipStyle() const { return style_; }
    Qt::KeyboardModifiers clickModifiers() const { return clickModifiers_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    static constexpr double fontSize = 9.5;
    static constexpr double cornerRadius = 4;
    static constexpr double symbolTextSpacing = 3;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QSizeF contentSize() const;
    double symbolSide() const;

    WaveformToolbarChipStyle style_;
    Qt::KeyboardModifiers clickModifiers_;
};

} // namespace tindrel
