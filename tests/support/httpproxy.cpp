#include "httpproxy.h"

#include <QHostAddress>
#include <QMutex>
#include <QMutexLocker>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QUrl>
#include <algorithm>
#include <map>

namespace orvy::test {

namespace {

// A client gone wrong, not a test case.
constexpr qsizetype MaxHeadSize = 64 * 1024;

// The loopback address host names, or a null address: nothing else is reached.
QHostAddress loopbackAddress(const QString &host)
{
    if (host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0)
        return QHostAddress(QHostAddress::LocalHost);
    QHostAddress address;
    QString bare = host;
    if (bare.startsWith(u'[') && bare.endsWith(u']'))
        bare = bare.mid(1, bare.size() - 2);
    if (!address.setAddress(bare) || !address.isLoopback())
        return {};
    return address;
}

} // namespace

QList<QByteArray> HttpProxy::Request::headerNames() const
{
    QList<QByteArray> names;
    for (const QByteArray &line : headerLines)
        names.append(line.left(line.indexOf(':')).trimmed().toLower());
    std::sort(names.begin(), names.end());
    return names;
}

class HttpProxy::Private {
public:
    mutable QMutex m_mutex;
    QList<Request> m_requests; // under m_mutex

    quint16 m_port = 0; // set before the thread serves
    QThread m_thread;
    QObject *m_context = nullptr; // lives in m_thread

    // Touched only inside m_thread.
    struct Connection {
        QByteArray head; // the client's bytes until its request head is complete
        QTcpSocket *upstream = nullptr;
        QByteArray forward; // what goes upstream once it is connected
        bool tunnel = false;
    };
    QTcpServer *m_server = nullptr;
    std::map<QTcpSocket *, Connection> m_connections;

