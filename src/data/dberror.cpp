#include "data/dberror.h"

#include <errmsg.h>

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
    DbError error(clientError,
        prefix()
            + QStringLiteral("The server did not answer in time (no reply within %1 seconds)").arg(seconds));
    error.m_timeout = true;
    return error;
}

bool DbError::isConnectionLoss() const noexcept
{
    if (m_timeout)
        return false;
    switch (m_clientError) {
    // Connector/C reports a refused or unreachable TCP server as 2002, where other MySQL
    // clients say 2003; both mean "cannot connect".
    case CR_CONNECTION_ERROR: // 2002
    case CR_CONN_HOST_ERROR: // 2003
    case CR_SERVER_GONE_ERROR: // 2006
    case CR_SERVER_LOST: // 2013
        return true;
    default:
        return false;
    }
}

} // namespace orvy::data
