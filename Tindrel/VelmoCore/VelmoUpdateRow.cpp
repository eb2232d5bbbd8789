#include "Tindrel/VelmoCore/VelmoUpdateRow.h"

#include "Tindrel/VelmoCore/VelmoBannerLook.h"
#include "Tindrel/VelmoCore/VelmoUpdateBannerView.h"
#include "Tindrel/VelmoCore/VelmoUpdateStore.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace velmo {

VelmoUpdateRow::VelmoUpdateRow(VelmoUpdateStore& store, QWidget* parent)
    : QWidget(parent), store_(store), banner_(new VelmoUpdateBannerView(store, false, this)),
      statusText_(new QLabel(this)), checkButton_(new QPushButton(this)) {
    const QString secondaryText =
        VelmoBannerLook::styleSheetColor(VelmoBannerLook::secondaryLabel());
    statusText_->setFont(VelmoBannerLook::font(9.5));
    statusText_->setStyleSheet(QStringLiteral("color: %1;").arg(secondaryText));
    checkButton_->setFont(VelmoBannerLook::font(9.5, QFont::Medium));
    checkButton_->setFlat(true);
    checkButton_->setCursor(Qt::PointingHandCursor);
    checkButton_->setStyleSheet(
        QStringLiteral("QPushButton { color: %1; border: none; background: transparent; "
                       "padding: 0; }")
            .arg(secondaryText));

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);
    row->addWidget(banner_, 1);
    row->addStretch(0);
    row->addWidget(statusText_);
    row->addWidget(checkButton_);
    setMinimumHeight(16);

    // The check starts once the click has been handled; a click during a check starts another.
    connect(checkButton_, &QPushButton::clicked, this,
            [this] { QTimer::singleShot(0, &store_, [this] { store_.checkForUpdates(false); }); });
    connect(&store_, &VelmoUpdateStore::changed, this, &VelmoUpdateRow::refresh);
    refresh();
}

void VelmoUpdateRow::refresh() {
    statusText_->setText(store_.updateStatusText());
    statusText_->setVisible(!store_.updateStatusText().isEmpty() && !store_.isOutOfDate());
    checkButton_->setText(store_.checkingForUpdates() ? QStringLiteral("Checking...")
                                                      : QStringLiteral("Check for Updates"));
}

} // namespace velmo
