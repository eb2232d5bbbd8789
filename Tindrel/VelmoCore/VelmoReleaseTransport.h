#pragma once

// GET requests to the maker's release host as the update path needs them: no local cache,
// redirects followed only to addresses that are themselves allowed and never from https down to
// http, and every request bounded in bytes and in whole time (not just in idle time), so that
// an endless or trickling answer ends as a failure. Only https addresses are allowed, plus http
// to 127.0.0.1 when the environment permits it. GUI thread only; the transport owns its network
// access manager and the replies in flight.

#include "Tindrel/VelmoCore/VelmoUpdateEnvironment.h"

#include <QByteArray>
#include <QObject>
#include <QUrl>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>

class QNetworkAccessManager;

namespace velmo {

class VelmoReleaseTransport : public QObject {
    Q_OBJECT
public:
    struct Response {
        // False when no whole answer came: refused address, no connection, TLS failure, a bound
        // reached, a file that could not be written.
        bool answered = false;
        int statusCode = 0;
        // The body of get(); empty for download().
        QByteArray body;
    };

    // A request ends as failed past `maxBytes` of body, and once it has run for `baseTime` plus
    // `timePerMiB` for each MiB of its size (announced, or received when that is more).
    struct Bounds {
        std::int64_t maxBytes;
        std::chrono::milliseconds baseTime;
        std::chrono::milliseconds timePerMiB{0};
    };

    VelmoReleaseTransport(const VelmoUpdateEnvironment& environment, QObject* parent);

    bool isAllowed(const QUrl& url) const;

    // Calls `done` once, on the GUI thread, unless the transport is destroyed first.
    void get(const QUrl& url, const Bounds& bounds, std::function<void(const Response&)> done);
    // The same, with the body written to a new file at `destination` instead of kept; the file
    // is complete when the response is answered, and removed when it is not.
    void download(const QUrl& url, const Bounds& bounds, const std::filesystem::path& destination,
                  std::function<void(const Response&)> done);

private:
    // `keep` takes each arriving piece of the body; false ends the request as failed.
    void start(const QUrl& url, const Bounds& bounds, std::function<bool(const QByteArray&)> keep,
               std::function<void(bool completed, int statusCode)> done);

    QNetworkAccessManager* network_;
    bool allowLoopbackHttp_;
    QList<QSslCertificate> extraCaCertificates_;
};

} // namespace velmo
