#include "Tindrel/platform/ui/MonospacedDigitsText.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <list>
#include <map>
#include <memory>

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

// Walks the text as runs of non-digits and single digits, calling place(run, x) for each,
// which returns the run's advance; returns the total width.
template <typename Place>
qreal layOut(const QString& text, const QFontMetricsF& metrics, Place&& place) {
    const qreal cell = digitCell(metrics);
    qreal x = 0;
    qsizetype runStart = 0;
    auto flushRun = [&](qsizetype end) {
        if (end > runStart) {
            const QString run = text.mid(runStart, end - runStart);
            x += place(run, x);
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

// Shaping a run costs far more than drawing it, and a readout redrawn every frame repeats the
// same few runs (single digits, a unit), so each run's layout is kept for the next draw. A
// kept layout draws through the same path as QPainter::drawText(), onto the same pixels.
class ShapedRuns {
public:
    struct Run {
        QTextLayout layout; // on one line
        qreal advance = 0;  // as QFontMetricsF measures it
    };

    // The run shaped in `font` as `device` resolves it; null for a run whose script could lay
    // it out right to left, which is drawn as plain text.
    const Run* shaped(const QString& run, const QFont& font, const QPaintDevice* device) {
        const bool leftToRight = std::all_of(run.begin(), run.end(), [](QChar c) {
            return c.unicode() < firstRightToLeftCharacter && !c.isSurrogate();
        });
        if (!leftToRight)
            return nullptr;
        const int dpi = device ? device->logicalDpiY() : 0;
        auto inFont = std::find_if(fonts_.begin(), fonts_.end(), [&](const FontRuns& kept) {
            return kept.dpi == dpi && kept.font == font;
        });
        if (inFont == fonts_.end()) {
            if (fonts_.size() == keptFonts)
                fonts_.pop_back();
            inFont = fonts_.insert(fonts_.begin(), FontRuns{font, dpi, {}});
        }
        auto& runs = inFont->runs;
        auto found = runs.find(run);
        if (found == runs.end()) {
            if (runs.size() == keptRunsPerFont)
                runs.clear();
            std::unique_ptr<Run> shaped(
                new Run{QTextLayout(run, font, device),
                        QFontMetricsF(font, device).horizontalAdvance(run)});
            shaped->layout.setCacheEnabled(true);
            shaped->layout.beginLayout();
            shaped->layout.createLine();
            shaped->layout.endLayout();
            found = runs.emplace(run, std::move(shaped)).first;
        }
        return found->second.get();
    }

    void clear() { fonts_.clear(); }

private:
    static constexpr char16_t firstRightToLeftCharacter = 0x0590;
    static constexpr size_t keptFonts = 8;
    static constexpr size_t keptRunsPerFont = 64;

    struct FontRuns {
        QFont font;
        int dpi = 0;
        std::map<QString, std::unique_ptr<Run>> runs;
    };
    std::list<FontRuns> fonts_; // the font first drawn last first
};

// Never destroyed: fonts released after the application object would reach Qt's font caches
// after they are gone, so the runs are dropped with the application instead.
ShapedRuns& shapedRuns() {
    static ShapedRuns* const runs = [] {
        auto* made = new ShapedRuns;
        if (QCoreApplication* application = QCoreApplication::instance())
            QObject::connect(application, &QObject::destroyed, [made] { made->clear(); });
        return made;
    }();
    return *runs;
}

} // namespace

QSizeF MonospacedDigitsText::size(const QString& text, const QFont& font) {
    const QFontMetricsF metrics(font);
    const qreal width = layOut(
        text, metrics, [&](const QString& run, qreal) { return metrics.horizontalAdvance(run); });
    return {width, metrics.height()};
}

void MonospacedDigitsText::draw(QPainter& painter, const QPointF& topLeft, const QString& text,
                                const QFont& font) {
    painter.save();
    painter.setFont(font);
    const QFontMetricsF metrics(font, painter.device());
    const qreal baseline = topLeft.y() + metrics.ascent();
    ShapedRuns& runs = shapedRuns();
    layOut(text, metrics, [&](const QString& run, qreal x) {
        if (const ShapedRuns::Run* kept = runs.shaped(run, font, painter.device())) {
            const qreal top = baseline - kept->layout.lineAt(0).ascent();
            kept->layout.draw(&painter, QPointF(topLeft.x() + x, top));
            return kept->advance;
        }
        painter.drawText(QPointF(topLeft.x() + x, baseline), run);
        return metrics.horizontalAdvance(run);
    });
    painter.restore();
}

} // namespace tindrel::platform
