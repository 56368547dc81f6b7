// The connection's error and reconnect rules, against a private server that the tests
// kill sessions on, pause and stop, and against a loopback listener that never answers.
#include "data/connection.h"
#include "data/dberror.h"
#include "data/query.h"
#include "handshake.h"
#include "mariadbserver.h"
#include "serversettings.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QTest>
#include <atomic>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace orvy::data;
using orvy::test::MariaDbServer;
using orvy::test::settingsFor;

namespace {

// Accepts connections on 127.0.0.1 and then stalls: either it never says a word (a server
// that hangs before its greeting) or it greets, reads the login and never answers it.
class SilentListener {
public:
    enum class Stall { BeforeGreeting, AfterLogin };

    explicit SilentListener(Stall stall = Stall::BeforeGreeting)
        : m_stall(stall)
    {
        m_socket = orvy::test::loopbackListener(&m_port, 16);
        if (m_socket < 0)
            return;
        m_thread = std::thread([this] { run(); });
    }
    ~SilentListener()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        for (int client : m_clients)
            ::close(client);
        if (m_socket >= 0)
            ::close(m_socket);
    }

    quint16 port() const { return m_port; }
    int accepted() const { return m_accepted; }
    // Bytes the clients sent after the greeting (their logins).
    int loginBytes() const { return m_loginBytes; }

private:
    void run()
    {
        std::vector<pollfd> waiting;
        while (!m_stop) {
            waiting.assign(1, pollfd { m_socket, POLLIN, 0 });
            for (int client : m_clients)
                waiting.push_back(pollfd { client, POLLIN, 0 });
            if (::poll(waiting.data(), waiting.size(), 50) <= 0)
                continue;
            if (waiting.front().revents & POLLIN) {
                const int client = ::accept(m_socket, nullptr, nullptr);
                if (client >= 0) {
                    if (m_stall == Stall::AfterLogin) {
                        const QByteArray hello = orvy::test::serverGreeting("10.11.0-stalled");
                        if (::write(client, hello.constData(), size_t(hello.size())) != hello.size())
                            qWarning("greeting not sent");
                    }
                    m_clients.push_back(client); // kept open, never answered
                    ++m_accepted;
                }
            }
            for (std::size_t i = 1; i < waiting.size(); ++i) {
                if (waiting[i].revents & POLLIN) {
                    char buffer[4096];
                    const ssize_t got = ::read(waiting[i].fd, buffer, sizeof buffer);
                    if (got > 0)
                        m_loginBytes += int(got);
                }
            }
        }
    }

    Stall m_stall;
    int m_socket = -1;
    quint16 m_port = 0;
    std::thread m_thread;
    std::atomic_bool m_stop = false;
    std::atomic_int m_accepted = 0;
    std::atomic_int m_loginBytes = 0;
    std::vector<int> m_clients;
};

