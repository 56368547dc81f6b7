// Encryption to the server: against a private MariaDB server that speaks TLS with
// certificates made here by a private authority, and one that does not speak it.
#include "data/connection.h"
#include "data/dberror.h"
#include "data/query.h"
#include "mariadbserver.h"
#include "serversettings.h"
#include "tmpdir.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

using namespace orvy::data;
using orvy::test::MariaDbServer;
using orvy::test::settingsFor;

namespace {

// Runs openssl in `folder`; false with the reason in `error`.
bool openssl(const QString &folder, const QStringList &arguments, QString *error)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(QStringLiteral("openssl"), arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        *error = QStringLiteral("openssl %1: %2%3")
                     .arg(arguments.join(u' '), QString::fromLocal8Bit(process.readAllStandardError()),
                         process.errorString());
        return false;
    }
    return true;
}

// An authority: <name>.pem and <name>.key.
bool makeAuthority(const QString &folder, const QString &name, QString *error)
{
    return openssl(folder,
        { QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
            QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"),
            QStringLiteral("-nodes"), QStringLiteral("-keyout"), name + QStringLiteral(".key"),
            QStringLiteral("-out"), name + QStringLiteral(".pem"), QStringLiteral("-days"),
            QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=Orvy test authority ") + name },
        error);
}

// A server certificate <name>.pem with <name>.key, signed by `authority`, for the names in
// `altNames` (such as "IP:127.0.0.1").
bool makeServerCertificate(const QString &folder, const QString &name, const QString &authority,
    const QString &altNames, QString *error)
{
    QFile extensions(folder + u'/' + name + QStringLiteral(".ext"));
    if (!extensions.open(QIODevice::WriteOnly)
        || extensions.write(
               QStringLiteral("basicConstraints=CA:FALSE\nsubjectAltName=%1\n").arg(altNames).toUtf8())
            < 0) {
        *error = extensions.errorString();
        return false;
    }
    extensions.close();
    return openssl(folder,
               { QStringLiteral("req"), QStringLiteral("-new"), QStringLiteral("-newkey"),
                   QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                   QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                   QStringLiteral("-keyout"), name + QStringLiteral(".key"), QStringLiteral("-out"),
                   name + QStringLiteral(".csr"), QStringLiteral("-subj"), QStringLiteral("/CN=") + name },
               error)
        && openssl(folder,
            { QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"),
                name + QStringLiteral(".csr"), QStringLiteral("-CA"), authority + QStringLiteral(".pem"),
                QStringLiteral("-CAkey"), authority + QStringLiteral(".key"),
                QStringLiteral("-CAcreateserial"), QStringLiteral("-days"), QStringLiteral("2"),
                QStringLiteral("-extfile"), name + QStringLiteral(".ext"), QStringLiteral("-out"),
                name + QStringLiteral(".pem") },
            error);
}

bool replaceFile(const QString &from, const QString &to)
{
    QFile::remove(to);
    return QFile::copy(from, to);
}

} // namespace

class TestTls : public QObject {
    Q_OBJECT

private:
    QString m_folder;
    MariaDbServer m_tlsServer { QStringLiteral("tls") };
    MariaDbServer m_plainServer { QStringLiteral("plain") };

    // Every connection the server has seen, failed ones included.
    static int connectionsSeen(MariaDbServer &server)
    {
        QString output;
        if (!server.runSql(QStringLiteral("SELECT VARIABLE_VALUE FROM information_schema.GLOBAL_STATUS "
                                          "WHERE VARIABLE_NAME = 'CONNECTIONS'"),
                QString(), &output))
            return -1;
        return output.trimmed().toInt();
    }

    // The server's certificate: the one in `name`.pem (FLUSH SSL reads it again).
    bool serveCertificate(const QString &name)
    {
        return replaceFile(
                   m_folder + u'/' + name + QStringLiteral(".pem"), m_folder + QStringLiteral("/server.pem"))
            && replaceFile(
                m_folder + u'/' + name + QStringLiteral(".key"), m_folder + QStringLiteral("/server.key"))
            && m_tlsServer.runSql(QStringLiteral("FLUSH SSL"));
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_folder = orvy::test::freshTestDir(QStringLiteral("certificates"));
        QVERIFY(!m_folder.isEmpty());
        QString error;
        QVERIFY2(makeAuthority(m_folder, QStringLiteral("authority"), &error), qPrintable(error));
        QVERIFY2(makeAuthority(m_folder, QStringLiteral("stranger"), &error), qPrintable(error));
        QVERIFY2(makeServerCertificate(m_folder, QStringLiteral("right"), QStringLiteral("authority"),
                     QStringLiteral("IP:127.0.0.1"), &error),
            qPrintable(error));
        QVERIFY2(makeServerCertificate(m_folder, QStringLiteral("elsewhere"), QStringLiteral("authority"),
                     QStringLiteral("DNS:db.elsewhere.test"), &error),
            qPrintable(error));
        QVERIFY2(makeServerCertificate(m_folder, QStringLiteral("strangers"), QStringLiteral("stranger"),
                     QStringLiteral("IP:127.0.0.1"), &error),
            qPrintable(error));
        QVERIFY(
            replaceFile(m_folder + QStringLiteral("/right.pem"), m_folder + QStringLiteral("/server.pem")));
        QVERIFY(
            replaceFile(m_folder + QStringLiteral("/right.key"), m_folder + QStringLiteral("/server.key")));

        m_tlsServer.setExtraArguments(
            { QStringLiteral("--ssl-ca=") + m_folder + QStringLiteral("/authority.pem"),
                QStringLiteral("--ssl-cert=") + m_folder + QStringLiteral("/server.pem"),
                QStringLiteral("--ssl-key=") + m_folder + QStringLiteral("/server.key") });
        for (MariaDbServer *server : { &m_tlsServer, &m_plainServer }) {
            QVERIFY2(server->start(), qPrintable(server->errorString()));
            QVERIFY2(server->createDatabase(
                         QStringLiteral("orvy"), QStringLiteral("orvy"), QStringLiteral("pw12charsXYZ")),
                qPrintable(server->errorString()));
        }
    }

