#include "Tindrel/VelmoCore/VelmoUpdateBannerView.h"

#include "Tindrel/VelmoCore/VelmoBannerLook.h"
#include "Tindrel/VelmoCore/VelmoUpdateStore.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace velmo {

namespace {

// One line of text cut off with an ellipsis at the available width; it never asks for the
// whole text's width, so a long message cannot widen the banner.
class OneLineText : public QWidget {
public:
    OneLineText(QFont font, QColor color, QWidget* parent)
        : QWidget(parent), color_(std::move(color)) {
        setFont(std::move(font));
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        setFixedHeight(fontMetrics().height());
    }

    void setText(const QString& text) {
        text_ = text;
        update();
    }
    QSize minimumSizeHint() const override { return {0, fontMetrics().height()}; }
    QSize sizeHint() const override {
        return {fontMetrics().horizontalAdvance(text_), fontMetrics().height()};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(color_);
        painter.drawText(rect(), Qt::AlignVCenter | Qt::AlignLeft,
                         fontMetrics().elidedText(text_, Qt::ElideRight, width()));
    }

private:
    QString text_;
    QColor color_;
};

QPushButton* miniButton(const QString& title, const QString& style, QWidget* parent) {
    auto* button = new QPushButton(title, parent);
    button->setFont(VelmoBannerLook::font(10, QFont::Medium));
    button->setCursor(Qt::PointingHandCursor);
    button->setFixedHeight(18);
    button->setStyleSheet(style);
    return button;
}

} // namespace

VelmoUpdateBannerView::VelmoUpdateBannerView(VelmoUpdateStore& store, bool compact, QWidget* parent)
    : QWidget(parent), store_(store), compact_(compact), badge_(new QLabel(this)),
      messageLine_(new OneLineText(VelmoBannerLook::font(compact ? 10.5 : 11, QFont::Medium),
                                   VelmoBannerLook::primaryLabel(), this)),
      progress_(new QProgressBar(this)), updating_(new QLabel(QStringLiteral("Updating..."), this)),
      updateNow_(
          miniButton(QStringLiteral("Update Now"),
                     QStringLiteral("QPushButton { background: %1; color: white; border: "
                                    "none; border-radius: 5px; padding: 0 8px; }"
                                    "QPushButton:pressed { background: %2; }")
                         .arg(VelmoBannerLook::styleSheetColor(VelmoBannerLook::orange()),
                              VelmoBannerLook::styleSheetColor(VelmoBannerLook::orange(0.75))),
                     this)),
      whatsNew_(miniButton(QStringLiteral("What's New"),
                           QStringLiteral("QPushButton { background: rgba(255,255,255,26); color: "
                                          "white; border: 1px solid rgba(255,255,255,40); "
                                          "border-radius: 5px; padding: 0 8px; }"
                                          "QPushButton:pressed { background: "
                                          "rgba(255,255,255,60); }"),
                           this)) {
    setAttribute(Qt::WA_TranslucentBackground);
    badge_->setFont(VelmoBannerLook::font(9.5, QFont::Bold));
    badge_->setStyleSheet(
        QStringLiteral("QLabel { color: %1; background: %2; border-radius: 4px; "
                       "padding: 2px 6px; }")
            .arg(VelmoBannerLook::styleSheetColor(VelmoBannerLook::orange()),
                 VelmoBannerLook::styleSheetColor(VelmoBannerLook::orange(0.22))));
    progress_->setRange(0, 0);
    progress_->setTextVisible(false);
    progress_->setFixedSize(36, 6);
    updating_->setFont(VelmoBannerLook::font(10));
    updating_->setStyleSheet(
        QStringLiteral("color: %1;")
            .arg(VelmoBannerLook::styleSheetColor(VelmoBannerLook::secondaryLabel())));

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(10, 5, 10, 5);
    row->setSpacing(8);
    row->addWidget(badge_);
    row->addWidget(messageLine_, 1);
    row->addSpacing(4);
    row->addWidget(progress_);
    row->addWidget(updating_);
    row->addWidget(updateNow_);
    row->addWidget(whatsNew_);

    // Each click starts its work once the click itself has been handled.
    connect(updateNow_, &QPushButton::clicked, this, [this] {
        QTimer::singleShot(0, &store_, [this] { store_.downloadAndInstallUpdate(); });
    });
    connect(whatsNew_, &QPushButton::clicked, this, [this] {
        store_.dismissUpdateFailure();
        const QUrl page(store_.productDownloadPage(), QUrl::StrictMode);
        if (page.isValid())
            store_.openInBrowser(page);
    });
    connect(&store_, &VelmoUpdateStore::changed, this, &VelmoUpdateBannerView::refresh);
    refresh();
}

void VelmoUpdateBannerView::refresh() {
    const bool shown = store_.isOutOfDate() && store_.availableVersion().has_value();
    setVisible(shown);
    if (!shown)
        return;
    const QString available = *store_.availableVersion();
    badge_->setText(QStringLiteral("OUT OF DATE \u00B7 v") + store_.currentVersion() +
                    QStringLiteral(" \u2192 v") + available);
    // A rolled-back update is said where the user looks, until acted on.
    message_ = !store_.updateFailureText().isEmpty() ? store_.updateFailureText()
               : compact_ ? store_.productName() + QStringLiteral(" v") + available +
                                QStringLiteral(" is ready")
                          : store_.productName() + QStringLiteral(" v") + available +
                                QStringLiteral(" update available \u00B7 ") + store_.updateNotes();
    static_cast<OneLineText*>(messageLine_)->setText(message_);
    const bool installing = store_.installingUpdate();
    progress_->setVisible(installing);
    updating_->setVisible(installing);
    updateNow_->setVisible(!installing);
    whatsNew_->setVisible(!installing);
}

void VelmoUpdateBannerView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath frame;
    frame.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 7, 7);
    painter.fillPath(frame, VelmoBannerLook::orange(0.09));
    painter.setPen(QPen(VelmoBannerLook::orange(0.35), 1));
    painter.drawPath(frame);
}

} // namespace velmo
