#include "Tindrel/canvas/TextPill.h"

#include "Tindrel/platform/ui/MonospacedDigitsText.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

namespace tindrel {

using platform::MonospacedDigitsText;
using platform::SystemFont;

namespace {

QSizeF textSize(const QString& text, const QFont& font, bool monospacedDigits) {
    if (monospacedDigits)
        return MonospacedDigitsText::size(text, font);
    const QFontMetricsF metrics(font);
    return {metrics.horizontalAdvance(text), metrics.height()};
}

} // namespace

QSizeF TextPill::size(const QString& text, const TextPillStyle& style) {
    const QSizeF inner =
        textSize(text, SystemFont::font(style.fontSize, style.weight), style.monospacedDigits);
    return {inner.width() + 2 * style.horizontalPadding,
            inner.height() + 2 * style.verticalPadding};
}

void TextPill::draw(QPainter& painter, const QRectF& box, const QString& text,
                    const TextPillStyle& style) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath background;
    background.addRoundedRect(box, style.cornerRadius, style.cornerRadius);
    painter.fillPath(background, style.background);
    const QFont font = SystemFont::font(style.fontSize, style.weight);
    const QPointF origin(box.left() + style.horizontalPadding, box.top() + style.verticalPadding);
    painter.setClipPath(background);
    painter.setPen(style.text);
    if (style.monospacedDigits) {
        MonospacedDigitsText::draw(painter, origin, text, font);
    } else {
        painter.setFont(font);
        painter.drawText(QPointF(origin.x(), origin.y() + QFontMetricsF(font).ascent()), text);
    }
    painter.restore();
}

} // namespace tindrel
