#include "AlarmEntry.h"
#include "AlarmPanel.h"
#include "Database.h"
#include "DbProxy.h"
#include "LoggedInStation.h"
#include "ObjectList.h"
#include "Packets.h"
#include "ShownList.h"
#include "StationChecks.h"
#include "TestConnections.h"

#include <QListView>

namespace {

const QString Safe = QStringLiteral("356938035640101");  // alarm 101, armed
const QString Quiet = QStringLiteral("356938035640104"); // armed, no alarm

} // namespace

// An operator's alarm step is the object's state and his journal row,
// stored together or not at all, and what the station shows and tells the
// server follows what the database holds: through a refused row, a row held
// by another session, and answers lost with the connection. The station
// reaches its database through a relay that can lose an answer.
class TestAlarmSteps final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<DbProxy> m_proxy;
    std::unique_ptr<LoggedInStation> m_s;

    TForm1 &main() const { return m_s->main(); }

    static QString stored(const QString &imei)
    {
        return TestDatabase::value(QStringLiteral("SELECT State FROM orvex_base.objects WHERE IMEI='%1'").arg(imei));
    }

    static int rowsOf(const QString &imei, const QString &event)
    {
        return TestDatabase::value(QStringLiteral("SELECT COUNT(*) FROM orvex_base.messages WHERE IMEI='%1' AND "
                                                  "Type='Событие' AND Event='%2'")
                                       .arg(imei, event))
            .toInt();
    }

    void take(const QString &imei)
    {
        QVERIFY(ShownList::select(main().objects().OTable, imei, true));
    }

    void chooseInMenu(AlarmEntry *entry, const QString &caption)
    {
        QVERIFY2(StationChecks::chooseInMenu(main().alarms(), entry, caption), qPrintable(caption));
    }

    void expectNothingSent() { QVERIFY(StationChecks::nothingSent(main().link(), m_s->peer)); }

