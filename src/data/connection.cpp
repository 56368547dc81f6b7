#include "data/connection.h"

#include "data/dberror.h"
#include "data/mariadbapi.h"
#include "data/session.h"

#include <QThread>

namespace orvy::data {

class Connection::BusyScope {
public:
    explicit BusyScope(Connection &connection)
        : m_connection(connection)
    {
        if (m_connection.m_busyDepth++ == 0)
            Q_EMIT m_connection.operationStarted();
    }
    ~BusyScope()
    {
        if (--m_connection.m_busyDepth == 0)
            Q_EMIT m_connection.operationFinished();
    }
    BusyScope(const BusyScope &) = delete;
    BusyScope &operator=(const BusyScope &) = delete;

private:
    Connection &m_connection;
};

Connection::Connection(DbSettings settings, QObject *parent)
    : QObject(parent)
    , m_settings(std::move(settings))
{
}

Connection::~Connection() = default;

Session &Connection::session()
{
    // The client library is loaded here, at the first connection attempt.
    if (!m_session)
        m_session = std::make_unique<Session>(MariaDbApi::load(m_settings.clientLibraries), m_settings);
    return *m_session;
}

template<typename Operation> auto Connection::withReconnect(Operation operation)
{
    for (int attempt = 0;; ++attempt) {
        try {
            return operation(session());
        } catch (const DbError &error) {
            if (error.isTimeout()) {
                m_session.reset(); // the library has dropped it; the next operation reconnects
                throw;
            }
            if (!error.isConnectionLoss())
                throw; // an SQL error leaves a healthy connection open
            m_session.reset();
            if (attempt == reconnectAttempts)
                throw;
            if (attempt > 0)
                QThread::msleep(static_cast<unsigned long>(qMax(0, m_settings.retryPauseMs)));
        }
    }
}

void Connection::open()
{
    if (m_session)
        return;
    const BusyScope busy(*this);
    withReconnect([](Session &) { return 0; });
}

void Connection::close()
{
    m_session.reset();
}

ResultSet Connection::execute(const QString &sql)
{
    const BusyScope busy(*this);
    const QByteArray utf8 = sql.toUtf8();
    return withReconnect([&utf8](Session &session) { return session.run(utf8); });
}

} // namespace orvy::data
