#include "Bytes.h"
#include "Packets.h"
#include "RecordingDialogs.h"
#include "ServerLink.h"
#include "StationState.h"
#include "TcpPeer.h"

#include <QSignalSpy>
#include <QTest>

namespace {

const QByteArray Imei("356938035643809");

} // namespace

class TestServerLink final : public QObject
{
    Q_OBJECT

private:
    TcpPeer *m_peer = nullptr;
    StationState *m_state = nullptr;
    ServerLink *m_link = nullptr;

    void connectLink()
    {
        const int connections = m_peer->connectionCount();
        m_link->Connect_Server();
        QTRY_COMPARE(m_peer->connectionCount(), connections + 1);
        QTRY_COMPARE(m_peer->received(), Packets::auth(m_state->Login, m_state->Password));
        QVERIFY(m_link->isActive());
    }

private slots:
    void init()
    {
        m_peer = new TcpPeer(this);
        m_state = new StationState;
        m_state->Login = QStringLiteral("Anna");
        m_state->Password = QStringLiteral("anna-1");
        m_state->Server_address = QStringLiteral("127.0.0.1");
        m_state->Server_port = m_peer->port();
        m_link = new ServerLink(*m_state, this);
    }

    void cleanup()
    {
        delete m_link;
        delete m_peer;
        delete m_state;
    }

    void reportsCarryTheirUnitAndAreReadWhole()
    {
        QVERIFY(m_peer->port() != 0);
        connectLink();
        QSignalSpy reports(m_link, &ServerLink::statusReport);
        QSignalSpy answers(m_link, &ServerLink::authAnswer);
        QSignalSpy states(m_link, &ServerLink::stateReport);

        // A report 4 bytes longer than its 20, whose tail looks like "login
        // accepted"; a report of a server that leaves the IMEI bytes zero; a
        // notification.
        m_peer->send(bytes({25}) + Imei + bytes({0x34, 0x12, 0xAB, 0, 0, 0, 255, 1}) + bytes({25}) + QByteArray(15, '\0')
                     + bytes({8, 0, 0, 0}) + Packets::state(QString::fromLatin1(Imei), 101));
        QTRY_COMPARE(states.size(), 1);
        QCOMPARE(reports.size(), 2);
        QCOMPARE(reports.at(0).at(0).toByteArray(), Imei);
        QCOMPARE(reports.at(0).at(1).value<quint32>(), quint32(0xAB1234));
        QCOMPARE(reports.at(1).at(0).toByteArray(), QByteArray(15, '\0'));
        QCOMPARE(reports.at(1).at(1).value<quint32>(), quint32(8));
        QVERIFY(answers.isEmpty());
    }

    void reconnectForgetsWhatTheOldConnectionSent()
    {
        QVERIFY(m_peer->port() != 0);
        connectLink();
        QSignalSpy answers(m_link, &ServerLink::authAnswer);
        QSignalSpy states(m_link, &ServerLink::stateReport);

        // The old server refuses the login and reports a state; the link has
        // read both but not yet handled them when the operator reconnects.
        m_peer->send(bytes({255, 2}) + Packets::state(QString::fromLatin1(Imei), 101));
        QVERIFY(m_link->Client1->waitForReadyRead(5000));
        connectLink();
        m_peer->send(bytes({255, 1}));
        QTRY_COMPARE(answers.size(), 1);
        QCOMPARE(answers.first().first().value<quint8>(), quint8(1));
        QVERIFY(states.isEmpty());
    }

    // An address that cannot be used answers each connect the operator asks
    // for, and is not said again by the relinks that follow it.
    void aBadAddressIsToldToTheOperatorNotAtEveryRelink()
    {
        RecordingDialogs dialogs;
        m_state->dialogs = &dialogs;
        m_state->Server_address = QStringLiteral("server.bank.local");
        m_link->Connect_Server();
        QCOMPARE(dialogs.messages.size(), 1);
        for (int attempt = 0; attempt < 5; ++attempt)
            m_link->relink();
        QCOMPARE(dialogs.messages.size(), 1);
        m_link->Connect_Server();
        QCOMPARE(dialogs.messages.size(), 2);
        QCOMPARE(dialogs.messages.at(1), dialogs.messages.at(0));
        // Mended: the relink connects, and a later bad address is told again.
        m_state->Server_address = QStringLiteral("127.0.0.1");
        m_link->relink();
        QTRY_VERIFY(m_link->isActive());
        m_link->Disconnect_Server();
        m_state->Server_address = QStringLiteral("10.0.0");
        m_link->relink();
        QCOMPARE(dialogs.messages.size(), 3);
        m_state->dialogs = nullptr;
    }
};

QTEST_GUILESS_MAIN(TestServerLink)
#include "test_server_link.moc"
