#include "Tindrel/VelmoCore/VelmoReleaseTransport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QTimer>

#include <algorithm>
#include <memory>

namespace velmo {

VelmoReleaseTransport::VelmoReleaseTransport(const VelmoUpdateEnvironment& environment,
                                             QObject* parent)
    : QObject(parent), network_(new QNetworkAccessManager(this)),
      allowLoopbackHttp_(environment.allowLoopbackHttp),
      extraCaCertificates_(environment.extraCaCertificates) {}

namespace {

// Unread bytes a reply may hold: the body is taken in pieces of about this size as it arrives,
// so nothing past a bound ever sits in memory.
constexpr qint64 replyBufferBytes = 256 * 1024;

// Names under the reserved "example" and "invalid" domains never resolve (an unconfigured
// build's release host is one), so no request for them needs to leave the machine.
bool isReservedUnresolvableHost(const QString& host) {
    for (const QLatin1String domain : {QLatin1String("example"), QLatin1String("invalid")})
        if (host.compare(domain, Qt::CaseInsensitive) == 0 ||
            host.endsWith(QLatin1Char('.') + domain, Qt::CaseInsensitive))
            return true;
    return false;
}

// What one request has taken so far, against its bounds.
struct Transfer {
    VelmoReleaseTransport::Bounds bounds;
    QElapsedTimer started;
    std::int64_t announced = 0;
    std::int64_t received = 0;
    bool failed = false;

    std::chrono::milliseconds timeLeft() const {
        const std::int64_t mebibytes = std::max(announced, received) >> 20;
        const std::chrono::milliseconds allowed = bounds.baseTime + bounds.timePerMiB * mebibytes;
        return std::max(allowed - std::chrono::milliseconds(started.elapsed()),
                        std::chrono::milliseconds(0));
    }
};

} // namespace

bool VelmoReleaseTransport::isAllowed(const QUrl& url) const {
    if (!url.isValid() || url.host().isEmpty() || isReservedUnresolvableHost(url.host()))
        return false;
    if (url.scheme() == QLatin1String("https"))
        return true;
    return allowLoopbackHttp_ && url.scheme() == QLatin1String("http") &&
           url.host() == QLatin1String("127.0.0.1");
}

void VelmoReleaseTransport::get(const QUrl& url, const Bounds& bounds,
                                std::function<void(const Response&)> done) {
    auto body = std::make_shared<QByteArray>();
    start(
        url, bounds,
        [body](const QByteArray& piece) {
            body->append(piece);
            return true;
        },
        [body, done = std::move(done)](bool completed, int statusCode) {
            Response response;
            response.answered = completed;
            response.statusCode = statusCode;
            if (completed)
                response.body = std::move(*body);
            done(response);
        });
}

void VelmoReleaseTransport::download(const QUrl& url, const Bounds& bounds,
                                     const std::filesystem::path& destination,
                                     std::function<void(const Response&)> done) {
    auto file = std::make_shared<QFile>(QString::fromStdString(destination.string()));
    if (!file->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        QTimer::singleShot(0, this, [done = std::move(done)] { done(Response{}); });
        return;
    }
    start(
        url, bounds, [file](const QByteArray& piece) { return file->write(piece) == piece.size(); },
        [file, done = std::move(done)](bool completed, int statusCode) {
            const bool written = completed && file->flush();
            file->close();
            if (!written)
                file->remove();
            Response response;
            response.answered = written;
            response.statusCode = statusCode;
            done(response);
        });
}

void VelmoReleaseTransport::start(const QUrl& url, const Bounds& bounds,
                                  std::function<bool(const QByteArray&)> keep,
                                  std::function<void(bool, int)> done) {
    if (!isAllowed(url)) {
        // Answered later, like a real request, so callers see one order of events.
        QTimer::singleShot(0, this, [done = std::move(done)] { done(false, 0); });
        return;
    }
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    if (!extraCaCertificates_.isEmpty()) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.addCaCertificates(extraCaCertificates_);
        request.setSslConfiguration(tls);
    }

    QNetworkReply* reply = network_->get(request);
    reply->setReadBufferSize(replyBufferBytes);
    auto transfer = std::make_shared<Transfer>(Transfer{bounds, {}});
    transfer->started.start();
    auto* deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    const auto fail = [reply, transfer] {
        transfer->failed = true;
        reply->abort();
    };
    connect(deadline, &QTimer::timeout, reply, fail);
    deadline->start(transfer->timeLeft());

    connect(reply, &QNetworkReply::redirected, reply, [this, reply, fail](const QUrl& target) {
        const bool downgrade = reply->url().scheme() == QLatin1String("https") &&
                               target.scheme() != QLatin1String("https");
        if (isAllowed(target) && !downgrade)
            emit reply->redirectAllowed();
        else
            fail();
    });
    // A body announced larger than the bound is refused before any of it is kept.
    connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, transfer, deadline, fail] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (!length.isValid())
            return;
        transfer->announced = length.toLongLong();
        if (transfer->announced > transfer->bounds.maxBytes)
            fail();
        else
            deadline->start(transfer->timeLeft());
    });
    const auto take = [reply, transfer, deadline, fail, keep = std::move(keep)] {
        while (!transfer->failed && reply->bytesAvailable() > 0) {
            const QByteArray piece = reply->read(replyBufferBytes);
            transfer->received += piece.size();
            if (transfer->received > transfer->bounds.maxBytes || !keep(piece))
                fail();
        }
        if (!transfer->failed)
            deadline->start(transfer->timeLeft());
    };
    connect(reply, &QNetworkReply::readyRead, reply, take);
    connect(reply, &QNetworkReply::finished, this,
            [reply, transfer, deadline, take, done = std::move(done)] {
                take();
                deadline->stop();
                reply->deleteLater();
                const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
                // An HTTP error status still counts as an answer; the caller judges the status.
                const bool completed = !transfer->failed && status.isValid() &&
                                       (reply->error() == QNetworkReply::NoError ||
                                        reply->error() > QNetworkReply::UnknownProxyError);
                done(completed, completed ? status.toInt() : 0);
            });
}

} // namespace velmo