private slots:
    void init()
    {
        QString error;
        QVERIFY2(TestDatabase::seed(QStringLiteral(
                     "INSERT INTO orvex_base.`groups`(Name) VALUES ('Центр');"
                     "INSERT INTO orvex_base.objects(IMEI,Name,Address,Group_,State,Ohrana) VALUES "
                     "('%1','NCR','ул. Тверская, 1','Центр',101,1),"
                     "('%2','NCR','ул. Садовая, 3','Центр',2,1);")
                                        .arg(Safe, Quiet),
                                    &error),
                 qPrintable(error));
        m_proxy = std::make_unique<DbProxy>(TestDatabase::port());
        QVERIFY(m_proxy->port() != 0);
        m_s = std::make_unique<LoggedInStation>();
        LoggedInStation::Operator op;
        op.admin = false;
        op.groups = {QStringLiteral("Центр")};
        op.basePort = m_proxy->port();
        QVERIFY(m_s->logIn(op));
        m_s->peer.clearReceived();
    }

    void cleanup()
    {
        m_s.reset();
        m_proxy.reset();
    }

    // The connection goes at each point of the taking. Whatever the
    // database ends up holding, the station agrees with it: the list, the
    // entry, the packet to the server and the box; and the journal holds
    // the step's row once or not at all.
    void aLostAnswerEndsInAgreementWithTheDatabase_data()
    {
        QTest::addColumn<QByteArray>("marker");
        QTest::addColumn<DbProxy::Cut>("how");
        QTest::addColumn<bool>("storedInTheEnd");
        QTest::newRow("state sent, answer lost") << QByteArray("UPDATE orvex_base.objects") << DbProxy::Cut::AfterAnswer << false;
        QTest::newRow("row sent, answer lost") << QByteArray("INSERT INTO orvex_base.messages") << DbProxy::Cut::AfterAnswer << false;
        QTest::newRow("commit never arrives") << QByteArray("COMMIT") << DbProxy::Cut::BeforeServer << false;
        QTest::newRow("commit done, answer lost") << QByteArray("COMMIT") << DbProxy::Cut::AfterAnswer << true;
        // The server has not noticed the client gone: its session would hold
        // the object's row until it times out.
        QTest::newRow("commit lost, session lives on") << QByteArray("COMMIT") << DbProxy::Cut::ClientOnly << false;
    }

    void aLostAnswerEndsInAgreementWithTheDatabase()
    {
        QFETCH(QByteArray, marker);
        QFETCH(DbProxy::Cut, how);
        QFETCH(bool, storedInTheEnd);
        m_proxy->cutNext(marker, how);
        take(Safe);
        QVERIFY(m_proxy->hasCut());
        const QString state = stored(Safe);
        QCOMPARE(state, storedInTheEnd ? QStringLiteral("90") : QStringLiteral("101"));
        QCOMPARE(rowsOf(Safe, QStringLiteral("Тревога принята в обработку")), storedInTheEnd ? 1 : 0);
        QCOMPARE(main().objects().stateCode(Safe), state.toInt());
        QCOMPARE(main().alarms().entry(Safe) != nullptr, storedInTheEnd);
        if (storedInTheEnd) {
            QVERIFY2(m_s->dialogs().messages.isEmpty(), qPrintable(m_s->dialogs().messages.join(u'|')));
            QTRY_COMPARE(m_s->peer.received(), Packets::state(Safe, 90));
        } else {
            QCOMPARE(m_s->dialogs().messages.size(), 1);
            // Why, as the connection said it: not "no connection", which
            // the station has again by then.
            const QString message = m_s->dialogs().messages.first();
            QVERIFY2(message.startsWith(QStringLiteral("Действие не сохранено"))
                         && !message.contains(QStringLiteral("Нет соединения с базой данных")),
                     qPrintable(message));
            expectNothingSent();
        }
        // The station goes on: the next step is stored once.
        m_s->dialogs().clear();
        m_s->peer.clearReceived();
        if (!storedInTheEnd)
            take(Safe);
        QVERIFY(main().alarms().entry(Safe));
        QCOMPARE(stored(Safe), QStringLiteral("90"));
        QCOMPARE(rowsOf(Safe, QStringLiteral("Тревога принята в обработку")), 1);
        QVERIFY(m_s->dialogs().messages.isEmpty());
    }

    // The answer to the COMMIT is lost and the database cannot be asked
    // what it holds: the operator is told it is not known, nothing is shown
    // as done; when the database answers again the station finds the step
    // stored, shows it, tells the server and the operator.
    void aStepNotKnownToBeStoredIsSettledWhenTheDatabaseAnswers()
    {
        main().setBaseRetryInterval(3600 * 1000);
        m_proxy->cutNext("COMMIT", DbProxy::Cut::AfterAnswer);
        // The read-back, and the read-back sent again on a new connection.
        m_proxy->cutNext("LOCK IN SHARE MODE", DbProxy::Cut::BeforeServer);
        m_proxy->cutNext("LOCK IN SHARE MODE", DbProxy::Cut::BeforeServer);
        take(Safe);
        QCOMPARE(m_proxy->cutsWaiting(), 0);
        QCOMPARE(stored(Safe), QStringLiteral("90"));
        QCOMPARE(rowsOf(Safe, QStringLiteral("Тревога принята в обработку")), 1);
        QCOMPARE(m_s->dialogs().messages.size(), 1);
        QVERIFY2(m_s->dialogs().messages.first().contains(QStringLiteral("неизвестно")),
                 qPrintable(m_s->dialogs().messages.first()));
        QCOMPARE(main().objects().stateCode(Safe), 101);
        QVERIFY(!main().alarms().entry(Safe));
        QVERIFY(main().objects().isBehind());
        expectNothingSent();

        m_s->dialogs().clear();
        m_s->peer.clearReceived();
        main().setBaseRetryInterval(50);
        QTRY_COMPARE(m_s->dialogs().messages.size(), 1);
        QVERIFY2(m_s->dialogs().messages.first().contains(QStringLiteral("сохранено")),
                 qPrintable(m_s->dialogs().messages.first()));
        QTRY_COMPARE(m_s->peer.received(), Packets::state(Safe, 90));
        QTRY_COMPARE(main().objects().stateCode(Safe), 90);
        QTRY_VERIFY(!main().objects().isBehind());
        QCOMPARE(rowsOf(Safe, QStringLiteral("Тревога принята в обработку")), 1);
        QTest::qWait(200);
        QCOMPARE(m_s->dialogs().messages.size(), 1);
    }

    // The journal refuses the step's row: neither the state nor the row is
    // stored, nothing is announced, and the operator is told once.
    void aRefusedRowStoresNothing_data()
    {
        QTest::addColumn<bool>("processing");
        QTest::newRow("taking") << false;
        QTest::newRow("processed") << true;
    }

    void aRefusedRowStoresNothing()
    {
        QFETCH(bool, processing);
        const QString before = processing ? QStringLiteral("90") : QStringLiteral("101");
        if (processing) {
            take(Safe);
            QVERIFY(main().alarms().entry(Safe));
            QTRY_COMPARE(m_s->peer.received(), Packets::state(Safe, 90));
            m_s->peer.clearReceived();
        }
        QVERIFY(TestDatabase::exec(QStringLiteral(
            "CREATE TRIGGER orvex_base.refuse_rows BEFORE INSERT ON orvex_base.messages FOR EACH ROW "
            "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT='no rows today'")));
        const int rows = TestDatabase::value(QStringLiteral("SELECT COUNT(*) FROM orvex_base.messages")).toInt();
        if (processing)
            chooseInMenu(main().alarms().entry(Safe), QStringLiteral("Обработана"));
        else
            take(Safe);

        QCOMPARE(stored(Safe), before);
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT COUNT(*) FROM orvex_base.messages")).toInt(), rows);
        QCOMPARE(main().objects().stateCode(Safe), before.toInt());
        QCOMPARE(m_s->dialogs().messages.size(), 1);
        QVERIFY2(m_s->dialogs().messages.first().startsWith(QStringLiteral("Действие не сохранено"))
                     && m_s->dialogs().messages.first().contains(QStringLiteral("no rows today")),
                 qPrintable(m_s->dialogs().messages.first()));
        if (processing)
            QCOMPARE(main().alarms().entry(Safe)->line(4), QStringLiteral("Тревога: Открыт сейф"));
        else
            QVERIFY(!main().alarms().entry(Safe));
        expectNothingSent();
    }

    // Another session holds the object's row. The server gives up on the
    // step and says so before the station would give up on the server:
    // what the station says is then what the database holds, also after
    // the other session lets the row go.
    void aHeldRowGetsADefiniteAnswer()
    {
        Database other;
        QVERIFY(other.open(rootAccount()));
        QVERIFY(other.exec(QStringLiteral("START TRANSACTION")));
        QCOMPARE(other.value(QStringLiteral("SELECT State FROM objects WHERE IMEI='%1' FOR UPDATE").arg(Safe), nullptr),
                 Database::Lookup::Found);
        take(Safe);
        QTRY_COMPARE(m_s->dialogs().messages.size(), 1);
        QVERIFY2(m_s->dialogs().messages.first().contains(QStringLiteral("Lock wait timeout")),
                 qPrintable(m_s->dialogs().messages.first()));
        QVERIFY(other.exec(QStringLiteral("ROLLBACK")));
        QTest::qWait(500);
        QCOMPARE(stored(Safe), QStringLiteral("101"));
        QCOMPARE(rowsOf(Safe, QStringLiteral("Тревога принята в обработку")), 0);
        QCOMPARE(main().objects().stateCode(Safe), 101);
        QVERIFY(!main().alarms().entry(Safe));
        expectNothingSent();
    }
};

QTEST_MAIN(TestAlarmSteps)
#include "test_alarm_steps.moc"
