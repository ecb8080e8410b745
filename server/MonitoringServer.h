#pragma once

#include "ServerLog.h"
#include "UnitSimulator.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QSocketNotifier;
class QTcpSocket;
class ServerDatabase;

// Accepts the stations on 127.0.0.1, cuts what each sends into packets, logs
// the operators in against the users table and hands unit commands to the
// UnitSimulator.
class MonitoringServer : public QObject
{
    Q_OBJECT

public:
    // A connection beyond these is closed at once: far more than a network's
    // stations, and each connection holds a descriptor and some memory.
    static constexpr int DefaultMaxConnections = 1000;
    // A station sends its login as soon as it connects; a connection that has
    // not logged in by then is a stray or a port scan holding a place.
    static constexpr int DefaultAuthDeadlineMs = 10000;
    // After a failed accept (descriptors run out) the server tries again this
    // often: a second is short against a station's reconnect pace, and each
    // try that fails again costs one accept call.
    static constexpr int AcceptRetryMs = 1000;
    // Descriptors kept back from the stations and given up while accepting
    // is paused for want of them: one for a file a request needs, one more
    // for the sanitizer build, which checks a call through a pipe.
    static constexpr int ReservedDescriptors = 2;

    MonitoringServer(ServerDatabase &database, UnitSimulator &units, QObject *parent = nullptr);
    ~MonitoringServer() override;

    void setMaxConnections(int count) { m_maxConnections = count; }
    void setAuthDeadline(int milliseconds) { m_authDeadlineMs = milliseconds; }

    bool listen(quint16 port, QString *error);
    quint16 port() const;

    // Sends packet to every logged-in station; returns how many got it.
    int sendToStations(const QByteArray &packet);
    bool raiseAlarm(const QString &imei, int code, QString *error);
    QStringList describeClients() const;

private:
    struct Client {
        QTcpSocket *socket = nullptr;
        QString peer;
        QByteArray buffer; // received, not handled yet
        QString login;
        bool loggedIn = false;
        bool everLoggedIn = false; // a login was accepted once: no deadline
        bool handlingLater = false; // the rest of buffer is handled on a later turn
        bool closing = false;       // being closed: nothing more is handled or sent
        bool gone = false;          // the station has closed; dropped once buffer is handled
        qint64 discarded = 0;       // bytes of unknown packets, over the connection
        std::shared_ptr<ServerLog::Throttle> throttle;
    };

    void acceptConnections();
    void addClient(QTcpSocket *socket);
    void acceptFailed(int error);
    void acceptAgain();
    bool takeReserve();
    void releaseReserve();
    void authDeadlinePassed(QTcpSocket *socket);
    void readFrom(QTcpSocket *socket);
    void handleSome(QTcpSocket *socket);
    void closeClient(QTcpSocket *socket, const QString &reason);
    void disconnected(QTcpSocket *socket);
    void drop(QTcpSocket *socket);
    Client *find(QTcpSocket *socket);
    void handlePacket(QTcpSocket *socket, const QByteArray &packet);
    void authenticate(QTcpSocket *socket, const QByteArray &packet);
    enum class Check { Accepted, Refused, Unchecked };
    // On Accepted, account is the users row's whole login.
    Check checkPassword(const QByteArray &login, const QByteArray &password, QString *account, QString *failure);
    bool send(QTcpSocket *socket, const QByteArray &packet);
    void deliver(QTcpSocket *sender, const UnitSimulator::Replies &replies);
    void log(const QString &peer, const QString &text) const;

    ServerDatabase &m_database;
    UnitSimulator &m_units;
    int m_listener = -1;
    quint16 m_port = 0;
    QSocketNotifier *m_acceptNotifier = nullptr;
    QList<int> m_reserve;
    QList<Client> m_clients;
    int m_maxConnections = DefaultMaxConnections;
    int m_authDeadlineMs = DefaultAuthDeadlineMs;
    int m_failedAccepts = 0;   // since the last accepted connection
    qint64 m_refused = 0;      // over the limit, since start
    std::unique_ptr<ServerLog::Throttle> m_refusalLog;
};