    void start();
    void stop();
    void onPending();
    void onClientData(QTcpSocket *client);
    void handleHead(QTcpSocket *client, Connection &c, qsizetype headEnd);
    void refuse(QTcpSocket *client, const QByteArray &status);
    void drop(QTcpSocket *client);
};

void HttpProxy::Private::start()
{
    m_context = new QObject;
    m_context->moveToThread(&m_thread);
    m_thread.setObjectName(QStringLiteral("test-http-proxy"));
    m_thread.start();
    QString failure;
    QMetaObject::invokeMethod(
        m_context,
        [this, &failure] {
            m_server = new QTcpServer;
            QObject::connect(m_server, &QTcpServer::newConnection, m_context, [this] { onPending(); });
            if (!m_server->listen(QHostAddress::LocalHost, 0))
                failure = m_server->errorString();
            m_port = m_server->serverPort();
        },
        Qt::BlockingQueuedConnection);
    if (!failure.isEmpty())
        qFatal("test HTTP proxy: %s", qPrintable(failure));
}

void HttpProxy::Private::stop()
{
    QMetaObject::invokeMethod(
        m_context,
        [this] {
            for (auto &[client, c] : m_connections) {
                delete c.upstream;
                delete client;
            }
            m_connections.clear();
            delete m_server;
            m_server = nullptr;
        },
        Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    delete m_context;
}

void HttpProxy::Private::onPending()
{
    while (QTcpSocket *client = m_server->nextPendingConnection()) {
        client->setParent(nullptr);
        m_connections.emplace(client, Connection {});
        QObject::connect(client, &QTcpSocket::readyRead, m_context, [this, client] { onClientData(client); });
        QObject::connect(
            client, &QTcpSocket::disconnected, m_context, [this, client] { drop(client); },
            Qt::QueuedConnection);
        onClientData(client);
    }
}

void HttpProxy::Private::onClientData(QTcpSocket *client)
{
    auto it = m_connections.find(client);
    if (it == m_connections.end())
        return;
    Connection &c = it->second;
    const QByteArray data = client->readAll();
    if (c.upstream) {
        // A tunnel, or a request body: straight through once the far end is up.
        if (c.upstream->state() == QAbstractSocket::ConnectedState)
            c.upstream->write(data);
        else
            c.forward += data;
        return;
    }
    c.head += data;
    const qsizetype headEnd = c.head.indexOf("\r\n\r\n");
    if (headEnd >= 0)
        handleHead(client, c, headEnd);
    else if (c.head.size() > MaxHeadSize)
        refuse(client, "431 Request Header Fields Too Large");
}

void HttpProxy::Private::handleHead(QTcpSocket *client, Connection &c, qsizetype headEnd)
{
    const QList<QByteArray> lines = c.head.left(headEnd).split('\n');
    Request request;
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    request.method = requestLine.value(0);
    request.target = requestLine.value(1);
    for (qsizetype i = 1; i < lines.size(); ++i)
        request.headerLines.append(lines.at(i).trimmed());
    {
        QMutexLocker lock(&m_mutex);
        m_requests.append(request);
    }
    const QByteArray rest = c.head.mid(headEnd + 4);
    c.head.clear();

    QString host;
    quint16 port = 0;
    if (request.method == "CONNECT") {
        const QUrl authority(QStringLiteral("tcp://") + QString::fromLatin1(request.target));
        host = authority.host();
        port = quint16(authority.port(0));
        c.tunnel = true;
        c.forward = rest;
    } else {
        const QUrl url = QUrl::fromEncoded(request.target);
        if (url.scheme() != QLatin1String("http")) {
            refuse(client, "400 Bad Request");
            return;
        }
        host = url.host();
        port = quint16(url.port(80));
        // On to the origin in origin form, one answer, then the connection ends.
        QByteArray forwarded = request.method + ' '
            + url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority) + " HTTP/1.1\r\n";
        for (const QByteArray &line : std::as_const(request.headerLines)) {
            const QByteArray name = line.left(line.indexOf(':')).trimmed().toLower();
            if (name != "connection" && name != "proxy-connection" && name != "proxy-authorization")
                forwarded += line + "\r\n";
        }
        c.forward = forwarded + "Connection: close\r\n\r\n" + rest;
    }
    const QHostAddress address = loopbackAddress(host);
    if (address.isNull() || port == 0) {
        refuse(client, "403 Forbidden");
        return;
    }

    auto *upstream = new QTcpSocket;
    c.upstream = upstream;
    QObject::connect(upstream, &QTcpSocket::connected, m_context, [this, client, upstream] {
        auto it = m_connections.find(client);
        if (it == m_connections.end())
            return;
        if (it->second.tunnel)
            client->write("HTTP/1.1 200 Connection established\r\n\r\n");
        upstream->write(it->second.forward);
        it->second.forward.clear();
    });
    QObject::connect(upstream, &QTcpSocket::readyRead, m_context,
        [client, upstream] { client->write(upstream->readAll()); });
    QObject::connect(
        upstream, &QTcpSocket::disconnected, m_context, [this, client] { drop(client); },
        Qt::QueuedConnection);
    QObject::connect(upstream, &QTcpSocket::errorOccurred, m_context, [this, client, upstream] {
        if (upstream->state() != QAbstractSocket::ConnectedState)
            refuse(client, "502 Bad Gateway");
    });
    upstream->connectToHost(address, port);
}

void HttpProxy::Private::refuse(QTcpSocket *client, const QByteArray &status)
{
    client->write("HTTP/1.1 " + status + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    client->disconnectFromHost();
}

void HttpProxy::Private::drop(QTcpSocket *client)
{
    auto it = m_connections.find(client);
    if (it == m_connections.end())
        return;
    QTcpSocket *upstream = it->second.upstream;
    m_connections.erase(it);
    if (upstream) {
        // What the origin sent last still goes out before the client's side closes.
        if (upstream->bytesAvailable() > 0)
            client->write(upstream->readAll());
        upstream->disconnect(m_context);
        upstream->abort();
        upstream->deleteLater();
    }
    client->disconnect(m_context);
    if (client->state() == QAbstractSocket::UnconnectedState) {
        client->deleteLater();
        return;
    }
    // Closes once everything queued is out.
    QObject::connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
    client->disconnectFromHost();
}

HttpProxy::HttpProxy()
    : d(std::make_unique<Private>())
{
    d->start();
}

HttpProxy::~HttpProxy()
{
    d->stop();
}

quint16 HttpProxy::port() const
{
    return d->m_port;
}

QString HttpProxy::url() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(d->m_port);
}

QList<HttpProxy::Request> HttpProxy::requests() const
{
    QMutexLocker lock(&d->m_mutex);
    return d->m_requests;
}

} // namespace orvy::test
