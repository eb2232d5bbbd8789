#pragma once

// GET requests to the maker's release host as the update path needs them: no local cache,
// a transfer time-out, redirects followed only to addresses that are themselves allowed and
// never from https down to http. Only https addresses are allowed, plus http to 127.0.0.1 when
// the environment permits it. GUI thread only; the transport owns its network access manager
// and the replies in flight.

#include "Tindrel/VelmoCore/VelmoUpdateEnvironment.h"

#include <QByteArray>
#include <QObject>
#include <QUrl>

#include <functional>

class QNetworkAccessManager;

namespace velmo {

class VelmoReleaseTransport : public QObject {
    Q_OBJECT
public:
    struct Response {
        // False when no answer came: refused address, no connection, TLS failure, time-out.
        bool answered = false;
        int statusCode = 0;
        QByteArray body;
    };

    VelmoReleaseTransport(const VelmoUpdateEnvironment& environment, QObject* parent);

    bool isAllowed(const QUrl& url) const;

    // Calls `done` once, on the GUI thread, unless the transport is destroyed first.
    void get(const QUrl& url, std::function<void(const Response&)> done);

private:
    QNetworkAccessManager* network_;
    bool allowLoopbackHttp_;
    QList<QSslCertificate> extraCaCertificates_;
    std::chrono::milliseconds transferTimeout_;
};

} // namespace velmo
