#include "Tindrel/platform/desktop/single_instance/SingleInstance.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace tindrel::platform {

namespace {

// Connecting to a live local socket is immediate; this bound only stops a wedged peer from
// hanging the launch.
constexpr int handOverTimeoutSeconds = 2;
// Version 1 sent the arguments as text, which cannot carry every file name.
constexpr quint32 protocolVersion = 2;

// Makes `folder` (mode 0700) unless it exists; true when it is then a real folder of this
// user that nobody else may enter. A name another user took first, or a symbolic link, fails.
bool ensurePrivateFolder(const QString& folder) {
    const QByteArray path = QFile::encodeName(folder);
    if (mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat status {};
    return lstat(path.constData(), &status) == 0 && S_ISDIR(status.st_mode) &&
           status.st_uid == getuid() && (status.st_mode & 077) == 0;
}

// Where QLocalServer puts a socket of this name.
QByteArray socketPath(const QString& socketName) {
    if (socketName.contains(QLatin1Char('/')))
        return QFile::encodeName(socketName);
    return QFile::encodeName(QDir::tempPath() + QLatin1Char('/') + socketName);
}

bool sendAll(int fd, const QByteArray& bytes) {
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = send(fd, bytes.constData() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += n;
    }
    return true;
}

// The absolute path of a file URL of this machine ("file:/a", "file:///a",
// "file://localhost/a"), percent escapes decoded to bytes; none for any other "file:" form.
std::optional<QByteArray> localFilePath(const QByteArray& url) {
    QByteArray rest = url.mid(5);
    if (rest.startsWith("//")) {
        const qsizetype pathStart = rest.indexOf('/', 2);
        const QByteArray host = rest.mid(2, pathStart < 0 ? -1 : pathStart - 2);
        if (pathStart < 0 || !(host.isEmpty() || host.toLower() == "localhost"))
            return std::nullopt;
        rest = rest.mid(pathStart);
    }
    const size_t queryOrFragment =
        std::string_view(rest.constData(), rest.size()).find_first_of("?#");
    if (queryOrFragment != std::string_view::npos)
        rest.truncate(qsizetype(queryOrFragment));
    if (!rest.startsWith('/'))
        return std::nullopt;
    return QByteArray::fromPercentEncoding(rest);
}

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
    // A fixed name in the shared temporary folder could be made first by another user, so
    // the socket lives in a folder that only this user may enter.
    const QString temporary = QDir::tempPath() + QStringLiteral("/tindrel-%1").arg(getuid());
    if (ensurePrivateFolder(temporary))
        return temporary + QStringLiteral("/tindrel.socket");
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (cache.isEmpty())
        cache = QDir::homePath() + QStringLiteral("/.cache");
    QDir().mkpath(cache);
    const QString cacheFolder = cache + QStringLiteral("/tindrel");
    if (ensurePrivateFolder(cacheFolder))
        return cacheFolder + QStringLiteral("/tindrel.socket");
    return {};
}

bool SingleInstance::handOverToRunning(const QString& socketName, const QByteArrayList& arguments) {
    const QByteArray path = socketPath(socketName);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketName.isEmpty() || path.size() >= qsizetype(sizeof(address.sun_path)))
        return false;
    std::memcpy(address.sun_path, path.constData(), path.size());

    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    // Bounds a wedged peer: a full listen queue or a peer that never reads.
    const timeval timeout{handOverTimeoutSeconds, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);

    QByteArray message;
    QDataStream out(&message, QIODevice::WriteOnly);
    out << protocolVersion << arguments;
    const bool handedOver =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        sendAll(fd, message);
    close(fd);
    return handedOver;
}

QByteArrayList SingleInstance::handOverArguments(const QByteArrayList& arguments,
                                                 const std::filesystem::path& workingFolder) {
    QByteArrayList result;
    for (const QByteArray& argument : arguments) {
        QByteArray path = argument;
        if (argument.left(5).toLower() == "file:") {
            const std::optional<QByteArray> local = localFilePath(argument);
            if (!local) {
                result << argument;
                continue;
            }
            path = *local;
        }
        if (argument.startsWith('-') || path.isEmpty()) {
            result << path;
            continue;
        }
        const std::filesystem::path absolute =
            (workingFolder / std::string(path.constData(), path.size())).lexically_normal();
        result << QByteArray(absolute.c_str(), qsizetype(absolute.native().size()));
    }
    return result;
}

SingleInstance::Claim SingleInstance::claim(const QByteArrayList& arguments) {
    if (listen())
        return Claim::primary;
    if (handOverToRunning(socketName_, arguments))
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
    QByteArrayList arguments;
    in >> version >> arguments;
    if (!in.commitTransaction())
        return; // wait for the rest of the message
    // One message per connection: the socket is done with, whatever its peer does next.
    socket->disconnect(this);
    socket->abort();
    if (version != protocolVersion)
        return;
    // Posted, so that a receiver that runs long work (a decode that lets events through)
    // never runs inside the socket's own signal, whose socket may be gone when it returns.
    QMetaObject::invokeMethod(
        this, [this, arguments] { emit argumentsReceived(arguments); }, Qt::QueuedConnection);
}

} // namespace tindrel::platform
