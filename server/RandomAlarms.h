#pragma once

#include <QObject>

class MonitoringServer;
class ServerDatabase;
class QTimer;

// Every so often a random object raises a random alarm, so a station left
// running against the development server has something to handle.
class RandomAlarms : public QObject
{
    Q_OBJECT

public:
    RandomAlarms(ServerDatabase &database, MonitoringServer &server, int seconds, QObject *parent = nullptr);

private:
    void scheduleNext();
    void raise();

    ServerDatabase &m_database;
    MonitoringServer &m_server;
    int m_seconds;
    QTimer *m_timer;
};
