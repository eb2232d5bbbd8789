#pragma once

// Keeps one running Tindrel per user. The first process listens on a per-user local socket;
// a later launch finds it there, hands over its command-line arguments (made absolute against
// the later launch's own working folder, file:// URLs turned into paths) and then exits.
// A socket left behind by a killed process answers nobody and is taken over.
//
// Main thread only: claim() blocks briefly while it talks to the running instance; hand-overs
// arrive as argumentsReceived() from the Qt event loop. Owns its server; the socket is
// removed when the primary instance is destroyed. handOverToRunning() needs no application
// object, so a launch that cannot open a display still hands its file over.

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;
class QLocalSocket;

namespace tindrel::platform {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Claim {
        primary,    // this process listens; later launches hand over to it
        handedOver, // another instance runs and now has the arguments
        unavailable // neither listening nor handing over worked; run on alone
    };

    // `socketName` is a socket path or a name Qt places in its temporary folder; tests pass
    // a private one.
    explicit SingleInstance(QString socketName = defaultSocketName(), QObject* parent = nullptr);
    ~SingleInstance() override;

    // $XDG_RUNTIME_DIR/tindrel.socket. Without a runtime folder, the socket goes in a folder
    // only this user can enter: <temporary folder>/tindrel-<uid>, made 0700, or, when that
    // name is taken by something that is not such a folder, <cache folder>/tindrel. Empty when
    // neither can be had.
    static QString defaultSocketName();

    // Sends `arguments` to the instance listening on `socketName`; false when none answers.
    // Blocks at most a couple of seconds; works before any Qt application object exists.
    static bool handOverToRunning(const QString& socketName, const QStringList& arguments);

    // The arguments as a running instance must see them: "-" options kept, file:// URLs
    // turned into local paths, relative paths made absolute against `workingFolder`.
    static QStringList handOverArguments(const QStringList& arguments,
                                         const QString& workingFolder);

    // Becomes the primary instance, or hands `arguments` (already passed through
    // handOverArguments) to the one that runs.
    Claim claim(const QStringList& arguments);

    const QString& socketName() const { return socketName_; }

signals:
    // A later launch's arguments, in their order.
    void argumentsReceived(const QStringList& arguments);

private:
    bool listen();
    void acceptConnection();
    void readArguments(QLocalSocket* socket);

    QString socketName_;
    QLocalServer* server_ = nullptr;
};

} // namespace tindrel::platform
