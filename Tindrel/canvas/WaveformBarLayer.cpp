#include "Tindrel/canvas/WaveformBarLayer.h"

#include "Tindrel/platform/ui/SystemColors.h"

#include <QPainter>
#include <QPainterPath>
#include <QSemaphore>
#include <QThreadPool>

#include <algorithm>
#include <array>
#include <cmath>

namespace tindrel {

using platform::SystemColors;

namespace {

constexpr double kCornerRadius = 1.2;

void paintBar(QPainter& painter, const WaveformBar& bar, double barW, double midY, bool played) {
    const QColor peakColour = played ? SystemColors::cyan(0.55) : SystemColors::white(0.22);
    const QColor rmsColour = played ? SystemColors::cyan() : SystemColors::mint(0.42);
    QPainterPath peak;
    peak.addRoundedRect(QRectF(bar.x, midY - bar.peakHeight / 2, barW, bar.peakHeight),
                        kCornerRadius, kCornerRadius);
    painter.fillPath(peak, peakColour);
    QPainterPath rms;
    rms.addRoundedRect(QRectF(bar.x, midY - bar.rmsHeight / 2, barW, bar.rmsHeight), kCornerRadius,
                       kCornerRadius);
    painter.fillPath(rms, rmsColour);
}

// Which bars an image shows played: all, none, the even ones or the odd ones.
enum class Colouring { played, unplayed, evenPlayed, oddPlayed };

bool isPlayed(Colouring colouring, int index) {
    switch (colouring) {
    case Colouring::played:
        return true;
    case Colouring::unplayed:
        return false;
    case Colouring::evenPlayed:
        return index % 2 == 0;
    case Colouring::oddPlayed:
        return index % 2 == 1;
    }
    return false;
}

template <typename Played>
void paintBars(QPainter& painter, const WaveformEnvelope& envelope, const WaveformBarLayout& layout,
               int from, int to, Played played) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const double midY = layout.height / 2;
    for (int i = std::max(0, from); i < std::min(to, layout.bars); ++i)
        paintBar(painter, layout.bar(i, envelope), layout.barW, midY, played(i));
    painter.restore();
}

QImage renderAll(const WaveformEnvelope& envelope, const WaveformBarLayout& layout, qreal ratio,
                 Colouring colouring) {
    const QSize pixels(int(std::ceil(layout.width * ratio)), int(std::ceil(layout.height * ratio)));
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    paintBars(painter, envelope, layout, 0, layout.bars,
              [colouring](int i) { return isPlayed(colouring, i); });
    return image;
}

// Qt hands every antialiased fill taller than a few dozen rows to its global thread pool, in
// pieces, unless the painting thread is one of that pool's; for hundreds of small bars those
// hand-offs cost several times the drawing. So each image is drawn whole on one pool thread,
// the four side by side, and the caller waits for them.
std::array<QImage, 4> renderColourings(const WaveformEnvelope& envelope,
                                       const WaveformBarLayout& layout, qreal ratio) {
    constexpr std::array colourings{Colouring::played, Colouring::unplayed, Colouring::evenPlayed,
                                    Colouring::oddPlayed};
    std::array<QImage, 4> images;
    QSemaphore done;
    for (size_t k = 0; k < colourings.size(); ++k)
        QThreadPool::globalInstance()->start([&, k] {
            images[k] = renderAll(envelope, layout, ratio, colourings[k]);
            done.release();
        });
    done.acquire(int(colourings.size()));
    return images;
}

} // namespace

void WaveformBarLayer::paintBarsDirectly(QPainter& painter, const WaveformEnvelope& envelope,
                                         const WaveformBarLayout& layout, int from, int to,
                                         int playedCount) {
    paintBars(painter, envelope, layout, from, to,
              [playedCount](int i) { return i < playedCount; });
}

void WaveformBarLayer::rebuildIfNeeded(const WaveformEnvelope& envelope,
                                       const WaveformBarLayout& layout, qreal ratio) {
    const bool same =
        key_.ratio == ratio && key_.width == layout.width && key_.height == layout.height &&
        key_.binCount == layout.n && key_.s == layout.s && key_.e == layout.e &&
        std::equal(key_.peaks.begin(), key_.peaks.end(), envelope.peaks.begin(),
                   envelope.peaks.end()) &&
        std::equal(key_.rms.begin(), key_.rms.end(), envelope.rms.begin(), envelope.rms.end());
    if (same && !played_.isNull())
        return;
    key_ = Key{{envelope.peaks.begin(), envelope.peaks.end()},
               {envelope.rms.begin(), envelope.rms.end()},
               layout.n,
               layout.s,
               layout.e,
               layout.width,
               layout.height,
               ratio};
    std::array<QImage, 4> images = renderColourings(envelope, layout, ratio);
    played_ = std::move(images[0]);
    unplayed_ = std::move(images[1]);
    evenPlayed_ = std::move(images[2]);
    oddPlayed_ = std::move(images[3]);
    ++rebuildCount_;
}

void WaveformBarLayer::paint(QPainter& painter, const WaveformEnvelope& envelope,
                             const WaveformBarLayout& layout, double playX,
                             qreal devicePixelRatio) {
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    rebuildIfNeeded(envelope, layout, ratio);
    const int played = layout.playedBarCount(playX);
    const QRectF whole(0, 0, layout.width, layout.height);
    if (played == 0) {
        painter.drawImage(whole, unplayed_);
        return;
    }
    if (played == layout.bars) {
        painter.drawImage(whole, played_);
        return;
    }
    // Columns left of the first unplayed bar hold only played bars, columns right of the
    // last played bar only unplayed ones; the strip between is drawn bar by bar. Its edges
    // sit on device pixels, so the two images are copied pixel for pixel.
    const double firstUnplayedX = layout.barX(played);
    const double lastPlayedRight = layout.barX(played - 1) + layout.barW;
    const double stripLeft = std::max(0.0, std::floor(firstUnplayedX * ratio) - 1) / ratio;
    const double stripRight =
        std::min(std::ceil(layout.width * ratio),
                 std::ceil(std::max(lastPlayedRight, firstUnplayedX) * ratio) + 1) /
        ratio;
    auto drawPart = [&](const QImage& image, double left, double right) {
        if (right <= left)
            return;
        painter.drawImage(QRectF(left, 0, right - left, layout.height), image,
                          QRectF(left * ratio, 0, (right - left) * ratio, layout.height * ratio));
    };
    drawPart(played_, 0, stripLeft);
    drawPart(unplayed_, stripRight, layout.width);

    // Where the strip holds parts of the last played bar and the first unplayed one alone, one
    // of the alternating images has both in the right colouring.
    const bool onlyTheTwoBars =
        (played < 2 || std::ceil((layout.barX(played - 2) + layout.barW) * ratio) <=
                           std::round(stripLeft * ratio)) &&
        (played + 1 >= layout.bars ||
         std::floor(layout.barX(played + 1) * ratio) >= std::round(stripRight * ratio));
    if (onlyTheTwoBars) {
        drawPart((played - 1) % 2 == 0 ? evenPlayed_ : oddPlayed_, stripLeft, stripRight);
        return;
    }

    int from = played - 1;
    while (from > 0 && layout.barX(from - 1) + layout.barW >= stripLeft)
        --from;
    int to = played;
    while (to < layout.bars && layout.barX(to) <= stripRight)
        ++to;
    painter.save();
    painter.setClipRect(QRectF(stripLeft, 0, stripRight - stripLeft, layout.height),
                        Qt::IntersectClip);
    paintBarsDirectly(painter, envelope, layout, from, to, played);
    painter.restore();
}

} // namespace tindrel
