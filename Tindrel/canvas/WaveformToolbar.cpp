#include "Tindrel/canvas/WaveformToolbar.h"

#include "Tindrel/canvas/TextPill.h"
#include "Tindrel/canvas/WaveformToolbarChip.h"
#include "Tindrel/platform/text/LocaleFreeNumber.h"
#include "Tindrel/platform/ui/SystemColors.h"
#include "Tindrel/store/TindrelStore.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace tindrel {

using platform::FontWeight;
using platform::SystemColors;

namespace {

constexpr double kZoomedThreshold = 1.01;

// A rounded translucent box behind a group of chips.
class ChipGroup final : public QWidget {
public:
    explicit ChipGroup(QWidget* parent) : QWidget(parent) {
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(3, 3, 3, 3);
        layout->setSpacing(3);
        layout->setAlignment(Qt::AlignVCenter);
    }
    void add(QWidget* chip) { static_cast<QHBoxLayout*>(layout())->addWidget(chip); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath box;
        box.addRoundedRect(QRectF(rect()), 6, 6);
        painter.fillPath(box, SystemColors::black(0.75));
    }
};

// The "Window a – b" readout; not a control.
class WindowPill final : public QWidget {
public:
    explicit WindowPill(QWidget* parent) : QWidget(parent) {}

    void setText(const QString& text) {
        if (text == text_)
            return;
        text_ = text;
        updateGeometry();
        update();
    }
    const QString& text() const { return text_; }
    QSize sizeHint() const override {
        const QSizeF size = TextPill::size(text_, style());
        return {int(std::ceil(size.width())), int(std::ceil(size.height()))};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        TextPill::draw(painter, QRectF(QPointF(0, 0), TextPill::size(text_, style())), text_,
                       style());
    }

private:
    static TextPillStyle style() {
        return {
            9.5, FontWeight::semibold, true, SystemColors::cyan(), SystemColors::black(0.72), 6, 3,
            4};
    }
    QString text_;
};

WaveformToolbarChipStyle textChip(const QString& text) {
    return {QString(),
            text,
            FontWeight::bold,
            false,
            6,
            3,
            SystemColors::primaryLabel(),
            SystemColors::white(0.1)};
}

WaveformToolbarChipStyle symbolChip(const QString& symbol) {
    return {symbol,
            QString(),
            FontWeight::bold,
            false,
            5,
            3,
            SystemColors::primaryLabel(),
            SystemColors::white(0.1)};
}

WaveformToolbarChip* makeChip(QWidget* parent, const WaveformToolbarChipStyle& style,
                              const QString& help) {
    auto* chip = new WaveformToolbarChip(parent);
    chip->setChipStyle(style);
    chip->setToolTip(help);
    return chip;
}

// The click twin of Ctrl+Tab, the keyboard's extend-range modifier; Alt as well.
bool extendsRange(Qt::KeyboardModifiers modifiers) {
    return modifiers.testAnyFlags(Qt::ControlModifier | Qt::AltModifier);
}

} // namespace

