#pragma once

#include "ServerLog.h"
#include "UnitSimulator.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QTcpServer;
class QTcpSocket;
class ServerDatabase;

// Accepts the stations on 127.0.0.1, cuts what each sends into packets, logs
// the operators in against the users table and hands unit commands to the
// UnitSimulator.
class MonitoringServer : public QObject
{
    Q_OBJECT

public:
    MonitoringServer(ServerDatabase &database, UnitSimulator &units, QObject *parent = nullptr);

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
        bool handlingLater = false; // the rest of buffer is handled on a later turn
        bool closing = false;       // being closed: nothing more is handled or sent
        bool gone = false;          // the station has closed; dropped once buffer is handled
        qint64 discarded = 0;       // bytes of unknown packets, over the connection
        std::shared_ptr<ServerLog::Throttle> throttle;
    };

    void acceptConnections();
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
    QTcpServer *m_server;
    QList<Client> m_clients;
};
