#include "AlarmPanel.h"
#include "Journal.h"
#include "JournalModel.h"
#include "LoggedInStation.h"
#include "ObjectList.h"
#include "PacketDrop.h"
#include "Packets.h"
#include "ServerLink.h"
#include "ShownList.h"
#include "Station.h"
#include "StationChecks.h"
#include "StationState.h"

#include <QAbstractItemModel>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QProcess>
#include <QTimer>

namespace {

const QString Safe = QStringLiteral("356938035640101");  // alarm 101
const QString Quiet = QStringLiteral("356938035640104"); // armed, no alarm
const QString North = QStringLiteral("356938035640201"); // armed, in the other group

// The private database server of the test run, stopped and started for real.
bool database(const QString &command)
{
    QProcess script;
    script.start(qEnvironmentVariable("ORVEX_SOURCE_DIR") + QStringLiteral("/scripts/db"),
                 {command, qEnvironmentVariable("ORVEX_TEST_DB_DIR")});
    if (!script.waitForFinished(120000) || script.exitStatus() != QProcess::NormalExit || script.exitCode() != 0) {
        qWarning() << "scripts/db" << command << "failed:" << script.readAllStandardError();
        return false;
    }
    return true;
}

} // namespace

// The database and the monitoring server go away under a logged-in station
// and come back: nothing the operator did is lost or shown as done, nothing
// the server announced is missed, and no click is needed to carry on.
class TestOutage final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<LoggedInStation> m_s;

    TForm1 &main() const { return m_s->main(); }

    QStringList captions() const { return ShownList::captions(main().objects().OTable); }
    void select(const QString &imei) { QVERIFY(ShownList::select(main().objects().OTable, imei, true)); }

    QString stored(const QString &imei) const
    {
        return TestDatabase::value(QStringLiteral("SELECT State FROM orvex_base.objects WHERE IMEI='%1'").arg(imei));
    }

    // The link of the logged-in operator is lost; the station is connected
    // again and has sent its login.
    void loseLinkAndAwaitRelink()
    {
        main().setRelinkInterval(50);
        const int connections = m_s->peer.connectionCount();
        m_s->peer.closeClient();
        QTRY_VERIFY(!main().link().isActive());
        QTRY_COMPARE(m_s->peer.connectionCount(), connections + 1);
        QTRY_COMPARE(m_s->peer.received(), Packets::auth(QStringLiteral("Pilot"), QStringLiteral("Pilot")));
        m_s->peer.clearReceived();
    }

    QStringList journalEvents() const
    {
        QStringList out;
        const JournalModel *model = main().journal().model();
        for (int row = 0; row < model->shownCount(); ++row)
            out << model->row(row).Event;
        return out;
    }

