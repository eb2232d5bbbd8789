#include "Tindrel/mainwindow/TindrelMainView.h"

#include "Tindrel/VelmoCore/VelmoUpdateRow.h"
#include "Tindrel/VelmoCore/VelmoUpdateStore.h"
#include "Tindrel/mainwindow/ChipButton.h"
#include "Tindrel/mainwindow/FolderCrateSidebar.h"
#include "Tindrel/mainwindow/FooterBar.h"
#include "Tindrel/mainwindow/HeaderBar.h"
#include "Tindrel/mainwindow/KeyboardFocus.h"
#include "Tindrel/mainwindow/OpenFileOrFolder.h"
#include "Tindrel/mainwindow/PlayerInspectorColumn.h"
#include "Tindrel/mainwindow/SettingsPopup.h"
#include "Tindrel/platform/desktop/DesktopServices.h"
#include "Tindrel/platform/ui/SerialPaintBands.h"
#include "Tindrel/store/TindrelStore.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QLinearGradient>
#include <QMimeData>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>

namespace tindrel {

namespace {

// The first dragged item, when it is a local file or folder; links to anything else (web
// pages, remote files) are refused.
std::optional<std::filesystem::path> droppedLocation(const QMimeData* data) {
    if (!data || !data->hasUrls() || data->urls().isEmpty())
        return std::nullopt;
    const QUrl first = data->urls().first();
    if (!first.isLocalFile() || first.toLocalFile().isEmpty())
        return std::nullopt;
    return std::filesystem::path(first.toLocalFile().toStdString());
}

bool carriesLocalFiles(const QMimeData* data) {
    if (!data || !data->hasUrls())
        return false;
    const QList<QUrl> urls = data->urls();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

// A file panel that also takes a folder: "Open" on a selected folder chooses it instead of
// entering it (double-clicking still enters).
class FileOrFolderDialog : public QFileDialog {
public:
    explicit FileOrFolderDialog(QWidget* parent) : QFileDialog(parent) {
        setOption(QFileDialog::DontUseNativeDialog);
        setFileMode(QFileDialog::ExistingFile);
    }

    void accept() override {
        const QStringList files = selectedFiles();
        if (files.size() == 1 && QFileInfo(files.first()).isDir()) {
            QDialog::accept();
            return;
        }
        QFileDialog::accept();
    }
};

} // namespace

TindrelMainView::TindrelMainView(TindrelStore& store, QWidget* parent)
    : QWidget(parent), store_(store), revealer_(platform::makeDesktopFileRevealer()),
      clipboard_(platform::makeDesktopFileClipboard()), header_(new HeaderBar(store, this)),
      crate_(new FolderCrateSidebar(store, *revealer_, *clipboard_, this)),
      column_(new PlayerInspectorColumn(store, this)), footer_(new FooterBar(store, this)),
      settingsPopup_(new SettingsPopup(this)) {
    setAcceptDrops(true);
    setMinimumSize(minimumContentSize);
    resize(idealSize);

    // The installer ends the program through the same way out as the window's Exit.
    velmo::VelmoUpdateEnvironment updateEnvironment = velmo::VelmoUpdateEnvironment::forProcess();
    updateEnvironment.requestTermination = [this] { emit exitRequested(); };
    updateStore_ = new velmo::VelmoUpdateStore(QStringLiteral("tindrel"), QStringLiteral("Tindrel"),
                                               std::nullopt, std::move(updateEnvironment), this);
    auto* updateRow = new velmo::VelmoUpdateRow(*updateStore_, this);

    auto* columns = new QHBoxLayout;
    columns->setContentsMargins(0, 0, 0, 0);
    columns->setSpacing(12);
    columns->addWidget(crate_);
    columns->addWidget(column_, 1);

    auto* body = new QVBoxLayout(this);
    body->setContentsMargins(14, 14, 14, 14);
    body->setSpacing(10);
    body->addWidget(header_);
    body->addLayout(columns, 1);
    body->addWidget(updateRow);
    body->addWidget(footer_);

    connect(header_, &HeaderBar::openFileRequested, this, &TindrelMainView::openAudioFilePanel);
    connect(header_, &HeaderBar::chooseFolderRequested, this, &TindrelMainView::chooseFolderPanel);
    connect(header_, &HeaderBar::settingsClicked, this, &TindrelMainView::toggleSettingsPopover);
    connect(header_, &HeaderBar::exitClicked, this, [this] {
        store_.stopAndCleanup();
        emit exitRequested();
    });
    connect(settingsPopup_, &SettingsPopup::dismissed, this,
            [this] { showSettingsPopover_ = false; });

    // Text fields take dragged text, but never a dragged file: that is the view's to open.
    for (QLineEdit* field : findChildren<QLineEdit*>())
        field->installEventFilter(this);
}

bool TindrelMainView::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        break;
    default:
        return QWidget::eventFilter(watched, event);
    }
    auto* drag = static_cast<QDropEvent*>(event);
    if (!carriesLocalFiles(drag->mimeData()))
        return false;
    if (event->type() == QEvent::Drop)
        dropEvent(drag);
    else
        dragMoveEvent(static_cast<QDragMoveEvent*>(event));
    return true;
}

