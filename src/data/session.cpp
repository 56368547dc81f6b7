#include "data/session.h"

#include "data/dberror.h"
#include "data/mariadbapi.h"
#include "data/serverlist.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <errmsg.h>
#include <mysqld_error.h>

namespace orvy::data {

namespace {

// The client library's result handle, freed on every path.
class StoredResult {
public:
    StoredResult(const MariaDbApi &api, MYSQL_RES *result)
        : m_api(api)
        , m_result(result)
    {
    }
    ~StoredResult()
    {
        if (m_result)
            m_api.freeResult(m_result);
    }
    StoredResult(const StoredResult &) = delete;
    StoredResult &operator=(const StoredResult &) = delete;

    MYSQL_RES *get() const { return m_result; }

private:
    const MariaDbApi &m_api;
    MYSQL_RES *m_result;
};

QByteArray nullableUtf8(const QString &text)
{
    return text.isEmpty() ? QByteArray() : text.toUtf8();
}

} // namespace

void Session::Closer::operator()(st_mysql *mysql) const
{
    api->close(mysql);
}

Session::Session(const MariaDbApi &api, const DbSettings &settings, const ServerAddress &server)
    : m_api(api)
    , m_mysql(api.init(nullptr), Closer { &api })
    , m_readTimeoutSeconds(qMax(0, settings.readTimeoutSeconds))
    , m_connectTimeoutSeconds(qMax(0, settings.connectTimeoutSeconds))
{
    if (!m_mysql)
        throw DbError::fromClient(CR_OUT_OF_MEMORY, QStringLiteral("Client run out of memory"));
    MYSQL *mysql = m_mysql.get();

    if (settings.compress)
        m_api.options(mysql, MYSQL_OPT_COMPRESS, nullptr);
    // Reconnecting is this layer's job, with its own rule (see Connection); the library's
    // silent reconnect stays off. MySQL 8's library reads this option's number as another
    // (a TLS setting), and its own reconnect is off by default.
    if (m_api.isMariaDb()) {
        const my_bool noReconnect = 0;
        m_api.options(mysql, MYSQL_OPT_RECONNECT, &noReconnect);
    }
    // The program only reads: never let a server ask for a local file.
    const unsigned int noLocalInfile = 0;
    m_api.options(mysql, MYSQL_OPT_LOCAL_INFILE, &noLocalInfile);
    if (settings.connectTimeoutSeconds > 0) {
        const unsigned int seconds = unsigned(settings.connectTimeoutSeconds);
        m_api.options(mysql, MYSQL_OPT_CONNECT_TIMEOUT, &seconds);
    }
    if (settings.readTimeoutSeconds > 0) {
        const unsigned int seconds = unsigned(settings.readTimeoutSeconds);
        m_api.options(mysql, MYSQL_OPT_READ_TIMEOUT, &seconds);
    }
    if (settings.writeTimeoutSeconds > 0) {
        const unsigned int seconds = unsigned(settings.writeTimeoutSeconds);
        m_api.options(mysql, MYSQL_OPT_WRITE_TIMEOUT, &seconds);
    }
    setUpEncryption(settings);
    limitWhatTheServerDecides();

    const QByteArray host = nullableUtf8(server.host);
    const QByteArray user = settings.user.toUtf8();
    const QByteArray password = settings.password.toUtf8();
    const QByteArray database = nullableUtf8(settings.database);
    const auto connect = [&] {
        return m_api.realConnect(mysql, host.isNull() ? nullptr : host.constData(), user.constData(),
                   password.constData(), database.isNull() ? nullptr : database.constData(), server.port,
                   nullptr, 0)
            != nullptr;
    };
    QElapsedTimer timer;
    timer.start();
    // The character set travels in the login handshake: no round trip of its own.
    m_api.options(mysql, MYSQL_SET_CHARSET_NAME, "utf8mb4");
    bool connected = connect();
    if (!connected && m_api.errorNumber(mysql) == CR_CANT_READ_CHARSET) {
        // A client library without utf8mb4.
        m_api.options(mysql, MYSQL_SET_CHARSET_NAME, "utf8");
        timer.start();
        connected = connect();
    }
    if (!connected)
        throwConnectError(timer.elapsed());
    if (settings.tls)
        checkEncrypted();
    if (!handshakeGaveUtf8mb4())
        setCharacterSet();
}

bool Session::handshakeGaveUtf8mb4() const
{
    // A server may ignore the client's choice in the handshake (it can be told to) and
    // then keeps its own default; a server older than utf8mb4 does the same. Only when
    // that default is utf8mb4 too is the session surely utf8mb4 without a statement.
    MYSQL *mysql = m_mysql.get();
    if (!m_api.charsetByNumber || qstrcmp(m_api.characterSetName(mysql), "utf8mb4") != 0)
        return false;
    const MARIADB_CHARSET_INFO *serverDefault = m_api.charsetByNumber(mysql->server_language);
    return serverDefault && qstrcmp(serverDefault->csname, "utf8mb4") == 0;
}

Session::~Session() = default;

void Session::setCharacterSet()
{
    // utf8mb4 carries every character; the old three-byte "utf8" would corrupt four-byte
    // ones (emoji, rare CJK), so it is only the fallback for servers that lack utf8mb4.
    if (m_api.setCharacterSet(m_mysql.get(), "utf8mb4") == 0)
        return;
    const unsigned error = m_api.errorNumber(m_mysql.get());
    if (error != ER_UNKNOWN_CHARACTER_SET && error != CR_CANT_READ_CHARSET)
        throwLastError();
    if (m_api.setCharacterSet(m_mysql.get(), "utf8") != 0)
        throwLastError();
}

void Session::limitWhatTheServerDecides()
{
    // These option numbers are MariaDB's; another library would read them as others.
    if (!m_api.isMariaDb())
        return;
    MYSQL *mysql = m_mysql.get();
    // The account logs in with mysql_native_password, where only a hash of the password
    // travels. A server (or whoever poses as one) could otherwise switch the login to a
    // plug-in that sends the password as it is. A library older than this option refuses
    // it and goes on as before.
    m_api.options(mysql, MARIADB_OPT_RESTRICTED_AUTH, "mysql_native_password");
    // The catalogue's rows are a few kilobytes; a larger one fails as a database error
    // instead of being held whole (the library would accept up to 1 GB a row).
    const unsigned long largestPacket = 4UL * 1024 * 1024;
    m_api.options(mysql, MYSQL_OPT_MAX_ALLOWED_PACKET, &largestPacket);
}

void Session::throwLastError() const
{
    throw DbError::fromClient(
        m_api.errorNumber(m_mysql.get()), QString::fromUtf8(m_api.error(m_mysql.get())));
}

void Session::setUpEncryption(const DbSettings &settings)
{
    MYSQL *mysql = m_mysql.get();
    if (!settings.tls) {
        // Off, as the connection is described. A library that encrypts on its own when the
        // server offers it (newer MariaDB ones do) must not then refuse a certificate that
        // nobody asked it to trust.
        if (m_api.isMariaDb()) {
            const my_bool off = 0;
            m_api.options(mysql, MYSQL_OPT_SSL_VERIFY_SERVER_CERT, &off);
        }
        return;
    }
    // These option numbers are MariaDB's; another library would take them for other
    // options and might connect in the clear.
    if (!m_api.isMariaDb() || !m_api.sslCipher)
        throw DbError(CR_SSL_CONNECTION_ERROR,
            DbError::prefix()
                + QStringLiteral(
                    "Encryption to the server needs MariaDB's client library, which was not loaded"));
    if (!settings.tlsCaFile.isEmpty() && !QFileInfo(settings.tlsCaFile).isFile())
        throw DbError(CR_SSL_CONNECTION_ERROR,
            DbError::prefix()
                + QStringLiteral("The certificate authority file \"%1\" is missing").arg(settings.tlsCaFile));
    const my_bool on = 1;
    m_api.options(mysql, MYSQL_OPT_SSL_ENFORCE, &on);
    m_api.options(mysql, MYSQL_OPT_SSL_VERIFY_SERVER_CERT, &on);
    if (!settings.tlsCaFile.isEmpty())
        m_api.options(mysql, MYSQL_OPT_SSL_CA, QFile::encodeName(settings.tlsCaFile).constData());
}

void Session::checkEncrypted() const
{
    // The library was told to refuse anything else; this only makes sure it did.
    if (!m_api.sslCipher(m_mysql.get()))
        throw DbError(CR_SSL_CONNECTION_ERROR,
            DbError::prefix() + QStringLiteral("The connection to the server is not encrypted"));
}

void Session::throwConnectError(qint64 elapsedMs) const
{
    // As for statements (below): a server that takes the connection and then says nothing
    // gives the number of a refused or lost connection, but only after the whole connect
    // time-out, the library's own wait.
    const unsigned error = m_api.errorNumber(m_mysql.get());
    if (DbError::meansConnectionLoss(error) && m_connectTimeoutSeconds > 0
        && elapsedMs >= m_connectTimeoutSeconds * 1000LL - 50)
        throw DbError::connectTimedOut(error, m_connectTimeoutSeconds);
    // The library's words alone ("unable to get local issuer certificate") do not say
    // what failed.
    if (error == CR_SSL_CONNECTION_ERROR)
        throw DbError::fromClient(error,
            QStringLiteral("Cannot make a safe encrypted connection to the server (%1)")
                .arg(QString::fromUtf8(m_api.error(m_mysql.get()))));
    throwLastError();
}

void Session::throwStatementError(qint64 elapsedMs) const
{
    // The library gives a read time-out the number of a dropped connection (2013). A drop
    // comes as soon as the server closes; a time-out only after the whole read time-out,
    // a wait of the library's own (poll), which never ends early; the slack only covers the
    // two clocks' rounding.
    const unsigned error = m_api.errorNumber(m_mysql.get());
    if (error == CR_SERVER_LOST && m_readTimeoutSeconds > 0
        && elapsedMs >= m_readTimeoutSeconds * 1000LL - 50)
        throw DbError::timedOut(error, m_readTimeoutSeconds);
    throwLastError();
}

ResultSet Session::run(const QByteArray &sql)
{
    MYSQL *mysql = m_mysql.get();
    QElapsedTimer timer;
    timer.start();
    if (m_api.realQuery(mysql, sql.constData(), static_cast<unsigned long>(sql.size())) != 0)
        throwStatementError(timer.elapsed());

    ResultSet resultSet;
    {
        const StoredResult stored(m_api, m_api.storeResult(mysql));
        if (!stored.get()) {
            // A row the library refused (larger than its packet limit) drops the connection
            // and may leave no field count behind: the error number still tells.
            if (m_api.fieldCount(mysql) != 0 || m_api.errorNumber(mysql) != 0)
                throwStatementError(timer.elapsed());
        } else {
            resultSet.hasResultSet = true;
            const unsigned columnCount = m_api.numFields(stored.get());
            const MYSQL_FIELD *fields = m_api.fetchFields(stored.get());
            resultSet.columns.reserve(columnCount);
            for (unsigned i = 0; i < columnCount; ++i) {
                const MYSQL_FIELD &field = fields[i];
                resultSet.columns.append({ QString::fromUtf8(field.name, field.name_length), int(field.type),
                    field.flags, field.charsetnr });
            }
            while (MYSQL_ROW row = m_api.fetchRow(stored.get())) {
                const unsigned long *lengths = m_api.fetchLengths(stored.get());
                ResultSet::Row values(columnCount);
                for (unsigned i = 0; i < columnCount; ++i) {
                    if (row[i])
                        values[i] = QString::fromUtf8(row[i], qsizetype(lengths[i]));
                }
                resultSet.rows.push_back(std::move(values));
            }
        }
    }

    // A statement may answer with more than one result (a stored procedure's CALL): drain
    // them so the connection is ready for the next statement.
    while (m_api.moreResults(mysql)) {
        const int status = m_api.nextResult(mysql);
        if (status > 0)
            throwStatementError(timer.elapsed());
        if (status < 0)
            break;
        const StoredResult ignored(m_api, m_api.storeResult(mysql));
        if (!ignored.get() && (m_api.fieldCount(mysql) != 0 || m_api.errorNumber(mysql) != 0))
            throwStatementError(timer.elapsed());
    }
    return resultSet;
}

} // namespace orvy::data