private slots:
    void init()
    {
        QString error;
        QVERIFY2(TestDatabase::seed(QStringLiteral(
                     "INSERT INTO orvex_base.`groups`(Name) VALUES ('Центр'),('Север');"
                     "INSERT INTO orvex_base.objects(IMEI,Name,Address,Group_,State,Ohrana) VALUES "
                     "('%1','NCR','ул. Тверская, 1','Центр',101,1),"
                     "('%2','NCR','ул. Садовая, 3','Центр',2,1),"
                     "('%3','NCR','пр. Мира, 5','Север',2,1);")
                                        .arg(Safe, Quiet, North),
                                    &error),
                 qPrintable(error));
        m_s = std::make_unique<LoggedInStation>();
        LoggedInStation::Operator op;
        op.admin = false;
        op.groups = {QStringLiteral("Центр"), QStringLiteral("Север")};
        if (qstrcmp(QTest::currentTestFunction(), "relinkCanBeLeftToTheOperator") == 0)
            op.config = "[Reconnect]\nServer_seconds=0\n";
        QVERIFY(m_s->logIn(op));
        main().setBaseRetryInterval(100);
    }

    void cleanup()
    {
        m_s.reset();
        // A failed test must not leave the other tests without a database.
        QVERIFY(database(QStringLiteral("start")));
    }

    void databaseRestartLosesNothing()
    {
        QCOMPARE(main().LBASE->toolTip(), QStringLiteral("База данных подключена"));
        QCOMPARE(StationChecks::inkOf(main().LBASE), QStringLiteral("green"));
        QVERIFY(database(QStringLiteral("stop")));

        // The server's news still reaches the operator: listed, and heard.
        m_s->peer.send(Packets::state(Quiet, 120));
        QTRY_COMPARE(captions().first(), Quiet);
        QCOMPARE(m_s->sounds.played.size(), 1);
        // The journal could not be topped up, and the indicator says so.
        QTRY_VERIFY(main().journal().isBehind());
        QVERIFY2(main().LBASE->toolTip().startsWith(QStringLiteral("Нет соединения с базой данных\n")),
                 qPrintable(main().LBASE->toolTip()));
        QCOMPARE(StationChecks::inkOf(main().LBASE), QStringLiteral("red"));
        QVERIFY(m_s->dialogs().messages.isEmpty());

        // Back: the row the server wrote for the alarm reaches the journal
        // without a click, and the indicator turns back.
        const quint16 port = TestDatabase::port();
        QVERIFY(database(QStringLiteral("start")));
        QCOMPARE(TestDatabase::port(), port);
        QVERIFY(TestDatabase::exec(QStringLiteral("INSERT INTO orvex_base.messages(IMEI,Date,Type,Event,Group_) "
                                                  "VALUES ('%1',NOW(),'Тревога','Тревога: Удар','Центр')")
                                       .arg(Quiet)));
        QTRY_VERIFY_WITH_TIMEOUT(journalEvents().contains(QStringLiteral("Тревога: Удар")), 10000);
        QTRY_COMPARE(main().LBASE->toolTip(), QStringLiteral("База данных подключена"));
        QCOMPARE(StationChecks::inkOf(main().LBASE), QStringLiteral("green"));
        QVERIFY(!main().journal().isBehind());
        QVERIFY(m_s->dialogs().messages.isEmpty());

        // And an alarm is taken again, stored and announced.
        m_s->peer.clearReceived();
        select(Safe);
        QTRY_VERIFY(main().alarms().entry(Safe));
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT State FROM orvex_base.objects WHERE IMEI='%1'").arg(Safe)),
                 QStringLiteral("90"));
        QTRY_COMPARE(m_s->peer.received(), Packets::state(Safe, 90));
    }

    void serverRestartIsFoundAgainAndTheGroupStays()
    {
        main().setRelinkInterval(50);
        main().ComboBox1->setCurrentIndex(main().ComboBox1->findText(QStringLiteral("Центр")));
        QCOMPARE(captions(), (QStringList{Safe, Quiet}));
        const int connections = m_s->peer.connectionCount();

        // The server goes away for a while: attempts fail unseen.
        m_s->peer.stopListening();
        m_s->peer.closeClient();
        QTRY_COMPARE(m_s->dialogs().messages, QStringList{QStringLiteral("Соединение закрыто")});
        const auto *relink = main().findChild<QTimer *>(QStringLiteral("relink"));
        QVERIFY(relink->isActive());
        QTest::qWait(300);
        QVERIFY(relink->isActive());
        QCOMPARE(m_s->dialogs().messages.size(), 1);

        // Meanwhile another station changed a state.
        QVERIFY(TestDatabase::exec(QStringLiteral("UPDATE orvex_base.objects SET State=120 WHERE IMEI='%1'").arg(Quiet)));
        QVERIFY(m_s->peer.listenAgain());
        QTRY_COMPARE(m_s->peer.connectionCount(), connections + 1);
        QTRY_COMPARE(m_s->peer.received(), Packets::auth(QStringLiteral("Pilot"), QStringLiteral("Pilot")));
        m_s->peer.send(QByteArray("\xff\x01", 2));

        // The same operator goes on where he was, with what changed.
        QTRY_COMPARE(captions(), (QStringList{Quiet, Safe}));
        QCOMPARE(main().ComboBox1->currentText(), QStringLiteral("Центр"));
        QCOMPARE(m_s->dialogs().messages, QStringList{QStringLiteral("Соединение закрыто")});
        QVERIFY(!main().findChild<QTimer *>(QStringLiteral("relink"))->isActive());
    }

    // The database answers but the journal cannot be read: the indicator
    // turns from green to orange and says why, until a top-up succeeds.
    void journalBehindAConnectedDatabaseIsShown()
    {
        QVERIFY(TestDatabase::exec(QStringLiteral("RENAME TABLE orvex_base.messages TO orvex_base.messages_away")));
        m_s->peer.send(Packets::state(Quiet, 120));
        QTRY_VERIFY(main().journal().isBehind());
        QVERIFY(m_s->state().Base_connected);
        QVERIFY2(main().LBASE->toolTip().startsWith(QStringLiteral("База данных подключена, журнал не обновлен:\n")),
                 qPrintable(main().LBASE->toolTip()));
        QCOMPARE(StationChecks::inkOf(main().LBASE), QStringLiteral("orange"));

        QVERIFY(TestDatabase::exec(QStringLiteral("RENAME TABLE orvex_base.messages_away TO orvex_base.messages")));
        m_s->peer.send(Packets::state(Quiet, 121));
        QTRY_VERIFY(!main().journal().isBehind());
        QTRY_COMPARE(main().LBASE->toolTip(), QStringLiteral("База данных подключена"));
        QCOMPARE(StationChecks::inkOf(main().LBASE), QStringLiteral("green"));
    }

    // The link comes back while the database is away: the login is accepted,
    // but the list, the states and the rights can only be read when the
    // database returns. Then they are, without a click.
    void relinkDuringADatabaseOutageCatchesUpWhenTheDatabaseReturns()
    {
        QVERIFY(!main().SpeedButton8->isEnabled());
        loseLinkAndAwaitRelink();
        // While the link was away another station raised an alarm, and the
        // operator was made an administrator.
        QVERIFY(TestDatabase::exec(QStringLiteral("UPDATE orvex_base.objects SET State=120 WHERE IMEI='%1';"
                                                  "UPDATE orvex_base.users SET Admin='1' WHERE Login='Pilot'")
                                       .arg(Quiet)));
        QVERIFY(database(QStringLiteral("stop")));
        m_s->peer.send(QByteArray("\xff\x01", 2));
        QTRY_VERIFY(m_s->dialogs().messages.contains(QStringLiteral("Не удается соединиться с базой данных")));
        QCOMPARE(captions().first(), Safe);

        QVERIFY(database(QStringLiteral("start")));
        QTRY_COMPARE_WITH_TIMEOUT(captions().first(), Quiet, 10000);
        QTRY_VERIFY(main().SpeedButton8->isEnabled());
        QVERIFY(main().SpeedButton3->isEnabled());
        QCOMPARE(main().LBASE->toolTip(), QStringLiteral("База данных подключена"));
        QCOMPARE(m_s->dialogs().messages, (QStringList{QStringLiteral("Соединение закрыто"),
                                                       QStringLiteral("Не удается соединиться с базой данных")}));
    }

    // A login accepted while the database is away waits for it; a link
    // lost meanwhile ends that acceptance: the database returning before the
    // server answers the next login opens nothing, and a refusal then ends
    // nothing. A loss after the link stood for a while is told again.
    void aPendingLoginWaitsForTheServersNextAnswer()
    {
        QVERIFY(TestDatabase::exec(QStringLiteral("UPDATE orvex_base.users SET Admin='1' WHERE Login='Pilot'")));
        loseLinkAndAwaitRelink();
        QVERIFY(database(QStringLiteral("stop")));
        m_s->peer.send(QByteArray("\xff\x01", 2));
        QTRY_COMPARE(m_s->dialogs().messages.size(), 2);
        // Up for longer than a passing flap, then lost again.
        QTest::qWait(500);
        const int connections = m_s->peer.connectionCount();
        m_s->peer.closeClient();
        QTRY_COMPARE(m_s->peer.connectionCount(), connections + 1);
        QTRY_COMPARE(m_s->peer.received(), Packets::auth(QStringLiteral("Pilot"), QStringLiteral("Pilot")));
        QCOMPARE(m_s->dialogs().messages,
                 (QStringList{QStringLiteral("Соединение закрыто"), QStringLiteral("Не удается соединиться с базой данных"),
                              QStringLiteral("Соединение закрыто")}));

        QVERIFY(database(QStringLiteral("start")));
        QTRY_VERIFY_WITH_TIMEOUT(m_s->state().Base_connected, 10000);
        QTest::qWait(300);
        QVERIFY(!main().SpeedButton8->isEnabled());
        const int beforeRefusal = m_s->peer.connectionCount();
        m_s->peer.send(QByteArray("\xff\x03", 2));
        QTRY_VERIFY(!main().link().isActive());
        QCOMPARE(m_s->state().Login, QStringLiteral("Pilot"));
        QCOMPARE(captions().size(), 3);
        QTRY_COMPARE(m_s->peer.connectionCount(), beforeRefusal + 1);
        QTRY_COMPARE(m_s->peer.received().size(), 33);
        m_s->peer.send(QByteArray("\xff\x01", 2));
        QTRY_VERIFY(main().SpeedButton8->isEnabled());
        QCOMPARE(m_s->dialogs().messages.size(), 3);
    }

    // "Already connected" to a relink: the server still holds the old
    // connection of this login. The operator keeps everything he has and
    // the station keeps trying until the server lets the old one go.
    void alreadyConnectedOnARelinkKeepsTheSession()
    {
        main().ComboBox1->setCurrentIndex(main().ComboBox1->findText(QStringLiteral("Центр")));
        const QStringList shown = captions();
        QCOMPARE(shown, (QStringList{Safe, Quiet}));
        loseLinkAndAwaitRelink();
        main().setRelinkInterval(500);
        const int connections = m_s->peer.connectionCount();
        m_s->peer.send(QByteArray("\xff\x03", 2));
        // The link button tells why; nothing of the session is gone.
        QTRY_VERIFY(!main().link().isActive());
        QVERIFY2(main().SpeedButton6->toolTip().contains(QStringLiteral("уже подключен")),
                 qPrintable(main().SpeedButton6->toolTip()));
        QCOMPARE(captions(), shown);
        QCOMPARE(main().ComboBox1->currentText(), QStringLiteral("Центр"));
        QCOMPARE(m_s->state().Login, QStringLiteral("Pilot"));
        // And it is tried again.
        QTRY_COMPARE(m_s->peer.connectionCount(), connections + 1);
        QTRY_COMPARE(m_s->peer.received(), Packets::auth(QStringLiteral("Pilot"), QStringLiteral("Pilot")));
        QCOMPARE(captions(), shown);
        QCOMPARE(m_s->dialogs().messages, QStringList{QStringLiteral("Соединение закрыто")});
        // Answered so for a minute, it is no longer a connection the server
        // has yet to let go: another station may hold this login. The
        // operator hears of it once, and the station keeps trying.
        main().setRelinkInterval(20);
        for (int answer = 1; answer < 15; ++answer) {
            const int before = m_s->peer.connectionCount();
            m_s->peer.send(QByteArray("\xff\x03", 2));
            QTRY_VERIFY(m_s->peer.connectionCount() > before);
            QTRY_COMPARE(m_s->peer.received().size(), 33);
        }
        QCOMPARE(m_s->dialogs().messages.size(), 2);
        QVERIFY2(m_s->dialogs().messages.last().startsWith(QStringLiteral("Данный пользователь уже подключен")),
                 qPrintable(m_s->dialogs().messages.last()));
        QCOMPARE(captions(), shown);
        QCOMPARE(m_s->state().Login, QStringLiteral("Pilot"));
        m_s->dialogs().clear();
        // The server has let go: the session goes on.
        m_s->peer.send(QByteArray("\xff\x01", 2));
        QTRY_COMPARE(main().SpeedButton6->toolTip(), QStringLiteral("Соединение установлено"));
        QCOMPARE(captions(), shown);
        QVERIFY(!main().findChild<QTimer *>(QStringLiteral("relink"))->isActive());
        QVERIFY(m_s->dialogs().messages.isEmpty());
    }

    // A server (or a relay before it) that takes each connection and drops
    // it at once: every relink ends in a lost link. The operator who comes
    // back finds one box, not one per attempt; the same for the database.
    void anOutageShowsOneBoxHoweverManyAttempts()
    {
        m_s->peer.setCloseOnAccept(true);
        const int connections = m_s->peer.connectionCount();
        main().setRelinkInterval(20);
        m_s->peer.closeClient();
        QTRY_VERIFY_WITH_TIMEOUT(m_s->peer.connectionCount() >= connections + 10, 20000);
        QCOMPARE(m_s->dialogs().messages, QStringList{QStringLiteral("Соединение закрыто")});

        // Accepted each time while the database is away.
        QVERIFY(database(QStringLiteral("stop")));
        main().setRelinkInterval(200);
        m_s->peer.setCloseOnAccept(false);
        for (int attempt = 0; attempt < 10; ++attempt) {
            const int before = m_s->peer.connectionCount();
            QTRY_VERIFY(m_s->peer.connectionCount() > before);
            QTRY_COMPARE(m_s->peer.received().size(), 33);
            m_s->peer.send(QByteArray("\xff\x01", 2));
            m_s->peer.closeClient();
            QTRY_VERIFY(!main().link().isActive());
        }
        QCOMPARE(m_s->dialogs().messages, (QStringList{QStringLiteral("Соединение закрыто"),
                                                       QStringLiteral("Не удается соединиться с базой данных")}));
    }

    // A group chosen while the database is away cannot be listed: the list
    // says which group it still shows, and the chosen one is listed as soon
    // as the database returns.
    void groupChosenDuringAnOutageIsListedWhenTheDatabaseReturns()
    {
        main().ComboBox1->setCurrentIndex(main().ComboBox1->findText(QStringLiteral("Центр")));
        QCOMPARE(captions(), (QStringList{Safe, Quiet}));
        QVERIFY(database(QStringLiteral("stop")));
        main().ComboBox1->setCurrentIndex(main().ComboBox1->findText(QStringLiteral("Север")));
        auto *notice = main().objects().findChild<QLabel *>(QStringLiteral("ListNotice"));
        QVERIFY(notice);
        QTRY_VERIFY(notice->isVisible());
        QVERIFY2(notice->text().contains(QStringLiteral("Центр")) && notice->text().contains(QStringLiteral("Север")),
                 qPrintable(notice->text()));
        QVERIFY(database(QStringLiteral("start")));
        QTRY_COMPARE_WITH_TIMEOUT(captions(), QStringList{North}, 10000);
        QVERIFY(!notice->isVisible());
        QVERIFY(m_s->dialogs().messages.isEmpty());
    }

    // The server's machine is gone without a word (powered off, or a
    // firewall forgot the connection): no packet passes either way. The
    // station sees the link dead on its own, says so, and relinks once
    // packets pass again.
    void aSilentlyDeadLinkIsSeenAndRelinked()
    {
        PacketDrop drop(m_s->peer.port());
        QString why;
        if (!drop.start(&why))
            QSKIP(qPrintable(QStringLiteral("cannot drop packets here: ") + why));
        main().setRelinkInterval(200);
        const int connections = m_s->peer.connectionCount();
        QElapsedTimer seen;
        seen.start();
        QTRY_VERIFY_WITH_TIMEOUT(!main().link().isActive(), 45000);
        QVERIFY2(seen.elapsed() <= 45000, qPrintable(QString::number(seen.elapsed())));
        QCOMPARE(main().SpeedButton6->toolTip(), QStringLiteral("Нет соединения"));
        QCOMPARE(m_s->dialogs().messages, QStringList{QStringLiteral("Соединение закрыто")});
        QTest::qWait(1000);
        drop.stop();
        QTRY_COMPARE_WITH_TIMEOUT(m_s->peer.connectionCount(), connections + 1, 20000);
        QTRY_COMPARE(m_s->peer.received(), Packets::auth(QStringLiteral("Pilot"), QStringLiteral("Pilot")));
        m_s->peer.send(QByteArray("\xff\x01", 2));
        QTRY_COMPARE(main().SpeedButton6->toolTip(), QStringLiteral("Соединение установлено"));
        QCOMPARE(m_s->peer.connectionCount(), connections + 1);
    }

    // Config.ini's Server_seconds=0 (see init): a lost link stays lost until
    // the operator's click.
    void relinkCanBeLeftToTheOperator()
    {
        const int connections = m_s->peer.connectionCount();
        m_s->peer.closeClient();
        QTRY_COMPARE(m_s->dialogs().messages, QStringList{QStringLiteral("Соединение закрыто")});
        // Nothing is set to try again (a wait shorter than the 5 s default
        // interval could not tell).
        QVERIFY(!main().findChild<QTimer *>(QStringLiteral("relink"))->isActive());
        QTest::qWait(300);
        QCOMPARE(m_s->peer.connectionCount(), connections);
        // The click still connects.
        main().SpeedButton6->click();
        QTRY_COMPARE(m_s->peer.connectionCount(), connections + 1);
    }
};

QTEST_MAIN(TestOutage)
#include "test_outage.moc"
