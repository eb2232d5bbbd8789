#include "Tindrel/mainwindow/PitchAndSpeedCards.h"

#include "Tindrel/mainwindow/ChipButton.h"
#include "Tindrel/mainwindow/WarpValueCard.h"
#include "Tindrel/platform/text/LocaleFreeNumber.h"
#include "Tindrel/platform/ui/SystemColors.h"
#include "Tindrel/platform/ui/SystemFont.h"
#include "Tindrel/store/TindrelStore.h"

#include <QHBoxLayout>

#include <cmath>

namespace tindrel {

using platform::FontWeight;
using platform::SystemColors;
using platform::SystemFont;

namespace {

// Halves away from zero, as the sliders' values are meant to land.
double roundedTo(double value, double stepsPerUnit) {
    return std::round(value * stepsPerUnit) / stepsPerUnit;
}

WarpValueCardSetup pitchSetup() {
    return {QStringLiteral("PITCH"),
            SystemColors::orange(),
            5,
            QStringLiteral("0.0"),
            QStringLiteral("st"),
            QStringLiteral("Type any exact semitone shift (e.g. -2.5, +3, 0.4) and press Return"),
            QStringLiteral("-12"),
            QStringLiteral("+12"),
            -12.0,
            12.0,
            100};
}

WarpValueCardSetup speedSetup() {
    return {
        QStringLiteral("SPEED"),
        SystemColors::mint(),
        4,
        QStringLiteral("1.00"),
        QStringLiteral("x"),
        QStringLiteral("Type any exact playback speed (e.g. 0.85, 1.12, 1.33) and press Return"),
        QStringLiteral("0.25x"),
        QStringLiteral("2.5x"),
        0.25,
        2.5,
        1000};
}

ChipButton& presetChip(WarpValueCard& card, const QString& title, int horizontalPadding) {
    ChipButton& chip = card.addChip(title);
    chip.setTitleFont(SystemFont::font(10.5, FontWeight::semibold), true);
    chip.setPadding(horizontalPadding, 3);
    return chip;
}

QString pitchChipTitle(float preset) {
    return preset == 0.0f ? QStringLiteral("0 st")
                          : QString::fromStdString(formatNumber("%+.0f", double(preset)));
}

} // namespace

PitchAndSpeedCards::PitchAndSpeedCards(TindrelStore& store, QWidget* parent)
    : QWidget(parent), store_(store), pitch_(new WarpValueCard(pitchSetup(), this)),
      speed_(new WarpValueCard(speedSetup(), this)) {
    for (size_t i = 0; i < pitchPresets.size(); ++i) {
        const float preset = pitchPresets[i];
        pitchChips_[i] = &presetChip(*pitch_, pitchChipTitle(preset), 7);
        connect(pitchChips_[i], &ChipButton::clicked, this,
                [this, preset] { pitchChipClicked(preset); });
    }
    for (size_t i = 0; i < speedPresets.size(); ++i) {
        const float rate = speedPresets[i];
        speedChips_[i] =
            &presetChip(*speed_, QString::fromStdString(formatNumber("%gx", double(rate))), 6);
        connect(speedChips_[i], &ChipButton::clicked, this,
                [this, rate] { store_.setPlaybackRate(rate); });
    }

    connect(pitch_, &WarpValueCard::sliderMoved, this,
            [this](double value) { store_.setPitchSemitones(float(roundedTo(value, 10))); });
    connect(speed_, &WarpValueCard::sliderMoved, this,
            [this](double value) { store_.setPlaybackRate(float(roundedTo(value, 100))); });
    connect(pitch_, &WarpValueCard::textEdited, this,
            [this](const QString& text) { store_.pitchInputText = text; });
    connect(speed_, &WarpValueCard::textEdited, this,
            [this](const QString& text) { store_.speedInputText = text; });
    connect(pitch_, &WarpValueCard::submitted, this, [this] { store_.commitTypedPitch(); });
    connect(speed_, &WarpValueCard::submitted, this, [this] { store_.commitTypedSpeed(); });

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);
    row->addWidget(pitch_, 1, Qt::AlignVCenter);
    row->addWidget(speed_, 1, Qt::AlignVCenter);

    connect(&store_, &TindrelStore::changed, this, &PitchAndSpeedCards::refresh);
    refresh();
}

void PitchAndSpeedCards::pitchChipClicked(float preset) {
    // 0 and the octaves set the pitch outright; the semitone chips nudge it.
    if (preset == 0.0f)
        store_.setPitchSemitones(0.0f);
    else if (std::fabs(preset) == 12.0f)
        store_.setPitchSemitones(preset);
    else
        store_.stepPitchSemitones(preset);
}

void PitchAndSpeedCards::refresh() {
    const float pitch = store_.pitchSemitones.get();
    for (size_t i = 0; i < pitchPresets.size(); ++i) {
        // Only "0 st" lights up, and only while the pitch is shifted: it is the way back.
        const bool highlighted = pitchPresets[i] == 0.0f && pitch != 0.0f;
        pitchChips_[i]->setLook(highlighted ? ChipLook{SystemColors::orange(0.22), Qt::transparent,
                                                       SystemColors::orange(), 4}
                                            : ChipLook{SystemColors::white(0.08), Qt::transparent,
                                                       SystemColors::primaryLabel(), 4});
    }

    const float rate = store_.playbackRate.get();
    static const QFont selectedFont = SystemFont::font(10.5, FontWeight::bold);
    static const QFont chipFont = SystemFont::font(10.5, FontWeight::semibold);
    for (size_t i = 0; i < speedPresets.size(); ++i) {
        const bool selected = std::fabs(rate - speedPresets[i]) < 0.01f;
        speedChips_[i]->setTitleFont(selected ? selectedFont : chipFont, true);
        speedChips_[i]->setLook(
            selected ? ChipLook{SystemColors::mint(), Qt::transparent, SystemColors::black(), 4}
                     : ChipLook{SystemColors::white(0.08), Qt::transparent,
                                SystemColors::primaryLabel(), 4});
    }

    pitch_->showValue(pitch);
    speed_->showValue(rate);
    pitch_->showText(store_.pitchInputText.get());
    speed_->showText(store_.speedInputText.get());
}

} // namespace tindrel