// A loopback port nobody listens on: taken from the system, then given back.
quint16 closedPort()
{
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    quint16 port = 0;
    if (probe >= 0 && ::bind(probe, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
        && ::getsockname(probe, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (probe >= 0)
        ::close(probe);
    return port;
}

QString loopback(quint16 port)
{
    return QStringLiteral("127.0.0.1:%1").arg(port);
}

// Counts the busy signals and checks they come in properly nested pairs.
class BusyCount : public QObject {
public:
    explicit BusyCount(Connection &connection)
    {
        connect(&connection, &Connection::operationStarted, this, [this] {
            ++started;
            ++depth;
            unbalanced = unbalanced || depth != 1;
        });
        connect(&connection, &Connection::operationFinished, this, [this] {
            ++finished;
            --depth;
            unbalanced = unbalanced || depth != 0;
        });
    }
    bool balanced(int pairs) const { return !unbalanced && started == pairs && finished == pairs; }

    int started = 0;
    int finished = 0;
    int depth = 0;
    bool unbalanced = false;
};

} // namespace

class TestConnection : public QObject {
    Q_OBJECT

private:
    MariaDbServer m_server;
    MariaDbServer m_second { QStringLiteral("second") }; // started by the tests of several servers

    // A server started without a limit of connections per account cannot be given one later.
    static QStringList limitsAtRunTime()
    {
        return { QStringLiteral("--max-user-connections=%1").arg(noUserLimit) };
    }
    static constexpr int noUserLimit = 10000;

    bool startSecond()
    {
        if (m_second.isRunning())
            return true;
        m_second.setExtraArguments(limitsAtRunTime());
        return m_second.start()
            && m_second.createDatabase(
                QStringLiteral("orvy"), QStringLiteral("orvy"), QStringLiteral("pw12charsXYZ"));
    }

    static quint16 portOf(Query &query)
    {
        query.open(QStringLiteral("SELECT @@port AS p"));
        return quint16(query.asInteger(QStringLiteral("p")));
    }

    DbSettings settings() const { return settingsFor(m_server); }

    static qint64 sessionId(Query &query)
    {
        query.open(QStringLiteral("SELECT CONNECTION_ID() AS id"));
        return query.asString(QStringLiteral("id")).toLongLong();
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_server.setExtraArguments(limitsAtRunTime());
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        QVERIFY2(m_server.createDatabase(
                     QStringLiteral("orvy"), QStringLiteral("orvy"), QStringLiteral("pw12charsXYZ")),
            qPrintable(m_server.errorString()));
        QVERIFY2(m_server.runSql(QStringLiteral("CREATE TABLE t (n INT); INSERT INTO t VALUES (7); "
                                                "CREATE VIEW slow AS SELECT SLEEP(4) AS s, n FROM t;"),
                     QStringLiteral("orvy")),
            qPrintable(m_server.errorString()));
    }

    void opensOnFirstUseAndKeepsTheSession()
    {
        Connection connection(settings());
        BusyCount busy(connection);
        QVERIFY(!connection.isOpen());
        Query temp(connection, QStringLiteral("Temp"));
        const qint64 first = sessionId(temp);
        QVERIFY(connection.isOpen());
        connection.open(); // already open: nothing happens
        QCOMPARE(sessionId(temp), first);
        QVERIFY(busy.balanced(2));

        // Compression was asked for and granted.
        temp.open(QStringLiteral("SHOW SESSION STATUS LIKE 'Compression'"));
        QCOMPARE(temp.asString(QStringLiteral("Value")), QStringLiteral("ON"));
    }

    // Off only for the load tool's comparison; the program keeps the default.
    void compressionFollowsTheSetting_data()
    {
        QTest::addColumn<bool>("compress");
        QTest::addColumn<QString>("status");
        QTest::newRow("on") << true << QStringLiteral("ON");
        QTest::newRow("off") << false << QStringLiteral("OFF");
    }
    void compressionFollowsTheSetting()
    {
        QFETCH(bool, compress);
        QFETCH(QString, status);
        DbSettings s = settings();
        s.compress = compress;
        Connection connection(s);
        Query temp(connection, QStringLiteral("Temp"));
        temp.open(QStringLiteral("SHOW SESSION STATUS LIKE 'Compression'"));
        QCOMPARE(temp.asString(QStringLiteral("Value")), status);
    }

    void errorsWithoutRetry_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("database");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<unsigned>("clientError");
        QTest::addColumn<QString>("message");
        QTest::newRow("wrong password")
            << QStringLiteral("wrong") << QString() << QStringLiteral("SELECT 1") << 1045u
            << QStringLiteral("[MariaDB] Access denied for user 'orvy'@'127.0.0.1' "
                              "(using password: YES)");
        QTest::newRow("unknown database")
            << QString() << QStringLiteral("nodb") << QStringLiteral("SELECT 1") << 1044u
            << QStringLiteral("[MariaDB] Access denied for user 'orvy'@'%' to "
                              "database 'nodb'");
        QTest::newRow("missing table")
            << QString() << QString() << QStringLiteral("SELECT * FROM courses") << 1146u
            << QStringLiteral("[MariaDB] Table 'orvy.courses' doesn't exist");
        QTest::newRow("syntax error")
            << QString() << QString() << QStringLiteral("SELEC 1") << 1064u
            << QStringLiteral("[MariaDB] You have an error in your SQL syntax; check the "
                              "manual that corresponds to your MariaDB server version for "
                              "the right syntax to use near 'SELEC 1' at line 1");
    }
    void errorsWithoutRetry()
    {
        QFETCH(QString, password);
        QFETCH(QString, database);
        QFETCH(QString, sql);
        QFETCH(unsigned, clientError);
        QFETCH(QString, message);
        DbSettings s = settings(); // the default 3 s pause would show in the time taken
        if (!password.isEmpty())
            s.password = password;
        if (!database.isEmpty())
            s.database = database;
        Connection connection(s);
        BusyCount busy(connection);
        Query temp(connection, QStringLiteral("Temp"));
        QElapsedTimer timer;
        timer.start();
        try {
            temp.open(sql);
            QFAIL("no error");
        } catch (const DbError &e) {
            QCOMPARE(e.clientError(), clientError);
            QCOMPARE(e.message(), message);
        }
        QVERIFY2(timer.elapsed() < 2500, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(!temp.isOpen());
        QVERIFY(busy.balanced(1));
    }

    void killedSessionReopensSilently()
    {
        DbSettings s = settings(); // the first reconnect comes at once: no 3 s pause
        Connection connection(s);
        BusyCount busy(connection);
        Query temp(connection, QStringLiteral("Temp"));
        const qint64 first = sessionId(temp);
        QVERIFY2(m_server.killSession(first), qPrintable(m_server.errorString()));

        QElapsedTimer timer;
        timer.start();
        temp.open(QStringLiteral("SELECT n, CONNECTION_ID() AS id, @@character_set_client AS cs FROM t"));
        QVERIFY2(timer.elapsed() < 2500, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(temp.asInteger(QStringLiteral("n")), 7);
        QVERIFY(temp.asString(QStringLiteral("id")).toLongLong() != first);
        // The new session is set up like the first.
        QCOMPARE(temp.asString(QStringLiteral("cs")), QStringLiteral("utf8mb4"));
        QVERIFY(busy.balanced(2));
    }

    // The client library names are tried in order: one that is missing, or that loads but
    // is no client library, is passed over for the next.
    void clientLibraryFallback_data()
    {
        QTest::addColumn<QStringList>("libraries");
        QTest::newRow("first missing")
            << QStringList { QStringLiteral("libmariadb-not-here.so.9"), QStringLiteral("libmariadb.so.3") };
        QTest::newRow("first not a client library")
            << QStringList { QStringLiteral("libz.so.1"), QStringLiteral("libmariadb.so.3") };
        QTest::newRow("the platform's list") << clientLibraryNames();
    }

    void clientLibraryFallback()
    {
        QFETCH(QStringList, libraries);
        DbSettings s = settings();
        s.clientLibraries = libraries;
        Connection connection(s);
        Query temp(connection, QStringLiteral("Temp"));
        temp.open(QStringLiteral("SELECT 7 AS n"));
        QCOMPARE(temp.asInteger(QStringLiteral("n")), 7);
    }

    // When none will do, the message names every library tried and why each failed, each
    // time the connection is tried.
    void clientLibraryMissing()
    {
        DbSettings s = settings();
        s.clientLibraries
            = QStringList { QStringLiteral("libmariadb-not-here.so.9"), QStringLiteral("libz.so.1") };
        Connection connection(s);
        BusyCount busy(connection);
        Query temp(connection, QStringLiteral("Temp"));
        for (int round = 0; round < 2; ++round) {
            try {
                temp.open(QStringLiteral("SELECT 1"));
                QFAIL("no error");
            } catch (const DbError &e) {
                const QString message = e.message();
                QVERIFY2(
                    message.startsWith(QStringLiteral("[MariaDB] Cannot load the database client library; "
                                                      "tried \"libmariadb-not-here.so.9\" (")),
                    qPrintable(message));
                QVERIFY2(message.contains(QStringLiteral(", \"libz.so.1\" (it has no function mysql_init)")),
                    qPrintable(message));
                QCOMPARE(e.clientError(), 0u);
            }
        }
        QVERIFY(!connection.isOpen());
        QVERIFY(busy.balanced(2));
    }

    // A server that takes the connection and then does not answer within the connect
    // time-out, before its greeting or after the login: reported once, as a time-out, not
    // tried again (each attempt would only take as long again).
    void stalledLoginIsReportedOnce_data()
    {
        QTest::addColumn<SilentListener::Stall>("stall");
        QTest::newRow("never greets") << SilentListener::Stall::BeforeGreeting;
        QTest::newRow("greets, then silent after the login") << SilentListener::Stall::AfterLogin;
    }
    void stalledLoginIsReportedOnce()
    {
        QFETCH(SilentListener::Stall, stall);
        SilentListener listener(stall);
        QVERIFY(listener.port() != 0);
        DbSettings s = settings();
        s.port = listener.port();
        s.connectTimeoutSeconds = 1;
        s.retryPauseMs = 300;
        Connection connection(s);
        BusyCount busy(connection);
        QElapsedTimer timer;
        timer.start();
        try {
            connection.open();
            QFAIL("no error");
        } catch (const DbError &e) {
            QVERIFY2(e.isTimeout(), qPrintable(QString::number(e.clientError()) + e.message()));
            QCOMPARE(e.message(),
                QStringLiteral(
                    "[MariaDB] The server did not answer when connecting (no reply within 1 seconds)"));
        }
        const qint64 elapsed = timer.elapsed();
        QCOMPARE(listener.accepted(), 1);
        if (stall == SilentListener::Stall::AfterLogin)
            QVERIFY(listener.loginBytes() > 0); // the greeting was taken and the login sent
        QVERIFY2(elapsed >= 1000 - 50 && elapsed < 1000 + 1500, qPrintable(QString::number(elapsed)));
        QVERIFY(!connection.isOpen());
        QVERIFY(busy.balanced(1));
    }

    // A statement the server needs longer for than the read time-out: a slow one, or a server
    // that stops answering while it runs. Both are reported after the one attempt, not sent
    // again; the connection is closed and the next statement opens a new one.
    void noAnswerInTimeIsNotRetried_data()
    {
        QTest::addColumn<bool>("freezeServer");
        QTest::newRow("slow statement") << false;
        QTest::newRow("server stops answering") << true;
    }
    void noAnswerInTimeIsNotRetried()
    {
        QFETCH(bool, freezeServer);
        DbSettings s = settings(); // the default 3 s pause would show if it were retried
        s.connectTimeoutSeconds = 1;
        s.readTimeoutSeconds = 2;
        Connection connection(s);
        BusyCount busy(connection);
        Query temp(connection, QStringLiteral("Temp"));
        const qint64 first = sessionId(temp);
        QVERIFY(m_server.setGeneralLog(true));
        m_server.clearGeneralLog();

        const QString sql = freezeServer ? QStringLiteral("SELECT SLEEP(0.5) AS s, n FROM t")
                                         : QStringLiteral("SELECT * FROM slow");
        const pid_t server = pid_t(m_server.pid());
        std::thread freezer([server, freezeServer] {
            if (freezeServer) {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                ::kill(server, SIGSTOP);
            }
        });
        QElapsedTimer timer;
        timer.start();
        try {
            temp.open(sql);
            QFAIL("no error");
        } catch (const DbError &e) {
            QVERIFY(e.isTimeout());
            QCOMPARE(e.clientError(), 2013u);
            QCOMPARE(e.message(),
                QStringLiteral("[MariaDB] The server did not answer in time (no reply within 2 seconds)"));
        }
        const qint64 elapsed = timer.elapsed();
        freezer.join();
        ::kill(server, SIGCONT);
        QVERIFY2(elapsed >= 2000 - 50 && elapsed < 2000 + 1500, qPrintable(QString::number(elapsed)));
        QVERIFY(!connection.isOpen());
        QVERIFY(!temp.isOpen());
        const QStringList sent = m_server.loggedQueries();
        QVERIFY(m_server.setGeneralLog(false));
        QCOMPARE(sent.count(sql), 1);

        // The server is still there: the next statement gets a new session and its answer.
        QVERIFY(sessionId(temp) != first);
        QVERIFY(busy.balanced(3));
    }

    void serverStoppedForGood_data()
    {
        QTest::addColumn<bool>("connectedBefore");
        QTest::newRow("open connection lost") << true;
        QTest::newRow("first connect") << false;
    }
    void serverStoppedForGood()
    {
        QFETCH(bool, connectedBefore);
        DbSettings s = settings();
        s.retryPauseMs = 400;
        Connection connection(s);
        BusyCount busy(connection);
        Query temp(connection, QStringLiteral("Temp"));
        if (connectedBefore)
            sessionId(temp);
        m_server.stop();

        QElapsedTimer timer;
        timer.start();
        try {
            temp.open(QStringLiteral("SELECT n FROM t"));
            QFAIL("no error");
        } catch (const DbError &e) {
            // Nobody listens: "cannot connect", which this client numbers 2002.
            QCOMPARE(e.clientError(), 2002u);
            QVERIFY2(
                e.message().startsWith(QStringLiteral("[MariaDB] Can't connect to server on '127.0.0.1'")),
                qPrintable(e.message()));
        }
        const qint64 elapsed = timer.elapsed();
        QVERIFY2(elapsed >= 2 * 400 && elapsed < 2 * 400 + 2500, qPrintable(QString::number(elapsed)));
        QVERIFY(!connection.isOpen());

        // The next query after the server is back opens the connection again.
        QVERIFY2(m_server.restart(), qPrintable(m_server.errorString()));
        temp.open(QStringLiteral("SELECT n FROM t"));
        QCOMPARE(temp.asInteger(QStringLiteral("n")), 7);
        QVERIFY(busy.balanced(connectedBefore ? 3 : 2));
    }

    // The server, or the account, at one of its limits. While the connection waits when busy
    // (the program's start), the statement is tried again after growing pauses: if the limit
    // is lifted meanwhile, it gets its answer; if not, the server's own error comes when the
    // time is spent. Not waiting (after the start), the error comes at once.
    void busyServer_data()
    {
        QTest::addColumn<QString>("limit"); // as root; the account `busy` is made anew for each row
        QTest::addColumn<QString>("account"); // its own limits
        QTest::addColumn<int>("holders"); // connections of `busy` kept open meanwhile
        QTest::addColumn<bool>("holdersQuery"); // each runs a statement
        QTest::addColumn<QString>("lift"); // as root
        QTest::addColumn<unsigned>("clientError");
        QTest::addColumn<QString>("outcome");

        struct Limit {
            const char *name;
            QString limit;
            QString account;
            int holders;
            bool holdersQuery;
            QString lift;
            unsigned clientError;
        };
        const Limit limits[] = {
            { "too many connections", QStringLiteral("SET GLOBAL max_connections = 10"), QString(), 10, false,
                QStringLiteral("SET GLOBAL max_connections = 151"), 1040 },
            { "too many for any account", QStringLiteral("SET GLOBAL max_user_connections = 1"), QString(), 1,
                false, QStringLiteral("SET GLOBAL max_user_connections = %1").arg(noUserLimit), 1203 },
            { "account's connections at once", QString(), QStringLiteral("MAX_USER_CONNECTIONS 1"), 1, false,
                QStringLiteral("ALTER USER busy WITH MAX_USER_CONNECTIONS 0"), 1226 },
            { "account's connections per hour", QString(), QStringLiteral("MAX_CONNECTIONS_PER_HOUR 1"), 1,
                false, QStringLiteral("FLUSH USER_RESOURCES"), 1226 },
            { "account's statements per hour", QString(), QStringLiteral("MAX_QUERIES_PER_HOUR 1"), 1, true,
                QStringLiteral("FLUSH USER_RESOURCES"), 1226 },
        };
        for (const Limit &l : limits) {
            for (const char *outcome :
                { "reported at once", "still busy when the time is spent", "lifted while waiting" })
                QTest::addRow("%s, %s", l.name, outcome)
                    << l.limit << l.account << l.holders << l.holdersQuery << l.lift << l.clientError
                    << QString::fromLatin1(outcome);
        }
    }
    void busyServer()
    {
        QFETCH(QString, limit);
        QFETCH(QString, account);
        QFETCH(int, holders);
        QFETCH(bool, holdersQuery);
        QFETCH(QString, lift);
        QFETCH(unsigned, clientError);
        QFETCH(QString, outcome);

        const auto undo = qScopeGuard([this] {
            m_server.runSql(
                QStringLiteral("SET GLOBAL max_connections = 151; SET GLOBAL max_user_connections = 0; "
                               "DROP USER IF EXISTS busy; FLUSH USER_RESOURCES;"));
        });
        QVERIFY2(
            m_server.runSql(QStringLiteral("DROP USER IF EXISTS busy; CREATE USER busy@'%' IDENTIFIED BY "
                                           "'pw12charsBSY' %1; GRANT SELECT ON orvy.* TO busy@'%';")
                                .arg(account.isEmpty() ? QString() : QStringLiteral("WITH ") + account)),
            qPrintable(m_server.errorString()));
        DbSettings s = settings();
        s.user = QStringLiteral("busy");
        s.password = QStringLiteral("pw12charsBSY");
        if (!limit.isEmpty())
            QVERIFY2(m_server.runSql(limit), qPrintable(m_server.errorString()));
        std::vector<std::unique_ptr<Connection>> held;
        for (int i = 0; i < holders; ++i) {
            held.push_back(std::make_unique<Connection>(s));
            Query query(*held.back(), QStringLiteral("Temp"));
            if (holdersQuery)
                query.open(QStringLiteral("SELECT 1"));
            else
                held.back()->open();
        }

        s.busyFirstPauseMs = 100;
        s.busyTotalMs = 1200;
        int draws = 0;
        s.random = [&draws] {
            ++draws;
            return 0x80000000u;
        };
        Connection connection(s);
        connection.setWaitWhileBusy(outcome != QLatin1String("reported at once"));
        BusyCount busy(connection);
        Query temp(connection, QStringLiteral("Temp"));
        std::thread lifter;
        if (outcome == QLatin1String("lifted while waiting")) {
            lifter = std::thread([this, lift] {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                m_server.runSql(lift);
            });
        }
        QElapsedTimer timer;
        timer.start();
        std::optional<DbError> failure;
        try {
            temp.open(QStringLiteral("SELECT n FROM t"));
        } catch (const DbError &e) {
            failure = e;
        }
        const qint64 elapsed = timer.elapsed();
        if (lifter.joinable())
            lifter.join();
        QVERIFY(busy.balanced(1));

        if (outcome == QLatin1String("lifted while waiting")) {
            QVERIFY2(!failure, failure ? qPrintable(failure->message()) : "");
            QCOMPARE(temp.asInteger(QStringLiteral("n")), 7);
            QVERIFY2(elapsed >= 300 && elapsed < 1200 + 1000, qPrintable(QString::number(elapsed)));
            QVERIFY(draws >= 1);
            return;
        }
        QVERIFY(failure);
        QCOMPARE(failure->clientError(), clientError);
        QVERIFY(failure->isBusy());
        QVERIFY2(failure->message().startsWith(QStringLiteral("[MariaDB] ")), qPrintable(failure->message()));
        if (outcome == QLatin1String("reported at once")) {
            QVERIFY2(elapsed < 1000, qPrintable(QString::number(elapsed)));
            QCOMPARE(draws, 0);
        } else {
            QVERIFY2(elapsed >= 1200 && elapsed < 1200 + 2000, qPrintable(QString::number(elapsed)));
            // 100, 200, 400, then the rest of the time: tried again each time.
            QVERIFY2(draws >= 4, qPrintable(QString::number(draws)));
        }
    }

    // Several servers: each connect tries them in a random order, drawn from the given source
    // (with two, an even draw keeps the written order, an odd one swaps it... see
    // shuffleServers), and passes over one that refuses, is busy or does not answer, for the
    // next, without a pause.
    void severalServers_data()
    {
        QTest::addColumn<QStringList>("servers"); // "db", "second", "closed", "silent", "busy"
        QTest::addColumn<quint32>("draw");
        QTest::addColumn<QString>("reached");
        QTest::addColumn<int>("minMs");
        QTest::newRow("written order drawn") << QStringList { "db", "second" } << 1u << "db" << 0;
        QTest::newRow("the other order drawn") << QStringList { "db", "second" } << 0u << "second" << 0;
        QTest::newRow("one refuses") << QStringList { "closed", "db" } << 1u << "db" << 0;
        QTest::newRow("one is busy") << QStringList { "busy", "db" } << 1u << "db" << 0;
        QTest::newRow("one does not answer") << QStringList { "silent", "db" } << 1u << "db" << Connection::connectStaggerMs - 50;
    }
    void severalServers()
    {
        QFETCH(QStringList, servers);
        QFETCH(quint32, draw);
        QFETCH(QString, reached);
        QFETCH(int, minMs);
        QVERIFY2(startSecond(), qPrintable(m_second.errorString()));
        SilentListener silent;
        const auto undo = qScopeGuard([this] {
            m_second.runSql(QStringLiteral("SET GLOBAL max_user_connections = %1").arg(noUserLimit));
        });
        std::unique_ptr<Connection> holder;
        QStringList hosts;
        for (const QString &server : servers) {
            if (server == QLatin1String("db"))
                hosts.append(loopback(m_server.port()));
            else if (server == QLatin1String("second"))
                hosts.append(loopback(m_second.port()));
            else if (server == QLatin1String("closed"))
                hosts.append(loopback(closedPort()));
            else if (server == QLatin1String("silent"))
                hosts.append(loopback(silent.port()));
            else if (server == QLatin1String("busy")) {
                QVERIFY(m_second.runSql(QStringLiteral("SET GLOBAL max_user_connections = 1")));
                DbSettings s = settings();
                s.host = m_second.host();
                s.port = m_second.port();
                holder = std::make_unique<Connection>(s);
                holder->open();
                hosts.append(loopback(m_second.port()));
            }
        }
        DbSettings s = settings(); // the default 3 s pause would show if a refusal paused
        s.host = hosts.join(u',');
        s.port = 1; // every server names its own
        s.connectTimeoutSeconds = 1;
        s.random = [draw] { return draw; };
        Connection connection(s);
        BusyCount busy(connection);
        Query temp(connection, QStringLiteral("Temp"));
        QElapsedTimer timer;
        timer.start();
        const quint16 port = portOf(temp);
        const qint64 elapsed = timer.elapsed();
        QCOMPARE(port, reached == QLatin1String("db") ? m_server.port() : m_second.port());
        QVERIFY2(elapsed >= minMs && elapsed < minMs + 1500, qPrintable(QString::number(elapsed)));
        if (servers.contains(QStringLiteral("silent")))
            QCOMPARE(silent.accepted(), 1);
        QVERIFY(busy.balanced(1));
    }

    // The server a learner is on goes away: the next statement reconnects, in a random
    // order again, and lands on another without a message.
    void lostServerMovesToAnother()
    {
        QVERIFY2(startSecond(), qPrintable(m_second.errorString()));
        DbSettings s = settings();
        s.host = loopback(m_second.port()) + u',' + loopback(m_server.port());
        s.random = [] { return 1u; }; // the written order: the second server first
        Connection connection(s);
        BusyCount busy(connection);
        Query temp(connection, QStringLiteral("Temp"));
        QCOMPARE(portOf(temp), m_second.port());
        m_second.stop();
        const auto restart = qScopeGuard([this] { m_second.restart(); });

        QElapsedTimer timer;
        timer.start();
        QCOMPARE(portOf(temp), m_server.port());
        QVERIFY2(timer.elapsed() < 1500, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(busy.balanced(2));
    }

    // A silent server listed first (a powered-off host) costs the stagger, not the connect
    // time-out, at start-up and again when the session is lost later: each connect tries
    // the next server while the silent one is still waiting.
    void silentServerFirstCostsOnlyTheStagger()
    {
        SilentListener silent;
        DbSettings s = settings();
        s.host = loopback(silent.port()) + u',' + loopback(m_server.port());
        s.port = 1;
        s.connectTimeoutSeconds = 10; // the program's own
        s.random = [] { return 1u; }; // the written order: the silent server first
        Connection connection(s);
        BusyCount busy(connection);
        Query temp(connection, QStringLiteral("Temp"));

        QElapsedTimer timer;
        timer.start();
        const qint64 first = sessionId(temp);
        QVERIFY2(timer.elapsed() < 1500, qPrintable(QString::number(timer.elapsed())));
        QVERIFY2(m_server.killSession(first), qPrintable(m_server.errorString()));
        timer.restart();
        QVERIFY(sessionId(temp) != first);
        QVERIFY2(timer.elapsed() < 1500, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(silent.accepted(), 2);
        QVERIFY(busy.balanced(2));
    }

    // The character set goes with the login; a statement sets it only where the server
    // may not have taken it from there (its own default is another set, and it may be
    // told to ignore the client's). Either way the session ends up utf8mb4.
    void characterSetOfTheSession_data()
    {
        QTest::addColumn<QStringList>("serverOptions");
        QTest::addColumn<QStringList>("statementsBeforeTheQuery");
        QTest::newRow("utf8mb4 server") << QStringList() << QStringList();
        QTest::newRow("latin1 server") << QStringList { QStringLiteral("--character-set-server=latin1"),
            QStringLiteral("--collation-server=latin1_swedish_ci") }
                                       << QStringList { QStringLiteral("SET NAMES utf8mb4") };
        QTest::newRow("latin1 server ignoring the handshake")
            << QStringList { QStringLiteral("--character-set-server=latin1"),
                   QStringLiteral("--collation-server=latin1_swedish_ci"),
                   QStringLiteral("--skip-character-set-client-handshake") }
            << QStringList { QStringLiteral("SET NAMES utf8mb4") };
    }
    void characterSetOfTheSession()
    {
        QFETCH(QStringList, serverOptions);
        QFETCH(QStringList, statementsBeforeTheQuery);
        MariaDbServer server(QStringLiteral("charset"));
        server.setExtraArguments(serverOptions);
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY2(server.createDatabase(
                     QStringLiteral("orvy"), QStringLiteral("orvy"), QStringLiteral("pw12charsXYZ")),
            qPrintable(server.errorString()));
        QVERIFY(server.setGeneralLog(true));
        server.clearGeneralLog();

        Connection connection(settingsFor(server));
        Query temp(connection, QStringLiteral("Temp"));
        const QString sql
            = QStringLiteral("SELECT @@character_set_client AS c, @@character_set_connection AS n, "
                             "@@character_set_results AS r, '\U0001F600\u0644' AS t");
        temp.open(sql);
        QCOMPARE(server.loggedQueries(), statementsBeforeTheQuery + QStringList { sql });
        QCOMPARE(temp.asString(QStringLiteral("c")), QStringLiteral("utf8mb4"));
        QCOMPARE(temp.asString(QStringLiteral("n")), QStringLiteral("utf8mb4"));
        QCOMPARE(temp.asString(QStringLiteral("r")), QStringLiteral("utf8mb4"));
        // A four-byte character and an Arabic letter survive the trip both ways.
        QCOMPARE(temp.asString(QStringLiteral("t")), QStringLiteral("\U0001F600\u0644"));
    }
};

QTEST_GUILESS_MAIN(TestConnection)
#include "tst_connection.moc"
