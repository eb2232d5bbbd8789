#include "Tindrel/mainwindow/TransportAndWarpBar.h"

#include "Tindrel/mainwindow/PillButton.h"
#include "Tindrel/mainwindow/RoundedPanel.h"
#include "Tindrel/mainwindow/StyleSheetText.h"
#include "Tindrel/mainwindow/TightRow.h"
#include "Tindrel/mainwindow/TwoGroupRowLayout.h"
#include "Tindrel/platform/text/LocaleFreeNumber.h"
#include "Tindrel/platform/ui/SymbolImages.h"
#include "Tindrel/platform/ui/SystemColors.h"
#include "Tindrel/platform/ui/SystemFont.h"
#include "Tindrel/store/TindrelStore.h"
#include "Tindrel/store/WarpScope.h"

#include <QHBoxLayout>
#include <QMenu>
#include <QPainter>

namespace tindrel {

using platform::FontWeight;
using platform::SymbolImages;
using platform::SystemColors;
using platform::SystemFont;

namespace {

class VerticalDivider : public QWidget {
public:
    explicit VerticalDivider(QWidget* parent) : QWidget(parent) { setFixedSize(1, 20); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(rect(), SystemColors::white(0.15));
    }
};

QString scopeMenuTitle(WarpScope scope) {
    return scope == WarpScope::wholeTrack ? QStringLiteral("Whole Track")
                                          : QStringLiteral("Range Only [ In .. Out ]");
}

} // namespace

TransportAndWarpBar::TransportAndWarpBar(TindrelStore& store, QWidget* parent)
    : QWidget(parent), store_(store) {
    auto* leading = new QWidget(this);
    auto* leadingRow = tightRow(6);
    leading->setLayout(leadingRow);

    // Transport group.
    auto* transport = tightRow(4);
    previous_ = new PillButton(QStringLiteral("backward.end.fill"), {}, std::nullopt, std::nullopt,
                               QStringLiteral("Previous file in folder (Up Arrow)"), leading);
    play_ = new ChipButton(leading);
    play_->setTitleFont(SystemFont::font(12, FontWeight::bold), false);
    play_->setSpacing(6);
    play_->setFixedLabelSize(QSize(132, 30));
    play_->setLook({SystemColors::cyan(), Qt::transparent, SystemColors::black(), 7});
    next_ = new PillButton(QStringLiteral("forward.end.fill"), {}, std::nullopt, std::nullopt,
                           QStringLiteral("Next file in folder (Down Arrow)"), leading);
    transport->addWidget(previous_);
    transport->addWidget(play_);
    transport->addWidget(next_);

    // Range group.
    auto* range = tightRow(4);
    loop_ = new ChipButton(leading);
    loop_->setSymbol(QStringLiteral("repeat"), 10.5);
    loop_->setTitleFont(SystemFont::font(11, FontWeight::semibold), false);
    loop_->setSpacing(4);
    loop_->setFixedLabelSize(QSize(82, 30));
    loop_->setToolTip(QStringLiteral("Toggle Loop (L)"));
    in_ = new PillButton({}, {}, std::nullopt, 90,
                         QStringLiteral("Set playback range start at playhead (I) \u2014 or drag "
                                        "orange IN handle on waveform"),
                         leading);
    out_ = new PillButton({}, {}, std::nullopt, 90,
                          QStringLiteral("Set playback range end at playhead (O) \u2014 or drag "
                                         "orange OUT handle on waveform"),
                          leading);
    playRange_ = new PillButton(
        QStringLiteral("play.rectangle.fill"), {}, SystemColors::mint(), std::nullopt,
        QStringLiteral("Audition & loop the Warped Playback Range [ In .. Out ]"), leading);
    clear_ = new PillButton(QStringLiteral("xmark"), {}, std::nullopt, std::nullopt,
                            QStringLiteral("Clear playback range"), leading);
    for (QWidget* w : std::initializer_list<QWidget*>{loop_, in_, out_, playRange_, clear_})
        range->addWidget(w);

    leadingRow->addLayout(transport);
    leadingRow->addWidget(new VerticalDivider(leading), 0, Qt::AlignVCenter);
    leadingRow->addLayout(range);

    // Warp group.
    auto* warp = new RoundedPanel(this);
    warp->setLook(SystemColors::white(0.04), Qt::transparent, 7);
    auto* warpRow = tightRow(4);
    warpRow->setContentsMargins(6, 3, 6, 3);
    warp->setLayout(warpRow);

    scope_ = new ChipButton(warp);
    scope_->setTitleFont(SystemFont::font(10.5, FontWeight::semibold), false);
    scope_->setFixedLabelSize(QSize(105, 22));
    scope_->setPullDownIndicator(true);
    scope_->setLook(
        {SystemColors::white(0.1), SystemColors::white(0.14), SystemColors::primaryLabel(), 5});
    scope_->setToolTip(QStringLiteral("Choose whether Speed & Pitch warp applies to the Whole "
                                      "Track or ONLY inside the [ In .. Out ] range"));
    scopeMenu_ = new QMenu(scope_);
    // A disabled item heads the list: not every style draws a section's title.
    scopeMenu_->addAction(QStringLiteral("Warp Scope (Where Speed && Pitch Apply)"))
        ->setEnabled(false);
    scopeMenu_->setStyleSheet(darkMenuStyleSheet());
    for (WarpScope scope : allWarpScopes) {
        QAction* item = scopeMenu_->addAction(scopeMenuTitle(scope));
        item->setData(int(scope));
        connect(item, &QAction::triggered, this, [this, scope] { store_.setWarpScope(scope); });
    }
    connect(scopeMenu_, &QMenu::aboutToShow, this, &TransportAndWarpBar::refreshScopeMenu);
    connect(scope_, &ChipButton::clicked, this,
            [this] { scopeMenu_->popup(scope_->mapToGlobal(QPoint(0, scope_->height()))); });
    warpRow->addWidget(scope_, 0, Qt::AlignVCenter);

    for (size_t i = 0; i < allWarpModes.size(); ++i) {
        const WarpMode mode = allWarpModes[i];
        auto* button = new ChipButton(warp);
        button->setSymbol(sfSymbol(mode), 10);
        button->setTitle(rawValue(mode));
        button->setPadding(7, 5);
        button->setSpacing(4);
        button->setToolTip(helpDescription(mode));
        connect(button, &ChipButton::clicked, this, [this, mode] { store_.setWarpMode(mode); });
        warpRow->addWidget(button, 0, Qt::AlignVCenter);
        modes_[i] = button;
    }

    layout_ = new TwoGroupRowLayout(leading, warp, this);
    layout_->setSpacing(6);

    connect(previous_, &ChipButton::clicked, this, [this] { store_.stepSibling(-1); });
    connect(next_, &ChipButton::clicked, this, [this] { store_.stepSibling(+1); });
    connect(play_, &ChipButton::clicked, this, &TransportAndWarpBar::playClicked);
    connect(loop_, &ChipButton::clicked, this,
            [this] { store_.isLoopEnabled = !store_.isLoopEnabled.get(); });
    connect(in_, &ChipButton::clicked, this, [this] { store_.setLoopInAtPlayhead(); });
    connect(out_, &ChipButton::clicked, this, [this] { store_.setLoopOutAtPlayhead(); });
    connect(playRange_, &ChipButton::clicked, this, [this] { store_.playWarpedRange(); });
    connect(clear_, &ChipButton::clicked, this, [this] { store_.clearABLoop(); });
    connect(&store_, &TindrelStore::changed, this, &TransportAndWarpBar::refresh);
    refresh();
}

ChipButton& TransportAndWarpBar::previousButton() const {
    return *previous_;
}
ChipButton& TransportAndWarpBar::nextButton() const {
    return *next_;
}

ChipButton& TransportAndWarpBar::modeButton(WarpMode mode) const {
    for (size_t i = 0; i < allWarpModes.size(); ++i)
        if (allWarpModes[i] == mode)
            return *modes_[i];
    return *modes_[0];
}

bool TransportAndWarpBar::isWarpGroupWrapped() const {
    return layout_->isWrapped();
}

void TransportAndWarpBar::playClicked() {
    // Take the keyboard focus from any text field first, so Space and the other keys act again.
    if (QWidget* focused = window()->focusWidget())
        focused->clearFocus();
    store_.togglePlayPause();
}

void TransportAndWarpBar::refresh() {
    const bool playing = store_.isPlaying.get();
    play_->setSymbol(playing ? QStringLiteral("pause.fill") : QStringLiteral("play.fill"), 12);
    play_->setTitle(playing ? QStringLiteral("Pause (Space)") : QStringLiteral("Play (Space)"));

    const bool looping = store_.isLoopEnabled.get();
    loop_->setTitle(looping ? QStringLiteral("Loop ON") : QStringLiteral("Loop"));
    loop_->setLook(looping
                       ? ChipLook{SystemColors::orange(), Qt::transparent, SystemColors::black(), 6}
                       : ChipLook{SystemColors::white(0.08), Qt::transparent,
                                  SystemColors::primaryLabel(), 6});

    const std::optional<double> in = store_.loopIn.get();
    in_->setTitle(in ? QStringLiteral("[ In ") + TindrelStore::formatTime(*in)
                     : QStringLiteral("[ Set In (I)"));
    in_->setTint(in ? std::optional<QColor>(SystemColors::orange()) : std::nullopt);
    const std::optional<double> out = store_.loopOut.get();
    out_->setTitle(out ? QStringLiteral("Out ") + TindrelStore::formatTime(*out) +
                             QStringLiteral(" ]")
                       : QStringLiteral("Set Out (O) ]"));
    out_->setTint(out ? std::optional<QColor>(SystemColors::orange()) : std::nullopt);

    const bool hasRange = store_.hasActiveRange();
    playRange_->setTitle(
        hasRange ? QString::fromStdString(formatNumber("%.1fs", store_.rangeWarpedDuration()))
                 : QStringLiteral("Play Range"));
    clear_->setVisible(hasRange);

    scope_->setTitle(store_.warpScope.get() == WarpScope::rangeOnly
                         ? QStringLiteral("Scope: Range")
                         : QStringLiteral("Scope: Track"));

    static const QFont selectedModeFont = SystemFont::font(10.5, FontWeight::bold);
    static const QFont modeFont = SystemFont::font(10.5, FontWeight::medium);
    for (size_t i = 0; i < allWarpModes.size(); ++i) {
        const bool selected = store_.warpMode.get() == allWarpModes[i];
        ChipButton* button = modes_[i];
        button->setTitleFont(selected ? selectedModeFont : modeFont, false);
        button->setLook(selected ? ChipLook{SystemColors::cyan(0.24), SystemColors::cyan(0.55),
                                            SystemColors::cyan(), 6}
                                 : ChipLook{SystemColors::white(0.06), Qt::transparent,
                                            SystemColors::primaryLabel(), 6});
    }
}

void TransportAndWarpBar::refreshScopeMenu() {
    const WarpScope current = store_.warpScope.get();
    for (QAction* item : scopeMenu_->actions()) {
        if (!item->data().isValid())
            continue; // the heading
        const bool checked = item->data().toInt() == int(current);
        item->setIcon(QIcon(SymbolImages::pixmap(
            checked ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("circle"),
            QSize(14, 14), SystemColors::primaryLabel(), devicePixelRatioF())));
    }
}

} // namespace tindrel
