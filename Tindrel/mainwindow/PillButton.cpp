#include "Tindrel/mainwindow/PillButton.h"

#include "Tindrel/platform/ui/SystemColors.h"
#include "Tindrel/platform/ui/SystemFont.h"

#include <cmath>

namespace tindrel {

using platform::FontWeight;
using platform::SystemColors;
using platform::SystemFont;

PillButton::PillButton(const QString& icon, const QString& title, std::optional<QColor> tint,
                       std::optional<qreal> minWidth, const QString& helpText, QWidget* parent)
    : ChipButton(parent), tint_(tint) {
    setSymbol(icon, 11);
    setTitleFont(SystemFont::font(11.5, FontWeight::semibold), true);
    setTitle(title);
    setPadding(10, 0);
    setSpacing(5);
    setLabelHeight(30);
    if (minWidth)
        setMinimumLabelWidth(int(std::ceil(*minWidth)));
    setToolTip(helpText);
    setLook(lookFor(tint_));
}

void PillButton::setTint(std::optional<QColor> tint) {
    tint_ = tint;
    setLook(lookFor(tint_));
}

ChipLook PillButton::lookFor(const std::optional<QColor>& tint) {
    if (!tint)
        return {SystemColors::white(0.08), SystemColors::white(0.08), SystemColors::primaryLabel(),
                6};
    QColor fill = *tint;
    fill.setAlphaF(float(tint->alphaF() * 0.22));
    QColor outline = *tint;
    outline.setAlphaF(float(tint->alphaF() * 0.45));
    return {fill, outline, *tint, 6};
}

} // namespace tindrel
