#include "Tindrel/shell/TindrelSettingsPopover.h"

#include "Tindrel/mainwindow/ChipButton.h"
#include "Tindrel/mainwindow/ElidedLabel.h"
#include "Tindrel/mainwindow/RoundedPanel.h"
#include "Tindrel/platform/ui/SystemColors.h"
#include "Tindrel/shell/PopoverButtons.h"
#include "Tindrel/store/DefaultAudioHandlerRegistrar.h"
#include "Tindrel/store/TindrelStore.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>

namespace tindrel {

using platform::FontWeight;
using platform::SystemColors;
using platform::SystemFont;

namespace {

ElidedLabel* label(QWidget* parent, const QString& text, const QFont& font, const QColor& colour) {
    auto* l = new ElidedLabel(parent);
    l->setText(text);
    l->setTextFont(font);
    l->setColor(colour);
    l->setKeepsFullWidth(true);
    return l;
}

} // namespace

TindrelSettingsPopover::TindrelSettingsPopover(TindrelStore& store, QWidget* parent)
    : QWidget(parent), store_(store) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(14, 14, 14, 14);
    column->setSpacing(12);

    auto* header = new QHBoxLayout;
    header->setSpacing(8);
    header->addWidget(makeInertChip(this, QStringLiteral("gearshape.fill"), 13, {}, font(), false,
                                    SystemColors::cyan(), Qt::transparent, 0, 0, 0));
    header->addWidget(label(this, QStringLiteral("Tindrel Settings"),
                            SystemFont::font(13.5, FontWeight::bold),
                            SystemColors::primaryLabel()));
    header->addStretch(1);
    setAllDefault_ =
        makeProminentButton(this, {}, QStringLiteral("Set All Default"),
                            SystemFont::font(11, FontWeight::semibold), SystemColors::cyan());
    header->addWidget(setAllDefault_);
    column->addLayout(header);

    column->addWidget(label(this, QStringLiteral("Default Audio File Associations"),
                            SystemFont::font(11, FontWeight::semibold),
                            SystemColors::secondaryLabel()));

    auto* rows = new QVBoxLayout;
    rows->setSpacing(6);
    for (size_t i = 0; i < DefaultAudioHandlerRegistrar::formatAssociations().size(); ++i)
        rows->addWidget(makeRow(i));
    column->addLayout(rows);

    connect(setAllDefault_, &ChipButton::clicked, this, [this] {
        store_.makeTindrelDefaultForAllAudio();
        refresh();
    });
    connect(&store_, &TindrelStore::changed, this, &TindrelSettingsPopover::scheduleRefresh);
    refresh();
    setFixedSize(contentWidth, sizeHint().height());
}

QWidget* TindrelSettingsPopover::makeRow(size_t index) {
    const AudioFormatAssociation& association =
        DefaultAudioHandlerRegistrar::formatAssociations()[index];
    auto* panel = new RoundedPanel(this);
    panel->setLook(SystemColors::white(0.05), Qt::transparent, 6);
    auto* layout = new QHBoxLayout(panel);
    layout->setContentsMargins(10, 6, 10, 6);
    layout->setSpacing(8);
    layout->addWidget(label(panel, association.label, SystemFont::font(12, FontWeight::medium),
                            SystemColors::primaryLabel()));
    layout->addStretch(1);
    Row row{makeInertChip(panel, QStringLiteral("checkmark.circle.fill"), 11,
                          QStringLiteral("Default"), SystemFont::font(11, FontWeight::semibold),
                          false, SystemColors::green(), Qt::transparent, 0, 0, 0),
            makeBorderedButton(panel, {}, QStringLiteral("Make Default"),
                               SystemFont::font(10, FontWeight::regular), ControlSize::mini)};
    layout->addWidget(row.defaultMark);
    layout->addWidget(row.makeDefault);
    connect(row.makeDefault, &ChipButton::clicked, this, [this, association] {
        DefaultAudioHandlerRegistrar::registerFormat(association);
        refresh();
    });
    rows_.push_back(row);
    return panel;
}

bool TindrelSettingsPopover::showsDefault(size_t row) const {
    return !rows_.at(row).defaultMark->isHidden();
}

void TindrelSettingsPopover::scheduleRefresh() {
    if (refreshPending_)
        return;
    refreshPending_ = true;
    QTimer::singleShot(0, this, [this] {
        refreshPending_ = false;
        refresh();
    });
}

void TindrelSettingsPopover::refresh() {
    const auto& associations = DefaultAudioHandlerRegistrar::formatAssociations();
    for (size_t i = 0; i < rows_.size(); ++i) {
        const bool isDefault = DefaultAudioHandlerRegistrar::isDefault(associations[i].ext);
        rows_[i].defaultMark->setHidden(!isDefault);
        rows_[i].makeDefault->setHidden(isDefault);
    }
}

void TindrelSettingsPopover::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), QColor::fromRgbF(0.07f, 0.09f, 0.14f));
}

} // namespace tindrel
