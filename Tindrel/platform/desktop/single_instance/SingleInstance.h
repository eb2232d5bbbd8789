#pragma once

// Keeps one running Tindrel per user. The first process listens on a per-user local socket;
// a later launch finds it there, hands over its command-line arguments (made absolute against
// the later launch's own working folder, file:// URLs turned into paths) and then exits.
// Arguments stay the bytes the process was given, so a path that is not UTF-8 arrives intact.
// A socket left behind by a killed process answers nobody and is taken over.
//
// Main thread only: claim() blocks briefly while it talks to the running instance; hand-overs
// arrive as argumentsReceived() from a call posted to the Qt event loop, never inside a
// socket's signal, so a receiver may run work that lets events through. Owns its server; the socket
// is removed when the primary instance is destroyed. handOverToRunning() needs no application
// object, so a launch that cannot open a display still hands its file over.

#include <QByteArrayList>
#include <QObject>
#include <QString>

#include <filesystem>

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
    static bool handOverToRunning(const QString& socketName, const QByteArrayList& arguments);

    // The arguments as a running instance must see them: "-" options kept, relative paths made
    // absolute against `workingFolder`, file URLs of this machine turned into their absolute
    // paths. Any other "file:" argument (file:x.wav has no absolute path, file://host/x.wav
    // names another machine) is passed on as it is, naming no file.
    static QByteArrayList handOverArguments(const QByteArrayList& arguments,
                                            const std::filesystem::path& workingFolder);

    // Becomes the primary instance, or hands `arguments` (already passed through
    // handOverArguments) to the one that runs.
    Claim claim(const QByteArrayList& arguments);

    const QString& socketName() const { return socketName_; }

signals:
    // A later launch's arguments, in their order.
    void argumentsReceived(const QByteArrayList& arguments);

private:
    bool listen();
    void acceptConnection();
    void readArguments(QLocalSocket* socket);

    QString socketName_;
    QLocalServer* server_ = nullptr;
};

} // namespace tindrel::platform
