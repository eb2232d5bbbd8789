#pragma once

// The system font of the views: Inter at a size in points, where one point is one
// device-independent pixel, at the nearest weight Inter has. Inter's default digits are
// proportional; readouts that need equal-width digits draw through MonospacedDigitsText.
// GUI thread only (reads the primary screen's logical DPI).

#include <QFont>

namespace tindrel::platform {

enum class FontWeight { ultraLight, thin, light, regular, medium, semibold, bold, heavy, black };

class SystemFont {
public:
    static QFont font(qreal size, FontWeight weight = FontWeight::regular);
};

} // namespace tindrel::platform
