#pragma once

#include "RecordingSoundPlayer.h"
#include "StationFixture.h"
#include "TestConnections.h"
#include "TForm1.h"
#include "TForm3.h"
#include "TcpPeer.h"
#include "TestDatabase.h"

#include <QDebug>
#include <QLineEdit>
#include <QComboBox>
#include <QTest>
#include <QToolButton>

// A whole station logged in as an operator of the private database, with a
// TCP peer in the monitoring server's place: the account and its users row
// are created, Config.ini names the peer and the database, the login goes
// through the login window and the peer accepts it. Afterwards the boxes and
// the bytes received so far are cleared, and sounds go to a recorder.
struct LoggedInStation
{
    TcpPeer peer;
    StationFixture fixture;
    RecordingSoundPlayer sounds;

    struct Operator
    {
        QString login = QStringLiteral("Pilot");
        QString password = QStringLiteral("Pilot");
        bool admin = true;
        QStringList groups;
        QString number;
        // Where the station finds the database: 0 for the private server
        // itself, or a relay in front of it.
        quint16 basePort = 0;
        // Appended to Config.ini (sections of its own).
        QByteArray config;
        // The alarm reminder at its real pace; off unless asked for, so that
        // no reminder sounds among the sounds a test counts.
        bool repeats = false;

        static Operator named(const QString &login, const QString &password, bool admin, const QStringList &groups)
        {
            Operator op;
            op.login = login;
            op.password = password;
            op.admin = admin;
            op.groups = groups;
            return op;
        }
    };

    bool logIn(const Operator &op)
    {
        QString error;
        if (!TestDatabase::addOperator(op.login, op.password, op.admin, op.number, op.groups, &error)) {
            qWarning() << "cannot add the operator:" << error;
            return false;
        }
        fixture.writeConfig("[Connections]\nServer_address=127.0.0.1\nServer_port=" + QByteArray::number(peer.port())
                            + "\nBase_address=127.0.0.1\nBase_port="
                            + QByteArray::number(op.basePort ? op.basePort : TestDatabase::port())
                            + "\n[Users]\nCount=1\n[User0]\nLogin=" + op.login.toUtf8() + "\nPass="
                            + op.password.toUtf8() + "\n"
                            + (op.repeats || op.config.contains("[Alarms]") ? QByteArray() : "[Alarms]\nRepeat_seconds=0\n")
                            + op.config);
        Station &s = fixture.start();
        s.form1()->setSoundPlayer(&sounds);
        s.form3()->ComboBox1->setCurrentIndex(0);
        s.form3()->Edit1->setText(op.password);
        s.form3()->SpeedButton1->click();
        if (!QTest::qWaitFor([this] { return peer.received().size() == 33; }, 5000)) {
            qWarning() << "no login packet reached the peer";
            return false;
        }
        peer.clearReceived();
        peer.send(QByteArray("\xff\x01", 2));
        const QString passed = QStringLiteral("Аутентификация пройдена");
        if (!QTest::qWaitFor([this, &passed] { return fixture.dialogs.messages.contains(passed); }, 5000)) {
            qWarning() << "the login was not accepted:" << fixture.dialogs.messages;
            return false;
        }
        fixture.dialogs.clear();
        return true;
    }

    Station &station() const { return *fixture.station; }
    TForm1 &main() const { return *fixture.station->form1(); }
    StationState &state() const { return fixture.station->state(); }
    RecordingDialogs &dialogs() { return fixture.dialogs; }

    // The statements of a kind (Com_select, Com_update...) the station's own
    // connection has run so far, as the server counts them.
    int statementsRun(const char *kind = "Com_select") const { return ::statementsRun(station().database(), kind); }
};
