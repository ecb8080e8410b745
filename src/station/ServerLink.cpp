#include "ServerLink.h"

#include "Dialogs.h"
#include "ServerAddress.h"
#include "StationState.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>
#include <QWidget>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace {

const QString BadAddress = QStringLiteral("server-address");

} // namespace

ServerLink::ServerLink(StationState &state, QObject *parent)
    : QObject(parent)
    , Client1(new QTcpSocket(this))
    , m_state(state)
{
    Client1->setObjectName(QStringLiteral("Client1"));
    connect(Client1, &QTcpSocket::connected, this, &ServerLink::Client1Connect);
    connect(Client1, &QTcpSocket::readyRead, this, &ServerLink::Client1Read);
    connect(Client1, &QTcpSocket::disconnected, this, &ServerLink::Client1Disconnect);
    connect(Client1, &QTcpSocket::errorOccurred, this, &ServerLink::Client1Error);
    m_connectDeadline = new QTimer(this);
    m_connectDeadline->setObjectName(QStringLiteral("connectDeadline"));
    m_connectDeadline->setSingleShot(true);
    m_connectDeadline->setInterval(ConnectTimeoutMs);
    connect(m_connectDeadline, &QTimer::timeout, this, [this] {
        if (!m_active && Client1->state() != QAbstractSocket::UnconnectedState)
            Client1->abort();
    });
}

bool ServerLink::Connect_Server()
{
    // An active link is closed first; a connect attempt still pending is
    // given up for the new one.
    Disconnect_Server();
    if (addressProblem(false))
        return m_active;
    Client1->connectToHost(QHostAddress(m_state.Server_address.trimmed()), m_state.Server_port);
    m_connectDeadline->start();
    return m_active;
}

void ServerLink::relink()
{
    if (m_active || Client1->state() != QAbstractSocket::UnconnectedState)
        return;
    if (addressProblem(true))
        return;
    m_framer.resetStream();
    Client1->connectToHost(QHostAddress(m_state.Server_address.trimmed()), m_state.Server_port);
    m_connectDeadline->start();
}

bool ServerLink::addressProblem(bool once)
{
    // A connect to anything but a dotted IPv4 address could only fail unseen,
    // and the operator would wait for a login answer that never comes.
    const QString problem = ServerAddress::problem(m_state.Server_address.trimmed());
    if (!m_state.dialogs)
        return !problem.isEmpty();
    if (problem.isEmpty()) {
        m_state.dialogs->settle(BadAddress);
        return false;
    }
    // The operator's own connect is answered each time; the relink that
    // follows it does not say it again.
    if (!once)
        m_state.dialogs->settle(BadAddress);
    m_state.dialogs->notice(m_messageParent, BadAddress, problem);
    return true;
}

void ServerLink::Disconnect_Server()
{
    m_connectDeadline->stop();
    Client1->abort();
    // abort() reports the loss through disconnected(); make sure the
    // disconnect handling ran exactly once even where it did not.
    if (m_active)
        Client1Disconnect();
    // Packets read from the old connection but not yet handled belong to the
    // session that has just ended: an answer from it must not pass for the
    // next login's answer.
    m_framer.resetStream();
}

void ServerLink::keepAlive()
{
    Client1->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    const auto socket = int(Client1->socketDescriptor());
    if (socket < 0)
        return;
    // Where the system refuses one of these, the link still works; it is
    // only noticed dead later.
    const int idle = KeepAliveIdleSeconds;
    const int interval = KeepAliveIntervalSeconds;
    const int probes = KeepAliveProbes;
    const unsigned int unacknowledged = UnacknowledgedTimeoutMs;
    setsockopt(socket, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    setsockopt(socket, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    setsockopt(socket, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
    setsockopt(socket, IPPROTO_TCP, TCP_USER_TIMEOUT, &unacknowledged, sizeof unacknowledged);
}

qint64 ServerLink::Send_Packet(const QByteArray &packet)
{
    if (!m_active)
        return 0;
    return Client1->write(packet);
}

void ServerLink::Send_Command(const QString &imei, quint8 code, const QByteArray &data)
{
    Send_Packet(Packets::command(imei, code, data));
}

void ServerLink::Send_State(const QString &imei, quint8 code)
{
    Send_Packet(Packets::state(imei, code));
}

void ServerLink::Client1Connect()
{
    m_connectDeadline->stop();
    keepAlive();
    m_active = true;
    m_framer.resetStream();
    Send_Packet(Packets::auth(m_state.Login, m_state.Password));
    emit linkStateChanged(true);
}

void ServerLink::Client1Read()
{
    m_framer.append(Client1->readAll());
    // Packets are handled from the event loop, not inside readyRead: a message
    // box shown while handling one keeps the loop running, and the socket does
    // not report new data to a readyRead handler that has not returned yet.
    if (!m_dispatchQueued) {
        m_dispatchQueued = true;
        QMetaObject::invokeMethod(this, &ServerLink::dispatchPackets, Qt::QueuedConnection);
    }
}

void ServerLink::dispatchPackets()
{
    // A burst of notifications is handled in slices, so that the clock, the
    // painting and the operator get their turn in between; nothing is dropped
    // and the order stays that of arrival.
    m_dispatchQueued = false;
    QElapsedTimer slice;
    slice.start();
    while (m_framer.hasPacket()) {
        if (slice.elapsed() >= SliceMilliseconds) {
            if (!m_dispatchQueued) {
                m_dispatchQueued = true;
                QMetaObject::invokeMethod(this, &ServerLink::dispatchPackets, Qt::QueuedConnection);
            }
            return;
        }
        Analyse_data(m_framer.takePacket());
    }
}

void ServerLink::Analyse_data(const QByteArray &packet)
{
    switch (quint8(packet.at(0))) {
    case Packets::State:
        emit stateReport(Packets::imeiOf(packet), Packets::stateCodeOf(packet));
        break;
    case Packets::StatusReport:
        emit statusReport(Packets::imeiFieldOf(packet), Packets::statusWordOf(packet));
        break;
    case Packets::AuthAnswer:
        emit authAnswer(Packets::answerCodeOf(packet));
        break;
    default:
        break;
    }
}

void ServerLink::Client1Disconnect()
{
    if (!m_active)
        return;
    m_active = false;
    emit linkStateChanged(false);
    emit linkClosed();
}

void ServerLink::Client1Error(QAbstractSocket::SocketError)
{
    // Failed connects, sends and receives are not reported; an error on an
    // open link closes it, and that is reported as a closed link.
    if (m_active && Client1->state() == QAbstractSocket::UnconnectedState)
        Client1Disconnect();
}