    void encryptedConnection_data()
    {
        QTest::addColumn<bool>("tls");
        QTest::addColumn<bool>("serverSpeaksTls");
        QTest::addColumn<QString>("serverCertificate");
        QTest::addColumn<QString>("authorityFile"); // in the certificates' folder; empty: none given
        QTest::addColumn<QString>("refusal"); // empty: the connection works
        QTest::addColumn<int>("attempts");

        QTest::newRow("authority and name match") << true << true << "right"
                                                  << "authority.pem" << QString() << 1;
        QTest::newRow("certificate names another host")
            << true << true << "elsewhere"
            << "authority.pem"
            << "[MariaDB] Cannot make a safe encrypted connection to the server (TLS/SSL error: Validation "
               "of SSL "
               "server certificate failed)"
            << 1;
        QTest::newRow("certificate signed by another authority")
            << true << true << "strangers"
            << "authority.pem"
            << "[MariaDB] Cannot make a safe encrypted connection to the server (TLS/SSL error: " << 1;
        QTest::newRow("no authority given: the system's trust store")
            << true << true << "right" << QString()
            << "[MariaDB] Cannot make a safe encrypted connection to the server (TLS/SSL error: " << 1;
        QTest::newRow("authority file missing")
            << true << true << "right"
            << "nothing-here.pem"
            << "[MariaDB] The certificate authority file \"%1/nothing-here.pem\" is missing" << 0;
        QTest::newRow("server without encryption")
            << true << false << "right"
            << "authority.pem"
            << "[MariaDB] Cannot make a safe encrypted connection to the server (TLS/SSL error: " << 1;
        QTest::newRow("encryption off: as before")
            << false << true << "elsewhere" << QString() << QString() << 1;
    }
    void encryptedConnection()
    {
        QFETCH(bool, tls);
        QFETCH(bool, serverSpeaksTls);
        QFETCH(QString, serverCertificate);
        QFETCH(QString, authorityFile);
        QFETCH(QString, refusal);
        QFETCH(int, attempts);
        QVERIFY(serveCertificate(serverCertificate));
        MariaDbServer &server = serverSpeaksTls ? m_tlsServer : m_plainServer;
        DbSettings s = settingsFor(server);
        s.tls = tls;
        if (!authorityFile.isEmpty())
            s.tlsCaFile = m_folder + u'/' + authorityFile;
        Connection connection(s);
        Query temp(connection, QStringLiteral("Temp"));
        const int seenBefore = connectionsSeen(server);

        QElapsedTimer timer;
        timer.start();
        try {
            temp.open(QStringLiteral("SHOW SESSION STATUS LIKE 'Ssl_cipher'"));
            QVERIFY2(refusal.isEmpty(), "no error");
            if (tls)
                QVERIFY2(!temp.asString(QStringLiteral("Value")).isEmpty(), "not encrypted");
        } catch (const DbError &e) {
            QVERIFY2(!refusal.isEmpty(), qPrintable(e.message()));
            QVERIFY2(e.message().startsWith(refusal.arg(m_folder)), qPrintable(e.message()));
            QCOMPARE(e.clientError(), 2026u);
            QVERIFY(!e.isConnectionLoss());
            QVERIFY(!e.isTimeout());
            QVERIFY(!connection.isOpen());
        }
        // A refusal is not a lost connection: it is not tried again.
        QVERIFY2(timer.elapsed() < 2500, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(connectionsSeen(server) - seenBefore - 1, attempts);
    }

    // Where the program finds the authority's file shipped with it: beside itself (a build
    // folder, Windows), else in ../share/orvyclass (installed under a prefix on Linux).
    void authorityFileShippedWithTheProgram_data()
    {
        QTest::addColumn<QStringList>("files"); // relative to a prefix; the program is in bin/
        QTest::addColumn<QString>("found");
        QTest::newRow("beside the program")
            << QStringList { "bin/db-ca.pem", "share/orvyclass/db-ca.pem" } << "bin/db-ca.pem";
        QTest::newRow("installed under share")
            << QStringList { "share/orvyclass/db-ca.pem" } << "share/orvyclass/db-ca.pem";
        QTest::newRow("nowhere: named beside, reported missing at connect")
            << QStringList {} << "bin/db-ca.pem";
        QTest::newRow("a folder of that name is no file")
            << QStringList { "bin/db-ca.pem/", "share/orvyclass/db-ca.pem" } << "share/orvyclass/db-ca.pem";
    }
    void authorityFileShippedWithTheProgram()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, found);
        const QString prefix = orvy::test::freshTestDir(QStringLiteral("prefix"));
        QVERIFY(QDir().mkpath(prefix + QStringLiteral("/bin")));
        for (const QString &file : files) {
            const QString path = prefix + u'/' + file;
            if (file.endsWith(u'/')) {
                QVERIFY(QDir().mkpath(path));
                continue;
            }
            QVERIFY(QDir().mkpath(QFileInfo(path).path()));
            QVERIFY(replaceFile(m_folder + QStringLiteral("/authority.pem"), path));
        }
        QCOMPARE(tlsCaFileBeside(prefix + QStringLiteral("/bin"), QStringLiteral("db-ca.pem")),
            prefix + u'/' + found);
    }
};

QTEST_GUILESS_MAIN(TestTls)
#include "tst_tls.moc"
