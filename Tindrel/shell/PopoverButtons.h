#pragma once

// The popovers' controls, all configurations of the main window's ChipButton: the bordered
// and the bordered-prominent button styles at the small (22 points tall) and mini (18 points)
// control sizes, and inert chips that only show a symbol and a text (badges, the "Default"
// mark, the title symbol). GUI thread only; the parent owns what is made.

#include "Tindrel/platform/ui/SystemFont.h"

#include <QColor>
#include <QString>

#include <optional>

class QWidget;

namespace tindrel {

class ChipButton;

enum class ControlSize { small, mini };

// A neutral bordered button; a tint colours its text and symbol.
ChipButton* makeBorderedButton(QWidget* parent, const QString& symbol, const QString& title,
                               const QFont& font, ControlSize size = ControlSize::small);
// A filled button in its tint.
ChipButton* makeProminentButton(QWidget* parent, const QString& symbol, const QString& title,
                                const QFont& font, const QColor& tint,
                                ControlSize size = ControlSize::small);
// Re-tints a prominent button (the loop switch).
void setProminentTint(ChipButton& button, const QColor& tint);

// A chip that takes no clicks: `foreground` text and symbol on `fill`, padded as given.
ChipButton* makeInertChip(QWidget* parent, const QString& symbol, qreal symbolSize,
                          const QString& title, const QFont& font, bool monospacedDigits,
                          const QColor& foreground, const QColor& fill, int paddingH, int paddingV,
                          qreal radius);

} // namespace tindrel
