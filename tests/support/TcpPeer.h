#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

// A monitoring server played by the test: listens on 127.0.0.1, keeps what
// each connection sent and sends what the test tells it to.
class TcpPeer : public QObject
{
    Q_OBJECT

public:
    explicit TcpPeer(QObject *parent = nullptr);

    quint16 port() const { return m_port; }
    int connectionCount() const { return int(m_clients.size()); }
    // The latest connection, or nullptr.
    QTcpSocket *client() const;
    // Everything received on the latest connection.
    QByteArray received() const;
    void clearReceived();
    void send(const QByteArray &bytes);
    void closeClient();
    // Every connection from now on is closed as soon as it is accepted, as a
    // server (or a relay in front of it) that cannot serve would.
    void setCloseOnAccept(bool close) { m_closeOnAccept = close; }
    void stopListening() { m_server.close(); }
    // Listens on the same port again, as a restarted server would.
    bool listenAgain() { return m_server.listen(QHostAddress::LocalHost, m_port); }

private:
    QTcpServer m_server;
    quint16 m_port = 0;
    QList<QPointer<QTcpSocket>> m_clients;
    QList<QByteArray> m_received;
    bool m_closeOnAccept = false;
};
