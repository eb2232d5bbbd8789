#pragma once

// The main window's one shared button shape: 30 points tall, an optional symbol (11 pt
// semibold) and an optional title (11.5 pt semibold, equal-width digits), 10 points of room
// on each side, at least `minWidth` wide and otherwise as wide as its content, so a long
// title widens the pill and is never cut. Neutral without a tint, coloured by it otherwise.
// The help text is its tool tip. GUI thread only.

#include "Tindrel/mainwindow/ChipButton.h"

#include <optional>

namespace tindrel {

class PillButton : public ChipButton {
    Q_OBJECT
public:
    PillButton(const QString& icon, const QString& title, std::optional<QColor> tint,
               std::optional<qreal> minWidth, const QString& helpText, QWidget* parent = nullptr);

    void setTint(std::optional<QColor> tint);
    const std::optional<QColor>& tint() const { return tint_; }

    static ChipLook lookFor(const std::optional<QColor>& tint);

private:
    std::optional<QColor> tint_;
};

} // namespace tindrel
