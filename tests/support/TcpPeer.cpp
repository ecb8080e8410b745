#include "TcpPeer.h"

TcpPeer::TcpPeer(QObject *parent)
    : QObject(parent)
{
    m_server.listen(QHostAddress::LocalHost, 0);
    m_port = m_server.serverPort();
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            const qsizetype index = m_clients.size();
            m_clients << socket;
            m_received << QByteArray();
            connect(socket, &QTcpSocket::readyRead, this, [this, socket, index] { m_received[index] += socket->readAll(); });
            if (m_closeOnAccept)
                socket->disconnectFromHost();
        }
    });
}

QTcpSocket *TcpPeer::client() const
{
    return m_clients.isEmpty() ? nullptr : m_clients.last().data();
}

QByteArray TcpPeer::received() const
{
    return m_received.isEmpty() ? QByteArray() : m_received.last();
}

void TcpPeer::clearReceived()
{
    if (!m_received.isEmpty())
        m_received.last().clear();
}

void TcpPeer::send(const QByteArray &bytes)
{
    if (QTcpSocket *socket = client()) {
        socket->write(bytes);
        socket->flush();
    }
}

void TcpPeer::closeClient()
{
    if (QTcpSocket *socket = client())
        socket->disconnectFromHost();
}
