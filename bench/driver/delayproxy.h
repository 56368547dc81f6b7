#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTcpServer>
#include <memory>

class QTcpSocket;

namespace orvy::bench {

// A TCP relay on 127.0.0.1 that holds every piece of data for a set time in each
// direction (a network's one-way delay) and counts what crosses it: connections
// and round trips, one round trip being each answer that follows the client's
// last sending (a server greeting counts as one too).
class DelayProxy : public QObject {
    Q_OBJECT

public:
    explicit DelayProxy(QObject *parent = nullptr);
    ~DelayProxy() override;

    // Listens on 127.0.0.1:port (0: any free port) and relays to 127.0.0.1:upstream.
    bool listen(quint16 port, quint16 upstream);
    quint16 port() const { return m_server.serverPort(); }
    void setUpstream(quint16 upstream) { m_upstream = upstream; }
    void setOneWayDelayMs(int ms) { m_delayMs = ms; }

    int connections() const { return m_connections; }
    int roundTrips() const { return m_roundTrips; }
    void resetCounts();

private:
    struct Link;
    void onNewConnection();

    QTcpServer m_server;
    quint16 m_upstream = 0;
    int m_delayMs = 0;
    int m_connections = 0;
    int m_roundTrips = 0;
    QList<std::shared_ptr<Link>> m_links;
};

} // namespace orvy::bench
