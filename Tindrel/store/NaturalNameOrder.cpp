#include "Tindrel/store/NaturalNameOrder.h"

namespace tindrel {

namespace {

bool isAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// -1, 0 or 1 as `a` sorts before, with or after `b` in the natural order.
int naturalCompare(const QString& a, const QString& b) {
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (isAsciiDigit(a[i]) && isAsciiDigit(b[j])) {
            qsizetype endA = i;
            while (endA < a.size() && isAsciiDigit(a[endA]))
                ++endA;
            qsizetype endB = j;
            while (endB < b.size() && isAsciiDigit(b[endB]))
                ++endB;
            qsizetype startA = i;
            while (startA + 1 < endA && a[startA] == u'0')
                ++startA;
            qsizetype startB = j;
            while (startB + 1 < endB && b[startB] == u'0')
                ++startB;
            const qsizetype lengthA = endA - startA;
            const qsizetype lengthB = endB - startB;
            if (lengthA != lengthB)
                return lengthA < lengthB ? -1 : 1;
            const int digits =
                QStringView(a).mid(startA, lengthA).compare(QStringView(b).mid(startB, lengthB));
            if (digits != 0)
                return digits < 0 ? -1 : 1;
            i = endA;
            j = endB;
            continue;
        }
        const QChar ca = a[i].toCaseFolded();
        const QChar cb = b[j].toCaseFolded();
        if (ca != cb)
            return ca < cb ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return 0;
}

} // namespace

bool naturalNameLess(const QString& a, const QString& b) {
    const int natural = naturalCompare(a, b);
    if (natural != 0)
        return natural < 0;
    return a < b;
}

} // namespace tindrel
