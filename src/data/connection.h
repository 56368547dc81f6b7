#pragma once

#include "data/dbsettings.h"
#include "data/resultset.h"
#include "data/serverlist.h"

#include <QObject>
#include <memory>

namespace orvy::data {

class Session;

// The program's one connection to the course database (AdoCon). Closed at first; the
// first operation opens it and it is kept. When connecting or a query fails because the
// connection cannot be made or was lost (client errors 2002, 2003, 2006, 2013), it is
// re-opened and the query run again: up to three attempts, the first at once, each further
// one after settings().retryPauseMs. After the last failure it stays closed and that error
// is thrown. A server that does not answer within a time-out (a statement within the read
// time-out, a connection within the connect time-out) is not tried again: the connection
// is closed and the time-out thrown at once (DbError::isTimeout()). While waitsWhileBusy(),
// a server that says it is busy (DbError::isBusy()) is tried again after the pauses of
// BusyBackoff, and its error thrown when they are spent. Any other error is thrown at once.
// Errors are DbError.
//
// With several servers (DbSettings::host), each connect tries them in a random order and
// takes the first that lets it in; one that refuses, is busy or does not answer is passed
// over for the next, which is tried at once after a refusal and after connectStaggerMs
// while the one before is still waiting (the first login that succeeds is kept, later ones
// are closed). Only when none will do does the failure count as above, reported as the
// most hopeful of theirs (busy, then refused, then no answer). One that did not answer is
// not tried again within the same operation, nor is a cluster node that said it is not
// ready to serve (1047, counted as a lost connection) while another is left.
class Connection : public QObject {
    Q_OBJECT

public:
    static constexpr int reconnectAttempts = 3;
    // With several servers, the next is tried this long after the one before when that
    // one has not answered yet.
    static constexpr int connectStaggerMs = 300;

    explicit Connection(DbSettings settings, QObject *parent = nullptr);
    ~Connection() override;

    const DbSettings &settings() const { return m_settings; }

    // Off at first. The program turns it on while it starts, where a learner refused by a
    // busy server would otherwise be left with nothing.
    void setWaitWhileBusy(bool on) { m_waitWhileBusy = on; }
    bool waitsWhileBusy() const { return m_waitWhileBusy; }

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
    struct Attempt;

    template<typename Operation> auto withRetries(Operation operation);
    std::unique_ptr<Session> connectToAServer(Attempt &attempt);
    quint32 random();

    DbSettings m_settings;
    std::unique_ptr<Session> m_session;
    ServerAddress m_sessionServer; // where m_session is
    int m_busyDepth = 0;
    bool m_waitWhileBusy = false;
};

} // namespace orvy::data
