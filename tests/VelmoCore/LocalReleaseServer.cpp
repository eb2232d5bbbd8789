#include "tests/VelmoCore/LocalReleaseServer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdlib>
#include <stdexcept>

namespace velmo::test {

namespace {

void writeFile(const std::filesystem::path& path, const QByteArray& bytes) {
    QFile file(QString::fromStdString(path.string()));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path.string());
}

} // namespace

LocalReleaseServer::LocalReleaseServer(Scheme scheme) {
    std::string pattern = (std::filesystem::temp_directory_path() / "velmo-server-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
    writeRoutes();

    QStringList arguments{QStringLiteral(VELMO_TEST_RELEASE_SERVER), QStringLiteral("--root"),
                          QString::fromStdString(root_.string())};
    if (scheme == Scheme::https) {
        const QString cert = QString::fromStdString((root_ / "cert.pem").string());
        const QString key = QString::fromStdString((root_ / "key.pem").string());
        QProcess openssl;
        openssl.setStandardOutputFile(QProcess::nullDevice());
        openssl.setStandardErrorFile(QProcess::nullDevice());
        openssl.start(QStringLiteral("openssl"),
                      {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                       QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                       QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                       QStringLiteral("-keyout"), key, QStringLiteral("-out"), cert,
                       QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                       QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"),
                       QStringLiteral("subjectAltName=IP:127.0.0.1")});
        if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0)
            throw std::runtime_error("openssl could not make a certificate");
        certificates_ = QSslCertificate::fromPath(cert);
        arguments << QStringLiteral("--cert") << cert << QStringLiteral("--key") << key;
    }
    server_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server_.start(QStringLiteral("python3"), arguments);
    server_.waitForStarted();
    // The first line may already sit in the buffer before any wait: look before waiting.
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 20000 && server_.state() == QProcess::Running) {
        if (!server_.canReadLine()) {
            server_.waitForReadyRead(200);
            continue;
        }
        const QByteArray line = server_.readLine().trimmed();
        if (line.startsWith("PORT ")) {
            origin_ = QStringLiteral("%1://127.0.0.1:%2")
                          .arg(scheme == Scheme::https ? "https" : "http",
                               QString::fromLatin1(line.mid(5)));
            return;
        }
    }
    throw std::runtime_error("the release server did not start");
}

LocalReleaseServer::~LocalReleaseServer() {
    server_.kill();
    server_.waitForFinished();
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

void LocalReleaseServer::serve(const QString& path, int status, const QByteArray& body,
                               bool announce) {
    const QString name = QStringLiteral("body-%1").arg(++files_);
    writeFile(root_ / name.toStdString(), body);
    routes_.insert(path, QJsonObject{{QStringLiteral("status"), status},
                                     {QStringLiteral("file"), name},
                                     {QStringLiteral("announce"), announce}});
    writeRoutes();
}

void LocalReleaseServer::redirect(const QString& path, const QString& location) {
    routes_.insert(path, QJsonObject{{QStringLiteral("status"), 302},
                                     {QStringLiteral("headers"),
                                      QJsonObject{{QStringLiteral("Location"), location}}}});
    writeRoutes();
}

void LocalReleaseServer::hang(const QString& path) {
    routes_.insert(path, QJsonObject{{QStringLiteral("hang"), true}});
    writeRoutes();
}

void LocalReleaseServer::stream(const QString& path, qint64 bytes, qint64 announced, int piece,
                                int pauseMs) {
    routes_.insert(path, QJsonObject{{QStringLiteral("stream"),
                                      QJsonObject{{QStringLiteral("bytes"), bytes},
                                                  {QStringLiteral("announced"), announced},
                                                  {QStringLiteral("piece"), piece},
                                                  {QStringLiteral("pause"), pauseMs / 1000.0}}}});
    writeRoutes();
}

void LocalReleaseServer::forget(const QString& path) {
    routes_.remove(path);
    writeRoutes();
}

QStringList LocalReleaseServer::requestedPaths() const {
    QFile log(QString::fromStdString((root_ / "requests.log").string()));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void LocalReleaseServer::writeRoutes() const {
    // Written whole under a new name and renamed, so the server never reads half a file.
    writeFile(root_ / "routes.json.new", QJsonDocument(routes_).toJson(QJsonDocument::Compact));
    std::filesystem::rename(root_ / "routes.json.new", root_ / "routes.json");
}

} // namespace velmo::test
