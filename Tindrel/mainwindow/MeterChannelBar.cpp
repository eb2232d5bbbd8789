#include "Tindrel/mainwindow/MeterChannelBar.h"

#include "Tindrel/mainwindow/ElidedLabel.h"
#include "Tindrel/platform/text/LocaleFreeNumber.h"
#include "Tindrel/platform/ui/SystemColors.h"
#include "Tindrel/platform/ui/SystemFont.h"

#include <QHBoxLayout>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace tindrel {

using platform::FontWeight;
using platform::SystemColors;
using platform::SystemFont;

namespace {

constexpr float floorDB = -60.0f;

float shownDB(float db) {
    return std::isfinite(db) ? std::max(db, floorDB) : floorDB;
}

} // namespace

class MeterChannelBar::Bar : public QWidget {
public:
    explicit Bar(QWidget* parent) : QWidget(parent) {
        setFixedHeight(8);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

    void setFraction(float fraction) {
        if (fraction == fraction_)
            return;
        fraction_ = fraction;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath track;
        track.addRoundedRect(QRectF(rect()), 3, 3);
        painter.fillPath(track, SystemColors::black(0.5));
        const qreal levelWidth = width() * double(fraction_);
        if (levelWidth <= 0)
            return;
        // The gradient spans the level, not the track: a low level still runs through all four.
        QLinearGradient gradient(0, 0, levelWidth, 0);
        gradient.setColorAt(0.0, SystemColors::green());
        gradient.setColorAt(1.0 / 3.0, SystemColors::mint());
        gradient.setColorAt(2.0 / 3.0, SystemColors::yellow());
        gradient.setColorAt(1.0, SystemColors::red());
        QPainterPath level;
        level.addRoundedRect(QRectF(0, 0, levelWidth, height()), 3, 3);
        painter.fillPath(level, gradient);
    }

private:
    float fraction_ = 0;
};

MeterChannelBar::MeterChannelBar(const QString& label, QWidget* parent)
    : QWidget(parent), bar_(new Bar(this)), readout_(new ElidedLabel(this)) {
    auto* name = new ElidedLabel(this);
    name->setTextFont(SystemFont::font(10.5, FontWeight::bold));
    name->setColor(SystemColors::cyan());
    name->setText(label);
    name->setKeepsFullWidth(true);

    readout_->setTextFont(SystemFont::font(10.5, FontWeight::medium));
    readout_->setMonospacedDigits(true);
    readout_->setColor(SystemColors::secondaryLabel());
    readout_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    readout_->setFixedWidth(52);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    row->addWidget(name, 0, Qt::AlignVCenter);
    row->addWidget(bar_, 1, Qt::AlignVCenter);
    row->addWidget(readout_, 0, Qt::AlignVCenter);

    readout_->setText(readoutText(db_));
}

void MeterChannelBar::setLevel(float db) {
    if (db == db_ || (std::isnan(db) && std::isnan(db_)))
        return;
    db_ = db;
    bar_->setFraction(levelFraction(db_));
    readout_->setText(readoutText(db_));
}

float MeterChannelBar::levelFraction(float db) {
    return std::max(std::min((shownDB(db) + 60.0f) / 60.0f, 1.0f), 0.0f);
}

QString MeterChannelBar::readoutText(float db) {
    return QString::fromStdString(formatNumber("%5.1f dB", double(shownDB(db))));
}

QWidget& MeterChannelBar::bar() const {
    return *bar_;
}

QString MeterChannelBar::readout() const {
    return readout_->text();
}

} // namespace tindrel
