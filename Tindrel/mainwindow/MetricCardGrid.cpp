#include "Tindrel/mainwindow/MetricCardGrid.h"

#include "Tindrel/mainwindow/MetricCard.h"
#include "Tindrel/platform/text/LocaleFreeNumber.h"
#include "Tindrel/platform/ui/SystemColors.h"
#include "Tindrel/store/TindrelStore.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace tindrel {

using platform::SystemColors;

namespace {

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

MetricCardGrid::MetricCardGrid(TindrelStore& store, QWidget* parent)
    : QWidget(parent), store_(store) {
    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(6);
    for (int r = 0; r < 2; ++r) {
        auto* row = new QHBoxLayout;
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(8);
        for (int c = 0; c < 4; ++c) {
            auto* card = new MetricCard(this);
            row->addWidget(card, 1);
            cards_[size_t(r * 4 + c)] = card;
        }
        rows->addLayout(row);
    }
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    connect(&store_, &TindrelStore::changed, this, &MetricCardGrid::refresh);
    refresh();
}

void MetricCardGrid::refresh() {
    const std::optional<AudioFileSpec>& spec = store_.spec.get();
    if (!spec)
        return;
    const Shown now{spec->lufsIntegrated, spec->lufsShortTermMax, spec->truePeakDBTP,
                    spec->rmsDB,          spec->crestDB,          spec->sampleRate,
                    spec->bitDepth,       spec->channels,         spec->formatName,
                    spec->fileSizeBytes};
    if (shown_ == now)
        return;
    shown_ = now;
    const double truePeak = spec->truePeakDBTP;
    cards_[0]->setContent(QStringLiteral("INTEGRATED LOUDNESS"),
                          text(formatNumber("%.1f LUFS", double(spec->lufsIntegrated))),
                          SystemColors::green());
    cards_[1]->setContent(QStringLiteral("SHORT-TERM MAX"),
                          text(formatNumber("%.1f LUFS", double(spec->lufsShortTermMax))),
                          SystemColors::mint());
    // Compared in single precision: exactly -0.2 stays cyan.
    cards_[2]->setContent(QStringLiteral("TRUE PEAK"), text(formatNumber("%.1f dBTP", truePeak)),
                          spec->truePeakDBTP > -0.2f ? SystemColors::red() : SystemColors::cyan());
    cards_[3]->setContent(
        QStringLiteral("RMS & CREST"),
        text(formatNumber("%.1f dB \u00b7 %.1f dB", double(spec->rmsDB), double(spec->crestDB))),
        SystemColors::orange());
    cards_[4]->setContent(QStringLiteral("SAMPLE RATE & DEPTH"),
                          text(spec->sampleRateLabel()) +
                              text(formatNumber(" \u00b7 %d-bit", int(spec->bitDepth))),
                          SystemColors::cyan());
    cards_[5]->setContent(QStringLiteral("CHANNELS"), text(spec->channelLabel()),
                          SystemColors::blue());
    cards_[6]->setContent(QStringLiteral("FORMAT"), text(spec->formatName), SystemColors::purple());
    cards_[7]->setContent(QStringLiteral("FILE SIZE"), text(spec->fileSizeLabel()),
                          SystemColors::secondaryLabel());
}

} // namespace tindrel
