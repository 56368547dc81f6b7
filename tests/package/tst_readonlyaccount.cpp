// The read-only account that db/readonly-account.sh creates, on a real MariaDB server:
// whatever the password and the name hold, the account logs in with exactly that password
// and may read the four course tables and nothing more.
#include "mariadbserver.h"
#include "readonlyaccount.h"
#include "testpaths.h"

#include <QProcess>
#include <QTest>

using orvy::test::MariaDbServer;
using orvy::test::readOnlyAccountSql;

class TestReadOnlyAccount : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void account_data();
    void account();
    void refusesMissingValues_data();
    void refusesMissingValues();
    void refusesBadLimit_data();
    void refusesBadLimit();
    void beforeTheSchema_data();
    void beforeTheSchema();
    void runAgain();

private:
    struct Result {
        bool ok = false;
        QString output;
    };
    // The command-line client over TCP as the account, as a learner's program connects, in
    // the database of the same name.
    Result asAccount(const QString &user, const QString &password, const QString &sql);
    // One value of the account's row in mysql.user (empty when there is no such account).
    QString accountField(const QString &user, const QString &field);

    MariaDbServer m_db { QStringLiteral("account") };
};

void TestReadOnlyAccount::initTestCase()
{
    QVERIFY2(m_db.start(), qPrintable(m_db.errorString()));
}

TestReadOnlyAccount::Result TestReadOnlyAccount::asAccount(
    const QString &user, const QString &password, const QString &sql)
{
    QProcess client;
    client.start(QStringLiteral("mariadb"),
        { QStringLiteral("--no-defaults"), QStringLiteral("--protocol=TCP"),
            QStringLiteral("--host=") + m_db.host(), QStringLiteral("--port=%1").arg(m_db.port()),
            QStringLiteral("--user=") + user, QStringLiteral("--password=") + password,
            QStringLiteral("--database=") + user, QStringLiteral("--batch"), QStringLiteral("--raw"),
            QStringLiteral("--skip-column-names"), QStringLiteral("--connect-timeout=10"),
            QStringLiteral("--execute=") + sql });
    Result result;
    if (!client.waitForFinished(30000)) {
        client.kill();
        client.waitForFinished(5000);
        result.output = QStringLiteral("the client did not finish");
        return result;
    }
    result.ok = client.exitStatus() == QProcess::NormalExit && client.exitCode() == 0;
    result.output
        = QString::fromUtf8(result.ok ? client.readAllStandardOutput() : client.readAllStandardError())
              .trimmed();
    return result;
}

QString TestReadOnlyAccount::accountField(const QString &user, const QString &field)
{
    QString output;
    if (!m_db.runSql(
            QStringLiteral("SELECT %1 FROM mysql.user WHERE User = '%2'").arg(field, user), {}, &output))
        return QStringLiteral("query failed: ") + m_db.errorString();
    return output.trimmed();
}

void TestReadOnlyAccount::account_data()
{
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("clients");
    QTest::addColumn<bool>("loginFromHere");

    const QString any = QStringLiteral("%");
    QTest::newRow("plain") << "school"
                           << "Xy7kQ2mP9wLr" << any << true;
    // What broke the sed substitution: its delimiter, its whole-match sign, its escape.
    QTest::newRow("slash, ampersand, backslash") << "school2"
                                                 << R"(a/b&c\d)" << any << true;
    QTest::newRow("backslash at the end") << "school3"
                                          << R"(secret\)" << any << true;
    QTest::newRow("quotes and backticks") << "school4"
                                          << R"(it's "quoted" `x`)" << any << true;
    QTest::newRow("statement end and comment") << "school5"
                                               << "x'; DROP USER root; -- " << any << true;
    QTest::newRow("shell expansions") << "school6"
                                      << "$(id)$HOME`id`*" << any << true;
    QTest::newRow("SQL wildcards") << "school7"
                                   << "100%_sure" << any << true;
    QTest::newRow("Kurdish text") << "school8" << QStringLiteral("وانە٢٠٢٦ کلاس") << any << true;
    QTest::newRow("line break and tab") << "school9"
                                        << "one\ntwo\tthree\n"
                                        << any << true;
    QTest::newRow("hostile name") << R"(sch`ool&\/x'y)"
                                  << "Name2026pass" << any << true;
    // Would end a comment line of the SQL that names the values, leaving the rest as SQL.
    QTest::newRow("line break in the name") << "sch\nGRANT ALL ON *.* TO x"
                                            << "Name2026pass" << any << true;
    // Where the learners connect from holds: this test connects from 127.0.0.1.
    QTest::newRow("clients elsewhere") << "school10"
                                       << "Xy7kQ2mP9wLr"
                                       << "10.20.%" << false;
    QTest::newRow("clients here") << "school11"
                                  << "Xy7kQ2mP9wLr"
                                  << "127.0.0.%" << true;
}

