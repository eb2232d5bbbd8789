#include "Tindrel/mainwindow/ElidedLabel.h"

#include "Tindrel/platform/ui/MonospacedDigitsText.h"
#include "Tindrel/platform/ui/SystemColors.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace tindrel {

using platform::MonospacedDigitsText;

namespace {

const QString ellipsis = QStringLiteral("\u2026");

} // namespace

ElidedLabel::ElidedLabel(QWidget* parent)
    : QWidget(parent), font_(font()), color_(platform::SystemColors::primaryLabel()) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void ElidedLabel::setText(const QString& text) {
    if (text == text_)
        return;
    const bool widthChanges = !monospacedDigits_ || text.size() != text_.size();
    text_ = text;
    changed(widthChanges);
}

void ElidedLabel::setTextFont(const QFont& font) {
    if (font == font_)
        return;
    font_ = font;
    changed(true);
}

void ElidedLabel::setColor(const QColor& color) {
    if (color == color_)
        return;
    color_ = color;
    changed(false);
}

void ElidedLabel::setElideMode(Qt::TextElideMode mode) {
    if (mode == elideMode_)
        return;
    elideMode_ = mode;
    changed(false);
}

void ElidedLabel::setAlignment(Qt::Alignment alignment) {
    if (alignment == alignment_)
        return;
    alignment_ = alignment;
    changed(false);
}

void ElidedLabel::setMonospacedDigits(bool on) {
    if (on == monospacedDigits_)
        return;
    monospacedDigits_ = on;
    changed(true);
}

void ElidedLabel::setKeepsFullWidth(bool on) {
    if (on == keepsFullWidth_)
        return;
    keepsFullWidth_ = on;
    setSizePolicy(on ? QSizePolicy::Fixed : QSizePolicy::Preferred, QSizePolicy::Fixed);
    changed(true);
}

void ElidedLabel::changed(bool geometry) {
    shown_.reset();
    if (geometry)
        updateGeometry();
    update();
}

qreal ElidedLabel::textWidth(const QString& text) const {
    if (monospacedDigits_) {
        // A running readout keeps one shape, so it is measured once.
        QString shape = text;
        for (QChar& c : shape)
            if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
                c = QLatin1Char('0');
        if (!measured_ || measured_->shape != shape || measured_->font != font_)
            measured_ =
                MeasuredShape{shape, font_, MonospacedDigitsText::size(shape, font_).width()};
        return measured_->width;
    }
    return QFontMetricsF(font_).horizontalAdvance(text);
}

QString ElidedLabel::displayedText() const {
    return shown().text;
}

const ElidedLabel::Shown& ElidedLabel::shown() const {
    if (!shown_) {
        const qreal full = textWidth(text_);
        QString text = full <= width() ? text_ : elidedText();
        const qreal drawnWidth = text == text_ ? full : textWidth(text);
        shown_ = Shown{std::move(text), drawnWidth};
    }
    return *shown_;
}

QString ElidedLabel::elidedText() const {
    const qreal room = width();
    if (!monospacedDigits_)
        return QFontMetricsF(font_).elidedText(text_, elideMode_, room);
    // Equal-width digits change the measure, so cut character by character.
    for (qsizetype keep = text_.size() - 1; keep > 0; --keep) {
        QString candidate;
        if (elideMode_ == Qt::ElideMiddle)
            candidate = text_.left((keep + 1) / 2) + ellipsis + text_.right(keep / 2);
        else
            candidate = text_.left(keep) + ellipsis;
        if (textWidth(candidate) <= room)
            return candidate;
    }
    return {};
}

bool ElidedLabel::isTruncated() const {
    return displayedText() != text_;
}

QSize ElidedLabel::sizeHint() const {
    const QFontMetricsF metrics(font_);
    return {int(std::ceil(textWidth(text_))), int(std::ceil(metrics.height()))};
}

QSize ElidedLabel::minimumSizeHint() const {
    if (keepsFullWidth_)
        return sizeHint();
    return {0, sizeHint().height()};
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
    shown_.reset();
    QWidget::resizeEvent(event);
}

void ElidedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setPen(color_);
    painter.setFont(font_);
    const QString& text = shown().text;
    const qreal shownWidth = shown().width;
    const qreal lineHeight = QFontMetricsF(font_).height();
    qreal x = 0;
    if (alignment_ & Qt::AlignRight)
        x = width() - shownWidth;
    else if (alignment_ & Qt::AlignHCenter)
        x = (width() - shownWidth) / 2;
    const qreal y = (height() - lineHeight) / 2;
    if (monospacedDigits_) {
        MonospacedDigitsText::draw(painter, QPointF(x, y), text, font_);
    } else {
        painter.drawText(QPointF(x, y + QFontMetricsF(font_).ascent()), text);
    }
}

} // namespace tindrel
