#include "Tindrel/mainwindow/FolderMenuButton.h"

#include "Tindrel/mainwindow/StyleSheetText.h"
#include "Tindrel/platform/ui/SymbolImages.h"
#include "Tindrel/platform/ui/SystemColors.h"
#include "Tindrel/platform/ui/SystemFont.h"
#include "Tindrel/store/TindrelStore.h"

#include <QDir>
#include <QFontMetricsF>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace tindrel {

using platform::FontWeight;
using platform::SymbolImages;
using platform::SystemColors;
using platform::SystemFont;

namespace {

constexpr int paddingH = 8;
constexpr int paddingV = 4;
constexpr int spacing = 5;
constexpr qreal folderSymbolSide = 13; // 11 points
constexpr qreal indicatorSide = 9;

QFont pathFont() {
    return SystemFont::font(11.5, FontWeight::semibold);
}

QString pathText(const std::filesystem::path& folder) {
    return QString::fromStdString(folder.string());
}

// The root has no name of its own: it is called by its path, "/".
QString lastComponent(const std::filesystem::path& folder) {
    const std::filesystem::path name = folder.filename();
    return QString::fromStdString(name.empty() ? folder.string() : name.string());
}

} // namespace

FolderMenuButton::FolderMenuButton(TindrelStore& store, QWidget* parent)
    : QAbstractButton(parent), store_(store), menu_(new QMenu(this)) {
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    setMaximumWidth(maximumButtonWidth);
    setToolTip(QStringLiteral("Click to browse parent folders (Downloads, Home, Users, File "
                              "System) or subfolders"));
    menu_->setStyleSheet(darkMenuStyleSheet());
    connect(menu_, &QMenu::aboutToShow, this, &FolderMenuButton::rebuildMenu);
    connect(this, &QAbstractButton::clicked, this,
            [this] { menu_->popup(mapToGlobal(QPoint(0, height()))); });
    connect(&store_, &TindrelStore::changed, this, &FolderMenuButton::refresh);
    refresh();
}

void FolderMenuButton::refresh() {
    const QString path = pathText(store_.currentFolderURL.get());
    if (path == path_)
        return;
    path_ = path;
    setAccessibleName(path_);
    updateGeometry();
    update();
}

void FolderMenuButton::addHeading(const QString& title) {
    // A disabled item heads each section: not every style draws a section's title.
    QFont heading = pathFont();
    heading.setPointSizeF(10.5);
    QAction* item = menu_->addAction(title);
    item->setFont(heading);
    item->setEnabled(false);
}

void FolderMenuButton::addFolderItem(const QString& title, const QString& symbol,
                                     const std::filesystem::path& folder) {
    QAction* item = menu_->addAction(
        QIcon(SymbolImages::pixmap(symbol, QSize(14, 14), SystemColors::primaryLabel(),
                                   devicePixelRatioF())),
        title);
    item->setData(pathText(folder));
    connect(item, &QAction::triggered, this,
            [this, folder] { store_.navigateToFolder(folder, true, true); });
}

void FolderMenuButton::rebuildMenu() {
    menu_->clear();
    addHeading(QStringLiteral("Folder Hierarchy (Click to Jump Up)"));
    for (const FolderAncestorItem& ancestor : store_.currentFolderAncestors())
        addFolderItem(ancestor.name, ancestor.icon, ancestor.url);

    const std::vector<std::filesystem::path>& subfolders = store_.subfoldersInCurrentFolder.get();
    if (!subfolders.empty()) {
        addHeading(QStringLiteral("Subfolders in ") + lastComponent(store_.currentFolderURL.get()));
        const size_t shown = std::min<size_t>(subfolders.size(), subfolderLimit);
        for (size_t i = 0; i < shown; ++i)
            addFolderItem(lastComponent(subfolders[i]), QStringLiteral("folder"), subfolders[i]);
    }

    addHeading(QStringLiteral("Quick Locations"));
    const std::filesystem::path home(QDir::homePath().toStdString());
    addFolderItem(QStringLiteral("Downloads"), QStringLiteral("arrow.down.circle.fill"),
                  home / "Downloads");
    addFolderItem(QStringLiteral("Documents"), QStringLiteral("doc.fill"), home / "Documents");
    addFolderItem(QStringLiteral("Desktop"), QStringLiteral("menubar.dock.rectangle"),
                  home / "Desktop");
    addFolderItem(QStringLiteral("Music"), QStringLiteral("music.note.house.fill"), home / "Music");
    addFolderItem(lastComponent(home), QStringLiteral("house.fill"), home);

    menu_->addSeparator();
    const auto icon = [this](const QString& symbol) {
        return QIcon(SymbolImages::pixmap(symbol, QSize(14, 14), SystemColors::primaryLabel(),
                                          devicePixelRatioF()));
    };
    connect(menu_->addAction(icon(QStringLiteral("folder.badge.plus")),
                             QStringLiteral("Choose Any Folder...")),
            &QAction::triggered, this, &FolderMenuButton::chooseFolderRequested);
    connect(menu_->addAction(icon(QStringLiteral("arrow.up.forward.app")),
                             QStringLiteral("Show in File Manager")),
            &QAction::triggered, this, [this] { store_.revealInFinder(); });
}

qreal FolderMenuButton::pathRoom() const {
    return width() - 2 * paddingH - folderSymbolSide - 2 * spacing - indicatorSide;
}

QString FolderMenuButton::displayedPath() const {
    return QFontMetricsF(pathFont()).elidedText(path_, Qt::ElideLeft, pathRoom());
}

QSize FolderMenuButton::sizeHint() const {
    const QFontMetricsF metrics(pathFont());
    const qreal content =
        folderSymbolSide + spacing + metrics.horizontalAdvance(path_) + spacing + indicatorSide;
    const int width = int(std::ceil(content)) + 2 * paddingH;
    return {std::min(width, maximumButtonWidth),
            int(std::ceil(std::max(folderSymbolSide, metrics.height()))) + 2 * paddingV + 2};
}

QSize FolderMenuButton::minimumSizeHint() const {
    return {2 * paddingH + int(folderSymbolSide + indicatorSide) + 2 * spacing + 40,
            sizeHint().height()};
}

void FolderMenuButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath shape;
    shape.addRoundedRect(box, 6, 6);
    painter.fillPath(shape, SystemColors::white(isDown() ? 0.14 : 0.08));
    painter.setPen(QPen(SystemColors::white(0.14), 1));
    painter.drawPath(shape);

    qreal x = paddingH;
    SymbolImages::draw(
        painter, QRectF(x, (height() - folderSymbolSide) / 2, folderSymbolSide, folderSymbolSide),
        QStringLiteral("folder.fill"), SystemColors::cyan());
    x += folderSymbolSide + spacing;

    const QFont font = pathFont();
    const QFontMetricsF metrics(font);
    painter.setFont(font);
    painter.setPen(SystemColors::primaryLabel());
    painter.drawText(QPointF(x, (height() - metrics.height()) / 2 + metrics.ascent()),
                     displayedPath());

    SymbolImages::draw(painter,
                       QRectF(width() - paddingH - indicatorSide, (height() - indicatorSide) / 2,
                              indicatorSide, indicatorSide),
                       QStringLiteral("chevron.down"), SystemColors::secondaryLabel());
}

} // namespace tindrel
