#include "Tindrel/VelmoCore/VelmoReleaseTransport.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QTimer>

namespace velmo {

VelmoReleaseTransport::VelmoReleaseTransport(const VelmoUpdateEnvironment& environment,
                                             QObject* parent)
    : QObject(parent), network_(new QNetworkAccessManager(this)),
      allowLoopbackHttp_(environment.allowLoopbackHttp),
      extraCaCertificates_(environment.extraCaCertificates),
      transferTimeout_(environment.transferTimeout) {}

namespace {

// Names under the reserved "example" and "invalid" domains never resolve (an unconfigured
// build's release host is one), so no request for them needs to leave the machine.
bool isReservedUnresolvableHost(const QString& host) {
    for (const QLatin1String domain : {QLatin1String("example"), QLatin1String("invalid")})
        if (host.compare(domain, Qt::CaseInsensitive) == 0 ||
            host.endsWith(QLatin1Char('.') + domain, Qt::CaseInsensitive))
            return true;
    return false;
}

} // namespace

bool VelmoReleaseTransport::isAllowed(const QUrl& url) const {
    if (!url.isValid() || url.host().isEmpty() || isReservedUnresolvableHost(url.host()))
        return false;
    if (url.scheme() == QLatin1String("https"))
        return true;
    return allowLoopbackHttp_ && url.scheme() == QLatin1String("http") &&
           url.host() == QLatin1String("127.0.0.1");
}

void VelmoReleaseTransport::get(const QUrl& url, std::function<void(const Response&)> done) {
    if (!isAllowed(url)) {
        // Answered later, like a real request, so callers see one order of events.
        QTimer::singleShot(0, this, [done = std::move(done)] { done(Response{}); });
        return;
    }
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setTransferTimeout(static_cast<int>(transferTimeout_.count()));
    if (!extraCaCertificates_.isEmpty()) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.addCaCertificates(extraCaCertificates_);
        request.setSslConfiguration(tls);
    }

    QNetworkReply* reply = network_->get(request);
    connect(reply, &QNetworkReply::redirected, reply, [this, reply](const QUrl& target) {
        const bool downgrade = reply->url().scheme() == QLatin1String("https") &&
                               target.scheme() != QLatin1String("https");
        if (isAllowed(target) && !downgrade)
            emit reply->redirectAllowed();
        else
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [reply, done = std::move(done)] {
        reply->deleteLater();
        Response response;
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        // An HTTP error status still counts as an answer; the caller judges the status.
        response.answered = status.isValid() && (reply->error() == QNetworkReply::NoError ||
                                                 reply->error() > QNetworkReply::UnknownProxyError);
        if (response.answered) {
            response.statusCode = status.toInt();
            response.body = reply->readAll();
        }
        done(response);
    });
}

} // namespace velmo
