#include "Tindrel/mainwindow/WarpValueCard.h"

#include "Tindrel/mainwindow/ChipButton.h"
#include "Tindrel/mainwindow/ElidedLabel.h"
#include "Tindrel/mainwindow/StyleSheetText.h"
#include "Tindrel/mainwindow/TightRow.h"
#include "Tindrel/platform/ui/SystemColors.h"
#include "Tindrel/platform/ui/SystemFont.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace tindrel {

using platform::FontWeight;
using platform::SystemColors;
using platform::SystemFont;

namespace {

ElidedLabel* fixedText(const QString& text, const QFont& font, const QColor& color,
                       QWidget* parent) {
    auto* label = new ElidedLabel(parent);
    label->setTextFont(font);
    label->setColor(color);
    label->setKeepsFullWidth(true);
    label->setText(text);
    return label;
}

ElidedLabel* sliderEndLabel(const QString& text, QWidget* parent) {
    ElidedLabel* label = fixedText(text, SystemFont::font(9.5, FontWeight::medium),
                                   SystemColors::secondaryLabel(), parent);
    label->setMonospacedDigits(true);
    return label;
}

QString sliderStyle(const QColor& accent) {
    return QStringLiteral(
               "QSlider { background: transparent; min-height: 14px; }"
               "QSlider::groove:horizontal { height: 4px; border-radius: 2px; background: %1; }"
               "QSlider::sub-page:horizontal { height: 4px; border-radius: 2px; background: %2; }"
               "QSlider::handle:horizontal { width: 12px; height: 12px; margin: -4px 0; "
               "border-radius: 6px; background: %3; }")
        .arg(styleSheetColor(SystemColors::white(0.16)), styleSheetColor(accent),
             styleSheetColor(SystemColors::white(0.92)));
}

} // namespace

WarpValueCard::WarpValueCard(const WarpValueCardSetup& setup, QWidget* parent)
    : RoundedPanel(parent), setup_(setup), chips_(tightRow(setup.headerSpacing)),
      field_(new QLineEdit(this)), slider_(new QSlider(Qt::Horizontal, this)) {
    QColor outline = setup.accent;
    outline.setAlphaF(0.22f);
    setLook(SystemColors::white(0.04), outline, 8);

    auto* typed = new QWidget(this);
    typed->setToolTip(setup.typedHelpText);
    auto* typedRow = tightRow(3);
    typed->setLayout(typedRow);
    field_->setParent(typed);
    field_->setPlaceholderText(setup.placeholder);
    field_->setFont(SystemFont::font(11.5, FontWeight::bold));
    field_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // 44 points of text with 5 on either side.
    field_->setFixedWidth(54);
    // Only a click gives it the keys: handing the focus on (a field closing, Tab) never lands
    // here, so Space and the arrows keep reaching the key table.
    field_->setFocusPolicy(Qt::ClickFocus);
    QColor stroke = setup.accent;
    stroke.setAlphaF(0.4f);
    field_->setStyleSheet(
        QStringLiteral("QLineEdit { background: %1; color: %2; border: 1px solid %3; "
                       "border-radius: 4px; padding: 1px 3px; }")
            .arg(styleSheetColor(SystemColors::black(0.45)),
                 styleSheetColor(SystemColors::primaryLabel()), styleSheetColor(stroke)));
    typedRow->addWidget(field_, 0, Qt::AlignVCenter);
    typedRow->addWidget(fixedText(setup.unit, SystemFont::font(10.5, FontWeight::semibold),
                                  SystemColors::secondaryLabel(), typed),
                        0, Qt::AlignVCenter);

    auto* header = tightRow(setup.headerSpacing);
    header->addWidget(
        fixedText(setup.title, SystemFont::font(10, FontWeight::bold), setup.accent, this), 0,
        Qt::AlignVCenter);
    header->addLayout(chips_);
    header->addStretch(1);
    header->addWidget(typed, 0, Qt::AlignVCenter);

    slider_->setRange(int(std::lround(setup.low * setup.sliderStepsPerUnit)),
                      int(std::lround(setup.high * setup.sliderStepsPerUnit)));
    slider_->setFocusPolicy(Qt::NoFocus);
    slider_->setStyleSheet(sliderStyle(setup.accent));
    auto* sliderRow = tightRow(8);
    sliderRow->addWidget(sliderEndLabel(setup.lowLabel, this), 0, Qt::AlignVCenter);
    sliderRow->addWidget(slider_, 1, Qt::AlignVCenter);
    sliderRow->addWidget(sliderEndLabel(setup.highLabel, this), 0, Qt::AlignVCenter);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(10, 7, 10, 7);
    column->setSpacing(6);
    column->addLayout(header);
    column->addLayout(sliderRow);

    connect(slider_, &QSlider::valueChanged, this, [this] { emit sliderMoved(sliderValue()); });
    connect(field_, &QLineEdit::textEdited, this, &WarpValueCard::textEdited);
    connect(field_, &QLineEdit::returnPressed, this, [this] {
        emit submitted();
        // The typed value is in: the keys belong to the key table again.
        if (QWidget* focused = window()->focusWidget())
            focused->clearFocus();
    });
}

ChipButton& WarpValueCard::addChip(const QString& title) {
    auto* chip = new ChipButton(this);
    chip->setTitle(title);
    chips_->addWidget(chip, 0, Qt::AlignVCenter);
    return *chip;
}

void WarpValueCard::showValue(double value) {
    const double clamped = std::clamp(value, setup_.low, setup_.high);
    const QSignalBlocker quiet(slider_);
    slider_->setValue(int(std::lround(clamped * setup_.sliderStepsPerUnit)));
}

void WarpValueCard::showText(const QString& text) {
    if (field_->text() != text)
        field_->setText(text);
}

double WarpValueCard::sliderValue() const {
    return double(slider_->value()) / setup_.sliderStepsPerUnit;
}

} // namespace tindrel
