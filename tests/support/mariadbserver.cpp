#include "mariadbserver.h"

#include "testpaths.h"
#include "tmpdir.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <signal.h>
#include <sys/prctl.h>

namespace orvy::test {

namespace {

const QString serverBinary = QStringLiteral("/usr/sbin/mariadbd");
const QString installBinary = QStringLiteral("/usr/bin/mariadb-install-db");
const QString clientBinary = QStringLiteral("/usr/bin/mariadb");

// Longest socket path the kernel takes (sun_path is 108 bytes), with room to spare.
constexpr qsizetype maxSocketPath = 100;

quint16 freeLoopbackPort()
{
    // The kernel hands out ephemeral ports, so 3306 never comes up.
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

QString tail(const QString &path, qsizetype chars = 2000)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll()).right(chars);
}

} // namespace

MariaDbServer::MariaDbServer(QString name)
    : m_name(std::move(name))
{
    // Should the test program die, the kernel takes its server with it.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(QProcess::nullDevice());
}

MariaDbServer::~MariaDbServer()
{
    stop();
}

bool MariaDbServer::start()
{
    stop();
    m_baseDir = freshTestDir(m_name);
    m_dataDir = m_baseDir + QStringLiteral("/data");
    m_shortSocketDir.reset();
    if ((m_dataDir + QStringLiteral("/mysqld.sock")).toUtf8().size() > maxSocketPath) {
        m_shortSocketDir = std::make_unique<QTemporaryDir>();
        if (!m_shortSocketDir->isValid()) {
            m_error = QStringLiteral("cannot create a folder for the server's socket");
            return false;
        }
    }
    if (!install())
        return false;

    // Another program may take the port between the probe and the server's bind: try anew.
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_port = freeLoopbackPort();
        if (m_port == 0) {
            m_error = QStringLiteral("no free loopback port");
            return false;
        }
        if (launch() && waitUntilReady())
            return true;
        if (isRunning())
            break;
    }
    stop();
    return false;
}

bool MariaDbServer::restart()
{
    if (m_port == 0) {
        m_error = QStringLiteral("restart() before start()");
        return false;
    }
    if (isRunning())
        return true;
    if (launch() && waitUntilReady())
        return true;
    stop();
    return false;
}

