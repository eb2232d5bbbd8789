#pragma once

// Lays out two groups on one row, the first at the leading edge and the second at the
// trailing edge, when both fit side by side; otherwise the second group moves to a row of
// its own below the first, still at the trailing edge, so nothing is clipped at narrow
// widths. Both groups keep their preferred widths. GUI thread only.

#include <QLayout>

#include <array>

namespace tindrel {

class TwoGroupRowLayout : public QLayout {
    Q_OBJECT
public:
    TwoGroupRowLayout(QWidget* leading, QWidget* trailing, QWidget* parent);
    ~TwoGroupRowLayout() override;

    // Whether the trailing group sits on its own row at the current width.
    bool isWrapped() const { return wrapped_; }

    void addItem(QLayoutItem* item) override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    int count() const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    void setGeometry(const QRect& rect) override;
    Qt::Orientations expandingDirections() const override { return Qt::Horizontal; }

private:
    bool fitsOnOneRow(int width) const;

    std::array<QLayoutItem*, 2> items_{};
    bool wrapped_ = false;
};

} // namespace tindrel
