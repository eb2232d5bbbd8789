#include "Tindrel/shell/PopoverButtons.h"

#include "Tindrel/mainwindow/ChipButton.h"
#include "Tindrel/platform/ui/SystemColors.h"

namespace tindrel {

using platform::SystemColors;

namespace {

ChipButton* makeButton(QWidget* parent, const QString& symbol, const QString& title,
                       const QFont& font, ControlSize size) {
    auto* button = new ChipButton(parent);
    const bool small = size == ControlSize::small;
    button->setSymbol(symbol, small ? 10.5 : 9);
    button->setTitleFont(font, false);
    button->setTitle(title);
    button->setPadding(small ? 8 : 7, 0);
    button->setSpacing(4);
    button->setLabelHeight(small ? 22 : 18);
    return button;
}

// Bright tints (cyan, mint, orange) carry dark text, as the main window's play button does;
// gray and the darker ones white.
QColor textOn(const QColor& tint) {
    const double luma = 0.299 * tint.redF() + 0.587 * tint.greenF() + 0.114 * tint.blueF();
    return luma > 0.6 ? SystemColors::black() : SystemColors::white();
}

} // namespace

ChipButton* makeBorderedButton(QWidget* parent, const QString& symbol, const QString& title,
                               const QFont& font, ControlSize size) {
    ChipButton* button = makeButton(parent, symbol, title, font, size);
    button->setLook(
        {SystemColors::white(0.1), SystemColors::white(0.14), SystemColors::primaryLabel(), 5});
    return button;
}

ChipButton* makeProminentButton(QWidget* parent, const QString& symbol, const QString& title,
                                const QFont& font, const QColor& tint, ControlSize size) {
    ChipButton* button = makeButton(parent, symbol, title, font, size);
    setProminentTint(*button, tint);
    return button;
}

void setProminentTint(ChipButton& button, const QColor& tint) {
    button.setLook({tint, Qt::transparent, textOn(tint), 5});
}

ChipButton* makeInertChip(QWidget* parent, const QString& symbol, qreal symbolSize,
                          const QString& title, const QFont& font, bool monospacedDigits,
                          const QColor& foreground, const QColor& fill, int paddingH, int paddingV,
                          qreal radius) {
    auto* chip = new ChipButton(parent);
    chip->setAttribute(Qt::WA_TransparentForMouseEvents);
    chip->setSymbol(symbol, symbolSize);
    chip->setTitleFont(font, monospacedDigits);
    chip->setTitle(title);
    chip->setPadding(paddingH, paddingV);
    chip->setSpacing(4);
    chip->setLook({fill, Qt::transparent, foreground, radius});
    return chip;
}

} // namespace tindrel