TindrelMainView::~TindrelMainView() = default;

void TindrelMainView::setSettingsPopoverContent(
    std::function<QWidget*(QWidget* parent)> makeContent) {
    settingsPopup_->setContentFactory(std::move(makeContent));
}

void TindrelMainView::toggleSettingsPopover() {
    // The click that closed the pop-up from outside may be this very click on the button.
    if (!showSettingsPopover_ && settingsPopup_->closedMomentsAgo())
        return;
    setShowSettingsPopover(!showSettingsPopover_);
}

void TindrelMainView::setShowSettingsPopover(bool show) {
    if (show == showSettingsPopover_)
        return;
    showSettingsPopover_ = show;
    if (show)
        settingsPopup_->openBelow(header_->settingsButton());
    else
        settingsPopup_->hide();
}

void TindrelMainView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    QLinearGradient gradient(QPointF(0, 0), QPointF(width(), height()));
    gradient.setColorAt(0, QColor::fromRgbF(0.05f, 0.07f, 0.11f));
    gradient.setColorAt(1, QColor::fromRgbF(0.08f, 0.10f, 0.15f));
    for (const QRegion& band : platform::serialPaintBands(event->region(), devicePixelRatioF())) {
        painter.setClipRegion(band);
        painter.fillRect(rect(), gradient);
    }
}

void TindrelMainView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // No text field keeps the keyboard once the window is on screen, so the shortcuts act.
    QTimer::singleShot(100, this, [this] { releaseKeyboardFocus(*this); });
}

void TindrelMainView::dragEnterEvent(QDragEnterEvent* event) {
    if (droppedLocation(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TindrelMainView::dragMoveEvent(QDragMoveEvent* event) {
    if (droppedLocation(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TindrelMainView::dropEvent(QDropEvent* event) {
    const std::optional<std::filesystem::path> location = droppedLocation(event->mimeData());
    if (!location) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // Loading can take a while (decoding); the drag source is answered first.
    QTimer::singleShot(0, this, [this, path = *location] { openFileOrFolder(store_, path); });
}

void TindrelMainView::chooseFolderPanel() {
    const QString folder = QFileDialog::getExistingDirectory(this);
    if (folder.isEmpty())
        return;
    store_.navigateToFolder(std::filesystem::path(folder.toStdString()), true, true);
}

void TindrelMainView::openAudioFilePanel() {
    QPointer<FileOrFolderDialog> dialog = new FileOrFolderDialog(this);
    const bool chosen = dialog->exec() == QDialog::Accepted;
    if (!dialog)
        return;
    const QStringList files = dialog->selectedFiles();
    delete dialog;
    if (!chosen || files.isEmpty())
        return;
    openFileOrFolder(store_, std::filesystem::path(files.first().toStdString()));
}

} // namespace tindrel
