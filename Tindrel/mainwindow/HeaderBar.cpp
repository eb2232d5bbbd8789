#include "Tindrel/mainwindow/HeaderBar.h"

#include "Tindrel/mainwindow/ElidedLabel.h"
#include "Tindrel/mainwindow/FolderMenuButton.h"
#include "Tindrel/mainwindow/PillButton.h"
#include "Tindrel/platform/ui/SymbolImages.h"
#include "Tindrel/platform/ui/SystemColors.h"
#include "Tindrel/platform/ui/SystemFont.h"
#include "Tindrel/store/TindrelStore.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>

namespace tindrel {

using platform::FontWeight;
using platform::SymbolImages;
using platform::SystemColors;
using platform::SystemFont;

class HeaderBar::LogoBadge : public QWidget {
public:
    explicit LogoBadge(QWidget* parent) : QWidget(parent) { setFixedSize(32, 32); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath badge;
        badge.addRoundedRect(QRectF(rect()), 8, 8);
        painter.fillPath(badge, SystemColors::cyan(0.18));
        const qreal side = 19; // 16 points
        SymbolImages::draw(painter, QRectF((width() - side) / 2, (height() - side) / 2, side, side),
                           QStringLiteral("waveform"), SystemColors::cyan());
    }
};

namespace {

// Back and forward: white 0.08 behind a primary symbol while usable. While not, the chip's
// own disabled dimming (0.4) turns the second look into the faded one: white 0.03 behind the
// secondary colour at 0.4.
ChipLook historyLook(bool usable) {
    return usable ? ChipLook{SystemColors::white(0.08), Qt::transparent,
                             SystemColors::primaryLabel(), 6}
                  : ChipLook{SystemColors::white(0.075), Qt::transparent,
                             SystemColors::secondaryLabel(), 6};
}

} // namespace

ChipButton* HeaderBar::historyButton(const QString& symbol, const QString& helpText) {
    auto* button = new ChipButton(this);
    button->setSymbol(symbol, 11);
    button->setFixedLabelSize(QSize(24, 26));
    button->setToolTip(helpText);
    return button;
}

HeaderBar::HeaderBar(TindrelStore& store, QWidget* parent)
    : QWidget(parent), store_(store),
      back_(historyButton(QStringLiteral("chevron.left"), QStringLiteral("Previous Folder"))),
      forward_(historyButton(QStringLiteral("chevron.right"), QStringLiteral("Next Folder"))),
      folderMenu_(new FolderMenuButton(store, this)),
      export_(new PillButton(QStringLiteral("sparkles"), QStringLiteral("Export Modified"),
                             SystemColors::orange(), std::nullopt,
                             QStringLiteral("Render & export the selected range (or full file) "
                                            "with your active Warp Mode, Speed, and Pitch Shift "
                                            "as a new .WAV file"),
                             this)),
      copy_(new PillButton(QStringLiteral("doc.on.doc"), QStringLiteral("Copy File"), std::nullopt,
                           std::nullopt, QStringLiteral("Copy audio file to clipboard (Ctrl+C)"),
                           this)),
      reveal_(new PillButton(QStringLiteral("folder"), QStringLiteral("Reveal"), std::nullopt,
                             std::nullopt, QStringLiteral("Reveal audio file in the file manager"),
                             this)),
      open_(new PillButton(QStringLiteral("folder.badge.plus"), QStringLiteral("Open File..."),
                           std::nullopt, std::nullopt,
                           QStringLiteral("Open an audio file or folder"), this)),
      settings_(new ChipButton(this)),
      exit_(new PillButton(
          QStringLiteral("xmark"), QStringLiteral("Exit"), SystemColors::red(), std::nullopt,
          QStringLiteral("Stop playback and close Tindrel (Ctrl+Q / Ctrl+W)"), this)) {
    settings_->setSymbol(QStringLiteral("gearshape.fill"), 11.5);
    settings_->setTitleFont(SystemFont::font(11.5, FontWeight::semibold), false);
    settings_->setTitle(QStringLiteral("Settings"));
    settings_->setPadding(10, 0);
    settings_->setSpacing(5);
    settings_->setLabelHeight(30);
    settings_->setLook(
        {SystemColors::white(0.08), SystemColors::white(0.08), SystemColors::primaryLabel(), 6});
    settings_->setSymbolColor(SystemColors::cyan());

    auto* title = new ElidedLabel(this);
    title->setTextFont(SystemFont::font(17, FontWeight::bold));
    title->setColor(SystemColors::primaryLabel());
    title->setText(QStringLiteral("Tindrel"));
    title->setKeepsFullWidth(true);

    auto* navigation = new QHBoxLayout;
    navigation->setContentsMargins(0, 0, 0, 0);
    navigation->setSpacing(4);
    navigation->addWidget(back_, 0, Qt::AlignVCenter);
    navigation->addWidget(forward_, 0, Qt::AlignVCenter);
    navigation->addWidget(folderMenu_, 0, Qt::AlignVCenter);

    auto* divider = new QWidget(this);
    divider->setFixedSize(1, 18);
    divider->setAutoFillBackground(true);
    divider->setPalette(QPalette(SystemColors::white(0.18)));

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    row->addWidget(new LogoBadge(this), 0, Qt::AlignVCenter);
    row->addWidget(title, 0, Qt::AlignVCenter);
    row->addLayout(navigation);
    row->addStretch(1);
    for (QWidget* item :
         std::initializer_list<QWidget*>{export_, copy_, reveal_, divider, open_, settings_, exit_})
        row->addWidget(item, 0, Qt::AlignVCenter);

    connect(back_, &ChipButton::clicked, this, [this] { store_.goBackFolder(); });
    connect(forward_, &ChipButton::clicked, this, [this] { store_.goForwardFolder(); });
    connect(folderMenu_, &FolderMenuButton::chooseFolderRequested, this,
            &HeaderBar::chooseFolderRequested);
    connect(export_, &ChipButton::clicked, this, [this] { store_.exportModifiedAudioToWAV(); });
    connect(copy_, &ChipButton::clicked, this, [this] { store_.copyFileToPasteboard(); });
    connect(reveal_, &ChipButton::clicked, this, [this] { store_.revealInFinder(); });
    connect(open_, &ChipButton::clicked, this, &HeaderBar::openFileRequested);
    connect(settings_, &ChipButton::clicked, this, &HeaderBar::settingsClicked);
    connect(exit_, &ChipButton::clicked, this, &HeaderBar::exitClicked);
    connect(&store_, &TindrelStore::changed, this, &HeaderBar::refresh);
    refresh();
}

void HeaderBar::refresh() {
    const bool hasFile = store_.currentURL->has_value();
    export_->setEnabled(hasFile);
    copy_->setEnabled(hasFile);
    reveal_->setEnabled(hasFile);
    const bool canGoBack = store_.canGoBackFolder();
    back_->setEnabled(canGoBack);
    back_->setLook(historyLook(canGoBack));
    const bool canGoForward = store_.canGoForwardFolder();
    forward_->setEnabled(canGoForward);
    forward_->setLook(historyLook(canGoForward));
}

} // namespace tindrel
