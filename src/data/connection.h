#pragma once

#include "data/dbsettings.h"
#include "data/resultset.h"

#include <QObject>
#include <memory>

namespace orvy::data {

class Session;

// The program's one connection to the course database (AdoCon). Closed at first; the
// first operation opens it and it is kept. When connecting or a query fails because the
// connection cannot be made or was lost (client errors 2002, 2003, 2006, 2013), it is
// re-opened and the query run again: up to three attempts, the first at once, each further
// one after settings().retryPauseMs. After the last failure it stays closed and that error
// is thrown. A statement the server does not answer within the read time-out is not run
// again: the connection is closed and the time-out thrown at once (DbError::isTimeout()).
// Any other error is thrown at once. Errors are DbError.
class Connection : public QObject {
    Q_OBJECT

public:
    static constexpr int reconnectAttempts = 3;

    explicit Connection(DbSettings settings, QObject *parent = nullptr);
    ~Connection() override;

    const DbSettings &settings() const { return m_settings; }

    // Connects; does nothing when already open.
    void open();
    void close();
    bool isOpen() const { return m_session != nullptr; }

    // Runs one statement (opening the connection first if needed) and returns its whole result.
    ResultSet execute(const QString &sql);

Q_SIGNALS:
    // Around every database operation, retries and pauses included; always in pairs,
    // also when the operation throws. Nested operations give one pair.
    void operationStarted();
    void operationFinished();

private:
    class BusyScope;

    template<typename Operation> auto withReconnect(Operation operation);
    Session &session();

    DbSettings m_settings;
    std::unique_ptr<Session> m_session;
    int m_busyDepth = 0;
};

} // namespace orvy::data
