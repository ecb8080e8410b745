#pragma once

#include <QObject>

class Database;
class QTcpSocket;
class QTimer;
struct StationState;

// Watches the station's database connection on the clock's behalf: keeps an
// idle connection alive, and while the database is away looks for its server
// with a connection attempt that cannot freeze the window; only when the
// server answers is the connection itself opened again. Whatever waits for the
// database (a journal behind, a list to reload, a login to finish) listens to
// available().
class DatabaseWatcher final : public QObject
{
    Q_OBJECT

public:
    // A restarted database server is found within this time, without a flood
    // of attempts.
    static constexpr int RetryMs = 5000;
    // An idle connection is pinged after this many clock ticks.
    static constexpr quint16 KeepAliveTicks = 302;

    DatabaseWatcher(StationState &state, Database &database, QObject *parent = nullptr);

    // How often it looks (tests make it short).
    void setRetryInterval(int milliseconds);
    // One tick of the one-second clock: the keep-alive.
    void tick();
    // The operator's session ended: a look under way is given up.
    void stop();

signals:
    // The database answers, back from an outage or still there at a look:
    // work that waited for it may run now.
    void available();

private:
    void look();
    void reachable();

    StationState &m_state;
    Database &m_database;
    QTimer *m_retry;
    QTcpSocket *m_probe;
};
