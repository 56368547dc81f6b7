// The connection's error and reconnect rules, against a private server that the tests
// kill sessions on, pause and stop, and against a loopback listener that never answers.
#include "data/connection.h"
#include "data/dberror.h"
#include "data/query.h"
#include "mariadbserver.h"

#include <QElapsedTimer>
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

namespace {

// Accepts connections on 127.0.0.1 and never says a word: a server that hangs in the handshake.
class SilentListener {
public:
    SilentListener()
    {
        m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_socket < 0 || ::bind(m_socket, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
            || ::listen(m_socket, 16) != 0
            || ::getsockname(m_socket, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return;
        m_port = ntohs(address.sin_port);
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

private:
    void run()
    {
        while (!m_stop) {
            pollfd waiting { m_socket, POLLIN, 0 };
            if (::poll(&waiting, 1, 50) > 0) {
                const int client = ::accept(m_socket, nullptr, nullptr);
                if (client >= 0) {
                    m_clients.push_back(client); // kept open, never written to
                    ++m_accepted;
                }
            }
        }
    }

    int m_socket = -1;
    quint16 m_port = 0;
    std::thread m_thread;
    std::atomic_bool m_stop = false;
    std::atomic_int m_accepted = 0;
    std::vector<int> m_clients;
};

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

    DbSettings settings() const
    {
        DbSettings s;
        s.host = m_server.host();
        s.port = m_server.port();
        s.database = m_server.database();
        s.user = m_server.user();
        s.password = m_server.password();
        return s;
    }

    static qint64 sessionId(Query &query)
    {
        query.open(QStringLiteral("SELECT CONNECTION_ID() AS id"));
        return query.asString(QStringLiteral("id")).toLongLong();
    }

private Q_SLOTS:
    void initTestCase()
    {
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

    void handshakeNeverComes()
    {
        SilentListener listener;
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
            // A connect that times out is a lost connection to this client (2013 while reading
            // the greeting); either way it goes through the reconnect rule.
            QVERIFY2(e.clientError() == 2013 || e.clientError() == 2003, qPrintable(e.message()));
            QVERIFY(e.message().startsWith(QStringLiteral("[MariaDB] ")));
        }
        // The failed connect, then three attempts: at once, after a pause, after a pause.
        QCOMPARE(listener.accepted(), 1 + Connection::reconnectAttempts);
        const qint64 elapsed = timer.elapsed();
        QVERIFY2(elapsed >= 4 * 1000 + 2 * 300 - 100 && elapsed < 8000, qPrintable(QString::number(elapsed)));
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

        DbSettings s;
        s.host = server.host();
        s.port = server.port();
        s.database = server.database();
        s.user = server.user();
        s.password = server.password();
        Connection connection(s);
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
