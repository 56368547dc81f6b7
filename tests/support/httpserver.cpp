#include "httpserver.h"

#include <QFile>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <map>

namespace orvy::test {

namespace {

// Refuse request heads larger than this: a client gone wrong, not a test case.
constexpr qsizetype MaxHeadSize = 64 * 1024;
// File bodies go out in pieces so a large video never sits whole in memory.
constexpr qint64 FileChunk = 64 * 1024;
constexpr qint64 MaxQueued = 256 * 1024;

struct ByteRange {
    qint64 first = 0;
    qint64 last = 0;
};

// Parses a single "bytes=a-b" / "bytes=a-" / "bytes=-n" range against size.
// Returns false when the header is absent or not a single byte range (the whole
// file is sent then); sets unsatisfiable when it names no byte of the file.
bool parseRange(const QByteArray &header, qint64 size, ByteRange &range, bool &unsatisfiable)
{
    unsatisfiable = false;
    const QByteArray value = header.trimmed();
    if (!value.startsWith("bytes=") || value.contains(','))
        return false;
    const QByteArray bounds = value.mid(6).trimmed();
    const qsizetype dash = bounds.indexOf('-');
    if (dash < 0)
        return false;
    const QByteArray a = bounds.left(dash).trimmed();
    const QByteArray b = bounds.mid(dash + 1).trimmed();
    bool okA = true;
    bool okB = true;
    if (a.isEmpty()) {
        const qint64 suffix = b.toLongLong(&okB);
        if (!okB || suffix < 0)
            return false;
        if (suffix == 0 || size == 0) {
            unsatisfiable = true;
            return true;
        }
        range.first = qMax<qint64>(0, size - suffix);
        range.last = size - 1;
        return true;
    }
    range.first = a.toLongLong(&okA);
    range.last = b.isEmpty() ? size - 1 : b.toLongLong(&okB);
    if (!okA || !okB || range.first < 0 || (!b.isEmpty() && range.last < range.first))
        return false;
    if (range.first >= size) {
        unsatisfiable = true;
        return true;
    }
    range.last = qMin(range.last, size - 1);
    return true;
}

QByteArray notFoundPage(const QByteArray &path)
{
    return "<!DOCTYPE html>\n<html><head><title>404 Not Found</title></head>\n<body><h1>Not Found</h1>"
           "<p>The requested URL "
        + path.toPercentEncoding("/?=&") + " was not found on this server.</p></body></html>\n";
}

} // namespace

QByteArray HttpServer::Request::header(const QByteArray &name) const
{
    for (const QByteArray &line : headerLines) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

bool HttpServer::Request::hasHeader(const QByteArray &name) const
{
    for (const QByteArray &line : headerLines) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

HttpServer::Response HttpServer::Response::ok(const QByteArray &body, const QByteArray &contentType)
{
    Response r;
    r.body = body;
    r.contentType = contentType;
    return r;
}

HttpServer::Response HttpServer::Response::redirect(int status, const QByteArray &location)
{
    Response r;
    r.status = status;
    r.reason = "Redirect";
    r.headers.append({ "Location", location });
    return r;
}

HttpServer::Response HttpServer::Response::file(const QString &path, const QByteArray &contentType)
{
    Response r;
    r.mode = Mode::File;
    r.filePath = path;
    r.contentType = contentType;
    return r;
}

HttpServer::Response HttpServer::Response::neverAnswer()
{
    Response r;
    r.mode = Mode::NeverAnswer;
    return r;
}

class HttpServer::Private {
public:
    // Shared with the test thread, under m_mutex.
    mutable QMutex m_mutex;
    QHash<QByteArray, Response> m_routes;
    QList<Request> m_requests;

    // Set once before the thread serves, read-only afterwards.
    bool m_tls = false;
    quint16 m_port = 0;

    QThread m_thread;
    QObject *m_context = nullptr; // lives in m_thread; receives the socket signals

    // Touched only inside m_thread.
    struct Connection {
        QByteArray buffer;
        bool silent = false; // never answer again
        bool closeAfter = false; // close once the current answer is out
        std::unique_ptr<QFile> file;
        qint64 fileRemaining = 0;
        QTimer *trickle = nullptr; // child of the socket while a trickled body goes out
        QByteArray trickleRest;
        qsizetype tricklePiece = 0;
        QByteArray interim; // Mode::EndlessInterim: what trickle sends each time
        QByteArray floodPiece; // Mode::Flood: repeated until floodRemaining is 0
        qint64 floodRemaining = 0; // -1: no end
    };
    QTcpServer *m_server = nullptr;
    std::map<QTcpSocket *, Connection> m_connections;

    void start(const Tls *tls);
    void stop();

    void onPending();
    void onReadyRead(QTcpSocket *socket);
    void onBytesWritten(QTcpSocket *socket);
    void onDisconnected(QTcpSocket *socket);
    void processBuffer(QTcpSocket *socket, Connection &c);
    void answer(QTcpSocket *socket, Connection &c, const Request &request, bool http10);
    void serveFile(QTcpSocket *socket, Connection &c, const Request &request, const Response &r);
    void pumpFile(QTcpSocket *socket, Connection &c);
    void finishAnswer(QTcpSocket *socket, Connection &c);
    void trickleNext(QTcpSocket *socket);
    void pumpFlood(QTcpSocket *socket, Connection &c);
};

namespace {

// The header lines every answer ends with: type, connection, the route's own, blank line.
QByteArray headTail(const HttpServer::Response &r, bool closeAfter)
{
    QByteArray tail;
    if (!r.contentType.isEmpty())
        tail += "Content-Type: " + r.contentType + "\r\n";
    if (closeAfter)
        tail += "Connection: close\r\n";
    for (const auto &[name, value] : std::as_const(r.headers))
        tail += name + ": " + value + "\r\n";
    return tail + "\r\n";
}

} // namespace

void HttpServer::Private::start(const Tls *tls)
{
    m_context = new QObject;
    m_context->moveToThread(&m_thread);
    m_thread.setObjectName(QStringLiteral("test-http-server"));
    m_thread.start();

    QString failure;
    QMetaObject::invokeMethod(
        m_context,
        [this, tls, &failure] {
            if (tls) {
                auto *server = new QSslServer;
                QFile certFile(tls->certificateFile);
                QFile keyFile(tls->keyFile);
                if (!certFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly)) {
                    failure = QStringLiteral("cannot read the TLS certificate or key");
                    delete server;
                    return;
                }
                QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
                conf.setLocalCertificate(QSslCertificate(certFile.readAll(), QSsl::Pem));
                conf.setPrivateKey(QSslKey(keyFile.readAll(), QSsl::Rsa, QSsl::Pem));
                conf.setPeerVerifyMode(QSslSocket::VerifyNone);
                server->setSslConfiguration(conf);
                m_server = server;
            } else {
                m_server = new QTcpServer;
            }
            // Both kinds announce a socket ready for use (TLS: after the handshake) here.
            QObject::connect(
                m_server, &QTcpServer::pendingConnectionAvailable, m_context, [this] { onPending(); });
            if (!m_server->listen(QHostAddress::LocalHost, 0)) {
                failure = m_server->errorString();
                return;
            }
            m_port = m_server->serverPort();
        },
        Qt::BlockingQueuedConnection);
    if (!failure.isEmpty())
        qFatal("test HTTP server: %s", qPrintable(failure));
}

void HttpServer::Private::stop()
{
    if (!m_context)
        return;
    QMetaObject::invokeMethod(
        m_context,
        [this] {
            std::map<QTcpSocket *, Connection> open;
            open.swap(m_connections);
            for (auto &entry : open) {
                entry.first->disconnect(m_context);
                entry.first->abort();
                delete entry.first;
            }
            if (m_server)
                m_server->close();
            delete m_server; // also any TLS socket still in its handshake
            m_server = nullptr;
        },
        Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    delete m_context; // its thread has ended
    m_context = nullptr;
}

void HttpServer::Private::onPending()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        socket->setParent(nullptr);
        m_connections.emplace(socket, Connection {});
        QObject::connect(socket, &QTcpSocket::readyRead, m_context, [this, socket] { onReadyRead(socket); });
        QObject::connect(
            socket, &QTcpSocket::bytesWritten, m_context, [this, socket] { onBytesWritten(socket); });
        // Queued: disconnectFromHost() and abort() emit this at once, in the middle of
        // handling the connection whose state would then be gone.
        QObject::connect(
            socket, &QTcpSocket::disconnected, m_context, [this, socket] { onDisconnected(socket); },
            Qt::QueuedConnection);
        if (socket->bytesAvailable() > 0)
            onReadyRead(socket);
    }
}

void HttpServer::Private::onDisconnected(QTcpSocket *socket)
{
    if (m_connections.erase(socket) > 0)
        socket->deleteLater();
}

void HttpServer::Private::onReadyRead(QTcpSocket *socket)
{
    auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    Connection &c = it->second;
    const QByteArray data = socket->readAll();
    if (c.silent)
        return;
    c.buffer += data;
    processBuffer(socket, c);
}

void HttpServer::Private::onBytesWritten(QTcpSocket *socket)
{
    auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    Connection &c = it->second;
    if (c.file) {
        pumpFile(socket, c);
    } else if (!c.floodPiece.isEmpty()) {
        pumpFlood(socket, c);
    } else if (c.closeAfter && socket->bytesToWrite() == 0) {
        socket->disconnectFromHost();
    }
}

void HttpServer::Private::processBuffer(QTcpSocket *socket, Connection &c)
{
    // One request at a time: a pipelined next request waits until the body is out.
    while (!c.silent && !c.file && !c.trickle && c.floodPiece.isEmpty() && !c.closeAfter) {
        const qsizetype headEnd = c.buffer.indexOf("\r\n\r\n");
        if (headEnd < 0) {
            if (c.buffer.size() > MaxHeadSize) {
                socket->write("HTTP/1.1 431 Request Header Fields Too Large\r\nContent-Length: 0\r\n"
                              "Connection: close\r\n\r\n");
                c.closeAfter = true;
            }
            return;
        }
        const QList<QByteArray> lines = c.buffer.left(headEnd).split('\n');
        Request request;
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        request.method = requestLine.value(0);
        request.path = requestLine.value(1);
        const bool http10 = requestLine.value(2) == "HTTP/1.0";
        for (qsizetype i = 1; i < lines.size(); ++i) {
            QByteArray line = lines.at(i);
            if (line.endsWith('\r'))
                line.chop(1);
            request.headerLines.append(line);
        }
        bool lengthOk = true;
        const QByteArray lengthText = request.header("Content-Length");
        const qint64 length = lengthText.isEmpty() ? 0 : lengthText.toLongLong(&lengthOk);
        if (!lengthOk || length < 0 || length > 16 * 1024 * 1024) {
            socket->write("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            c.closeAfter = true;
            return;
        }
        if (c.buffer.size() < headEnd + 4 + length)
            return; // the body is still coming
        request.body = c.buffer.mid(headEnd + 4, length);
        c.buffer.remove(0, headEnd + 4 + length);
        {
            QMutexLocker lock(&m_mutex);
            m_requests.append(request);
        }
        answer(socket, c, request, http10);
    }
}

void HttpServer::Private::answer(QTcpSocket *socket, Connection &c, const Request &request, bool http10)
{
    Response r;
    bool found = false;
    {
        QMutexLocker lock(&m_mutex);
        auto it = m_routes.constFind(request.path);
        if (it == m_routes.constEnd()) {
            const qsizetype query = request.path.indexOf('?');
            if (query >= 0)
                it = m_routes.constFind(request.path.left(query));
        }
        if (it != m_routes.constEnd()) {
            r = *it;
            found = true;
        }
    }
    if (!found) {
        r.status = 404;
        r.reason = "Not Found";
        r.body = notFoundPage(request.path);
        r.contentType = "text/html; charset=iso-8859-1";
    }
    c.closeAfter = http10 || request.header("Connection").compare("close", Qt::CaseInsensitive) == 0;

    switch (r.mode) {
    case Mode::NeverAnswer:
        c.silent = true;
        c.buffer.clear();
        return;
    case Mode::CloseWithoutAnswer:
        c.silent = true;
        socket->disconnectFromHost();
        return;
    case Mode::File:
        serveFile(socket, c, request, r);
        return;
    case Mode::Raw:
        c.silent = true;
        c.closeAfter = true;
        socket->write(r.body);
        finishAnswer(socket, c);
        return;
    case Mode::RawFlood:
        c.silent = true;
        c.closeAfter = true;
        socket->write(r.lead);
        c.floodPiece = r.body;
        c.floodRemaining = r.body.isEmpty() ? 0 : r.floodBytes;
        pumpFlood(socket, c);
        return;
    case Mode::EndlessInterim:
        c.silent = true;
        c.buffer.clear();
        c.interim = "HTTP/1.1 " + QByteArray::number(r.status) + ' ' + r.reason + "\r\n\r\n";
        c.trickle = new QTimer(socket);
        c.trickle->setInterval(r.trickleIntervalMs);
        QObject::connect(c.trickle, &QTimer::timeout, m_context, [this, socket] {
            auto it = m_connections.find(socket);
            if (it != m_connections.end())
                socket->write(it->second.interim);
        });
        c.trickle->start();
        return;
    case Mode::Normal:
    case Mode::StallAfterHeaders:
    case Mode::Trickle:
    case Mode::Flood:
        break;
    }

    const bool stall = r.mode == Mode::StallAfterHeaders;
    const bool flood = r.mode == Mode::Flood && request.method != "HEAD" && !r.body.isEmpty();
    QByteArray head = "HTTP/1.1 " + QByteArray::number(r.status) + ' ' + r.reason + "\r\n";
    if (r.declaredLength >= 0)
        head += "Content-Length: " + QByteArray::number(r.declaredLength) + "\r\n";
    else if (r.mode == Mode::Flood)
        c.closeAfter = true; // the end of the body is the end of the connection
    else
        head += "Content-Length: " + QByteArray::number(r.body.size() + (stall ? 1 : 0)) + "\r\n";
    socket->write(head + headTail(r, c.closeAfter));
    if (flood) {
        c.floodPiece = r.body;
        c.floodRemaining = r.floodBytes;
        pumpFlood(socket, c);
        return;
    }
    if (r.mode == Mode::Trickle && request.method != "HEAD" && !r.body.isEmpty()) {
        c.trickleRest = r.body;
        c.tricklePiece
            = r.tricklePieceBytes > 0 ? r.tricklePieceBytes : qMax<qsizetype>(1, (r.body.size() + 9) / 10);
        c.trickle = new QTimer(socket);
        c.trickle->setInterval(r.trickleIntervalMs);
        QObject::connect(c.trickle, &QTimer::timeout, m_context, [this, socket] { trickleNext(socket); });
        c.trickle->start();
        return;
    }
    if (request.method != "HEAD")
        socket->write(r.body);
    if (stall) {
        c.silent = true;
        c.closeAfter = false;
        c.buffer.clear();
        return;
    }
    finishAnswer(socket, c);
}

void HttpServer::Private::serveFile(
    QTcpSocket *socket, Connection &c, const Request &request, const Response &r)
{
    auto file = std::make_unique<QFile>(r.filePath);
    if (!file->open(QIODevice::ReadOnly)) {
        socket->write("HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n");
        finishAnswer(socket, c);
        return;
    }
    const qint64 size = file->size();
    ByteRange range { 0, size - 1 };
    bool unsatisfiable = false;
    const bool partial = parseRange(request.header("Range"), size, range, unsatisfiable);

    QByteArray head;
    if (partial && unsatisfiable) {
        head = "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */" + QByteArray::number(size)
            + "\r\nContent-Length: 0\r\n";
    } else if (partial) {
        head = "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " + QByteArray::number(range.first) + '-'
            + QByteArray::number(range.last) + '/' + QByteArray::number(size) + "\r\n";
    } else {
        head = "HTTP/1.1 200 OK\r\n";
    }
    const qint64 length = unsatisfiable ? 0 : range.last - range.first + 1;
    if (!unsatisfiable)
        head += "Content-Length: " + QByteArray::number(length) + "\r\n";
    head += "Accept-Ranges: bytes\r\n";
    socket->write(head + headTail(r, c.closeAfter));

    if (request.method == "HEAD" || length == 0 || !file->seek(range.first)) {
        finishAnswer(socket, c);
        return;
    }
    c.file = std::move(file);
    c.fileRemaining = length;
    pumpFile(socket, c);
}

void HttpServer::Private::pumpFile(QTcpSocket *socket, Connection &c)
{
    while (c.file && c.fileRemaining > 0 && socket->bytesToWrite() < MaxQueued) {
        const QByteArray chunk = c.file->read(qMin(FileChunk, c.fileRemaining));
        if (chunk.isEmpty()) {
            // The file shrank under us: the announced length cannot be kept.
            c.file.reset();
            c.silent = true;
            socket->abort();
            return;
        }
        c.fileRemaining -= chunk.size();
        socket->write(chunk);
    }
    if (c.file && c.fileRemaining == 0) {
        c.file.reset();
        finishAnswer(socket, c);
    }
}

void HttpServer::Private::pumpFlood(QTcpSocket *socket, Connection &c)
{
    while (c.floodRemaining != 0 && socket->bytesToWrite() < MaxQueued) {
        const QByteArray piece = c.floodRemaining < 0 ? c.floodPiece : c.floodPiece.left(c.floodRemaining);
        socket->write(piece);
        if (c.floodRemaining > 0)
            c.floodRemaining -= piece.size();
    }
    if (c.floodRemaining == 0) {
        c.floodPiece.clear();
        finishAnswer(socket, c);
    }
}

void HttpServer::Private::trickleNext(QTcpSocket *socket)
{
    auto it = m_connections.find(socket);
    if (it == m_connections.end() || !it->second.trickle)
        return;
    Connection &c = it->second;
    socket->write(c.trickleRest.left(c.tricklePiece));
    c.trickleRest.remove(0, c.tricklePiece);
    if (c.trickleRest.isEmpty()) {
        c.trickle->deleteLater();
        c.trickle = nullptr;
        finishAnswer(socket, c);
    }
}

void HttpServer::Private::finishAnswer(QTcpSocket *socket, Connection &c)
{
    if (c.closeAfter) {
        if (socket->bytesToWrite() == 0)
            socket->disconnectFromHost();
        // else onBytesWritten closes once the queue drains
        return;
    }
    if (!c.buffer.isEmpty())
        processBuffer(socket, c);
}

HttpServer::HttpServer()
    : d(std::make_unique<Private>())
{
    d->start(nullptr);
}

HttpServer::HttpServer(const Tls &tls)
    : d(std::make_unique<Private>())
{
    d->m_tls = true;
    d->start(&tls);
}

HttpServer::~HttpServer()
{
    d->stop();
}

quint16 HttpServer::port() const
{
    return d->m_port;
}

QString HttpServer::url(const QString &path) const
{
    const QString scheme = d->m_tls ? QStringLiteral("https") : QStringLiteral("http");
    const QString slash = path.startsWith(u'/') ? QString() : QStringLiteral("/");
    return scheme + QStringLiteral("://127.0.0.1:") + QString::number(d->m_port) + slash + path;
}

void HttpServer::setRoute(const QByteArray &path, const Response &response)
{
    QMutexLocker lock(&d->m_mutex);
    d->m_routes.insert(path.startsWith('/') ? path : '/' + path, response);
}

QList<HttpServer::Request> HttpServer::requests() const
{
    QMutexLocker lock(&d->m_mutex);
    return d->m_requests;
}

void HttpServer::clearRequests()
{
    QMutexLocker lock(&d->m_mutex);
    d->m_requests.clear();
}

HttpServer::Tls HttpServer::makeSelfSignedCertificate(const QString &dir)
{
    Tls tls { dir + QStringLiteral("/server.crt"), dir + QStringLiteral("/server.key") };
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(QStringLiteral("openssl"),
        { QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
            QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-days"),
            QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
            QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1,DNS:localhost"),
            QStringLiteral("-keyout"), tls.keyFile, QStringLiteral("-out"), tls.certificateFile });
    if (!openssl.waitForFinished(60000) || openssl.exitStatus() != QProcess::NormalExit
        || openssl.exitCode() != 0) {
        qWarning("openssl failed: %s", openssl.readAll().constData());
        return {};
    }
    return tls;
}

} // namespace orvy::test
