#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QSslCertificate>
#include <QString>
#include <QStringList>

#include <filesystem>

namespace velmo::test {

// A real release host on 127.0.0.1 (Python's http.server), over HTTPS with a certificate made
// by openssl for this server alone, or over plain HTTP. Routes can change between requests.
// Main thread only.
class LocalReleaseServer {
public:
    enum class Scheme { https, http };

    explicit LocalReleaseServer(Scheme scheme = Scheme::https);
    ~LocalReleaseServer();
    LocalReleaseServer(const LocalReleaseServer&) = delete;
    LocalReleaseServer& operator=(const LocalReleaseServer&) = delete;

    // "https://127.0.0.1:<port>" (or http), no trailing slash.
    QString origin() const { return origin_; }
    // The certificate to trust for this server (empty over plain HTTP).
    QList<QSslCertificate> caCertificates() const { return certificates_; }

    // Without `announce` the body goes without a Content-Length and ends with the connection.
    void serve(const QString& path, int status, const QByteArray& body = {}, bool announce = true);
    // Redirects `path` to `location` with status 302.
    void redirect(const QString& path, const QString& location);
    // Accepts requests for `path` and never answers them.
    void hang(const QString& path);
    // Answers `path` with 200 and zero bytes: `bytes` of them (-1: without end), with the
    // Content-Length `announced` (none when negative), `piece` bytes at a time with `pauseMs`
    // between pieces.
    void stream(const QString& path, qint64 bytes, qint64 announced, int piece = 64 * 1024,
                int pauseMs = 0);
    void forget(const QString& path);
    QStringList requestedPaths() const;

private:
    void writeRoutes() const;

    std::filesystem::path root_;
    QProcess server_;
    QString origin_;
    QList<QSslCertificate> certificates_;
    QJsonObject routes_;
    int files_ = 0;
};

} // namespace velmo::test
