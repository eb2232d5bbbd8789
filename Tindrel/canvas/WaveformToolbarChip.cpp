#include "Tindrel/canvas/WaveformToolbarChip.h"

#include "Tindrel/platform/ui/MonospacedDigitsText.h"
#include "Tindrel/platform/ui/SymbolImages.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace tindrel {

using platform::MonospacedDigitsText;
using platform::SymbolImages;
using platform::SystemFont;

WaveformToolbarChip::WaveformToolbarChip(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::NoFocus);
}

void WaveformToolbarChip::setChipStyle(const WaveformToolbarChipStyle& style) {
    const bool resized = style.text != style_.text || style.symbol != style_.symbol ||
                         style.weight != style_.weight ||
                         style.monospacedDigits != style_.monospacedDigits ||
                         style.horizontalPadding != style_.horizontalPadding ||
                         style.verticalPadding != style_.verticalPadding;
    const bool recoloured =
        style.foreground != style_.foreground || style.background != style_.background;
    if (!resized && !recoloured)
        return;
    style_ = style;
    setAccessibleName(style.text.isEmpty() ? style.symbol : style.text);
    if (resized)
        updateGeometry();
    update();
}

double WaveformToolbarChip::symbolSide() const {
    return std::round(QFontMetricsF(SystemFont::font(fontSize, style_.weight)).ascent());
}

QSizeF WaveformToolbarChip::contentSize() const {
    const QFont font = SystemFont::font(fontSize, style_.weight);
    QSizeF text(0, QFontMetricsF(font).height());
    if (!style_.text.isEmpty())
        text = style_.monospacedDigits ? MonospacedDigitsText::size(style_.text, font)
                                       : QSizeF(QFontMetricsF(font).horizontalAdvance(style_.text),
                                                QFontMetricsF(font).height());
    double width = text.width();
    if (!style_.symbol.isEmpty())
        width += symbolSide() + (style_.text.isEmpty() ? 0 : symbolTextSpacing);
    return {width, text.height()};
}

QSize WaveformToolbarChip::sizeHint() const {
    const QSizeF content = contentSize();
    return {int(std::ceil(content.width() + 2 * style_.horizontalPadding)),
            int(std::ceil(content.height() + 2 * style_.verticalPadding))};
}

void WaveformToolbarChip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath background;
    background.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    painter.fillPath(background, style_.background);

    const QFont font = SystemFont::font(fontSize, style_.weight);
    const QSizeF content = contentSize();
    double x = (width() - content.width()) / 2;
    const double top = (height() - content.height()) / 2;
    if (!style_.symbol.isEmpty()) {
        const double side = symbolSide();
        SymbolImages::draw(painter, QRectF(x, top + (content.height() - side) / 2, side, side),
                           style_.symbol, style_.foreground);
        x += side + symbolTextSpacing;
    }
    if (style_.text.isEmpty())
        return;
    painter.setPen(style_.foreground);
    if (style_.monospacedDigits) {
        MonospacedDigitsText::draw(painter, QPointF(x, top), style_.text, font);
    } else {
        painter.setFont(font);
        painter.drawText(QPointF(x, top + QFontMetricsF(font).ascent()), style_.text);
    }
}

void WaveformToolbarChip::mousePressEvent(QMouseEvent* event) {
    clickModifiers_ = event->modifiers();
    QAbstractButton::mousePressEvent(event);
}

void WaveformToolbarChip::mouseReleaseEvent(QMouseEvent* event) {
    // The action runs from this release: its modifiers are those held at the click.
    clickModifiers_ = event->modifiers();
    QAbstractButton::mouseReleaseEvent(event);
}

} // namespace tindrel
