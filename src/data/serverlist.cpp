#include "data/serverlist.h"

#include "data/dberror.h"

#include <algorithm>

namespace orvy::data {

namespace {

[[noreturn]] void throwInvalid(const QString &entry)
{
    throw DbError(
        0, DbError::prefix() + QStringLiteral("Invalid server address \"%1\" in the host list").arg(entry));
}

unsigned parsePort(const QString &text, const QString &entry)
{
    // Digits only: no sign or blanks, which toUInt would take.
    const bool digits = !text.isEmpty() && text.size() <= 5
        && std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    const uint port = digits ? text.toUInt() : 0;
    if (port == 0 || port > 65535)
        throwInvalid(entry);
    return port;
}

ServerAddress parseOne(const QString &entry, unsigned defaultPort)
{
    if (entry.startsWith(u'[')) {
        const qsizetype close = entry.indexOf(u']');
        if (close < 0)
            throwInvalid(entry);
        const QString host = entry.mid(1, close - 1);
        const QString rest = entry.mid(close + 1);
        if (host.isEmpty())
            throwInvalid(entry);
        if (rest.isEmpty())
            return { host, defaultPort };
        if (!rest.startsWith(u':') || rest.size() == 1)
            throwInvalid(entry);
        return { host, parsePort(rest.mid(1), entry) };
    }
    // No colon: a host name; more than one: a bare IPv6 address. Neither has a port.
    if (entry.count(u':') != 1)
        return { entry, defaultPort };
    const qsizetype colon = entry.indexOf(u':');
    if (colon == 0)
        throwInvalid(entry);
    return { entry.left(colon), parsePort(entry.mid(colon + 1), entry) };
}

} // namespace

QList<ServerAddress> parseServers(const QString &hosts, unsigned defaultPort)
{
    QList<ServerAddress> servers;
    for (const QString &part : hosts.split(u',')) {
        const QString entry = part.trimmed();
        if (!entry.isEmpty())
            servers.append(parseOne(entry, defaultPort));
    }
    if (servers.isEmpty())
        servers.append({ QString(), defaultPort });
    return servers;
}

void shuffleServers(QList<ServerAddress> &servers, const std::function<quint32()> &random)
{
    // Fisher-Yates; the modulo bias of a 32-bit draw over a handful of servers is nil.
    for (qsizetype i = servers.size() - 1; i > 0; --i) {
        const qsizetype j = qsizetype(random() % quint32(i + 1));
        servers.swapItemsAt(i, j);
    }
}

} // namespace orvy::data
