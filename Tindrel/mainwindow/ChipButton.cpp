#include "Tindrel/mainwindow/ChipButton.h"

#include "Tindrel/platform/ui/MonospacedDigitsText.h"
#include "Tindrel/platform/ui/SymbolImages.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace tindrel {

using platform::MonospacedDigitsText;
using platform::SymbolImages;

ChipButton::ChipButton(QWidget* parent) : QAbstractButton(parent), titleFont_(font()) {
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void ChipButton::setSymbol(const QString& name, qreal pointSize) {
    if (name == symbol_ && pointSize == symbolPointSize_)
        return;
    const bool sizeChanges = name.isEmpty() != symbol_.isEmpty() || pointSize != symbolPointSize_;
    symbol_ = name;
    symbolPointSize_ = pointSize;
    if (sizeChanges)
        relayout();
    update();
}

void ChipButton::setTitle(const QString& title) {
    if (title == title_)
        return;
    // With equal-width digits a title of the same length keeps its width (a running time).
    const bool sizeChanges = !monospacedDigits_ || title.size() != title_.size();
    title_ = title;
    setAccessibleName(title);
    if (sizeChanges)
        relayout();
    update();
}

void ChipButton::setTitleFont(const QFont& font, bool monospacedDigits) {
    if (font == titleFont_ && monospacedDigits == monospacedDigits_)
        return;
    titleFont_ = font;
    monospacedDigits_ = monospacedDigits;
    relayout();
}

void ChipButton::setLook(const ChipLook& look) {
    if (look == look_)
        return;
    look_ = look;
    update();
}

void ChipButton::setSymbolColor(std::optional<QColor> color) {
    if (color == symbolColor_)
        return;
    symbolColor_ = color;
    update();
}

void ChipButton::setPadding(int horizontal, int vertical) {
    paddingH_ = horizontal;
    paddingV_ = vertical;
    relayout();
}

void ChipButton::setSpacing(int spacing) {
    spacing_ = spacing;
    relayout();
}

void ChipButton::setFixedLabelSize(std::optional<QSize> size) {
    fixedLabelSize_ = size;
    relayout();
}

void ChipButton::setMinimumLabelWidth(int width) {
    minimumLabelWidth_ = width;
    relayout();
}

void ChipButton::setLabelHeight(std::optional<int> height) {
    labelHeight_ = height;
    relayout();
}

void ChipButton::setPullDownIndicator(bool shown) {
    pullDownIndicator_ = shown;
    relayout();
}

void ChipButton::relayout() {
    updateGeometry();
    update();
}

qreal ChipButton::symbolSide() const {
    return std::round(symbolPointSize_ * 1.2);
}

namespace {

constexpr qreal chevronWidth = 7;
constexpr qreal chevronHeight = 4;
constexpr qreal chevronTrailingInset = 7;

} // namespace

qreal ChipButton::indicatorSpace() const {
    return pullDownIndicator_ ? chevronWidth + chevronTrailingInset : 0;
}

QSizeF ChipButton::contentSize() const {
    qreal width = 0;
    qreal height = 0;
    if (!symbol_.isEmpty()) {
        width = symbolSide();
        height = symbolSide();
    }
    if (!title_.isEmpty()) {
        const QSizeF text = monospacedDigits_
                                ? MonospacedDigitsText::size(title_, titleFont_)
                                : QSizeF(QFontMetricsF(titleFont_).horizontalAdvance(title_),
                                         QFontMetricsF(titleFont_).height());
        width += (width > 0 ? spacing_ : 0) + text.width();
        height = std::max(height, text.height());
    }
    return {width, height};
}

QSize ChipButton::sizeHint() const {
    if (fixedLabelSize_)
        return *fixedLabelSize_;
    const QSizeF content = contentSize();
    const int width = std::max(minimumLabelWidth_,
                               int(std::ceil(content.width() + indicatorSpace())) + 2 * paddingH_);
    const int height =
        labelHeight_ ? *labelHeight_ : int(std::ceil(content.height())) + 2 * paddingV_;
    return {width, height};
}

QSize ChipButton::minimumSizeHint() const {
    return sizeHint();
}

void ChipButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled())
        painter.setOpacity(0.4);

    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath shape;
    shape.addRoundedRect(box, look_.radius, look_.radius);
    painter.fillPath(shape, look_.fill);
    if (look_.outline.alpha() > 0) {
        painter.setPen(QPen(look_.outline, 1));
        painter.drawPath(shape);
    }

    const QSizeF content = contentSize();
    qreal x = (width() - indicatorSpace() - content.width()) / 2;
    if (pullDownIndicator_) {
        const qreal right = width() - chevronTrailingInset;
        const qreal top = (height() - chevronHeight) / 2;
        painter.setPen(QPen(look_.foreground, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPolyline(QPolygonF{QPointF(right - chevronWidth, top),
                                       QPointF(right - chevronWidth / 2, top + chevronHeight),
                                       QPointF(right, top)});
    }
    if (!symbol_.isEmpty()) {
        const qreal side = symbolSide();
        SymbolImages::draw(painter, QRectF(x, (height() - side) / 2, side, side), symbol_,
                           symbolColor_.value_or(look_.foreground));
        x += side + spacing_;
    }
    if (!title_.isEmpty()) {
        painter.setPen(look_.foreground);
        painter.setFont(titleFont_);
        const QFontMetricsF metrics(titleFont_);
        const qreal top = (height() - metrics.height()) / 2;
        if (monospacedDigits_)
            MonospacedDigitsText::draw(painter, QPointF(x, top), title_, titleFont_);
        else
            painter.drawText(QPointF(x, top + metrics.ascent()), title_);
    }
}

} // namespace tindrel
