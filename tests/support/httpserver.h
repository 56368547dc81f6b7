#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <memory>

namespace orvy::test {

// A small HTTP/1.1 server on 127.0.0.1 for the tests. It serves from a thread of
// its own, so a test may block its main thread in the code under test (a
// blocking fetch, a window's start-up) while the server keeps answering.
// Every public member may be called from any thread.
class HttpServer {
public:
    enum class Mode {
        Normal, // status, headers and body as given
        NeverAnswer, // read the request, then stay silent until the server stops
        File, // a file from disk, with byte ranges (206) for media players
        StallAfterHeaders, // send the headers and `body`, announce one byte more, then go silent
        CloseWithoutAnswer, // read the request and close the connection
        Trickle, // send the headers, then `body` in pieces, one every trickleIntervalMs
        Flood, // send the headers, then `body` over and over until floodBytes are out or the client leaves
        EndlessInterim, // read the request, then send a 1xx interim answer every trickleIntervalMs, forever
        Raw, // send `body` as it is, no status line or headers, then close
        // send `lead` as it is (no status line or headers of the server's own), then `body`
        // over and over until floodBytes are out or the client leaves, then close
        RawFlood
    };

    struct Response {
        int status = 200;
        QByteArray reason = "OK";
        QList<QPair<QByteArray, QByteArray>> headers; // sent after the server's own
        QByteArray body;
        Mode mode = Mode::Normal;
        QString filePath; // Mode::File
        QByteArray contentType; // Content-Type, when not empty
        int trickleIntervalMs = 100; // Mode::Trickle, Mode::EndlessInterim
        int tricklePieceBytes = 0; // Mode::Trickle; 0: a tenth of the body
        // Content-Length to announce instead of the body's own size; for Mode::Flood, -1
        // announces none and ends the body by closing the connection.
        qint64 declaredLength = -1;
        qint64 floodBytes = -1; // Mode::Flood, Mode::RawFlood: how much to send in all; -1: no end
        QByteArray lead; // Mode::RawFlood

        static Response ok(
            const QByteArray &body, const QByteArray &contentType = "application/octet-stream");
        static Response redirect(int status, const QByteArray &location);
        static Response file(const QString &path, const QByteArray &contentType);
        static Response neverAnswer();

        void addHeader(const QByteArray &name, const QByteArray &value)
        {
            headers.append(qMakePair(name, value));
        }
    };

    struct Request {
        QByteArray method;
        QByteArray path; // the request target as sent, query included
        QList<QByteArray> headerLines; // raw "Name: value" lines in the order received
        QByteArray body;

        // The value of the first header with this name (case-insensitive); empty if none.
        QByteArray header(const QByteArray &name) const;
        bool hasHeader(const QByteArray &name) const;
    };

    struct Tls {
        QString certificateFile; // PEM
        QString keyFile; // PEM, unencrypted
    };

    // Plain HTTP.
    HttpServer();
    // HTTPS with the given certificate and key; url() then gives https addresses.
    explicit HttpServer(const Tls &tls);
    // Stops the thread; open connections, silent ones included, are dropped.
    ~HttpServer();

    HttpServer(const HttpServer &) = delete;
    HttpServer &operator=(const HttpServer &) = delete;

    quint16 port() const;
    // "http://127.0.0.1:PORT/path" (https in TLS mode); a missing leading slash is added.
    QString url(const QString &path) const;

    // Answers requests whose target (or target without its query) equals path.
    // Unknown paths get 404 with a small HTML page.
    void setRoute(const QByteArray &path, const Response &response);

    QList<Request> requests() const;
    void clearRequests();

    // A self-signed certificate for 127.0.0.1 and localhost, made with the openssl
    // command into dir. Empty file names if that failed.
    static Tls makeSelfSignedCertificate(const QString &dir);

private:
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace orvy::test
