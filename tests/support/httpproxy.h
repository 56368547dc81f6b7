#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>

namespace orvy::test {

// A small HTTP proxy on 127.0.0.1 for the tests, serving from a thread of its own (the
// code under test may block the main thread). A request in absolute form ("GET
// http://host:port/path") is forwarded to its origin and the answer relayed; CONNECT
// opens a tunnel to host:port. Only loopback origins are reached: any other gets 403,
// so the tests' traffic never leaves the machine. One request per client connection.
// Every public member may be called from any thread.
class HttpProxy {
public:
    struct Request {
        QByteArray method;
        QByteArray target; // as sent: an absolute address, or host:port for CONNECT
        QList<QByteArray> headerLines; // raw "Name: value" lines in the order received

        // Header names, lower case and sorted.
        QList<QByteArray> headerNames() const;
    };

    HttpProxy();
    ~HttpProxy();

    HttpProxy(const HttpProxy &) = delete;
    HttpProxy &operator=(const HttpProxy &) = delete;

    quint16 port() const;
    // "http://127.0.0.1:PORT", as a proxy setting names it.
    QString url() const;

    QList<Request> requests() const;

private:
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace orvy::test
