#include "Tindrel/mainwindow/TitleLine.h"

#include "Tindrel/mainwindow/ChipButton.h"
#include "Tindrel/mainwindow/ElidedLabel.h"
#include "Tindrel/mainwindow/StyleSheetText.h"
#include "Tindrel/mainwindow/TightRow.h"
#include "Tindrel/platform/ui/SystemColors.h"
#include "Tindrel/platform/ui/SystemFont.h"
#include "Tindrel/store/TindrelStore.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

namespace tindrel {

using platform::FontWeight;
using platform::SystemColors;
using platform::SystemFont;

namespace {

QPushButton* smallButton(const QString& title, const QColor& fill, const QColor& text,
                         const QColor& outline, QWidget* parent) {
    auto* button = new QPushButton(title, parent);
    button->setFont(SystemFont::font(11, FontWeight::semibold));
    button->setFocusPolicy(Qt::NoFocus);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    button->setStyleSheet(
        QStringLiteral("QPushButton { background: %1; color: %2; border: 1px solid "
                       "%3; border-radius: 5px; padding: 2px 10px; }")
            .arg(styleSheetColor(fill), styleSheetColor(text), styleSheetColor(outline)));
    return button;
}

} // namespace

TitleLine::TitleLine(TindrelStore& store, QWidget* parent)
    : QWidget(parent), store_(store), nameArea_(new QWidget(this)),
      name_(new ElidedLabel(nameArea_)), rename_(new ChipButton(nameArea_)),
      editor_(new QWidget(this)), field_(new QLineEdit(editor_)),
      extension_(new ElidedLabel(editor_)), time_(new ElidedLabel(this)) {
    name_->setTextFont(SystemFont::font(17, FontWeight::bold));
    name_->setElideMode(Qt::ElideMiddle);

    rename_->setSymbol(QStringLiteral("pencil"), 10.5);
    rename_->setTitle(QStringLiteral("Rename"));
    rename_->setTitleFont(SystemFont::font(11, FontWeight::semibold), false);
    rename_->setPadding(8, 4);
    rename_->setSpacing(4);
    rename_->setLook(
        {SystemColors::white(0.08), Qt::transparent, SystemColors::secondaryLabel(), 5});
    rename_->setToolTip(QStringLiteral("Rename audio file on disk"));

    auto* nameRow = tightRow(nameArea_, 8);
    // The button follows the name; the spare width goes after both.
    nameRow->addWidget(name_, 0, Qt::AlignVCenter);
    nameRow->addWidget(rename_, 0, Qt::AlignVCenter);
    nameRow->addStretch(1);

    field_->setPlaceholderText(QStringLiteral("New file name"));
    field_->setFont(SystemFont::font(14, FontWeight::semibold));
    field_->setMaximumWidth(380);
    field_->setStyleSheet(
        QStringLiteral("QLineEdit { background: %1; color: %2; border: 1px solid %3; "
                       "border-radius: 5px; padding: 2px 6px; }")
            .arg(styleSheetColor(SystemColors::black(0.35)),
                 styleSheetColor(SystemColors::primaryLabel()),
                 styleSheetColor(SystemColors::white(0.2))));
    extension_->setTextFont(SystemFont::font(13, FontWeight::semibold));
    extension_->setColor(SystemColors::secondaryLabel());
    extension_->setKeepsFullWidth(true);
    // Save is the prominent action: filled with the tint, a white label.
    save_ = smallButton(QStringLiteral("Save"), SystemColors::cyan(), SystemColors::white(),
                        SystemColors::cyan().darker(125), editor_);
    cancel_ = smallButton(QStringLiteral("Cancel"), SystemColors::white(0.12),
                          SystemColors::primaryLabel(), SystemColors::white(0.12), editor_);

    // The field takes the spare width first, up to its maximum; only then the stretch after.
    auto* editorRow = tightRow(editor_, 6);
    editorRow->addWidget(field_, 1000, Qt::AlignVCenter);
    editorRow->addWidget(extension_, 0, Qt::AlignVCenter);
    editorRow->addWidget(save_, 0, Qt::AlignVCenter);
    editorRow->addWidget(cancel_, 0, Qt::AlignVCenter);
    editorRow->addStretch(1);

    time_->setTextFont(SystemFont::font(16, FontWeight::bold));
    time_->setMonospacedDigits(true);
    time_->setColor(SystemColors::cyan());
    time_->setKeepsFullWidth(true);

    auto* row = tightRow(this, 8);
    row->addWidget(nameArea_, 1, Qt::AlignVCenter);
    row->addWidget(editor_, 1, Qt::AlignVCenter);
    row->addWidget(time_, 0, Qt::AlignVCenter);

    connect(rename_, &ChipButton::clicked, this, [this] { store_.beginRenameCurrentFile(); });
    connect(field_, &QLineEdit::textEdited, this,
            [this](const QString& text) { store_.renameDraftText = text; });
    connect(field_, &QLineEdit::returnPressed, this, [this] { store_.commitRenameCurrentFile(); });
    connect(save_, &QPushButton::clicked, this, [this] { store_.commitRenameCurrentFile(); });
    connect(cancel_, &QPushButton::clicked, this, [this] { store_.isRenamingCurrentFile = false; });
    connect(&store_, &TindrelStore::changed, this, &TitleLine::refresh);
    refresh();
}

bool TitleLine::isEditorShown() const {
    return !editor_->isHidden();
}

void TitleLine::refresh() {
    const std::optional<AudioFileSpec>& spec = store_.spec.get();
    if (spec && (spec->fileName != shownFileName_ || spec->url.native() != shownPath_)) {
        shownFileName_ = spec->fileName;
        shownPath_ = spec->url.native();
        name_->setText(QString::fromStdString(spec->fileName));
        extension_->setText(QStringLiteral(".") +
                            QString::fromStdString(spec->url.extension().string()).mid(1));
    }
    const bool editing = store_.isRenamingCurrentFile.get();
    if (editing != isEditorShown()) {
        // Hiding a focused field would hand the focus on to the next field of the window (a
        // typed pitch or speed), which would then swallow Space and the other keys.
        if (!editing && window()->focusWidget() == field_)
            field_->clearFocus();
        nameArea_->setVisible(!editing);
        editor_->setVisible(editing);
        // A freshly opened editor takes the keys, so the new name can be typed at once.
        if (editing)
            field_->setFocus(Qt::OtherFocusReason);
    }
    if (field_->text() != store_.renameDraftText.get())
        field_->setText(store_.renameDraftText.get());
    if (store_.duration.get() != shownDuration_) {
        shownDuration_ = store_.duration.get();
        durationText_ = QStringLiteral(" / ") + TindrelStore::formatTime(shownDuration_);
    }
    time_->setText(TindrelStore::formatTime(store_.currentTime.get()) + durationText_);
}

} // namespace tindrel
