#include "data/connection.h"

#include "data/busybackoff.h"
#include "data/dberror.h"
#include "data/mariadbapi.h"
#include "data/serverlist.h"
#include "data/session.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QThread>
#include <optional>

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

// What one operation has been through so far.
struct Connection::Attempt {
    QElapsedTimer sinceStart;
    int reconnects = 0;
    std::optional<BusyBackoff> busyPauses;
    QList<ServerAddress> silent; // did not answer: not tried again in this operation
    std::optional<DbError> lastSilence;
};

quint32 Connection::random()
{
    return m_settings.random ? m_settings.random() : QRandomGenerator::global()->generate();
}

namespace {

// Which refusal to report when no server would do: the one that says to try later first.
int hope(const DbError &error)
{
    if (error.isBusy())
        return 3;
    if (error.isConnectionLoss())
        return 2;
    return 1; // no answer
}

void pauseMs(int ms)
{
    QThread::msleep(static_cast<unsigned long>(qMax(0, ms)));
}

} // namespace

std::unique_ptr<Session> Connection::connectToAServer(Attempt &attempt)
{
    // The client library is loaded here, at the first connection attempt.
    const MariaDbApi &api = MariaDbApi::load(m_settings.clientLibraries);
    QList<ServerAddress> servers = parseServers(m_settings.host, m_settings.port);
    shuffleServers(servers, [this] { return random(); });
    std::optional<DbError> refusal;
    for (const ServerAddress &server : std::as_const(servers)) {
        if (attempt.silent.contains(server))
            continue;
        try {
            return std::make_unique<Session>(api, m_settings, server);
        } catch (const DbError &error) {
            if (error.isTimeout()) {
                attempt.silent.append(server);
                attempt.lastSilence = error;
            } else if (!error.isConnectionLoss() && !error.isBusy()) {
                throw; // wrong credentials, an encryption failure, a name that does not resolve
            }
            if (!refusal || hope(error) >= hope(*refusal))
                refusal = error;
        }
    }
    throw refusal ? *refusal : *attempt.lastSilence; // all left were silent before
}

template<typename Operation> auto Connection::withRetries(Operation operation)
{
    Attempt attempt;
    attempt.sinceStart.start();
    for (;;) {
        try {
            if (!m_session)
                m_session = connectToAServer(attempt);
            return operation(*m_session);
        } catch (const DbError &error) {
            if (error.isTimeout()) {
                m_session.reset(); // the library has dropped it; the next operation reconnects
                throw;
            }
            if (error.isBusy() && m_waitWhileBusy) {
                if (!attempt.busyPauses)
                    attempt.busyPauses.emplace(
                        m_settings.busyFirstPauseMs, m_settings.busyTotalMs, [this] { return random(); });
                const std::optional<int> pause
                    = attempt.busyPauses->nextPauseMs(attempt.sinceStart.elapsed());
                if (!pause)
                    throw;
                pauseMs(*pause);
                continue;
            }
            if (!error.isConnectionLoss())
                throw; // an SQL error leaves a healthy connection open
            m_session.reset();
            if (attempt.reconnects == reconnectAttempts)
                throw;
            if (attempt.reconnects > 0)
                pauseMs(m_settings.retryPauseMs);
            ++attempt.reconnects;
        }
    }
}

void Connection::open()
{
    if (m_session)
        return;
    const BusyScope busy(*this);
    withRetries([](Session &) { return 0; });
}

void Connection::close()
{
    m_session.reset();
}

ResultSet Connection::execute(const QString &sql)
{
    const BusyScope busy(*this);
    const QByteArray utf8 = sql.toUtf8();
    return withRetries([&utf8](Session &session) { return session.run(utf8); });
}

} // namespace orvy::data
