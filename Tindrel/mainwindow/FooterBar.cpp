#include "Tindrel/mainwindow/FooterBar.h"

#include "Tindrel/mainwindow/ElidedLabel.h"
#include "Tindrel/platform/ui/SystemColors.h"
#include "Tindrel/platform/ui/SystemFont.h"
#include "Tindrel/store/TindrelStore.h"

#include <QHBoxLayout>
#include <QPainter>

namespace tindrel {

using platform::FontWeight;
using platform::SystemColors;
using platform::SystemFont;

class FooterBar::StatusDot : public QWidget {
public:
    explicit StatusDot(QWidget* parent) : QWidget(parent) { setFixedSize(7, 7); }

    void setColor(const QColor& color) {
        if (color == color_)
            return;
        color_ = color;
        update();
    }
    const QColor& color() const { return color_; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(color_);
        painter.drawEllipse(QRectF(rect()));
    }

private:
    QColor color_;
};

FooterBar::FooterBar(TindrelStore& store, QWidget* parent)
    : QWidget(parent), store_(store), dot_(new StatusDot(this)),
      statusLine_(new ElidedLabel(this)) {
    statusLine_->setTextFont(SystemFont::font(11.5, FontWeight::medium));
    statusLine_->setColor(SystemColors::secondaryLabel());
    statusLine_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);

    auto* legend = new ElidedLabel(this);
    legend->setTextFont(SystemFont::font(11));
    legend->setColor(SystemColors::secondaryLabel());
    legend->setText(keyLegend());
    legend->setKeepsFullWidth(true);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    row->addWidget(dot_, 0, Qt::AlignVCenter);
    row->addWidget(statusLine_, 1, Qt::AlignVCenter);
    row->addWidget(legend, 0, Qt::AlignVCenter);

    connect(&store_, &TindrelStore::changed, this, &FooterBar::refresh);
    refresh();
}

QString FooterBar::keyLegend() {
    return QStringLiteral(
        "Space Play \u00b7 R/T Zoom Out/In \u00b7 Tab/\u21e7Tab Next/Prev Transient "
        "\u00b7 Shift-Drag Range \u00b7 I/O/L Loop \u00b7 Ctrl+C Copy");
}

QColor FooterBar::statusDotColor() const {
    return dot_->color();
}

void FooterBar::refresh() {
    dot_->setColor(store_.isPlaying.get() ? SystemColors::green() : SystemColors::cyan());
    statusLine_->setText(store_.statusBanner.get());
}

} // namespace tindrel
