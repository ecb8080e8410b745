#pragma once

#include "Packets.h"

#include <QAbstractSocket>
#include <QObject>

class QTcpSocket;
class QTimer;
class QWidget;
struct StationState;

// The one TCP link to the monitoring server. Its socket events arrive on the
// GUI thread; what a packet means to the windows is told through signals,
// which the main window connects to the parts that handle them.
class ServerLink : public QObject
{
    Q_OBJECT

public:
    explicit ServerLink(StationState &state, QObject *parent = nullptr);
    // The window the link's own messages (a bad server address) belong to.
    void setMessageParent(QWidget *window) { m_messageParent = window; }

    // Closes an active link (running the disconnect handling), then opens a new
    // one to the configured address and port. Returns whether the link is
    // active right after the call.
    bool Connect_Server();
    // A connect of the station's own (the relink timer): an address that
    // cannot be used is told once, not at every attempt, and an attempt
    // still under way is left to finish.
    void relink();
    // Closes the link, running the disconnect handling once; what was read
    // from it and not handled yet goes with it.
    void Disconnect_Server();
    // The link counts as active from its connect event to its disconnect event.
    bool isActive() const { return m_active; }

    qint64 Send_Packet(const QByteArray &packet);
    void Send_Command(const QString &imei, quint8 code, const QByteArray &data = {});
    void Send_State(const QString &imei, quint8 code);

    QTcpSocket *Client1 = nullptr;

signals:
    void linkStateChanged(bool connected);
    // The link closed, whoever closed it.
    void linkClosed();
    void authAnswer(quint8 code);
    void stateReport(const QString &imei, quint8 code);
    // Bytes 1-15 of the report as they came (the unit's IMEI, or zero bytes
    // from a server that leaves them empty) and the status word.
    void statusReport(const QByteArray &imeiField, quint32 statusWord);

private:
    void Client1Connect();
    void Client1Read();
    void Client1Disconnect();
    void Client1Error(QAbstractSocket::SocketError error);
    void dispatchPackets();
    void Analyse_data(const QByteArray &packet);

    StationState &m_state;
    // How long packets are handled before the event loop gets its turn.
    static constexpr qint64 SliceMilliseconds = 20;

public:
    // A server that does not answer a connect within this time is given up
    // for the next attempt: a connect whose packets are dropped would
    // otherwise wait on the system's retries for minutes.
    static constexpr int ConnectTimeoutMs = 10000;
    // The protocol has no heartbeat: the system's keep-alive probes an idle
    // link after KeepAliveIdleSeconds, every KeepAliveIntervalSeconds, and
    // gives up after KeepAliveProbes unanswered ones; data sent and not
    // acknowledged within UnacknowledgedTimeoutMs closes the link as well.
    // A dead link is seen within about 30 s.
    static constexpr int KeepAliveIdleSeconds = 10;
    static constexpr int KeepAliveIntervalSeconds = 5;
    static constexpr int KeepAliveProbes = 4;
    static constexpr int UnacknowledgedTimeoutMs = 30000;

private:
    bool addressProblem(bool once);
    void keepAlive();

    PacketFramer m_framer;
    bool m_active = false;
    bool m_dispatchQueued = false;
    QWidget *m_messageParent = nullptr;
    QTimer *m_connectDeadline = nullptr;
};
