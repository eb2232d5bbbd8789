#pragma once

// The program's icon in the desktop's system tray (StatusNotifierItem or an XEmbed tray): the
// "waveform" symbol drawn light with a dark rim, so it reads on dark and on light panels.
// Trays show no text beside an icon, so the title goes into the tool tip: "Tindrel" alone
// while the title is empty, else "Tindrel", a line break and the title. A left click reports
// clicked(); the icon has no context menu (with one, some tray hosts stop sending clicks).
//
// The icon is shown even when no tray is there yet; Qt embeds it in a tray that appears later.
// When the tray goes away (its host quits), trayWentAway() says so.
// GUI thread only; owned by the application delegate.

#include <QObject>
#include <QRect>
#include <QString>

class QIcon;
class QSystemTrayIcon;

namespace tindrel {

class TindrelStatusItem : public QObject {
    Q_OBJECT
public:
    explicit TindrelStatusItem(QObject* parent = nullptr);
    ~TindrelStatusItem() override;

    void setTitle(const QString& title);
    const QString& title() const { return title_; }
    QString toolTip() const;

    // The icon's rectangle on screen; empty when the tray does not tell (as over D-Bus).
    QRect geometry() const;

    QSystemTrayIcon& trayIcon() const { return *icon_; }

    static QIcon waveformIcon();

signals:
    void clicked();
    // Until a tray appears again, the icon cannot be reached.
    void trayWentAway();

private slots:
    void trayWindowChanged();

private:
    void watchTrayHosts();

    QSystemTrayIcon* icon_;
    QString title_;
};

} // namespace tindrel
