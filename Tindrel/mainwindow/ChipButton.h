#pragma once

// The main window's small custom-drawn button: an optional symbol and an optional title in a
// rounded rectangle with a fill, an optional 1-point outline and a foreground colour. The
// pill, the play button, the loop switch, the warp-mode buttons and the rename button are all
// configurations of it. It takes no keyboard focus (the window's keys belong to the key table).
// A disabled chip is drawn dimmed and ignores clicks. GUI thread only.

#include <QAbstractButton>
#include <QColor>
#include <QFont>

#include <optional>

namespace tindrel {

struct ChipLook {
    QColor fill;
    QColor outline = Qt::transparent;
    QColor foreground;
    qreal radius = 6;

    bool operator==(const ChipLook&) const = default;
};

class ChipButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit ChipButton(QWidget* parent = nullptr);

    // Each setter repaints, and re-lays out only when the size can change.
    void setSymbol(const QString& name, qreal pointSize);
    void setTitle(const QString& title);
    void setTitleFont(const QFont& font, bool monospacedDigits);
    void setLook(const ChipLook& look);
    // The symbol in its own colour instead of the look's foreground.
    void setSymbolColor(std::optional<QColor> color);
    void setPadding(int horizontal, int vertical);
    void setSpacing(int spacing);
    // A label of exactly this size, content centred (no size: the content's own).
    void setFixedLabelSize(std::optional<QSize> size);
    void setMinimumLabelWidth(int width);
    void setLabelHeight(std::optional<int> height);
    // The down chevron of a pull-down menu button at the trailing edge; the label is then
    // centred in the width left of it.
    void setPullDownIndicator(bool shown);

    const QString& symbol() const { return symbol_; }
    const QString& title() const { return title_; }
    const ChipLook& look() const { return look_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QSizeF contentSize() const;
    qreal symbolSide() const;
    qreal indicatorSpace() const;
    void relayout();

    QString symbol_;
    qreal symbolPointSize_ = 11;
    QString title_;
    QFont titleFont_;
    bool monospacedDigits_ = false;
    ChipLook look_;
    std::optional<QColor> symbolColor_;
    int paddingH_ = 10;
    int paddingV_ = 0;
    int spacing_ = 5;
    std::optional<QSize> fixedLabelSize_;
    int minimumLabelWidth_ = 0;
    std::optional<int> labelHeight_;
    bool pullDownIndicator_ = false;
};

} // namespace tindrel
