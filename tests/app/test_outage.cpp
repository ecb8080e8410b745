#include "AlarmPanel.h"
#include "Journal.h"
#include "JournalModel.h"
#include "LoggedInStation.h"
#include "ObjectList.h"
#include "Packets.h"
#include "ShownList.h"
#include "Station.h"
#include "StationState.h"

#include <QAbstractItemModel>
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
        QVERIFY2(TestDatabase::reset(&error), qPrintable(error));
        QVERIFY2(TestDatabase::exec(QStringLiteral(
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
        QVERIFY(database(QStringLiteral("stop")));

        // The server's news still reaches the operator: listed, and heard.
        m_s->peer.send(Packets::state(Quiet, 120));
        QTRY_COMPARE(captions().first(), Quiet);
        QCOMPARE(m_s->sounds.played.size(), 1);
        // The journal could not be topped up, and the indicator says so.
        QTRY_VERIFY(main().journal().isBehind());
        QVERIFY2(main().LBASE->toolTip().startsWith(QStringLiteral("Нет соединения с базой данных\n")),
                 qPrintable(main().LBASE->toolTip()));
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
        QTest::qWait(300);
        QCOMPARE(m_s->peer.connectionCount(), connections);
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

    void relinkCanBeLeftToTheOperator()
    {
        main().setRelinkInterval(0);
        const int connections = m_s->peer.connectionCount();
        m_s->peer.closeClient();
        QTRY_COMPARE(m_s->dialogs().messages, QStringList{QStringLiteral("Соединение закрыто")});
        QTest::qWait(300);
        QCOMPARE(m_s->peer.connectionCount(), connections);
        // The click still connects.
        main().SpeedButton6->click();
        QTRY_COMPARE(m_s->peer.connectionCount(), connections + 1);
    }
};

QTEST_MAIN(TestOutage)
#include "test_outage.moc"