WaveformToolbar::WaveformToolbar(TindrelStore& store, QWidget* parent)
    : QWidget(parent), store_(store) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 6, 8, 0);
    row->setSpacing(5);

    windowPill_ = new WindowPill(this);
    row->addWidget(windowPill_, 0, Qt::AlignVCenter);
    row->addStretch(1);

    auto* transients = new ChipGroup(this);
    markers_ =
        makeChip(transients, {}, QStringLiteral("Toggle Transient Onset Markers on Waveform"));
    previous_ = makeChip(transients, textChip(QStringLiteral("⇤ ⇧Tab")),
                         QStringLiteral("Jump to Previous Transient (Shift+Tab) · "
                                        "Ctrl+Shift+Tab extends range"));
    next_ = makeChip(transients, textChip(QStringLiteral("Tab ⇥")),
                     QStringLiteral("Jump to Next Transient (Tab) · Ctrl+Tab extends range"));
    transients->add(markers_);
    transients->add(previous_);
    transients->add(next_);
    row->addWidget(transients, 0, Qt::AlignVCenter);

    auto* zoom = new ChipGroup(this);
    panLeft_ = makeChip(zoom, symbolChip(QStringLiteral("chevron.left")),
                        QStringLiteral("Pan Zoomed Waveform Left"));
    zoomOut_ = makeChip(zoom, textChip(QStringLiteral("\U0001F50D- (R)")),
                        QStringLiteral("Zoom Out Waveform Horizontally (R key)"));
    zoomReadout_ = makeChip(zoom, {}, QStringLiteral("Click to reset Waveform Zoom to 1.0x"));
    zoomIn_ = makeChip(zoom, textChip(QStringLiteral("\U0001F50D+ (T)")),
                       QStringLiteral("Zoom In Waveform Horizontally (T key)"));
    panRight_ = makeChip(zoom, symbolChip(QStringLiteral("chevron.right")),
                         QStringLiteral("Pan Zoomed Waveform Right"));
    for (WaveformToolbarChip* chip : {panLeft_, zoomOut_, zoomReadout_, zoomIn_, panRight_})
        zoom->add(chip);
    row->addWidget(zoom, 0, Qt::AlignVCenter);

    connect(markers_, &QAbstractButton::clicked, this,
            [this] { store_.showTransientMarkers = !store_.showTransientMarkers.get(); });
    connect(previous_, &QAbstractButton::clicked, this,
            [this] { store_.jumpToPreviousTransient(extendsRange(previous_->clickModifiers())); });
    connect(next_, &QAbstractButton::clicked, this,
            [this] { store_.jumpToNextTransient(extendsRange(next_->clickModifiers())); });
    connect(panLeft_, &QAbstractButton::clicked, this,
            [this] { store_.panWaveform(-0.35 * store_.visibleFracSpan()); });
    connect(panRight_, &QAbstractButton::clicked, this,
            [this] { store_.panWaveform(0.35 * store_.visibleFracSpan()); });
    connect(zoomOut_, &QAbstractButton::clicked, this, [this] { store_.zoomOutWaveform(); });
    connect(zoomReadout_, &QAbstractButton::clicked, this, [this] { store_.resetWaveformZoom(); });
    connect(zoomIn_, &QAbstractButton::clicked, this, [this] { store_.zoomInWaveform(); });

    refresh(0, 0, 0);
}

QString WaveformToolbar::windowPillText() const {
    return static_cast<WindowPill*>(windowPill_)->text();
}

void WaveformToolbar::refresh(double t0, double t1, int transientCount) {
    const double zoomFactor = store_.waveformZoom.get();
    const bool zoomed = zoomFactor > kZoomedThreshold;
    const bool markersShown = store_.showTransientMarkers.get();

    static_cast<WindowPill*>(windowPill_)
        ->setText(QStringLiteral("Window ") + TindrelStore::formatTime(t0) + QStringLiteral(" – ") +
                  TindrelStore::formatTime(t1));
    windowPill_->setVisible(zoomed);
    panLeft_->setVisible(zoomed);
    panRight_->setVisible(zoomed);

    markers_->setChipStyle({QStringLiteral("arrow.right.to.line"),
                            QString::fromStdString(formatNumber("Transients (%d)", transientCount)),
                            FontWeight::bold, true, 6, 3,
                            markersShown ? SystemColors::orange() : SystemColors::secondaryLabel(),
                            markersShown ? SystemColors::orange(0.28) : SystemColors::white(0.08)});
    zoomReadout_->setChipStyle(
        {QString(), QString::fromStdString(formatNumber("%.1fx", zoomFactor)), FontWeight::heavy,
         true, 6, 3, zoomed ? SystemColors::cyan() : SystemColors::secondaryLabel(),
         zoomed ? SystemColors::cyan(0.28) : SystemColors::white(0.08)});
}

} // namespace tindrel
