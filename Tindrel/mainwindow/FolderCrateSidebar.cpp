#include "Tindrel/mainwindow/FolderCrateSidebar.h"

#include "Tindrel/mainwindow/ChipButton.h"
#include "Tindrel/mainwindow/ElidedLabel.h"
#include "Tindrel/mainwindow/FolderCrateList.h"
#include "Tindrel/mainwindow/FolderCrateModel.h"
#include "Tindrel/mainwindow/KeyboardFocus.h"
#include "Tindrel/mainwindow/StyleSheetText.h"
#include "Tindrel/mainwindow/SymbolLabel.h"
#include "Tindrel/mainwindow/TightRow.h"
#include "Tindrel/platform/desktop/FileClipboard.h"
#include "Tindrel/platform/desktop/FileRevealer.h"
#include "Tindrel/platform/text/LocaleFreeNumber.h"
#include "Tindrel/platform/ui/SystemColors.h"
#include "Tindrel/platform/ui/SystemFont.h"
#include "Tindrel/store/TindrelStore.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QVBoxLayout>

#include <system_error>

namespace tindrel {

using platform::FontWeight;
using platform::SystemColors;
using platform::SystemFont;

FolderCrateSidebar::FolderCrateSidebar(TindrelStore& store, platform::FileRevealer& revealer,
                                       platform::FileClipboard& clipboard, QWidget* parent)
    : RoundedPanel(parent), store_(store), revealer_(revealer), clipboard_(clipboard),
      model_(new FolderCrateModel(this)),
      count_(new SymbolLabel(QStringLiteral("music.note.list"), 11, SystemColors::cyan(), this)),
      up_(new ChipButton(this)), filter_(new QLineEdit(this)), clear_(new ChipButton(this)),
      list_(new FolderCrateList(*model_, this)) {
    setLook(SystemColors::black(0.28), SystemColors::cyan(0.22), 10);
    setFixedWidth(columnWidth);

    count_->setTitleLook(SystemFont::font(11, FontWeight::bold), SystemColors::cyan());
    up_->setSymbol(QStringLiteral("arrow.turn.left.up"), 9.5);
    up_->setTitleFont(SystemFont::font(10, FontWeight::semibold), false);
    up_->setTitle(QStringLiteral("Up"));
    up_->setPadding(6, 2);
    up_->setSpacing(3);
    up_->setLook({SystemColors::white(0.07), Qt::transparent, SystemColors::secondaryLabel(), 4});
    auto* hint = new ElidedLabel(this);
    hint->setTextFont(SystemFont::font(10.5, FontWeight::medium));
    hint->setColor(SystemColors::secondaryLabel());
    hint->setText(QStringLiteral("\u2191 / \u2193 to step"));
    hint->setKeepsFullWidth(true);

    auto* header = new QWidget(this);
    auto* headerRow = tightRow(header, 6);
    headerRow->addWidget(count_, 0, Qt::AlignVCenter);
    headerRow->addStretch(1);
    headerRow->addWidget(up_, 0, Qt::AlignVCenter);
    headerRow->addWidget(hint, 0, Qt::AlignVCenter);

    auto* filterPanel = new RoundedPanel(this);
    filterPanel->setLook(SystemColors::white(0.06), Qt::transparent, 6);
    auto* filterRow = tightRow(filterPanel, 6);
    filterRow->setContentsMargins(8, 5, 8, 5);
    filterRow->addWidget(new SymbolLabel(QStringLiteral("magnifyingglass"), 11,
                                         SystemColors::secondaryLabel(), filterPanel),
                         0, Qt::AlignVCenter);
    // Only a click puts the caret here; a window being activated leaves the keys to the table.
    filter_->setFocusPolicy(Qt::ClickFocus);
    filter_->setPlaceholderText(QStringLiteral("Filter files in folder..."));
    filter_->setFont(SystemFont::font(11.5));
    filter_->setFrame(false);
    filter_->setStyleSheet(
        QStringLiteral("QLineEdit { background: transparent; color: %1; border: none; padding: 0; "
                       "selection-background-color: rgb(10,132,255); }")
            .arg(styleSheetColor(SystemColors::primaryLabel())));
    QPalette placeholder = filter_->palette();
    placeholder.setColor(QPalette::PlaceholderText, SystemColors::secondaryLabel());
    filter_->setPalette(placeholder);
    filterRow->addWidget(filter_, 1, Qt::AlignVCenter);
    clear_->setSymbol(QStringLiteral("xmark.circle.fill"), 11);
    clear_->setPadding(0, 0);
    clear_->setLook({Qt::transparent, Qt::transparent, SystemColors::secondaryLabel(), 0});
    filterRow->addWidget(clear_, 0, Qt::AlignVCenter);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(10, 10, 10, 10);
    column->setSpacing(8);
    column->addWidget(header);
    column->addWidget(filterPanel);
    column->addWidget(list_, 1);

    connect(filter_, &QLineEdit::textEdited, this,
            [this](const QString& text) { store_.siblingFilter = text; });
    connect(clear_, &ChipButton::clicked, this, [this] {
        store_.siblingFilter = QString();
        releaseKeyboardFocus(*this);
    });
    connect(up_, &ChipButton::clicked, this, [this] {
        store_.navigateToFolder(store_.currentFolderURL->parent_path(), true, false);
    });
    connect(list_, &FolderCrateList::rowClicked, this, &FolderCrateSidebar::activateRow);
    connect(list_, &FolderCrateList::rowMenuRequested, this, [this](int row, const QPoint& at) {
        if (std::unique_ptr<QMenu> menu = makeRowMenu(row))
            menu->exec(at);
    });
    connect(&store_, &TindrelStore::changed, this, &FolderCrateSidebar::refresh);
    refresh();
}

QString FolderCrateSidebar::headerTitle() const {
    return count_->title();
}

void FolderCrateSidebar::refresh() {
    model_->refresh(store_);
    if (shownCount_ != model_->fileCount()) {
        shownCount_ = model_->fileCount();
        count_->setTitle(QStringLiteral("FOLDER CRATE (") +
                         QString::fromStdString(formatNumber("%zu", *shownCount_)) +
                         QStringLiteral(")"));
    }

    const std::filesystem::path& folder = store_.currentFolderURL.get();
    if (shownFolder_ != folder.native()) {
        shownFolder_ = folder.native();
        const bool belowRoot = folder.string() != "/";
        up_->setVisible(belowRoot);
        if (belowRoot) {
            const std::filesystem::path parent = folder.parent_path();
            const std::string parentName =
                parent == parent.root_path() ? std::string("/") : parent.filename().string();
            up_->setToolTip(QStringLiteral("Go to parent folder (") +
                            QString::fromStdString(parentName) + QStringLiteral(")"));
        }
    }

    const QString& filter = store_.siblingFilter.get();
    if (filter_->text() != filter)
        filter_->setText(filter);
    clear_->setVisible(!filter.isEmpty());
}

void FolderCrateSidebar::activateRow(int row) {
    if (row < 0 || row >= model_->rowCount())
        return;
    const std::filesystem::path url = model_->url(row);
    if (model_->kind(row) == FolderCrateModel::RowKind::folder) {
        store_.navigateToFolder(url, true, true);
        return;
    }
    releaseKeyboardFocus(*this);
    store_.loadAndPlay(url, true);
}

void FolderCrateSidebar::renameRowFile(const std::filesystem::path& file) {
    store_.loadAndPlay(file, false);
    // A file that vanished since the listing loads nothing (the store says so in the status
    // line), and the editor must not open for whichever file is still current instead.
    std::error_code error;
    if (store_.currentURL.get() != file || !std::filesystem::exists(file, error))
        return;
    store_.beginRenameCurrentFile();
}

std::unique_ptr<QMenu> FolderCrateSidebar::makeRowMenu(int row) {
    if (row < 0 || row >= model_->rowCount() ||
        model_->kind(row) != FolderCrateModel::RowKind::file)
        return nullptr;
    const std::filesystem::path file = model_->url(row);
    auto menu = std::make_unique<QMenu>(this);
    menu->setStyleSheet(darkMenuStyleSheet());
    connect(menu->addAction(QStringLiteral("Rename File...")), &QAction::triggered, this,
            [this, file] { renameRowFile(file); });
    connect(menu->addAction(QStringLiteral("Copy Audio File")), &QAction::triggered, this,
            [this, file] { clipboard_.copyFiles({file}); });
    connect(menu->addAction(QStringLiteral("Show in File Manager")), &QAction::triggered, this,
            [this, file] { revealer_.revealFiles({file}); });
    return menu;
}

} // namespace tindrel
