#include "Tindrel/mainwindow/FolderCrateRowDelegate.h"

#include "Tindrel/mainwindow/FolderCrateModel.h"
#include "Tindrel/platform/ui/MonospacedDigitsText.h"
#include "Tindrel/platform/ui/SymbolImages.h"
#include "Tindrel/platform/ui/SystemColors.h"
#include "Tindrel/platform/ui/SystemFont.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace tindrel {

using platform::FontWeight;
using platform::MonospacedDigitsText;
using platform::SymbolImages;
using platform::SystemColors;
using platform::SystemFont;

namespace {

constexpr qreal paddingH = 8;
constexpr qreal paddingV = 6;
constexpr qreal spacing = 6;
constexpr qreal symbolSide = 13;  // 11 points
constexpr qreal chevronSide = 11; // 9.5 points
constexpr qreal minimumSizeGap = 4;

} // namespace

FolderCrateRowDelegate::FolderCrateRowDelegate(QObject* parent)
    : QStyledItemDelegate(parent), regularTitle_(SystemFont::font(11.5)),
      mediumTitle_(SystemFont::font(11.5, FontWeight::medium)),
      currentTitle_(SystemFont::font(11.5, FontWeight::semibold)),
      sizeFont_(SystemFont::font(10, FontWeight::medium)),
      rowHeight_(int(
          std::ceil(std::max(symbolSide, QFontMetricsF(currentTitle_).height()) + 2 * paddingV))) {}

QSize FolderCrateRowDelegate::sizeHint(const QStyleOptionViewItem& option,
                                       const QModelIndex&) const {
    return {option.rect.width(), rowHeight_ + rowSpacing};
}

void FolderCrateRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const {
    const auto* model = qobject_cast<const FolderCrateModel*>(index.model());
    if (!model)
        return;
    const int row = index.row();
    const FolderCrateModel::RowKind kind = model->kind(row);
    const bool current = model->isCurrent(row);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QRectF box(option.rect.x(), option.rect.y(), option.rect.width(), rowHeight_);
    QPainterPath shape;
    shape.addRoundedRect(box, 6, 6);
    painter->fillPath(shape, current ? SystemColors::cyan(0.18) : SystemColors::white(0.04));

    QString symbol;
    QColor symbolColor;
    switch (kind) {
    case FolderCrateModel::RowKind::file:
        symbol = current && model->isPlaying() ? QStringLiteral("speaker.wave.2.fill")
                                               : QStringLiteral("waveform");
        symbolColor = current ? SystemColors::cyan() : SystemColors::secondaryLabel();
        break;
    case FolderCrateModel::RowKind::folder:
        symbol = QStringLiteral("folder.fill");
        symbolColor = SystemColors::cyan(0.8);
        break;
    case FolderCrateModel::RowKind::recent:
        symbol = QStringLiteral("clock.arrow.circlepath");
        symbolColor = SystemColors::secondaryLabel();
        break;
    }
    qreal left = box.left() + paddingH;
    SymbolImages::draw(*painter,
                       QRectF(left, box.center().y() - symbolSide / 2, symbolSide, symbolSide),
                       symbol, symbolColor);
    left += symbolSide + spacing;

    qreal right = box.right() - paddingH;
    if (const SiblingAudioEntry* entry = model->file(row)) {
        const QString size = entry->sizeShort();
        const QSizeF sizeText = MonospacedDigitsText::size(size, sizeFont_);
        painter->setPen(SystemColors::secondaryLabel());
        MonospacedDigitsText::draw(
            *painter, QPointF(right - sizeText.width(), box.center().y() - sizeText.height() / 2),
            size, sizeFont_);
        right -= sizeText.width() + minimumSizeGap;
    } else if (kind == FolderCrateModel::RowKind::folder) {
        SymbolImages::draw(*painter,
                           QRectF(right - chevronSide, box.center().y() - chevronSide / 2,
                                  chevronSide, chevronSide),
                           QStringLiteral("chevron.right"), SystemColors::secondaryLabel());
        right -= chevronSide + spacing;
    }

    const QFont& font = kind == FolderCrateModel::RowKind::file
                            ? (current ? currentTitle_ : regularTitle_)
                            : mediumTitle_;
    const QFontMetricsF metrics(font);
    painter->setFont(font);
    painter->setPen(current ? SystemColors::cyan() : SystemColors::primaryLabel());
    painter->drawText(
        QPointF(left, box.center().y() - metrics.height() / 2 + metrics.ascent()),
        metrics.elidedText(model->title(row), Qt::ElideMiddle, std::max<qreal>(0, right - left)));
    painter->restore();
}

} // namespace tindrel
