#include "Tindrel/platform/ui/SystemColors.h"

#include <algorithm>

namespace tindrel::platform {

namespace {

QColor withOpacity(int r, int g, int b, qreal baseAlpha, qreal opacity) {
    QColor c(r, g, b);
    c.setAlphaF(float(std::clamp(baseAlpha * opacity, 0.0, 1.0)));
    return c;
}

} // namespace

QColor SystemColors::red(qreal o) {
    return withOpacity(255, 69, 58, 1.0, o);
}
QColor SystemColors::orange(qreal o) {
    return withOpacity(255, 159, 10, 1.0, o);
}
QColor SystemColors::yellow(qreal o) {
    return withOpacity(255, 214, 10, 1.0, o);
}
QColor SystemColors::green(qreal o) {
    return withOpacity(48, 209, 88, 1.0, o);
}
QColor SystemColors::mint(qreal o) {
    return withOpacity(102, 212, 207, 1.0, o);
}
QColor SystemColors::cyan(qreal o) {
    return withOpacity(100, 210, 255, 1.0, o);
}
QColor SystemColors::blue(qreal o) {
    return withOpacity(10, 132, 255, 1.0, o);
}
QColor SystemColors::purple(qreal o) {
    return withOpacity(191, 90, 242, 1.0, o);
}
QColor SystemColors::gray(qreal o) {
    return withOpacity(142, 142, 147, 1.0, o);
}
QColor SystemColors::white(qreal o) {
    return withOpacity(255, 255, 255, 1.0, o);
}
QColor SystemColors::black(qreal o) {
    return withOpacity(0, 0, 0, 1.0, o);
}
QColor SystemColors::primaryLabel(qreal o) {
    return white(o);
}
QColor SystemColors::secondaryLabel(qreal o) {
    return withOpacity(235, 235, 245, 0.6, o);
}

} // namespace tindrel::platform
