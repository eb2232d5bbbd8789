#include "Tindrel/store/TindrelStore.h"

#include "Tindrel/platform/text/LocaleFreeNumber.h"
#include "Tindrel/store/FrameMath.h"

#include <QTextBoundaryFinder>

#include <algorithm>
#include <cmath>

namespace tindrel {

namespace {

// User-perceived characters (grapheme clusters), so a cut never splits an accent or emoji.
qsizetype graphemeCount(const QString& text) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

// The first `count` user-perceived characters of `text`.
QString firstGraphemes(const QString& text, qsizetype count) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype end = 0;
    for (qsizetype i = 0; i < count; ++i) {
        const qsizetype next = finder.toNextBoundary();
        if (next == -1)
            break;
        end = next;
    }
    return text.left(end);
}

} // namespace

bool TindrelStore::hasActiveRange() const {
    return loopIn->has_value() || loopOut->has_value();
}

double TindrelStore::effectiveRangeStart() const {
    return std::max(0.0, std::min(loopIn->value_or(0.0), duration.get()));
}

double TindrelStore::effectiveRangeEnd() const {
    const double start = effectiveRangeStart();
    return std::max(start, std::min(loopOut->value_or(duration.get()), duration.get()));
}

double TindrelStore::rangeSourceDuration() const {
    return std::max(0.0, effectiveRangeEnd() - effectiveRangeStart());
}

double TindrelStore::rangeWarpedDuration() const {
    return rangeSourceDuration() / static_cast<double>(std::max(0.25f, playbackRate.get()));
}

QString TindrelStore::warpedRangeSummaryText() const {
    const QString a = formatTime(effectiveRangeStart());
    const QString b = formatTime(effectiveRangeEnd());
    const QString source = QString::fromStdString(formatNumber("%.1fs", rangeSourceDuration()));
    const bool warped =
        std::fabs(playbackRate - 1.0f) > 0.005f || std::fabs(pitchSemitones.get()) > 0.01f;
    if (!warped)
        return QStringLiteral("Range ") + a + QStringLiteral(" – ") + b + QStringLiteral(" (") +
               source + QStringLiteral(")");
    const QString warpedLength =
        QString::fromStdString(formatNumber("%.1fs", rangeWarpedDuration()));
    return QStringLiteral("Range ") + a + QStringLiteral(" – ") + b + QStringLiteral(" (") +
           source + QStringLiteral(" → Warped ") + warpedLength +
           QString::fromStdString(formatNumber(" @ %.2gx, %+.1f st)",
                                               static_cast<double>(playbackRate.get()),
                                               static_cast<double>(pitchSemitones.get())));
}

QString TindrelStore::statusBarPillText() const {
    if (!spec->has_value())
        return QString();
    QString name = QString::fromStdString((*spec)->fileName);
    if (graphemeCount(name) > 18)
        name = firstGraphemes(name, 16) + QStringLiteral("…");
    if (!isPlaying)
        return name;
    return QStringLiteral("▶ ") + name +
           QString::fromStdString(
               formatNumber(" · %.1f LUFS", static_cast<double>((*spec)->lufsIntegrated)));
}

QString TindrelStore::formatTime(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0)
        return QStringLiteral("0:00.0");
    const int64_t minutes = framesForSeconds(seconds, 1.0) / 60;
    const double rest = seconds - static_cast<double>(minutes) * 60.0;
    return QString::fromStdString(
        formatNumber("%lld:%04.1f", static_cast<long long>(minutes), rest));
}

} // namespace tindrel
