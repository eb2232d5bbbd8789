#include "Tindrel/platform/ui/MonospacedDigitsText.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>

namespace tindrel::platform {

namespace {

bool isDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

qreal digitCell(const QFontMetricsF& metrics) {
    qreal cell = 0;
    for (char d = '0'; d <= '9'; ++d)
        cell = std::max(cell, metrics.horizontalAdvance(QLatin1Char(d)));
    return cell;
}

// Walks the text as runs of non-digits and single digits, calling place(run, x) for each;
// returns the total width.
template <typename Place>
qreal layOut(const QString& text, const QFontMetricsF& metrics, Place&& place) {
    const qreal cell = digitCell(metrics);
    qreal x = 0;
    qsizetype runStart = 0;
    auto flushRun = [&](qsizetype end) {
        if (end > runStart) {
            const QString run = text.mid(runStart, end - runStart);
            place(run, x);
            x += metrics.horizontalAdvance(run);
        }
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!isDigit(text[i]))
            continue;
        flushRun(i);
        const QString digit(text[i]);
        place(digit, x + (cell - metrics.horizontalAdvance(text[i])) / 2);
        x += cell;
        runStart = i + 1;
    }
    flushRun(text.size());
    return x;
}

} // namespace

QSizeF MonospacedDigitsText::size(const QString& text, const QFont& font) {
    const QFontMetricsF metrics(font);
    const qreal width = layOut(text, metrics, [](const QString&, qreal) {});
    return {width, metrics.height()};
}

void MonospacedDigitsText::draw(QPainter& painter, const QPointF& topLeft, const QString& text,
                                const QFont& font) {
    painter.save();
    painter.setFont(font);
    const QFontMetricsF metrics(font, painter.device());
    const qreal baseline = topLeft.y() + metrics.ascent();
    layOut(text, metrics, [&](const QString& run, qreal x) {
        painter.drawText(QPointF(topLeft.x() + x, baseline), run);
    });
    painter.restore();
}

} // namespace tindrel::platform