void MariaDbServer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    resume();
    m_process.terminate(); // SIGTERM: a clean shutdown
    if (!m_process.waitForFinished(30000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool MariaDbServer::isRunning() const
{
    return m_process.state() != QProcess::NotRunning;
}

void MariaDbServer::pause()
{
    if (isRunning() && !m_paused) {
        ::kill(pid_t(m_process.processId()), SIGSTOP);
        m_paused = true;
    }
}

void MariaDbServer::resume()
{
    if (isRunning() && m_paused)
        ::kill(pid_t(m_process.processId()), SIGCONT);
    m_paused = false;
}

qint64 MariaDbServer::pid() const
{
    return m_process.processId();
}

bool MariaDbServer::install()
{
    // Temporary tables go to a folder of this server's own: in the shared /tmp, servers
    // of tests running side by side were seen to remove each other's.
    QDir().mkpath(tmpDir());
    QProcess installer;
    installer.setProcessChannelMode(QProcess::MergedChannels);
    installer.start(installBinary,
        { QStringLiteral("--no-defaults"), QStringLiteral("--auth-root-authentication-method=normal"),
            QStringLiteral("--skip-test-db"), QStringLiteral("--user=root"),
            QStringLiteral("--innodb-log-file-size=8M"), QStringLiteral("--datadir=") + m_dataDir,
            QStringLiteral("--tmpdir=") + tmpDir() });
    if (!installer.waitForFinished(120000) || installer.exitStatus() != QProcess::NormalExit
        || installer.exitCode() != 0) {
        m_error = QStringLiteral("mariadb-install-db failed: ") + QString::fromLocal8Bit(installer.readAll())
            + installer.errorString();
        return false;
    }
    return true;
}

QString MariaDbServer::socketPath() const
{
    const QString dir = m_shortSocketDir ? m_shortSocketDir->path() : m_dataDir;
    return dir + QStringLiteral("/mysqld.sock");
}

QStringList MariaDbServer::serverArguments() const
{
    return {
        QStringLiteral("--no-defaults"),
        QStringLiteral("--datadir=") + m_dataDir,
        QStringLiteral("--tmpdir=") + tmpDir(),
        QStringLiteral("--socket=") + socketPath(),
        QStringLiteral("--pid-file=") + m_dataDir + QStringLiteral("/mysqld.pid"),
        QStringLiteral("--log-error=") + m_dataDir + QStringLiteral("/error.log"),
        QStringLiteral("--port=") + QString::number(m_port),
        QStringLiteral("--bind-address=127.0.0.1"),
        QStringLiteral("--user=root"),
        QStringLiteral("--skip-name-resolve"),
        QStringLiteral("--character-set-server=utf8mb4"),
        QStringLiteral("--collation-server=utf8mb4_unicode_ci"),
        QStringLiteral("--log-output=FILE"),
        QStringLiteral("--general-log=0"),
        QStringLiteral("--general-log-file=") + generalLogPath(),
        QStringLiteral("--innodb-buffer-pool-size=32M"),
        // Small files: every test program has its own server, data and logs.
        QStringLiteral("--innodb-log-file-size=8M"),
        QStringLiteral("--skip-innodb-use-native-aio"),
    };
}

bool MariaDbServer::launch()
{
    m_paused = false;
    m_process.start(serverBinary, serverArguments());
    if (!m_process.waitForStarted(10000)) {
        m_error = QStringLiteral("cannot start mariadbd: ") + m_process.errorString();
        return false;
    }
    return true;
}

bool MariaDbServer::waitUntilReady()
{
    // Ready means: our process still runs and the port answers with a server greeting
    // (protocol version 10 right after the 4-byte packet header).
    const QDeadlineTimer deadline(60000);
    while (!deadline.hasExpired()) {
        if (!isRunning() || m_process.waitForFinished(0)) {
            m_error = QStringLiteral("mariadbd ended at start-up: ")
                + tail(m_dataDir + QStringLiteral("/error.log"));
            return false;
        }
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, m_port);
        if (probe.waitForConnected(500) && probe.waitForReadyRead(2000)) {
            const QByteArray greeting = probe.readAll();
            if (greeting.size() > 4 && greeting.at(4) == 10)
                return true;
        }
        QThread::msleep(100);
    }
    m_error
        = QStringLiteral("mariadbd did not become ready: ") + tail(m_dataDir + QStringLiteral("/error.log"));
    return false;
}

bool MariaDbServer::runSql(const QString &sql, const QString &database, QString *output)
{
    QStringList args { QStringLiteral("--no-defaults"), QStringLiteral("--user=root"),
        QStringLiteral("--socket=") + socketPath(), QStringLiteral("--batch"),
        QStringLiteral("--skip-column-names"), QStringLiteral("--default-character-set=utf8mb4"),
        QStringLiteral("--connect-timeout=10") };
    if (!database.isEmpty())
        args << QStringLiteral("--database=") + database;
    args << QStringLiteral("--execute=") + sql;

    QProcess client;
    client.start(clientBinary, args);
    if (!client.waitForFinished(60000) || client.exitStatus() != QProcess::NormalExit
        || client.exitCode() != 0) {
        if (client.state() != QProcess::NotRunning) {
            client.kill();
            client.waitForFinished(5000);
        }
        m_error = QStringLiteral("SQL as root failed: ") + QString::fromUtf8(client.readAllStandardError())
            + client.errorString();
        return false;
    }
    if (output)
        *output = QString::fromUtf8(client.readAllStandardOutput());
    return true;
}

bool MariaDbServer::createDatabase(const QString &database, const QString &user, const QString &password)
{
    const QString account = quoted(user) + QStringLiteral("@'%'");
    const QString sql = QStringLiteral("CREATE DATABASE IF NOT EXISTS `%1` CHARACTER SET utf8mb4;"
                                       "CREATE USER IF NOT EXISTS %2;"
                                       "ALTER USER %2 IDENTIFIED BY %3;"
                                       "GRANT ALL PRIVILEGES ON `%1`.* TO %2;")
                            .arg(database, account, quoted(password));
    if (!runSql(sql))
        return false;
    m_database = database;
    m_user = user;
    m_password = password;
    return true;
}

bool MariaDbServer::createCourseTables(const QString &database)
{
    QFile schema(QStringLiteral(ORVY_SOURCE_DIR "/db/schema.sql"));
    if (!schema.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("cannot read %1").arg(schema.fileName());
        return false;
    }
    return runSql(QString::fromUtf8(schema.readAll()), database);
}

bool MariaDbServer::killSession(qint64 connectionId)
{
    return runSql(QStringLiteral("KILL CONNECTION %1").arg(connectionId));
}

bool MariaDbServer::setGeneralLog(bool on)
{
    return runSql(
        on ? QStringLiteral("SET GLOBAL general_log = 1") : QStringLiteral("SET GLOBAL general_log = 0"));
}

void MariaDbServer::clearGeneralLog()
{
    // The server appends, so emptying the file in place keeps its later entries coming.
    QFile file(generalLogPath());
    if (file.exists())
        file.resize(0);
}

QStringList MariaDbServer::loggedQueries() const
{
    QFile file(generalLogPath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // An entry: an optional "YYMMDD HH:MM:SS" stamp, the session id, the command, a tab,
    // the argument. Lines that are no entry continue the previous entry's argument.
    static const QRegularExpression entry(
        QStringLiteral(R"(^(?:\d{6}\s+\d{1,2}:\d{2}:\d{2})?\t+\s*\d+\s([A-Za-z][A-Za-z ]*)\t(.*)$)"));
    QStringList queries;
    bool inQuery = false;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString &line = lines.at(i);
        const QRegularExpressionMatch match = entry.match(line);
        if (match.hasMatch()) {
            inQuery = match.captured(1) == QLatin1String("Query");
            if (inQuery)
                queries << match.captured(2);
        } else if (inQuery && i + 1 < lines.size()) {
            queries.last() += u'\n' + line;
        }
    }
    return queries;
}

QString MariaDbServer::quoted(const QString &text)
{
    QString escaped = text;
    escaped.replace(u'\\', QStringLiteral("\\\\")).replace(u'\'', QStringLiteral("''"));
    return u'\'' + escaped + u'\'';
}

} // namespace orvy::test