void TestReadOnlyAccount::account()
{
    QFETCH(QString, database);
    QFETCH(QString, password);
    QFETCH(QString, clients);
    QFETCH(bool, loginFromHere);

    QString identifier = database;
    identifier.replace(u'`', QStringLiteral("``"));
    QVERIFY2(m_db.runSql(QStringLiteral("CREATE DATABASE `%1` CHARACTER SET utf8mb4").arg(identifier)),
        qPrintable(m_db.errorString()));
    QVERIFY2(m_db.createCourseTables(database), qPrintable(m_db.errorString()));
    QVERIFY2(m_db.runSql(QStringLiteral("CREATE TABLE secrets (x INT)"), database),
        qPrintable(m_db.errorString()));
    QString error;
    const QString sql = readOnlyAccountSql(database, password, clients, &error);
    QVERIFY2(!sql.isEmpty(), qPrintable(error));
    QVERIFY2(!sql.contains(password), "the password itself is in the SQL");
    QVERIFY2(m_db.runSql(sql), qPrintable(m_db.errorString()));

    const Result login = asAccount(database, password, QStringLiteral("SELECT COUNT(*) FROM courses"));
    if (!loginFromHere) {
        QVERIFY2(!login.ok, "logged in from an address the account does not allow");
        QVERIFY2(login.output.contains(QStringLiteral("Access denied")), qPrintable(login.output));
        return;
    }
    QVERIFY2(login.ok, qPrintable(login.output));
    QCOMPARE(login.output, QStringLiteral("0"));
    for (const char *table : { "interface", "classtype", "lessons" }) {
        const Result read
            = asAccount(database, password, QStringLiteral("SELECT COUNT(*) FROM %1").arg(table));
        QVERIFY2(read.ok, qPrintable(read.output));
    }

    const Result wrong = asAccount(database, password + u'x', QStringLiteral("SELECT 1"));
    QVERIFY2(!wrong.ok, "logged in with a wrong password");
    if (password.endsWith(u'\n')) {
        // A password cut at its line break must not do either.
        const Result cut = asAccount(database, password.trimmed(), QStringLiteral("SELECT 1"));
        QVERIFY2(!cut.ok, "logged in with the password cut at its line break");
    }

    const Result databases = asAccount(database, password, QStringLiteral("SHOW DATABASES"));
    QVERIFY2(databases.ok, qPrintable(databases.output));
    QStringList listed = databases.output.split(u'\n');
    listed.sort();
    // Split the same way, for a name that holds a line break.
    QStringList expected = (database + QStringLiteral("\ninformation_schema")).split(u'\n');
    expected.sort();
    QCOMPARE(listed, expected);
    for (const QString &denied : { QStringLiteral("INSERT INTO classtype (ctName) VALUES ('x')"),
             QStringLiteral("DELETE FROM courses"), QStringLiteral("SELECT * FROM secrets"),
             QStringLiteral("SELECT * FROM mysql.user"), QStringLiteral("CREATE TABLE t (x INT)") }) {
        const Result attempt
            = asAccount(database, password, QStringLiteral("USE `%1`; %2").arg(identifier, denied));
        QVERIFY2(!attempt.ok, qPrintable(QStringLiteral("allowed: ") + denied));
        QVERIFY2(attempt.output.contains(QStringLiteral("denied")), qPrintable(attempt.output));
    }
}

