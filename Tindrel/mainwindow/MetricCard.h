#pragma once

// One 44-point measurement card: a caption in capitals and a one-line value with equal-width
// digits, tinted by its accent colour (caption at 0.9, fill at 0.12, outline at 0.28).
// Text that does not fit is cut, never wrapped. GUI thread only.

#include "Tindrel/mainwindow/RoundedPanel.h"

namespace tindrel {

class ElidedLabel;

class MetricCard : public RoundedPanel {
    Q_OBJECT
public:
    explicit MetricCard(QWidget* parent = nullptr);

    // Repaints only what changed.
    void setContent(const QString& label, const QString& value, const QColor& color);

    const ElidedLabel& caption() const { return *caption_; }
    const ElidedLabel& value() const { return *value_; }
    const QColor& accent() const { return accent_; }

private:
    ElidedLabel* caption_;
    ElidedLabel* value_;
    QColor accent_;
};

} // namespace tindrel
