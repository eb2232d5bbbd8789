#include "Tindrel/mainwindow/SymbolLabel.h"

#include "Tindrel/platform/ui/SymbolImages.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tindrel {

using platform::SymbolImages;

namespace {

constexpr int spacing = 5;

} // namespace

SymbolLabel::SymbolLabel(const QString& symbol, qreal pointSize, const QColor& symbolColor,
                         QWidget* parent)
    : QWidget(parent), symbol_(symbol), pointSize_(pointSize), symbolColor_(symbolColor),
      titleFont_(font()), titleColor_(symbolColor) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SymbolLabel::setTitle(const QString& title) {
    if (title == title_)
        return;
    title_ = title;
    setAccessibleName(title);
    updateGeometry();
    update();
}

void SymbolLabel::setTitleLook(const QFont& font, const QColor& color) {
    if (font == titleFont_ && color == titleColor_)
        return;
    titleFont_ = font;
    titleColor_ = color;
    updateGeometry();
    update();
}

qreal SymbolLabel::symbolSide() const {
    return std::round(pointSize_ * 1.2);
}

QSize SymbolLabel::sizeHint() const {
    qreal width = symbolSide();
    qreal height = symbolSide();
    if (!title_.isEmpty()) {
        const QFontMetricsF metrics(titleFont_);
        width += spacing + metrics.horizontalAdvance(title_);
        height = std::max(height, metrics.height());
    }
    return {int(std::ceil(width)), int(std::ceil(height))};
}

QSize SymbolLabel::minimumSizeHint() const {
    return sizeHint();
}

void SymbolLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal side = symbolSide();
    SymbolImages::draw(painter, QRectF(0, (height() - side) / 2, side, side), symbol_,
                       symbolColor_);
    if (title_.isEmpty())
        return;
    const QFontMetricsF metrics(titleFont_);
    painter.setFont(titleFont_);
    painter.setPen(titleColor_);
    painter.drawText(QPointF(side + spacing, (height() - metrics.height()) / 2 + metrics.ascent()),
                     title_);
}

} // namespace tindrel