void TestReadOnlyAccount::refusesMissingValues_data()
{
    QTest::addColumn<QString>("unset");
    QTest::addColumn<QString>("emptied");
    QTest::addColumn<QString>("message");

    QTest::newRow("empty password") << ""
                                    << "ORVY_DB_PASSWORD"
                                    << "needs a password";
    QTest::newRow("empty name") << ""
                                << "ORVY_DB_NAME"
                                << "ORVY_DB_NAME is empty";
    QTest::newRow("empty clients") << ""
                                   << "ORVY_DB_CLIENTS"
                                   << "ORVY_DB_CLIENTS is empty";
    QTest::newRow("password unset, no terminal") << "ORVY_DB_PASSWORD"
                                                 << ""
                                                 << "ORVY_DB_PASSWORD is not set, and there is no terminal";
    QTest::newRow("empty connection limit") << ""
                                            << "ORVY_DB_MAX_USER_CONNECTIONS"
                                            << "ORVY_DB_MAX_USER_CONNECTIONS must be a whole number";
}

void TestReadOnlyAccount::refusesMissingValues()
{
    QFETCH(QString, unset);
    QFETCH(QString, emptied);
    QFETCH(QString, message);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ORVY_DB_NAME"), QStringLiteral("school"));
    env.insert(QStringLiteral("ORVY_DB_PASSWORD"), QStringLiteral("Xy7kQ2mP9wLr"));
    env.insert(QStringLiteral("ORVY_DB_CLIENTS"), QStringLiteral("%"));
    if (!unset.isEmpty())
        env.remove(unset);
    if (!emptied.isEmpty())
        env.insert(emptied, QString());
    QProcess script;
    script.setProcessEnvironment(env);
    script.setStandardInputFile(QProcess::nullDevice());
    // In a session of its own, without a controlling terminal to ask on.
    script.start(QStringLiteral("setsid"),
        { QStringLiteral("-w"), QStringLiteral(ORVY_SOURCE_DIR "/db/readonly-account.sh") });
    QVERIFY(script.waitForFinished(30000));
    QCOMPARE(script.exitCode(), 1);
    QVERIFY(script.readAllStandardOutput().isEmpty());
    const QString error = QString::fromUtf8(script.readAllStandardError());
    QVERIFY2(error.contains(message), qPrintable(error));
}

void TestReadOnlyAccount::refusesBadLimit_data()
{
    QTest::addColumn<QString>("limit");

    // 0 would lift the limit; the largest the server takes is 2147483647.
    for (const char *limit : { "0", "-5", "12x", " 40", "1e3", "2147483648", "99999999999" })
        QTest::newRow(limit) << QString::fromLatin1(limit);
}

// A connection limit that is not a count of learners is refused before any SQL is written.
void TestReadOnlyAccount::refusesBadLimit()
{
    QFETCH(QString, limit);
    QString error;
    QVERIFY(readOnlyAccountSql(
        QStringLiteral("school"), QStringLiteral("Xy7kQ2mP9wLr"), QStringLiteral("%"), &error, limit)
                .isEmpty());
    QVERIFY2(error.contains(QStringLiteral("ORVY_DB_MAX_USER_CONNECTIONS must be a whole number")),
        qPrintable(error));
}

void TestReadOnlyAccount::beforeTheSchema_data()
{
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("before");

    // What the administrator did before the script: the SQL run as root, @ standing for
    // the database's name.
    QTest::newRow("no database") << "early1"
                                 << "";
    QTest::newRow("database without tables") << "early2"
                                             << "CREATE DATABASE @";
    QTest::newRow("schema loaded in part")
        << "early3"
        << "CREATE DATABASE @; CREATE TABLE @.interface (intID INT); "
           "CREATE TABLE @.courses (cID INT); CREATE TABLE @.classtype (ctID INT)";
    QTest::newRow("tables in another database")
        << "early4"
        << "CREATE DATABASE @; CREATE DATABASE @x; "
           "CREATE TABLE @x.interface (a INT); CREATE TABLE @x.courses (a INT); "
           "CREATE TABLE @x.classtype (a INT); CREATE TABLE @x.lessons (a INT)";
}

