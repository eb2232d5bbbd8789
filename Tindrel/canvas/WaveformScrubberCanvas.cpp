#include "Tindrel/canvas/WaveformScrubberCanvas.h"

#include "Tindrel/canvas/RangeLayout.h"
#include "Tindrel/canvas/TextPill.h"
#include "Tindrel/canvas/WaveformToolbar.h"
#include "Tindrel/platform/ui/SerialPaintBands.h"
#include "Tindrel/platform/ui/SystemColors.h"
#include "Tindrel/store/TindrelStore.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>

#include <cmath>

namespace tindrel {

using platform::FontWeight;
using platform::SystemColors;

namespace {

constexpr double kCornerRadius = 10;

TextPillStyle handleTagStyle() {
    return {8.5, FontWeight::heavy, false, SystemColors::black(), SystemColors::orange(), 4, 1.5,
            3};
}

TextPillStyle summaryPillStyle() {
    return {9.5, FontWeight::bold, true, SystemColors::orange(), SystemColors::black(0.75), 7, 2.5,
            4};
}

void releaseKeyboardFocus() {
    if (QWidget* window = QApplication::activeWindow())
        if (QWidget* focused = window->focusWidget())
            focused->clearFocus();
}

bool sweepModifierHeld(const QMouseEvent* event) {
    return event->modifiers() & (Qt::AltModifier | Qt::ShiftModifier);
}

} // namespace

WaveformScrubberCanvas::WaveformScrubberCanvas(TindrelStore& store, QWidget* parent)
    : QWidget(parent), store_(store), drag_(store) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setFocusPolicy(Qt::NoFocus);
    setToolTip(QStringLiteral("Click/Drag to scrub playhead · R/T Zoom Out/In · Tab/Shift+Tab "
                              "Next/Prev Transient · Shift-Drag to select Warped Playback Range"));
    toolbar_ = new WaveformToolbar(store, this);
    connect(&store_, &TindrelStore::changed, this, &WaveformScrubberCanvas::storeChanged);
    storeChanged();
    layOutToolbar();
}

QSize WaveformScrubberCanvas::sizeHint() const {
    return {600, 165};
}

QSize WaveformScrubberCanvas::minimumSizeHint() const {
    return {120, 40};
}

CanvasGeometryInput WaveformScrubberCanvas::geometryInput() const {
    return {double(width()),          double(height()),         store_.visibleStartFrac(),
            store_.visibleEndFrac(),  store_.visibleStartSec(), store_.visibleEndSec(),
            store_.currentTime.get(), store_.duration.get()};
}

CanvasGeometry WaveformScrubberCanvas::geometry() const {
    return CanvasGeometry::make(geometryInput());
}

void WaveformScrubberCanvas::storeChanged() {
    // A hidden canvas (the closed mini popover's) catches up when it is shown.
    if (!isVisible())
        return;
    const auto& spec = store_.spec.get();
    const int transientCount = spec ? int(spec->transientTimes.size()) : 0;
    toolbar_->refresh(store_.visibleStartSec(), store_.visibleEndSec(), transientCount);
    Drawn now = drawn();
    if (now == drawn_)
        return;
    repaintChanges(drawn_, now);
    drawn_ = std::move(now);
}

