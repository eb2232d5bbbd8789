#include "Tindrel/mainwindow/StereoMeterStrip.h"

#include "Tindrel/mainwindow/ElidedLabel.h"
#include "Tindrel/mainwindow/MeterChannelBar.h"
#include "Tindrel/platform/ui/SystemColors.h"
#include "Tindrel/platform/ui/SystemFont.h"
#include "Tindrel/store/TindrelStore.h"

#include <QHBoxLayout>

namespace tindrel {

using platform::FontWeight;
using platform::SystemColors;
using platform::SystemFont;

StereoMeterStrip::StereoMeterStrip(TindrelStore& store, QWidget* parent)
    : RoundedPanel(parent), store_(store), left_(new MeterChannelBar(QStringLiteral("L"), this)),
      right_(new MeterChannelBar(QStringLiteral("R"), this)) {
    setLook(SystemColors::white(0.04), Qt::transparent, 7);
    auto* caption = new ElidedLabel(this);
    caption->setTextFont(SystemFont::font(10, FontWeight::bold));
    caption->setColor(SystemColors::secondaryLabel());
    caption->setText(QStringLiteral("LIVE METER"));
    caption->setKeepsFullWidth(true);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(10, 6, 10, 6);
    row->setSpacing(12);
    row->addWidget(caption, 0, Qt::AlignVCenter);
    row->addWidget(left_, 1);
    row->addWidget(right_, 1);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);

    connect(&store_, &TindrelStore::changed, this, &StereoMeterStrip::refresh);
    refresh();
}

void StereoMeterStrip::refresh() {
    // While playing, levels arrive with every block of output, more often than the UI tick;
    // they are drawn when the tick moves the playhead, so that one repaint carries both.
    const double playhead = store_.currentTime.get();
    if (store_.isPlaying.get() && playhead == levelsDrawnAt_)
        return;
    levelsDrawnAt_ = playhead;
    left_->setLevel(store_.meterLeftDB.get());
    right_->setLevel(store_.meterRightDB.get());
}

} // namespace tindrel
