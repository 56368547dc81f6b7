#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace orvy::test {

// A private MariaDB server for one test program: its own data folder under the build
// folder, listening on 127.0.0.1 on a free port (never the system server, never 3306).
// Root has no password and is reached through the server's own socket with the
// `mariadb` command-line client, so seeding needs nothing from the code under test.
// The server dies with the test program even if the program crashes.
class MariaDbServer {
public:
    // `name`: folder under the test's temporary folder holding the data directory.
    explicit MariaDbServer(QString name = QStringLiteral("mariadb"));
    ~MariaDbServer();

    MariaDbServer(const MariaDbServer &) = delete;
    MariaDbServer &operator=(const MariaDbServer &) = delete;

    // Server options added after the usual ones (a later option wins), for the next start().
    void setExtraArguments(const QStringList &arguments) { m_extraArguments = arguments; }

    // Installs a fresh data directory, starts the server on a free loopback port and waits
    // until it accepts connections. On failure errorString() says why.
    bool start();
    // Starts the server again on the same data directory and port after stop().
    bool restart();
    // Shuts the server down cleanly; the port stays closed until restart().
    void stop();
    bool isRunning() const;

    // SIGSTOP / SIGCONT: the server keeps its sockets but stops answering.
    void pause();
    void resume();
    qint64 pid() const;

    QString errorString() const { return m_error; }
    QString dataDir() const { return m_dataDir; }

    // What a test needs to build its connection settings.
    QString host() const { return QStringLiteral("127.0.0.1"); }
    quint16 port() const { return m_port; }
    QString database() const { return m_database; }
    QString user() const { return m_user; }
    QString password() const { return m_password; }

    // Creates a database and a user with every right on it, reachable from 127.0.0.1;
    // database(), user() and password() then name them.
    bool createDatabase(const QString &database, const QString &user, const QString &password);

    // The four course tables (interface, courses, classtype, lessons), utf8mb4, empty.
    bool createCourseTables(const QString &database);

    // Runs SQL (several statements allowed) as root; `output` receives the rows, one per line,
    // columns separated by tabs, without a header.
    bool runSql(const QString &sql, const QString &database = QString(), QString *output = nullptr);

    // Ends a client session the way an administrator or a server timeout would.
    bool killSession(qint64 connectionId);

    // The general query log: off at start. clearGeneralLog() empties the file.
    bool setGeneralLog(bool on);
    QString generalLogPath() const { return m_dataDir + QStringLiteral("/general.log"); }
    void clearGeneralLog();
    // The text of every "Query" entry of the general log so far, in order, exactly as the
    // server received it (multi-line texts joined with "\n").
    QStringList loggedQueries() const;

    // A string literal for SQL: single-quoted, with quotes and backslashes escaped.
    static QString quoted(const QString &text);

private:
    bool install();
    bool launch();
    bool waitUntilReady();
    QStringList serverArguments() const;
    QString socketPath() const;
    QString tmpDir() const;

    QString m_name;
    QString m_baseDir;
    QString m_dataDir;
    std::unique_ptr<QTemporaryDir> m_shortSocketDir; // only when the data path is too long for a socket
    quint16 m_port = 0;
    QProcess m_process;
    bool m_paused = false;
    QString m_error;
    QString m_database;
    QString m_user;
    QString m_password;
    QStringList m_extraArguments;
};

} // namespace orvy::test
