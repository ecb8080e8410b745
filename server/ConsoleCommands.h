#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class MonitoringServer;
class QSocketNotifier;

// Commands typed on standard input, one per line, to play the units by hand.
// The end of standard input only ends the commands, not the server: the demo
// runs it in the background with nothing on stdin.
class ConsoleCommands : public QObject
{
    Q_OBJECT

public:
    explicit ConsoleCommands(MonitoringServer &server, QObject *parent = nullptr);

    void start();
    // Runs one command line; the answer goes to stdout.
    void execute(const QString &line);

    static QString help();

private:
    void readInput();
    void print(const QString &text);

    MonitoringServer &m_server;
    QSocketNotifier *m_notifier = nullptr;
    QByteArray m_pending;
};
