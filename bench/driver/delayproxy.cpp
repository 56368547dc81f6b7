#include "delayproxy.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>
#include <deque>

namespace orvy::bench {

namespace {

// Data waiting for its delay, in arrival order, with one timer per direction.
struct Pipe {
    QTcpSocket *to = nullptr;
    std::deque<std::pair<QDeadlineTimer, QByteArray>> queue;
    QTimer timer;
    bool closeWhenEmpty = false;

    void push(QByteArray data, int delayMs)
    {
        queue.emplace_back(QDeadlineTimer(delayMs, Qt::PreciseTimer), std::move(data));
        drain();
    }
    void drain()
    {
        while (!queue.empty() && queue.front().first.hasExpired()) {
            to->write(queue.front().second);
            queue.pop_front();
        }
        if (!queue.empty()) {
            timer.start(int(std::max<qint64>(0, queue.front().first.remainingTime())));
        } else if (closeWhenEmpty) {
            to->disconnectFromHost();
        }
    }
};

} // namespace

struct DelayProxy::Link {
    QTcpSocket *client = nullptr;
    QTcpSocket upstream;
    Pipe toUpstream;
    Pipe toClient;
    bool clientSpokeLast = true; // before the greeting, as after a request
};

DelayProxy::DelayProxy(QObject *parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &DelayProxy::onNewConnection);
}

DelayProxy::~DelayProxy()
{
    for (const auto &link : std::as_const(m_links))
        link->upstream.abort();
}

bool DelayProxy::listen(quint16 port, quint16 upstream)
{
    m_upstream = upstream;
    return m_server.listen(QHostAddress::LocalHost, port);
}

void DelayProxy::resetCounts()
{
    m_connections = 0;
    m_roundTrips = 0;
}

void DelayProxy::onNewConnection()
{
    while (QTcpSocket *client = m_server.nextPendingConnection()) {
        ++m_connections;
        auto link = std::make_shared<Link>();
        Link *l = link.get();
        m_links.append(link);
        l->client = client;
        client->setParent(this);
        client->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        l->upstream.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        l->toUpstream.to = &l->upstream;
        l->toClient.to = client;
        l->toUpstream.timer.setSingleShot(true);
        l->toUpstream.timer.setTimerType(Qt::PreciseTimer);
        l->toClient.timer.setSingleShot(true);
        l->toClient.timer.setTimerType(Qt::PreciseTimer);
        connect(&l->toUpstream.timer, &QTimer::timeout, this, [l] { l->toUpstream.drain(); });
        connect(&l->toClient.timer, &QTimer::timeout, this, [l] { l->toClient.drain(); });

        // Writes to the upstream socket wait in its buffer until it is connected.
        connect(client, &QTcpSocket::readyRead, this, [this, l] {
            l->clientSpokeLast = true;
            l->toUpstream.push(l->client->readAll(), m_delayMs);
        });
        connect(&l->upstream, &QTcpSocket::readyRead, this, [this, l] {
            if (l->clientSpokeLast)
                ++m_roundTrips;
            l->clientSpokeLast = false;
            l->toClient.push(l->upstream.readAll(), m_delayMs);
        });
        const std::weak_ptr<Link> weak = link;
        const auto finish = [this, weak] {
            const auto link = weak.lock();
            if (!link)
                return;
            if (link->client->state() == QAbstractSocket::UnconnectedState
                && link->upstream.state() == QAbstractSocket::UnconnectedState) {
                // Not inside the sockets' own signals: they go once these have returned.
                link->client->disconnect(this);
                link->upstream.disconnect(this);
                link->client->deleteLater();
                QMetaObject::invokeMethod(
                    this, [this, link] { m_links.removeAll(link); }, Qt::QueuedConnection);
            }
        };
        connect(client, &QTcpSocket::disconnected, this, [l, finish] {
            l->toUpstream.closeWhenEmpty = true;
            l->toUpstream.drain();
            finish();
        });
        connect(&l->upstream, &QTcpSocket::disconnected, this, [l, finish] {
            l->toClient.closeWhenEmpty = true;
            l->toClient.drain();
            finish();
        });
        connect(&l->upstream, &QTcpSocket::errorOccurred, this, [l](QAbstractSocket::SocketError) {
            if (l->upstream.state() != QAbstractSocket::ConnectedState)
                l->client->abort();
        });
        l->upstream.connectToHost(QHostAddress::LocalHost, m_upstream);
    }
}

} // namespace orvy::bench
