#pragma once

#include <QList>
#include <QString>
#include <functional>

namespace orvy::data {

// One database server to connect to.
struct ServerAddress {
    QString host; // empty: the client library's default
    unsigned port = 0; // 0: the client's default, 3306

    bool operator==(const ServerAddress &) const = default;
};

// The servers named in a host setting: separated by commas, each "host", "host:port",
// "[v6]" or "[v6]:port" (a bare IPv6 address has no port); blanks around them are
// ignored, and so are empty entries. A server without a port gets `defaultPort`. An empty
// setting is one server with an empty host. Throws DbError naming an entry whose port is
// not a number from 1 to 65535 or whose brackets are not closed.
QList<ServerAddress> parseServers(const QString &hosts, unsigned defaultPort);

// Puts `servers` in a random order (every order equally likely), drawing from `random`.
void shuffleServers(QList<ServerAddress> &servers, const std::function<quint32()> &random);

} // namespace orvy::data
