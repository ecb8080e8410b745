#include "RandomAlarms.h"

#include "MonitoringServer.h"
#include "ServerDatabase.h"
#include "ServerLog.h"

#include <QRandomGenerator>
#include <QTimer>

RandomAlarms::RandomAlarms(ServerDatabase &database, MonitoringServer &server, int seconds, QObject *parent)
    : QObject(parent)
    , m_database(database)
    , m_server(server)
    , m_seconds(seconds)
    , m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &RandomAlarms::raise);
    scheduleNext();
}

void RandomAlarms::scheduleNext()
{
    // Half to one and a half times the period, so alarms do not tick like a clock.
    const qint64 period = qint64(m_seconds) * 1000;
    const qint64 delay = period / 2 + QRandomGenerator::global()->bounded(period + 1);
    m_timer->start(std::chrono::milliseconds(delay));
}

void RandomAlarms::raise()
{
    scheduleNext();
    const auto imeis = m_database.objectImeis();
    if (!imeis || imeis->isEmpty()) {
        ServerLog::write(QStringLiteral("random alarm skipped: no objects to raise it on"));
        return;
    }
    const QString imei = imeis->at(QRandomGenerator::global()->bounded(imeis->size()));
    const int code = QRandomGenerator::global()->bounded(100, 116);
    QString error;
    m_server.raiseAlarm(imei, code, &error);
}
