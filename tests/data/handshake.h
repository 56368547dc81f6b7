#pragma once

#include <QByteArray>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orvy::test {

// One packet of the client protocol: 3-byte length, sequence number, body.
inline QByteArray protocolPacket(const QByteArray &body, char sequence)
{
    QByteArray packet;
    packet.append(char(body.size() & 0xFF)).append(char((body.size() >> 8) & 0xFF)).append(char(body.size() >> 16));
    packet.append(sequence);
    return packet + body;
}

// A protocol-10 greeting offering mysql_native_password, as a MariaDB server sends it;
// `version` is the server version it names.
inline QByteArray serverGreeting(const QByteArray &version)
{
    QByteArray body;
    body.append('\x0a');
    body.append(version);
    body.append('\0');
    body.append("\x07\0\0\0", 4); // connection id
    body.append("abcdefgh", 8); // first part of the scramble
    body.append('\0');
    const quint32 capabilities = 0x000BA20F; // 4.1 protocol, secure connection, plug-in auth
    body.append(char(capabilities & 0xFF)).append(char((capabilities >> 8) & 0xFF));
    body.append(char(45)); // utf8mb4_general_ci
    body.append("\x02\0", 2); // autocommit
    body.append(char((capabilities >> 16) & 0xFF)).append(char((capabilities >> 24) & 0xFF));
    body.append(char(21)); // scramble length
    body.append(QByteArray(10, '\0'));
    body.append("ijklmnopqrst", 12);
    body.append('\0');
    body.append("mysql_native_password");
    body.append('\0');
    return protocolPacket(body, 0);
}

// A socket listening on 127.0.0.1 at a port the system picks, written to `port`; -1 if
// it cannot be had.
inline int loopbackListener(quint16 *port, int backlog)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::listen(listener, backlog) != 0
        || ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        if (listener >= 0)
            ::close(listener);
        return -1;
    }
    *port = ntohs(address.sin_port);
    return listener;
}

} // namespace orvy::test
