#include "data/dberror.h"

#include <errmsg.h>
#include <mysqld_error.h>

namespace orvy::data {

DbError::DbError(unsigned clientError, QString message)
    : Error(std::move(message))
    , m_clientError(clientError)
{
}

DbError DbError::fromClient(unsigned clientError, const QString &clientMessage)
{
    return DbError(clientError, prefix() + clientMessage);
}

DbError DbError::timedOut(unsigned clientError, int seconds)
{
    return timeout(clientError,
        QStringLiteral("The server did not answer in time (no reply within %1 seconds)").arg(seconds));
}

DbError DbError::connectTimedOut(unsigned clientError, int seconds)
{
    return timeout(clientError,
        QStringLiteral("The server did not answer when connecting (no reply within %1 seconds)")
            .arg(seconds));
}

DbError DbError::timeout(unsigned clientError, const QString &message)
{
    DbError error(clientError, prefix() + message);
    error.m_timeout = true;
    return error;
}

bool DbError::isBusy() const noexcept
{
    switch (m_clientError) {
    case ER_CON_COUNT_ERROR: // 1040
    case ER_TOO_MANY_USER_CONNECTIONS: // 1203
    case ER_USER_LIMIT_REACHED: // 1226
        return true;
    default:
        return false;
    }
}

bool DbError::isConnectionLoss() const noexcept
{
    return !m_timeout && meansConnectionLoss(m_clientError);
}

bool DbError::meansConnectionLoss(unsigned clientError) noexcept
{
    switch (clientError) {
    // Connector/C reports a refused or unreachable TCP server as 2002, where other MySQL
    // clients say 2003; both mean "cannot connect".
    case CR_CONNECTION_ERROR: // 2002
    case CR_CONN_HOST_ERROR: // 2003
    case CR_SERVER_GONE_ERROR: // 2006
    case CR_SERVER_LOST: // 2013
    // A cluster node that is not ready to serve (joining, receiving its state, cut off
    // from the others) refuses statements with 1047 ("WSREP has not yet prepared node
    // for application use"); the program sends no other command that could earn it.
    // Another server, or the proxy's next choice, serves instead.
    case ER_UNKNOWN_COM_ERROR: // 1047
        return true;
    default:
        return false;
    }
}

} // namespace orvy::data
