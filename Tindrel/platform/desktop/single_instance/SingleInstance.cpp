#include "Tindrel/platform/desktop/single_instance/SingleInstance.h"

#include <QDataStream>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QUrl>

#include <memory>

#include <unistd.h>

namespace tindrel::platform {

namespace {

// Connecting to a live local socket is immediate; these bounds only stop a wedged peer from
// hanging the launch.
constexpr int connectTimeoutMs = 2000;
constexpr int writeTimeoutMs = 2000;
constexpr quint32 protocolVersion = 1;

} // namespace

SingleInstance::SingleInstance(QString socketName, QObject* parent)
    : QObject(parent), socketName_(std::move(socketName)) {}

SingleInstance::~SingleInstance() {
    if (server_)
        server_->close();
}

QString SingleInstance::defaultSocketName() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists())
        return runtime + QStringLiteral("/tindrel.socket");
    return QStringLiteral("tindrel-%1.socket").arg(getuid());
}

QStringList SingleInstance::handOverArguments(const QStringList& arguments,
                                              const QString& workingFolder) {
    const QDir base(workingFolder);
    QStringList result;
    for (const QString& argument : arguments) {
        if (argument.startsWith(QLatin1Char('-'))) {
            result << argument;
            continue;
        }
        QString path = argument;
        if (argument.startsWith(QStringLiteral("file:"), Qt::CaseInsensitive)) {
            const QUrl url(argument);
            if (url.isLocalFile())
                path = url.toLocalFile();
        }
        result << (path.isEmpty() ? path : QDir::cleanPath(base.absoluteFilePath(path)));
    }
    return result;
}

SingleInstance::Claim SingleInstance::claim(const QStringList& arguments) {
    if (listen())
        return Claim::primary;
    if (handOver(arguments))
        return Claim::handedOver;
    // Nobody answers on the socket: a killed process left it behind.
    QLocalServer::removeServer(socketName_);
    return listen() ? Claim::primary : Claim::unavailable;
}

bool SingleInstance::listen() {
    auto server = std::make_unique<QLocalServer>(this);
    // No access options: with them Qt binds elsewhere and renames over the path, replacing a
    // running instance's socket. The runtime folder is private to the user already.
    if (!server->listen(socketName_))
        return false;
    server_ = server.release();
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::acceptConnection);
    return true;
}

bool SingleInstance::handOver(const QStringList& arguments) {
    QLocalSocket socket;
    socket.connectToServer(socketName_);
    if (!socket.waitForConnected(connectTimeoutMs))
        return false;
    QByteArray message;
    QDataStream out(&message, QIODevice::WriteOnly);
    out << protocolVersion << arguments;
    socket.write(message);
    const bool written = socket.waitForBytesWritten(writeTimeoutMs) || socket.bytesToWrite() == 0;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(writeTimeoutMs);
    return written;
}

void SingleInstance::acceptConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readArguments(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (socket->bytesAvailable() > 0)
            readArguments(socket);
    }
}

void SingleInstance::readArguments(QLocalSocket* socket) {
    QDataStream in(socket);
    in.startTransaction();
    quint32 version = 0;
    QStringList arguments;
    in >> version >> arguments;
    if (!in.commitTransaction())
        return; // wait for the rest of the message
    if (version != protocolVersion) {
        socket->abort();
        return;
    }
    emit argumentsReceived(arguments);
}

} // namespace tindrel::platform
