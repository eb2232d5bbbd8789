#pragma once

// One of the two warp cards under the transport bar: a header row of the title, preset chips
// (added by the owner), spare room and a typed-value field with its unit, then a slider row
// between its two end labels, in a rounded frame outlined in the card's accent colour.
// The card holds no value: its owner shows the store's value and text in it and turns the
// signals into store calls. The slider moves in integer steps fine enough that its value in
// units is continuous to the owner's rounding. Moving the thumb from the store never emits.
// GUI thread only; children are owned through Qt's parent tree.

#include "Tindrel/mainwindow/RoundedPanel.h"

#include <QColor>
#include <QString>

class QHBoxLayout;
class QLineEdit;
class QSlider;

namespace tindrel {

class ChipButton;

struct WarpValueCardSetup {
    QString title;
    QColor accent;
    int headerSpacing = 5;
    QString placeholder;
    QString unit;
    QString typedHelpText; // the tool tip of the field and its unit
    QString lowLabel;
    QString highLabel;
    double low = 0; // the slider's span, in the card's unit
    double high = 1;
    int sliderStepsPerUnit = 100;
};

class WarpValueCard : public RoundedPanel {
    Q_OBJECT
public:
    explicit WarpValueCard(const WarpValueCardSetup& setup, QWidget* parent = nullptr);

    // A chip after the title and the chips added before it. The owner styles it.
    ChipButton& addChip(const QString& title);

    // Puts the thumb at `value` clamped to the span, without emitting sliderMoved().
    void showValue(double value);
    // Shows the store's text unless the field already holds it (typing keeps its cursor).
    void showText(const QString& text);

    QLineEdit& field() const { return *field_; }
    QSlider& slider() const { return *slider_; }
    // The thumb's place in the card's unit.
    double sliderValue() const;
    const WarpValueCardSetup& setup() const { return setup_; }

signals:
    // The user moved the thumb; `value` in the card's unit, not rounded.
    void sliderMoved(double value);
    // A keystroke changed the field's text.
    void textEdited(const QString& text);
    // Return in the field. The field gives up the keyboard focus after the owner acted.
    void submitted();

private:
    WarpValueCardSetup setup_;
    QHBoxLayout* chips_;
    QLineEdit* field_;
    QSlider* slider_;
};

} // namespace tindrel
