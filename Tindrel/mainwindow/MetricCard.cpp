#include "Tindrel/mainwindow/MetricCard.h"

#include "Tindrel/mainwindow/ElidedLabel.h"
#include "Tindrel/platform/ui/SystemColors.h"
#include "Tindrel/platform/ui/SystemFont.h"

#include <QVBoxLayout>

namespace tindrel {

using platform::FontWeight;
using platform::SystemColors;
using platform::SystemFont;

namespace {

QColor withOpacity(QColor color, qreal opacity) {
    color.setAlphaF(float(color.alphaF() * opacity));
    return color;
}

} // namespace

MetricCard::MetricCard(QWidget* parent)
    : RoundedPanel(parent), caption_(new ElidedLabel(this)), value_(new ElidedLabel(this)) {
    caption_->setTextFont(SystemFont::font(9.5, FontWeight::bold));
    value_->setTextFont(SystemFont::font(13, FontWeight::bold));
    value_->setMonospacedDigits(true);
    value_->setColor(SystemColors::primaryLabel());
    for (ElidedLabel* label : {caption_, value_})
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(10, 5, 10, 5);
    column->setSpacing(2);
    column->addStretch(1);
    column->addWidget(caption_);
    column->addWidget(value_);
    column->addStretch(1);
    setFixedHeight(44);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

void MetricCard::setContent(const QString& label, const QString& value, const QColor& color) {
    caption_->setText(label);
    value_->setText(value);
    if (color == accent_)
        return;
    accent_ = color;
    caption_->setColor(withOpacity(color, 0.9));
    setLook(withOpacity(color, 0.12), withOpacity(color, 0.28), 7);
}

} // namespace tindrel
