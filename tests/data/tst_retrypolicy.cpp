// The connection's small rules that need no server: the pauses while a server is busy,
// and the list of servers with its random order.
#include "data/busybackoff.h"
#include "data/dberror.h"
#include "data/serverlist.h"

#include <QRandomGenerator>
#include <QTest>
#include <map>

using namespace orvy::data;

namespace {

// A random source that always yields the same number.
std::function<quint32()> constant(quint32 value)
{
    return [value] { return value; };
}

} // namespace

class TestRetryPolicy : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Each pause lies between half and one and a half times a step that doubles from the
    // first pause up to eight times it; the total is never passed.
    void busyPauses_data()
    {
        QTest::addColumn<quint32>("random");
        QTest::addColumn<int>("firstMs");
        QTest::addColumn<int>("totalMs");
        QTest::addColumn<QList<int>>("pauses");
        QTest::newRow("lowest draw") << 0u << 1000 << 30000
                                     << QList<int> { 500, 1000, 2000, 4000, 4000, 4000, 4000, 4000, 4000,
                                            2500 };
        QTest::newRow("middle draw") << 0x80000000u << 1000 << 30000
                                     << QList<int> { 1000, 2000, 4000, 8000, 8000, 7000 };
        QTest::newRow("highest draw")
            << 0xFFFFFFFFu << 1000 << 30000 << QList<int> { 1500, 3000, 6000, 12000, 7500 };
        QTest::newRow("shortened for tests")
            << 0x80000000u << 100 << 1000 << QList<int> { 100, 200, 400, 300 };
        QTest::newRow("no time at all") << 0x80000000u << 1000 << 0 << QList<int> {};
        // A pause of nothing would hammer the server.
        QTest::newRow("first pause of zero") << 0u << 0 << 5 << QList<int> { 1, 1, 2, 1 };
    }
    void busyPauses()
    {
        QFETCH(quint32, random);
        QFETCH(int, firstMs);
        QFETCH(int, totalMs);
        QFETCH(QList<int>, pauses);
        BusyBackoff backoff(firstMs, totalMs, constant(random));
        QList<int> seen;
        qint64 elapsed = 0;
        while (const std::optional<int> pause = backoff.nextPauseMs(elapsed)) {
            seen.append(*pause);
            elapsed += *pause;
            QVERIFY(seen.size() <= 100);
        }
        QCOMPARE(seen, pauses);
        QVERIFY(elapsed <= qMax(totalMs, 0));
    }

    // Attempts take time too: the bound counts from the first attempt, not in pauses.
    void busyPausesEndAtTheTotalTime()
    {
        BusyBackoff backoff(1000, 30000, constant(0x80000000u));
        QCOMPARE(backoff.nextPauseMs(29000), 1000); // cut from a step of 1000 to what is left
        QCOMPARE(backoff.nextPauseMs(29999), 1);
        QCOMPARE(backoff.nextPauseMs(30000), std::nullopt);
        QCOMPARE(backoff.nextPauseMs(45000), std::nullopt);
    }

    // Learners refused together come back spread over the whole range, not at one moment.
    void busyPausesSpreadALearnerBurst()
    {
        QRandomGenerator generator(16);
        QList<int> firstPauses;
        for (int learner = 0; learner < 200; ++learner) {
            BusyBackoff backoff(1000, 30000, [&generator] { return generator.generate(); });
            firstPauses.append(*backoff.nextPauseMs(0));
        }
        std::sort(firstPauses.begin(), firstPauses.end());
        QVERIFY2(firstPauses.first() >= 500 && firstPauses.first() < 600,
            qPrintable(QString::number(firstPauses.first())));
        QVERIFY2(firstPauses.last() <= 1500 && firstPauses.last() > 1400,
            qPrintable(QString::number(firstPauses.last())));
        // No moment takes more than a small share of the burst.
        std::map<int, int> perTenth;
        for (int pause : firstPauses)
            ++perTenth[pause / 100];
        for (const auto &[tenth, count] : perTenth)
            QVERIFY2(count < 40,
                qPrintable(QStringLiteral("%1 pauses in %2..%3 ms")
                               .arg(count)
                               .arg(tenth * 100)
                               .arg(tenth * 100 + 99)));
    }

    void serverList_data()
    {
        QTest::addColumn<QString>("hosts");
        QTest::addColumn<QStringList>("servers"); // host|port
        QTest::newRow("one host, the default port")
            << QStringLiteral("db.school.example") << QStringList { QStringLiteral("db.school.example|0") };
        QTest::newRow("empty: the library's default") << QString() << QStringList { QStringLiteral("|0") };
        QTest::newRow("only commas and blanks")
            << QStringLiteral(" , ,") << QStringList { QStringLiteral("|0") };
        QTest::newRow("several, blanks and an empty entry")
            << QStringLiteral(" a.example, b.example ,,c.example ")
            << QStringList { QStringLiteral("a.example|0"), QStringLiteral("b.example|0"),
                   QStringLiteral("c.example|0") };
        QTest::newRow("ports of their own")
            << QStringLiteral("10.0.0.5:3307,10.0.0.6")
            << QStringList { QStringLiteral("10.0.0.5|3307"), QStringLiteral("10.0.0.6|0") };
        QTest::newRow("highest port")
            << QStringLiteral("a:65535") << QStringList { QStringLiteral("a|65535") };
        QTest::newRow("bare IPv6 address")
            << QStringLiteral("::1") << QStringList { QStringLiteral("::1|0") };
        QTest::newRow("IPv6 in brackets")
            << QStringLiteral("[::1],[fd00::5]:3310")
            << QStringList { QStringLiteral("::1|0"), QStringLiteral("fd00::5|3310") };
    }
    void serverList()
    {
        QFETCH(QString, hosts);
        QFETCH(QStringList, servers);
        for (const unsigned defaultPort : { 0u, 3306u }) {
            QStringList parsed;
            for (const ServerAddress &server : parseServers(hosts, defaultPort))
                parsed.append(server.host + u'|' + QString::number(server.port));
            QStringList expected = servers;
            if (defaultPort != 0)
                expected.replaceInStrings(QStringLiteral("|0"), QStringLiteral("|3306"));
            QCOMPARE(parsed, expected);
        }
    }

    void invalidServerList_data()
    {
        QTest::addColumn<QString>("hosts");
        QTest::addColumn<QString>("entry");
        QTest::newRow("port missing") << QStringLiteral("a,b:") << QStringLiteral("b:");
        QTest::newRow("port zero") << QStringLiteral("a:0") << QStringLiteral("a:0");
        QTest::newRow("port too high") << QStringLiteral("a:65536") << QStringLiteral("a:65536");
        QTest::newRow("port far too high")
            << QStringLiteral("a:4294967297") << QStringLiteral("a:4294967297");
        QTest::newRow("port with a sign") << QStringLiteral("a:+33") << QStringLiteral("a:+33");
        QTest::newRow("port with a blank") << QStringLiteral("a: 33") << QStringLiteral("a: 33");
        QTest::newRow("port not a number") << QStringLiteral("a:mysql") << QStringLiteral("a:mysql");
        QTest::newRow("no host") << QStringLiteral(":3306") << QStringLiteral(":3306");
        QTest::newRow("bracket not closed") << QStringLiteral("[::1") << QStringLiteral("[::1");
        QTest::newRow("text after the bracket") << QStringLiteral("[::1]3306") << QStringLiteral("[::1]3306");
        QTest::newRow("empty brackets") << QStringLiteral("[]:3306") << QStringLiteral("[]:3306");
    }
    void invalidServerList()
    {
        QFETCH(QString, hosts);
        QFETCH(QString, entry);
        try {
            parseServers(hosts, 0);
            QFAIL("no error");
        } catch (const DbError &e) {
            QCOMPARE(e.message(),
                QStringLiteral("[MariaDB] Invalid server address \"%1\" in the host list").arg(entry));
            QCOMPARE(e.clientError(), 0u);
            QVERIFY(!e.isConnectionLoss());
        }
    }

    // Every order of three servers comes up, about equally often.
    void serverOrderIsRandom()
    {
        const QList<ServerAddress> servers = parseServers(QStringLiteral("a,b,c"), 0);
        QRandomGenerator generator(18);
        std::map<QString, int> orders;
        for (int round = 0; round < 1200; ++round) {
            QList<ServerAddress> shuffled = servers;
            shuffleServers(shuffled, [&generator] { return generator.generate(); });
            QString order;
            for (const ServerAddress &server : shuffled)
                order += server.host;
            ++orders[order];
        }
        QCOMPARE(orders.size(), std::size_t(6));
        for (const auto &[order, count] : orders)
            QVERIFY2(count > 120 && count < 280, qPrintable(QStringLiteral("%1: %2").arg(order).arg(count)));
    }

    // One server needs no draw: it behaves exactly as before there were lists.
    void oneServerDrawsNothing()
    {
        QList<ServerAddress> servers = parseServers(QStringLiteral("db"), 0);
        int draws = 0;
        shuffleServers(servers, [&draws] { return quint32(++draws); });
        QCOMPARE(draws, 0);
        QCOMPARE(servers.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestRetryPolicy)
#include "tst_retrypolicy.moc"