// Run before the database and its tables exist, the account's SQL stops with a message
// that says what to do first, and leaves no account behind; once the schema is loaded the
// same SQL goes through.
void TestReadOnlyAccount::beforeTheSchema()
{
    QFETCH(QString, database);
    QFETCH(QString, before);

    QString sqlBefore = before;
    if (!sqlBefore.isEmpty())
        QVERIFY2(m_db.runSql(sqlBefore.replace(u'@', database)), qPrintable(m_db.errorString()));
    const QString password = QStringLiteral("Xy7kQ2mP9wLr");
    QString error;
    const QString sql = readOnlyAccountSql(database, password, QStringLiteral("%"), &error);
    QVERIFY2(!sql.isEmpty(), qPrintable(error));

    QVERIFY2(!m_db.runSql(sql), "the account was made before the course tables existed");
    QVERIFY2(
        m_db.errorString().contains(QStringLiteral("load db/schema.sql")), qPrintable(m_db.errorString()));
    QCOMPARE(accountField(database, QStringLiteral("User")), QString());

    QVERIFY2(m_db.runSql(QStringLiteral("DROP DATABASE IF EXISTS %1; CREATE DATABASE %1").arg(database)),
        qPrintable(m_db.errorString()));
    QVERIFY2(m_db.createCourseTables(database), qPrintable(m_db.errorString()));
    QVERIFY2(m_db.runSql(sql), qPrintable(m_db.errorString()));
    const Result login = asAccount(database, password, QStringLiteral("SELECT COUNT(*) FROM lessons"));
    QVERIFY2(login.ok, qPrintable(login.output));
}

// Run again, to change the password or the connection limit, or just twice: it goes
// through each time and leaves the one account with what the last run gave it.
void TestReadOnlyAccount::runAgain()
{
    const QString database = QStringLiteral("again");
    QVERIFY2(m_db.runSql(QStringLiteral("CREATE DATABASE again")), qPrintable(m_db.errorString()));
    QVERIFY2(m_db.createCourseTables(database), qPrintable(m_db.errorString()));
    const QString grantsQuery = QStringLiteral("SHOW GRANTS FOR again@'%'");

    struct Run {
        const char *password;
        const char *limit; // empty: the script's default
        const char *expectedLimit;
    };
    const Run runs[] = {
        { "First2026pass", "", "1900" },
        { "First2026pass", "", "1900" },
        { "Second2026pass", "25", "25" },
        { "Second2026pass", "0040", "40" },
    };
    QString firstGrants;
    const char *previous = nullptr;
    for (const Run &run : runs) {
        const QString password = QString::fromLatin1(run.password);
        QString error;
        const QString sql = readOnlyAccountSql(
            database, password, QStringLiteral("%"), &error, QString::fromLatin1(run.limit));
        QVERIFY2(!sql.isEmpty(), qPrintable(error));
        QVERIFY2(m_db.runSql(sql), qPrintable(m_db.errorString()));

        QCOMPARE(accountField(database, QStringLiteral("COUNT(*)")), QStringLiteral("1"));
        QCOMPARE(accountField(database, QStringLiteral("max_user_connections")),
            QString::fromLatin1(run.expectedLimit));
        const Result login = asAccount(database, password, QStringLiteral("SELECT COUNT(*) FROM courses"));
        QVERIFY2(login.ok, qPrintable(login.output));
        if (previous && qstrcmp(previous, run.password) != 0) {
            const Result old = asAccount(database, QString::fromLatin1(previous), QStringLiteral("SELECT 1"));
            QVERIFY2(!old.ok, "the password before the change still logs in");
        }
        previous = run.password;

        // The grants stay the four SELECTs, whatever else changed.
        QString grants;
        QVERIFY2(m_db.runSql(grantsQuery, {}, &grants), qPrintable(m_db.errorString()));
        QCOMPARE(grants.count(QStringLiteral("GRANT SELECT ON `again`.")), 4);
        const QString tableGrants = grants.section(u'\n', 1);
        if (firstGrants.isEmpty())
            firstGrants = tableGrants;
        QCOMPARE(tableGrants, firstGrants);
    }
}

QTEST_GUILESS_MAIN(TestReadOnlyAccount)
#include "tst_readonlyaccount.moc"
