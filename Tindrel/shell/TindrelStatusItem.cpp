#include "Tindrel/shell/TindrelStatusItem.h"

#include "Tindrel/platform/ui/SymbolImages.h"
#include "Tindrel/platform/ui/SystemColors.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QGuiApplication>
#include <QIcon>
#include <QPainter>
#include <QSystemTrayIcon>

namespace tindrel {

using platform::SymbolImages;
using platform::SystemColors;

namespace {

const QString product = QStringLiteral("Tindrel");

// The symbol in near-white over a one-pixel dark rim: light panels see the rim, dark ones the
// fill. Tray hosts pick the size they need from the ones given.
QPixmap rimmedSymbol(int side) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    const int inset = std::max(1, side / 12);
    const QRect glyph(inset, inset, side - 2 * inset, side - 2 * inset);
    const QPixmap rim =
        SymbolImages::pixmap(QStringLiteral("waveform"), glyph.size(), SystemColors::black(0.55));
    const QPixmap fill =
        SymbolImages::pixmap(QStringLiteral("waveform"), glyph.size(), QColor(245, 245, 247));
    QPainter painter(&pixmap);
    for (const QPoint offset : {QPoint(-1, 0), QPoint(1, 0), QPoint(0, -1), QPoint(0, 1)})
        painter.drawPixmap(glyph.topLeft() + offset, rim);
    painter.drawPixmap(glyph.topLeft(), fill);
    return pixmap;
}

} // namespace

TindrelStatusItem::TindrelStatusItem(QObject* parent)
    : QObject(parent), icon_(new QSystemTrayIcon(this)) {
    icon_->setIcon(waveformIcon());
    icon_->setToolTip(toolTip());
    connect(icon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    emit clicked();
            });
    icon_->show();
    watchTrayHosts();
}

void TindrelStatusItem::watchTrayHosts() {
    // An XEmbed tray: the xcb platform announces each change of the tray window (the signal Qt's
    // own tray icon follows); the native interface is a plain QObject.
    auto* platform = reinterpret_cast<QObject*>(QGuiApplication::platformNativeInterface());
    if (platform && platform->metaObject()->indexOfSignal("systemTrayWindowChanged(QScreen*)") >= 0)
        connect(platform, SIGNAL(systemTrayWindowChanged(QScreen*)), this,
                SLOT(trayWindowChanged()));
    // A StatusNotifierItem tray: its watcher leaves the session bus.
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        auto* watcher =
            new QDBusServiceWatcher(QStringLiteral("org.kde.StatusNotifierWatcher"), bus,
                                    QDBusServiceWatcher::WatchForUnregistration, this);
        connect(watcher, &QDBusServiceWatcher::serviceUnregistered, this,
                &TindrelStatusItem::trayWentAway);
    }
}

void TindrelStatusItem::trayWindowChanged() {
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        emit trayWentAway();
}

TindrelStatusItem::~TindrelStatusItem() = default;

QIcon TindrelStatusItem::waveformIcon() {
    QIcon icon;
    for (int side : {16, 22, 24, 32, 48, 64})
        icon.addPixmap(rimmedSymbol(side));
    return icon;
}

void TindrelStatusItem::setTitle(const QString& title) {
    if (title == title_)
        return;
    title_ = title;
    icon_->setToolTip(toolTip());
}

QString TindrelStatusItem::toolTip() const {
    return title_.isEmpty() ? product : product + QLatin1Char('\n') + title_;
}

QRect TindrelStatusItem::geometry() const {
    return icon_->geometry();
}

} // namespace tindrel
