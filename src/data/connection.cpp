#include "data/connection.h"

#include "data/busybackoff.h"
#include "data/dberror.h"
#include "data/mariadbapi.h"
#include "data/serverlist.h"
#include "data/session.h"
#include "core/eventwait.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <mysqld_error.h>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

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
    QList<ServerAddress> notReady; // a cluster node not ready: passed over while others are left
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

// A refusal that another server would not change: it is reported at once.
bool isFinal(const DbError &error)
{
    return !error.isTimeout() && !error.isConnectionLoss() && !error.isBusy();
}

// Connect attempts to several servers at once, each on a short-lived thread of its own
// with its own client handle. The program is otherwise single-threaded, and a blocking
// connect cannot be given up, so a silent server is left to its own thread (which closes
// whatever it gets late) while the others are tried. Shared with those threads.
struct ConnectRace {
    std::mutex mutex;
    std::condition_variable changed;
    std::unique_ptr<Session> winner;
    ServerAddress winnerServer;
    bool decided = false; // a winner was handed over: a later success is closed at once
    int running = 0;
    std::vector<std::pair<ServerAddress, DbError>> refusals;
    std::exception_ptr unexpected; // anything but a DbError
    bool final = false; // a refusal no other server would change (wrong credentials, ...)

    bool over() const { return decided || unexpected || final; }

    void start(const MariaDbApi &api, const DbSettings &settings, const ServerAddress &server,
        const std::shared_ptr<ConnectRace> &self)
    {
        ++running;
        std::thread([&api, settings, server, self] {
            std::unique_ptr<Session> session;
            std::optional<DbError> refusal;
            std::exception_ptr unexpected;
            try {
                session = std::make_unique<Session>(api, settings, server);
            } catch (const DbError &error) {
                refusal = error;
            } catch (...) {
                unexpected = std::current_exception();
            }
            const std::lock_guard lock(self->mutex);
            --self->running;
            if (session && !self->decided) {
                self->winner = std::move(session);
                self->winnerServer = server;
                self->decided = true;
            } else if (refusal) {
                self->refusals.emplace_back(server, *refusal);
                self->final = self->final || isFinal(*refusal);
            } else if (unexpected && !self->unexpected) {
                self->unexpected = unexpected;
            }
            self->changed.notify_all();
            // A late session closes here, after the lock; nobody is waiting for it.
        }).detach();
    }
};

} // namespace

std::unique_ptr<Session> Connection::connectToAServer(Attempt &attempt)
{
    // The client library is loaded here, at the first connection attempt.
    const MariaDbApi &api = MariaDbApi::load(m_settings.clientLibraries);
    QList<ServerAddress> servers = parseServers(m_settings.host, m_settings.port);
    shuffleServers(servers, [this] { return random(); });
    servers.removeIf([&attempt](const ServerAddress &server) { return attempt.silent.contains(server); });
    // A node that said it is not ready is passed over while another server is left.
    auto ready = servers;
    ready.removeIf([&attempt](const ServerAddress &server) { return attempt.notReady.contains(server); });
    if (!ready.isEmpty())
        servers = std::move(ready);
    if (servers.isEmpty())
        throw *attempt.lastSilence; // all were silent before

    std::vector<std::pair<ServerAddress, DbError>> refusals;
    if (servers.size() == 1) {
        try {
            std::unique_ptr<Session> session;
            core::runBlocking(
                [&] { session = std::make_unique<Session>(api, m_settings, servers.front()); });
            m_sessionServer = servers.front();
            return session;
        } catch (const DbError &error) {
            refusals.emplace_back(servers.front(), error);
        }
    } else {
        // The next server is tried as soon as the one before refuses, or after a short
        // stagger while it is still trying: a silent server costs the stagger, not the
        // connect time-out, and a healthy first choice is not doubled by a second login.
        const auto race = std::make_shared<ConnectRace>();
        std::unique_lock lock(race->mutex);
        std::size_t answered = 0; // refusals seen when the last attempt began
        const auto settled = [&race, &answered] {
            return race->over() || race->running == 0 || race->refusals.size() > answered;
        };
        for (qsizetype next = 0;
             next < servers.size() && !race->over(); ++next) {
            answered = race->refusals.size();
            race->start(api, m_settings, servers.at(next), race);
            core::waitFor(lock, race->changed, settled, connectStaggerMs);
        }
        core::waitFor(lock, race->changed,
            [&race] { return race->over() || race->running == 0; },
            -1);
        if (race->winner) {
            m_sessionServer = race->winnerServer;
            return std::move(race->winner);
        }
        if (race->unexpected)
            std::rethrow_exception(race->unexpected);
        race->decided = true; // nothing is waited for any more
        for (const auto &refusal : std::as_const(race->refusals))
            refusals.push_back(refusal);
    }

    std::optional<DbError> refusal;
    for (const auto &[server, error] : refusals) {
        if (error.isTimeout()) {
            attempt.silent.append(server);
            attempt.lastSilence = error;
        } else if (isFinal(error)) {
            throw error; // wrong credentials, an encryption failure, a name that does not resolve
        }
        if (!refusal || hope(error) >= hope(*refusal))
            refusal = error;
    }
    throw *refusal;
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
                core::pauseMs(*pause);
                continue;
            }
            if (!error.isConnectionLoss())
                throw; // an SQL error leaves a healthy connection open
            if (m_session && error.clientError() == ER_UNKNOWN_COM_ERROR)
                attempt.notReady.append(m_sessionServer);
            m_session.reset();
            if (attempt.reconnects == reconnectAttempts)
                throw;
            if (attempt.reconnects > 0)
                core::pauseMs(m_settings.retryPauseMs);
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
    return withRetries([&utf8](Session &session) {
        std::optional<ResultSet> result;
        core::runBlocking([&] { result = session.run(utf8); });
        return std::move(*result);
    });
}

} // namespace orvy::data
