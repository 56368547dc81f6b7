#pragma once

#include "data/dbsettings.h"
#include "data/resultset.h"

#include <QByteArray>
#include <memory>

struct st_mysql;

namespace orvy::data {

struct MariaDbApi;
struct ServerAddress;

// One open client connection (the library's MYSQL handle), closed when destroyed.
// Constructing it connects to `server`; both connecting and running throw DbError. A server
// that does not answer within the connect time-out gives DbError::connectTimedOut.
class Session {
public:
    Session(const MariaDbApi &api, const DbSettings &settings, const ServerAddress &server);
    ~Session();

    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // Runs one statement and transfers its whole result.
    ResultSet run(const QByteArray &sql);

private:
    struct Closer {
        const MariaDbApi *api;
        void operator()(st_mysql *mysql) const;
    };

    [[noreturn]] void throwLastError() const;
    // As throwLastError(), for a connect that failed `elapsedMs` after it began.
    [[noreturn]] void throwConnectError(qint64 elapsedMs) const;
    void setUpEncryption(const DbSettings &settings);
    void limitWhatTheServerDecides();
    void checkEncrypted() const;
    bool handshakeGaveUtf8mb4() const;
    // As throwLastError(), for a failure `elapsedMs` into a statement.
    [[noreturn]] void throwStatementError(qint64 elapsedMs) const;
    void setCharacterSet();

    const MariaDbApi &m_api;
    std::unique_ptr<st_mysql, Closer> m_mysql;
    int m_readTimeoutSeconds = 0;
    int m_connectTimeoutSeconds = 0;
};

} // namespace orvy::data