WaveformScrubberCanvas::Drawn WaveformScrubberCanvas::drawn() const {
    const CanvasGeometryInput input = geometryInput();
    const CanvasGeometry g = CanvasGeometry::make(input);
    const auto& spec = store_.spec.get();
    const WaveformEnvelope envelope = WaveformEnvelope::withFallback(
        spec ? &spec->peaks : nullptr, spec ? &spec->rmsEnvelope : nullptr);
    const WaveformBarLayout layout =
        WaveformBarLayout::make(int(envelope.peaks.size()), g.f0, g.f1, g.w, g.h);
    Drawn d;
    d.window = input;
    d.window.currentTime = 0;
    d.playheadPixel =
        g.showsPlayhead() ? int(std::lround(g.playheadX() * devicePixelRatioF())) : -1;
    d.playedBars = layout.playedBarCount(g.q * g.w);
    d.hasSpec = spec.has_value();
    if (spec) {
        const std::shared_ptr<const Envelope>& last = drawn_.envelope;
        if (last && last->peaks == spec->peaks && last->rms == spec->rmsEnvelope &&
            last->transientTimes == spec->transientTimes)
            d.envelope = last;
        else
            d.envelope = std::make_shared<const Envelope>(
                Envelope{spec->peaks, spec->rmsEnvelope, spec->transientTimes});
    }
    d.showsTransients = store_.showTransientMarkers.get();
    d.boldTransients = store_.waveformZoom.get() > 1.8;
    d.hasRange = store_.hasActiveRange();
    if (d.hasRange) {
        d.rangeStart = store_.effectiveRangeStart();
        d.rangeEnd = store_.effectiveRangeEnd();
        d.loopEnabled = store_.isLoopEnabled.get();
        d.rangeSummary = store_.warpedRangeSummaryText();
    }
    return d;
}

void WaveformScrubberCanvas::repaintChanges(const Drawn& before, const Drawn& after) {
    Drawn sameHead = before;
    sameHead.playheadPixel = after.playheadPixel;
    sameHead.playedBars = after.playedBars;
    if (!(sameHead == after)) {
        update();
        return;
    }
    const CanvasGeometry g = geometry();
    const WaveformBarLayout layout = WaveformBarLayout::make(
        int(WaveformEnvelope::withFallback(after.envelope ? &after.envelope->peaks : nullptr,
                                           after.envelope ? &after.envelope->rms : nullptr)
                .peaks.size()),
        g.f0, g.f1, g.w, g.h);
    QRegion dirty;
    const auto addColumns = [&](double left, double right) {
        dirty += QRect(int(std::floor(left)) - 2, 0, int(std::ceil(right - left)) + 4, height());
    };
    const double ratio = devicePixelRatioF();
    for (const int pixel : {before.playheadPixel, after.playheadPixel})
        if (pixel >= 0)
            addColumns(pixel / ratio, pixel / ratio + CanvasGeometry::playheadWidth);
    // The bars that changed colour, and the bar-by-bar strip at each boundary.
    const int fewer = std::min(before.playedBars, after.playedBars);
    const int more = std::max(before.playedBars, after.playedBars);
    if (fewer != more)
        addColumns(layout.barX(std::max(0, fewer - 1)), layout.barX(more) + layout.barW);
    update(dirty);
}

void WaveformScrubberCanvas::layOutToolbar() {
    const CanvasGeometry g = geometry();
    toolbar_->setVisible(g.showsToolbar());
    toolbar_->setGeometry(0, 0, width(), toolbar_->sizeHint().height());
}

void WaveformScrubberCanvas::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layOutToolbar();
    // Qt repaints the whole of a resized widget; what it shows is then drawn at the new size.
    drawn_ = drawn();
}

void WaveformScrubberCanvas::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    storeChanged();
}

void WaveformScrubberCanvas::hideEvent(QHideEvent* event) {
    drag_.end();
    QWidget::hideEvent(event);
}

void WaveformScrubberCanvas::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const CanvasGeometry g = geometry();
    for (const QRegion& band : platform::serialPaintBands(event->region(), devicePixelRatioF())) {
        painter.save();
        painter.setClipRegion(band);
        paintBand(painter, g);
        painter.restore();
    }
}

