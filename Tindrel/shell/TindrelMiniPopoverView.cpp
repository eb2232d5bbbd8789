#include "Tindrel/shell/TindrelMiniPopoverView.h"

#include "Tindrel/canvas/WaveformScrubberCanvas.h"
#include "Tindrel/mainwindow/ChipButton.h"
#include "Tindrel/mainwindow/ElidedLabel.h"
#include "Tindrel/platform/text/LocaleFreeNumber.h"
#include "Tindrel/platform/ui/SystemColors.h"
#include "Tindrel/shell/PopoverButtons.h"
#include "Tindrel/store/TindrelStore.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

namespace tindrel {

using platform::FontWeight;
using platform::SystemColors;
using platform::SystemFont;

namespace {

// Above this true peak the badge turns red: no headroom left for lossy encoding.
constexpr float truePeakWarningDBTP = -0.2f;

QHBoxLayout* row(int spacing) {
    auto* layout = new QHBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

void setBadge(ChipButton& badge, const QString& title, const QColor& colour) {
    badge.setTitle(title);
    QColor fill = colour;
    fill.setAlphaF(0.18f);
    badge.setLook({fill, Qt::transparent, colour, 4});
}

class Divider : public QWidget {
public:
    explicit Divider(QWidget* parent) : QWidget(parent) { setFixedHeight(1); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(rect(), SystemColors::white(0.12));
    }
};

} // namespace

TindrelMiniPopoverView::TindrelMiniPopoverView(TindrelStore& store, QWidget* parent)
    : QWidget(parent), store_(store) {
    setFixedSize(contentSize);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(9);
    // The rows sit in the middle of the fixed frame, the spare height split above and below.
    column->addStretch(1);
    column->addLayout(makeTitleRow());

    badgeRow_ = new QWidget(this);
    auto* badges = row(5);
    badgeRow_->setLayout(badges);
    const QFont badgeFont = SystemFont::font(10, FontWeight::semibold);
    for (ChipButton*& badge : badges_) {
        badge = makeInertChip(badgeRow_, {}, 0, {}, badgeFont, true, QColor(), QColor(), 6, 2, 4);
        badges->addWidget(badge);
    }
    badges->addStretch(1);
    column->addWidget(badgeRow_);

    canvas_ = new WaveformScrubberCanvas(store_, this);
    canvas_->setFixedHeight(82);
    column->addWidget(canvas_);
    column->addLayout(makeTransportRow());
    column->addWidget(new Divider(this));
    column->addLayout(makeActionRow());
    column->addStretch(1);

    connect(&store_, &TindrelStore::changed, this, &TindrelMiniPopoverView::refresh);
    refresh();
}

QLayout* TindrelMiniPopoverView::makeTitleRow() {
    auto* title = row(8);
    title->addWidget(makeInertChip(this, QStringLiteral("waveform"), 12, {}, font(), false,
                                   SystemColors::cyan(), Qt::transparent, 0, 0, 0));
    name_ = new ElidedLabel(this);
    name_->setTextFont(SystemFont::font(13, FontWeight::bold));
    name_->setColor(SystemColors::primaryLabel());
    title->addWidget(name_, 1);
    time_ = new ElidedLabel(this);
    time_->setTextFont(SystemFont::font(11.5, FontWeight::bold));
    time_->setMonospacedDigits(true);
    time_->setKeepsFullWidth(true);
    time_->setColor(SystemColors::cyan());
    time_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    title->addWidget(time_);
    return title;
}

QLayout* TindrelMiniPopoverView::makeTransportRow() {
    auto* transport = row(6);
    const QFont buttonFont = SystemFont::font(11, FontWeight::semibold);
    previous_ = makeBorderedButton(this, QStringLiteral("backward.end.fill"), {}, buttonFont);
    play_ = makeProminentButton(this, {}, {}, SystemFont::font(11.5, FontWeight::bold),
                                SystemColors::cyan());
    play_->setFixedLabelSize(QSize(72, 22));
    next_ = makeBorderedButton(this, QStringLiteral("forward.end.fill"), {}, buttonFont);
    loop_ =
        makeProminentButton(this, QStringLiteral("repeat"), {}, buttonFont, SystemColors::gray());
    pitchDown_ = makeBorderedButton(this, {}, QStringLiteral("-1"), buttonFont);
    pitch_ = new ElidedLabel(this);
    pitch_->setTextFont(SystemFont::font(11, FontWeight::bold));
    pitch_->setMonospacedDigits(true);
    pitch_->setKeepsFullWidth(true);
    pitchUp_ = makeBorderedButton(this, {}, QStringLiteral("+1"), buttonFont);
    for (QWidget* control : {static_cast<QWidget*>(previous_), static_cast<QWidget*>(play_),
                             static_cast<QWidget*>(next_), static_cast<QWidget*>(loop_)})
        transport->addWidget(control);
    transport->addStretch(1);
    transport->addWidget(pitchDown_);
    transport->addWidget(pitch_);
    transport->addWidget(pitchUp_);

    connect(previous_, &ChipButton::clicked, this, [this] { store_.stepSibling(-1); });
    connect(play_, &ChipButton::clicked, this, [this] { store_.togglePlayPause(); });
    connect(next_, &ChipButton::clicked, this, [this] { store_.stepSibling(+1); });
    connect(loop_, &ChipButton::clicked, this,
            [this] { store_.isLoopEnabled = !store_.isLoopEnabled.get(); });
    connect(pitchDown_, &ChipButton::clicked, this, [this] { store_.stepPitchSemitones(-1.0f); });
    connect(pitchUp_, &ChipButton::clicked, this, [this] { store_.stepPitchSemitones(+1.0f); });
    return transport;
}

QLayout* TindrelMiniPopoverView::makeActionRow() {
    auto* actions = row(8);
    copyFile_ = makeBorderedButton(this, QStringLiteral("doc.on.doc"), QStringLiteral("Copy File"),
                                   SystemFont::font(11, FontWeight::medium));
    openWindow_ =
        makeProminentButton(this, QStringLiteral("macwindow"), QStringLiteral("Open Window"),
                            SystemFont::font(11, FontWeight::bold), SystemColors::mint());
    exit_ = makeBorderedButton(this, QStringLiteral("xmark.circle.fill"), QStringLiteral("Exit"),
                               SystemFont::font(11, FontWeight::bold));
    actions->addWidget(copyFile_);
    actions->addStretch(1);
    actions->addWidget(openWindow_);
    actions->addWidget(exit_);

    connect(copyFile_, &ChipButton::clicked, this, [this] { store_.copyFileToPasteboard(); });
    connect(openWindow_, &ChipButton::clicked, this, [this] {
        if (store_.onOpenMainWindowRequested)
            store_.onOpenMainWindowRequested();
    });
    connect(exit_, &ChipButton::clicked, this, &TindrelMiniPopoverView::exitProgram);
    return actions;
}

void TindrelMiniPopoverView::exitProgram() {
    store_.shutGate();
    store_.stopAndCleanup();
    QCoreApplication::quit();
}

void TindrelMiniPopoverView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refresh();
}

void TindrelMiniPopoverView::refresh() {
    // The popover lives for the whole run but is mostly closed: while it is, the store's
    // playback ticks cost it nothing, and showing it brings it up to date.
    if (!isVisible())
        return;
    const std::optional<AudioFileSpec>& spec = store_.spec.get();
    name_->setText(spec ? text(spec->fileName) : QStringLiteral("Tindrel"));
    time_->setText(TindrelStore::formatTime(store_.currentTime.get()) + QStringLiteral(" / ") +
                   TindrelStore::formatTime(store_.duration.get()));

    badgeRow_->setVisible(spec.has_value());
    if (spec) {
        setBadge(*badges_[0], text(formatNumber("%.1f LUFS-I", double(spec->lufsIntegrated))),
                 SystemColors::green());
        setBadge(*badges_[1], text(formatNumber("TP %.1f dBTP", double(spec->truePeakDBTP))),
                 spec->truePeakDBTP > truePeakWarningDBTP ? SystemColors::red()
                                                          : SystemColors::mint());
        setBadge(*badges_[2], text(spec->sampleRateLabel()), SystemColors::cyan());
        setBadge(*badges_[3], text(formatNumber("%d-bit", spec->bitDepth)), SystemColors::blue());
    }

    const bool playing = store_.isPlaying.get();
    play_->setSymbol(playing ? QStringLiteral("pause.fill") : QStringLiteral("play.fill"), 10.5);
    play_->setTitle(playing ? QStringLiteral("Pause") : QStringLiteral("Play"));
    setProminentTint(*loop_,
                     store_.isLoopEnabled.get() ? SystemColors::orange() : SystemColors::gray());

    const float pitch = store_.pitchSemitones.get();
    pitch_->setText(text(formatNumber("%+.1f st", double(pitch))));
    pitch_->setColor(pitch == 0.0f ? SystemColors::secondaryLabel() : SystemColors::orange());

    copyFile_->setEnabled(store_.currentURL->has_value());
}

void TindrelMiniPopoverView::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), QColor::fromRgbF(0.06f, 0.08f, 0.12f));
}

} // namespace tindrel
