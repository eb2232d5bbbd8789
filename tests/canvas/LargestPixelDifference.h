#pragma once

#include <QColor>
#include <QImage>

#include <algorithm>
#include <cstdlib>

namespace tindrel::test {

// The largest difference of any colour channel of any pixel of two images of one size.
inline int largestPixelDifference(const QImage& a, const QImage& b) {
    int largest = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QColor p = a.pixelColor(x, y);
            const QColor q = b.pixelColor(x, y);
            largest = std::max({largest, std::abs(p.red() - q.red()),
                                std::abs(p.green() - q.green()), std::abs(p.blue() - q.blue())});
        }
    return largest;
}

} // namespace tindrel::test
