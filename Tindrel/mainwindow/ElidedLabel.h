#pragma once

// One line of text that never wraps: when the room is short it is cut with an ellipsis
// (at the end or in the middle). Optionally draws its digits at equal widths so readouts do
// not jitter. Its preferred width is the whole text; it may be squeezed to nothing unless it
// is told to keep its full width. GUI thread only.

#include <QColor>
#include <QFont>
#include <QWidget>

#include <optional>

namespace tindrel {

class ElidedLabel : public QWidget {
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    // Each setter repaints (and re-lays out) only when the value changes.
    void setText(const QString& text);
    void setTextFont(const QFont& font);
    void setColor(const QColor& color);
    void setElideMode(Qt::TextElideMode mode);
    void setAlignment(Qt::Alignment alignment);
    void setMonospacedDigits(bool on);
    // Never narrower than the whole text: nothing is cut.
    void setKeepsFullWidth(bool on);

    const QString& text() const { return text_; }
    const QColor& color() const { return color_; }
    // The text as it is drawn at the current width.
    QString displayedText() const;
    bool isTruncated() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The drawn text and its width, measured once per change: shaping text costs more than
    // drawing it, and readouts repaint many times a second.
    struct Shown {
        QString text;
        qreal width = 0;
    };
    // The last text measured with equal-width digits, its digits as zeros: the width follows
    // from where the digits are, not which they are.
    struct MeasuredShape {
        QString shape;
        QFont font;
        qreal width = 0;
    };
    qreal textWidth(const QString& text) const;
    const Shown& shown() const;
    QString elidedText() const;
    void changed(bool geometry);

    QString text_;
    QFont font_;
    QColor color_;
    Qt::TextElideMode elideMode_ = Qt::ElideRight;
    Qt::Alignment alignment_ = Qt::AlignLeft | Qt::AlignVCenter;
    bool monospacedDigits_ = false;
    bool keepsFullWidth_ = false;
    mutable std::optional<Shown> shown_;
    mutable std::optional<MeasuredShape> measured_;
};

} // namespace tindrel
