#pragma once

// A plain container drawn as a rounded rectangle: a fill, an optional 1-point outline, a
// corner radius. The shared background of cards, strips and the player column.
// GUI thread only; children are owned through Qt's parent tree.

#include <QColor>
#include <QWidget>

namespace tindrel {

class RoundedPanel : public QWidget {
    Q_OBJECT
public:
    explicit RoundedPanel(QWidget* parent = nullptr);

    // Repaints only when a value actually changes, so refreshing every tick costs nothing.
    void setLook(const QColor& fill, const QColor& outline, qreal radius);

    QColor fill() const { return fill_; }
    QColor outline() const { return outline_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor fill_ = Qt::transparent;
    QColor outline_ = Qt::transparent;
    qreal radius_ = 0;
};

} // namespace tindrel
