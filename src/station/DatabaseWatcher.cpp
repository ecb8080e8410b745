#include "DatabaseWatcher.h"

#include "Database.h"
#include "StationState.h"

#include <QTcpSocket>
#include <QTimer>

DatabaseWatcher::DatabaseWatcher(StationState &state, Database &database, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_database(database)
    , m_retry(new QTimer(this))
    , m_probe(new QTcpSocket(this))
{
    m_probe->setObjectName(QStringLiteral("baseProbe"));
    connect(m_probe, &QTcpSocket::connected, this, &DatabaseWatcher::reachable);
    m_retry->setObjectName(QStringLiteral("baseRetry"));
    m_retry->setInterval(RetryMs);
    connect(m_retry, &QTimer::timeout, this, &DatabaseWatcher::look);
    m_retry->start();
}

void DatabaseWatcher::setRetryInterval(int milliseconds)
{
    m_retry->setInterval(milliseconds);
}

void DatabaseWatcher::tick()
{
    const quint16 old = m_state.Tick_count++;
    if (old + 1 < KeepAliveTicks)
        return;
    m_state.Tick_count = 0;
    // A database known to be away is looked for by look(), which does not
    // wait on an unreachable host.
    if (m_state.Base_connected)
        m_database.ping();
}

void DatabaseWatcher::stop()
{
    m_probe->abort();
}

void DatabaseWatcher::look()
{
    const DbAccount &account = m_database.account();
    if (account.login.isEmpty())
        return; // no operator's database session to bring back
    if (m_state.Base_connected) {
        emit available();
        return;
    }
    // A look still under way after a whole interval is given up for a new
    // one: a connect whose packets are dropped would otherwise wait on the
    // system's retries for minutes after the server is back.
    m_probe->abort();
    const QString host = account.host.trimmed().isEmpty() ? QStringLiteral("localhost") : account.host.trimmed();
    m_probe->connectToHost(host, account.port);
}

void DatabaseWatcher::reachable()
{
    m_probe->abort();
    if (m_state.Base_connected || m_database.account().login.isEmpty())
        return;
    m_database.ping();
    if (m_state.Base_connected)
        emit available();
}