void WaveformScrubberCanvas::paintBand(QPainter& painter, const CanvasGeometry& g) {

    QPainterPath frame;
    frame.addRoundedRect(QRectF(0, 0, g.w, g.h), kCornerRadius, kCornerRadius);
    painter.fillPath(frame, SystemColors::black(0.55));

    painter.setPen(QPen(SystemColors::white(0.08), 1));
    painter.drawLine(QPointF(0, g.h / 2), QPointF(g.w, g.h / 2));

    if (store_.hasActiveRange() && store_.duration.get() > 0)
        paintRange(painter, g);
    paintWaveform(painter, g);
    if (g.showsPlayhead())
        painter.fillRect(QRectF(g.playheadX(), 0, CanvasGeometry::playheadWidth, g.h),
                         SystemColors::yellow());

    // The border's whole line width inside the frame, which clips everything outside it.
    QPainterPath border;
    border.addRoundedRect(QRectF(0.5, 0.5, g.w - 1, g.h - 1), kCornerRadius, kCornerRadius);
    painter.strokePath(border, QPen(SystemColors::cyan(0.28), 1));
}

void WaveformScrubberCanvas::paintRange(QPainter& painter, const CanvasGeometry& g) {
    const RangeLayout r =
        RangeLayout::make(g, store_.effectiveRangeStart(), store_.effectiveRangeEnd());
    if (r.showsTint)
        painter.fillRect(QRectF(r.cin, 0, r.rangeW, g.h),
                         SystemColors::orange(store_.isLoopEnabled.get() ? 0.2 : 0.1));
    const TextPillStyle tag = handleTagStyle();
    if (r.showsInHandle) {
        painter.fillRect(QRectF(r.inX, 0, RangeLayout::handleWidth, g.h), SystemColors::orange());
        const QString in = QStringLiteral("IN");
        TextPill::draw(painter, QRectF(QPointF(r.inX + 2, 5), TextPill::size(in, tag)), in, tag);
    }
    if (r.showsOutHandle) {
        painter.fillRect(QRectF(r.outBarX, 0, RangeLayout::handleWidth, g.h),
                         SystemColors::orange());
        const QString out = QStringLiteral("OUT");
        const QSizeF size = TextPill::size(out, tag);
        TextPill::draw(painter, QRectF(QPointF(r.outBarX + 0.5 - size.width(), 5), size), out, tag);
    }
    if (r.showsSummaryPill) {
        const QString summary = store_.warpedRangeSummaryText();
        const TextPillStyle style = summaryPillStyle();
        const QSizeF size = TextPill::size(summary, style);
        TextPill::draw(painter, QRectF(QPointF(r.cin + 8, g.h - 14 - size.height() / 2), size),
                       summary, style);
    }
}

void WaveformScrubberCanvas::paintWaveform(QPainter& painter, const CanvasGeometry& g) {
    const auto& spec = store_.spec.get();
    const WaveformEnvelope envelope = WaveformEnvelope::withFallback(
        spec ? &spec->peaks : nullptr, spec ? &spec->rmsEnvelope : nullptr);
    const WaveformBarLayout layout =
        WaveformBarLayout::make(int(envelope.peaks.size()), g.f0, g.f1, g.w, g.h);
    barLayer_.paint(painter, envelope, layout, g.q * g.w, devicePixelRatioF());
    if (spec && store_.showTransientMarkers.get() && store_.duration.get() > 0)
        markerLayer_.paint(painter, spec->transientTimes,
                           {g.t0, g.t1, g.T, g.w, g.h, store_.waveformZoom.get() > 1.8 ? 0.5 : 0.3},
                           devicePixelRatioF());
}

void WaveformScrubberCanvas::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    releaseKeyboardFocus();
    drag_.press(event->position().x(), geometry(), sweepModifierHeld(event));
}

void WaveformScrubberCanvas::mouseMoveEvent(QMouseEvent* event) {
    if (!drag_.isDragging() || !(event->buttons() & Qt::LeftButton)) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    releaseKeyboardFocus();
    drag_.move(event->position().x(), geometry(), sweepModifierHeld(event));
}

void WaveformScrubberCanvas::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        drag_.end();
    QWidget::mouseReleaseEvent(event);
}

} // namespace tindrel
