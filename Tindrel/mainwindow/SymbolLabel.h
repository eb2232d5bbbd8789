#pragma once

// A symbol and an optional title side by side, each in its own colour, on no background: the
// titled labels of the header and the crate. Takes no mouse input (clicks reach what is
// below). Its size is its content's. GUI thread only.

#include <QColor>
#include <QFont>
#include <QWidget>

namespace tindrel {

class SymbolLabel : public QWidget {
    Q_OBJECT
public:
    // `pointSize` of the symbol as of a font: the symbol is drawn about 1.2 times as tall.
    SymbolLabel(const QString& symbol, qreal pointSize, const QColor& symbolColor,
                QWidget* parent = nullptr);

    // Each setter repaints (and re-lays out) only when the value changes.
    void setTitle(const QString& title);
    void setTitleLook(const QFont& font, const QColor& color);

    const QString& title() const { return title_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    qreal symbolSide() const;

    QString symbol_;
    qreal pointSize_;
    QColor symbolColor_;
    QString title_;
    QFont titleFont_;
    QColor titleColor_;
};

} // namespace tindrel
