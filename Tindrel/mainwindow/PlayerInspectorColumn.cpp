#include "Tindrel/mainwindow/PlayerInspectorColumn.h"

#include "Tindrel/canvas/WaveformScrubberCanvas.h"
#include "Tindrel/mainwindow/ElidedLabel.h"
#include "Tindrel/mainwindow/MetricCardGrid.h"
#include "Tindrel/mainwindow/PitchAndSpeedCards.h"
#include "Tindrel/mainwindow/StereoMeterStrip.h"
#include "Tindrel/mainwindow/TitleLine.h"
#include "Tindrel/mainwindow/TransportAndWarpBar.h"
#include "Tindrel/platform/ui/SystemColors.h"
#include "Tindrel/platform/ui/SystemFont.h"
#include "Tindrel/store/TindrelStore.h"

#include <QVBoxLayout>

namespace tindrel {

using platform::FontWeight;
using platform::SystemColors;
using platform::SystemFont;

namespace {

QVBoxLayout* tightColumn(QWidget* owner, int spacing) {
    auto* column = new QVBoxLayout(owner);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(spacing);
    return column;
}

ElidedLabel* hintLine(const QString& text, const QFont& font, const QColor& color,
                      QWidget* parent) {
    auto* line = new ElidedLabel(parent);
    line->setTextFont(font);
    line->setColor(color);
    line->setText(text);
    return line;
}

} // namespace

PlayerInspectorColumn::PlayerInspectorColumn(TindrelStore& store, QWidget* parent)
    : RoundedPanel(parent), store_(store), emptyHint_(new QWidget(this)),
      loaded_(new QWidget(this)) {
    setLook(SystemColors::black(0.28), SystemColors::mint(0.22), 10);

    auto* hint = tightColumn(emptyHint_, 4);
    hint->addWidget(
        hintLine(QStringLiteral("Drop any audio file here or double-click in the file manager"),
                 SystemFont::font(15, FontWeight::bold), SystemColors::primaryLabel(), emptyHint_));
    hint->addWidget(hintLine(QStringLiteral("Supports .wav, .aiff, .mp3, .flac, .m4a (AAC & Opus), "
                                            ".ogg, and .caf"),
                             SystemFont::font(12), SystemColors::secondaryLabel(), emptyHint_));

    auto* top = new QWidget(loaded_);
    auto* topColumn = tightColumn(top, 8);
    title_ = new TitleLine(store_, top);
    cards_ = new MetricCardGrid(store_, top);
    topColumn->addWidget(title_);
    topColumn->addWidget(cards_);

    canvas_ = new WaveformScrubberCanvas(store_, loaded_);
    canvas_->setMinimumHeight(165);
    canvas_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    meters_ = new StereoMeterStrip(store_, loaded_);
    transport_ = new TransportAndWarpBar(store_, loaded_);
    warpCards_ = new PitchAndSpeedCards(store_, loaded_);

    auto* content = tightColumn(loaded_, 10);
    content->addWidget(top);
    content->addWidget(canvas_, 1);
    content->addWidget(meters_);
    content->addWidget(transport_);
    content->addWidget(warpCards_);

    auto* frame = new QVBoxLayout(this);
    frame->setContentsMargins(12, 12, 12, 12);
    frame->setSpacing(0);
    frame->addWidget(emptyHint_, 0, Qt::AlignCenter);
    frame->addWidget(loaded_, 1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    connect(&store_, &TindrelStore::changed, this, &PlayerInspectorColumn::refresh);
    refresh();
}

bool PlayerInspectorColumn::isShowingFile() const {
    return !loaded_->isHidden();
}

void PlayerInspectorColumn::refresh() {
    const bool hasFile = store_.spec->has_value();
    if (hasFile == isShowingFile() && emptyHint_->isHidden() == hasFile)
        return;
    emptyHint_->setVisible(!hasFile);
    loaded_->setVisible(hasFile);
}

} // namespace tindrel
