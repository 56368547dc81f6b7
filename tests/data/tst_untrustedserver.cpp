// What a server can make the client do: one posing as the course server and asking for the
// password in clear, and a real one sending rows far larger than the catalogue's fields.
#include "data/connection.h"
#include "data/dberror.h"
#include "data/query.h"
#include "handshake.h"
#include "mariadbserver.h"
#include "serversettings.h"

#include <QTest>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace orvy::data;
using orvy::test::MariaDbServer;
using orvy::test::settingsFor;

namespace {

// Greets one client on 127.0.0.1, takes its login and answers with a switch to another
// authentication plug-in; keeps everything the client sends until it hangs up or 5 s pass.
class PosingServer {
public:
    explicit PosingServer(const QByteArray &switchBody)
    {
        m_socket = orvy::test::loopbackListener(&m_port, 4);
        if (m_socket < 0)
            return;
        m_thread = std::thread([this, switchBody] { serve(switchBody); });
    }
    ~PosingServer()
    {
        finish();
        if (m_socket >= 0)
            ::close(m_socket);
    }

    quint16 port() const { return m_port; }
    // Everything the client sent; call once the client is done.
    QByteArray received()
    {
        finish();
        return m_received;
    }

private:
    void finish()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

    // Reads what arrives within `ms`; false when the client hung up or nothing came.
    bool readSome(int client, int ms)
    {
        pollfd waiting { client, POLLIN, 0 };
        if (::poll(&waiting, 1, ms) <= 0)
            return false;
        char buffer[4096];
        const ssize_t got = ::read(client, buffer, sizeof buffer);
        if (got <= 0)
            return false;
        m_received.append(buffer, got);
        return true;
    }

    void serve(const QByteArray &switchBody)
    {
        pollfd waiting { m_socket, POLLIN, 0 };
        if (::poll(&waiting, 1, 10000) <= 0)
            return;
        const int client = ::accept(m_socket, nullptr, nullptr);
        if (client < 0)
            return;
        const QByteArray hello = orvy::test::serverGreeting("10.11.0-posing");
        bool ok = ::write(client, hello.constData(), size_t(hello.size())) == hello.size();
        // The login: one packet, whose length is in its header.
        while (ok && (m_received.size() < 4 || m_received.size() < 4 + (quint8(m_received[0]) | quint8(m_received[1]) << 8)))
            ok = readSome(client, 5000);
        if (ok) {
            const QByteArray ask = orvy::test::protocolPacket(switchBody, 2);
            ok = ::write(client, ask.constData(), size_t(ask.size())) == ask.size();
        }
        while (ok)
            ok = readSome(client, 5000);
        ::close(client);
    }

    int m_socket = -1;
    quint16 m_port = 0;
    std::thread m_thread;
    QByteArray m_received;
};

const QString password = QStringLiteral("plain-Secret-42");

} // namespace

class TestUntrustedServer : public QObject {
    Q_OBJECT

private:
    MariaDbServer m_server;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        QVERIFY2(m_server.createDatabase(QStringLiteral("orvy"), QStringLiteral("orvy"), password),
            qPrintable(m_server.errorString()));
    }

    // A server that asks, after the login, for the password as it is: the client refuses
    // and the password never travels.
    void passwordIsNeverSentInClear_data()
    {
        QTest::addColumn<QByteArray>("switchBody");
        QTest::newRow("clear password") << QByteArray("\xfemysql_clear_password\0", 22);
        QTest::newRow("dialog") << QByteArray("\xfe"
                                              "dialog\0\x04Password: ",
            19);
    }
    void passwordIsNeverSentInClear()
    {
        QFETCH(QByteArray, switchBody);
        PosingServer server(switchBody);
        QVERIFY(server.port());
        DbSettings s;
        s.host = QStringLiteral("127.0.0.1:%1").arg(server.port());
        s.database = QStringLiteral("orvy");
        s.user = QStringLiteral("orvy");
        s.password = password;
        s.compress = false;
        s.connectTimeoutSeconds = 5;
        s.readTimeoutSeconds = 5;
        s.retryPauseMs = 0;
        Connection connection(s);
        QVERIFY_THROWS_EXCEPTION(DbError, connection.open());
        const QByteArray sent = server.received();
        QVERIFY2(sent.size() > 32, sent.toHex().constData()); // the login came
        QVERIFY2(!sent.contains(password.toUtf8()), sent.toHex().constData());
    }

    // The account the program is given (mysql_native_password) still logs in, plain and
    // as the real server answers it.
    void nativePasswordAccountLogsIn()
    {
        Connection connection(settingsFor(m_server));
        Query query(connection, QStringLiteral("probe"));
        query.open(QStringLiteral("SELECT CURRENT_USER() AS u"));
        QVERIFY(query.asString(QStringLiteral("u")).startsWith(QStringLiteral("orvy@")));
    }

    // The catalogue's fields hold at most 1,024 characters; a row of megabytes is no course
    // and fails as a database error, never as memory taken without bound.
    void rowsAreBoundedInSize_data()
    {
        QTest::addColumn<int>("bytes");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<bool>("compress");
        for (const bool compress : { true, false }) {
            const char *how = compress ? "compressed" : "plain";
            QTest::addRow("largest field, four-byte characters, %s", how) << 4 * 1024 << true << compress;
            QTest::addRow("one megabyte, %s", how) << 1024 * 1024 << true << compress;
            QTest::addRow("eight megabytes, %s", how) << 8 * 1024 * 1024 << false << compress;
            QTest::addRow("fifteen megabytes, %s", how) << 15 * 1024 * 1024 << false << compress;
        }
    }
    void rowsAreBoundedInSize()
    {
        QFETCH(int, bytes);
        QFETCH(bool, accepted);
        QFETCH(bool, compress);
        auto s = settingsFor(m_server);
        s.compress = compress;
        s.retryPauseMs = 0;
        Connection connection(s);
        Query query(connection, QStringLiteral("probe"));
        const QString sql = QStringLiteral("SELECT REPEAT('a', %1) AS cName").arg(bytes);
        if (accepted) {
            query.open(sql);
            QCOMPARE(query.asString(QStringLiteral("cName")).size(), bytes);
            return;
        }
        QVERIFY_THROWS_EXCEPTION(DbError, query.open(sql));
        // The connection is not spoilt for what follows.
        query.open(QStringLiteral("SELECT 7 AS n"));
        QCOMPARE(query.asInteger(QStringLiteral("n")), 7);
    }
};

QTEST_GUILESS_MAIN(TestUntrustedServer)
#include "tst_untrustedserver.moc"
