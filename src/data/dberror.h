#pragma once

#include "core/error.h"

namespace orvy::data {

// A failure of the database layer. Messages from the client library carry a fixed prefix
// naming the layer; clientError() is the library's error number (0 when the failure is
// the layer's own, such as a missing field or a client library that cannot be loaded).
class DbError : public Error {
public:
    DbError(unsigned clientError, QString message);

    // "[MariaDB] " + the client library's message.
    static DbError fromClient(unsigned clientError, const QString &clientMessage);
    static QString prefix() { return QStringLiteral("[MariaDB] "); }
    // The server took longer than the read time-out to answer a statement. The library
    // reports this as a lost connection (2013); it is kept apart because running the
    // statement again would only take as long once more.
    static DbError timedOut(unsigned clientError, int seconds);
    // The same for a server that took the connection but did not answer it (no greeting, or
    // no answer to the login) within the connect time-out.
    static DbError connectTimedOut(unsigned clientError, int seconds);

    unsigned clientError() const noexcept { return m_clientError; }
    // The errors after which the connection is re-opened and the query run again:
    // cannot connect, server gone away, connection lost during the query, a cluster node
    // not ready to serve.
    // A time-out is not one of them.
    bool isConnectionLoss() const noexcept;
    static bool meansConnectionLoss(unsigned clientError) noexcept;
    bool isTimeout() const noexcept { return m_timeout; }
    // The server refused for now because it or the account is at a limit: too many
    // connections (1040), too many for the account (1203), or an account limit per hour or
    // on connections (1226). Trying later may succeed.
    bool isBusy() const noexcept;

private:
    static DbError timeout(unsigned clientError, const QString &message);

    unsigned m_clientError;
    bool m_timeout = false;
};

} // namespace orvy::data
