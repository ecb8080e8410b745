#include "AlarmEntry.h"
#include "CentreObjects.h"
#include "Database.h"
#include "AlarmPanel.h"
#include "Journal.h"
#include "LoggedInStation.h"
#include "MonitoringSession.h"
#include "ObjectList.h"
#include "ObjectListModel.h"
#include "Packets.h"
#include "ServerLink.h"
#include "ShownList.h"
#include "StationChecks.h"
#include "Station.h"
#include "TForm1.h"
#include "TForm6.h"
#include "TestDatabase.h"

#include <QAbstractItemModel>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QPushButton>
#include <QFrame>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

using namespace CentreObjects;

} // namespace

// The operator's work through the real main window: the list after login,
// notifications, and an alarm from its opening to its closing, with the
// journal, the database and a TCP peer in the server's place.
class TestMonitoring final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<LoggedInStation> m_s;

    TForm1 *main() const { return &m_s->main(); }
    QAbstractItemModel *list() const { return main()->objects().OTable->model(); }

    QStringList captions() const { return ShownList::captions(main()->objects().OTable); }
    void select(const QString &imei) { QVERIFY(ShownList::select(main()->objects().OTable, imei)); }

    QString stored(const QString &imei, const QString &column) const
    {
        return TestDatabase::value(QStringLiteral("SELECT %1 FROM orvex_base.objects WHERE IMEI='%2'").arg(column, imei));
    }

    QStringList journal(const QString &imei) const
    {
        QStringList out;
        for (const QStringList &row : TestDatabase::rows(
                 QStringLiteral("SELECT Event FROM orvex_base.messages WHERE IMEI='%1' AND Type='Событие' ORDER BY Date").arg(imei)))
            out << row.at(0);
        return out;
    }

    void expectNothingSent() { QVERIFY(StationChecks::nothingSent(main()->link(), m_s->peer)); }

    void chooseInMenu(AlarmEntry *entry, const QString &caption)
    {
        QVERIFY2(StationChecks::chooseInMenu(main()->alarms(), entry, caption), qPrintable(caption));
    }

private slots:
    void init()
    {
        QString error;
        QVERIFY2(TestDatabase::seed(CentreObjects::seed()
                                        + QStringLiteral("INSERT INTO orvex_base.text_mes(Text) VALUES "
                                                         "('Выезд группы'),('Закрыть'),('Выезд & осмотр');"),
                                    &error),
                 qPrintable(error));
        m_s = std::make_unique<LoggedInStation>();
        LoggedInStation::Operator op;
        op.groups = {QStringLiteral("Центр")};
        QVERIFY(m_s->logIn(op));
    }

    void cleanup() { m_s.reset(); }

    void listAfterLoginAndLiveNotifications()
    {
        QCOMPARE(captions(), (QStringList{Disarmed, Safe, Taken, Quiet}));
        QCOMPARE(main()->Panel4->width(), 1);

        // A notification moves the object to the top with the alarm sound.
        m_s->peer.send(Packets::state(Quiet, 120));
        QTRY_COMPARE(captions().first(), Quiet);
        QCOMPARE(m_s->sounds.played, QStringList{m_s->fixture.dir.filePath(QStringLiteral("alarm.wav"))});
        // The sound switch silences the next one.
        main()->SpeedButton1->click();
        m_s->peer.send(Packets::state(Quiet, 1));
        QTRY_COMPARE(captions().last(), Quiet);
        QCOMPARE(m_s->sounds.played.size(), 1);
        QCOMPARE(main()->SpeedButton1->toolTip(), QStringLiteral("Звуковое оповещение выключено"));
        // Nothing of it went to the database.
        QCOMPARE(stored(Quiet, QStringLiteral("State")), QStringLiteral("2"));
    }

    void alarmIsTakenCommentedProcessedAndClosed()
    {
        select(Safe);
        AlarmPanel &alarms = main()->alarms();
        QTRY_VERIFY(alarms.entry(Safe));
        AlarmEntry *entry = alarms.entry(Safe);
        QCOMPARE(entry->line(0), QStringLiteral("Адрес: ул. Тверская, 1"));
        QCOMPARE(entry->line(1), QStringLiteral("Уточнение: холл"));
        QCOMPARE(entry->line(2), QStringLiteral("Контакт: Иванов"));
        QCOMPARE(entry->line(3), QStringLiteral("Тел.: 8916"));
        QCOMPARE(entry->line(4), QStringLiteral("Тревога: Открыт сейф"));
        QCOMPARE(main()->Panel4->width(), MonitoringSession::ColumnWidth);
        QCOMPARE(stored(Safe, QStringLiteral("State")), QStringLiteral("90"));
        QCOMPARE(journal(Safe), QStringList{QStringLiteral("Тревога принята в обработку")});
        QTRY_COMPARE(m_s->peer.received(), Packets::state(Safe, 90));
        // The journal below shows the object's new row, newest first.
        QTRY_COMPARE(main()->journal().StringGrid1->model()->index(0, 3).data().toString(), QStringLiteral("Тревога принята в обработку"));

        // Selecting it again opens nothing and changes nothing.
        main()->objects().OTable->clearSelection();
        select(Safe);
        QCOMPARE(alarms.entries().size(), 1);
        QCOMPARE(journal(Safe).size(), 1);

        m_s->peer.clearReceived();
        chooseInMenu(entry, QStringLiteral("Выезд группы"));
        QCOMPARE(entry->line(4), QStringLiteral("Выезд группы"));
        QCOMPARE(journal(Safe).last(), QStringLiteral("Выезд группы"));
        QCOMPARE(stored(Safe, QStringLiteral("State")), QStringLiteral("90"));

        // A canned text named like the fixed item only comments, silently.
        chooseInMenu(entry, QStringLiteral("Закрыть"));
        QVERIFY(alarms.entry(Safe));
        QCOMPARE(entry->line(4), QStringLiteral("Закрыть"));
        QCOMPARE(journal(Safe).size(), 2);

        // "Обработана" acts on the entry's own object, whatever is selected.
        select(Quiet);
        chooseInMenu(entry, QStringLiteral("Обработана"));
        QCOMPARE(stored(Safe, QStringLiteral("State")), QStringLiteral("2"));
        QCOMPARE(journal(Safe).last(), QStringLiteral("Тревога обработана"));
        QTRY_VERIFY(m_s->peer.received().endsWith(Packets::state(Safe, 2)));
        QVERIFY(m_s->peer.received().contains(Packets::state(Safe, 2)));
        QCOMPARE(alarms.entries().size(), 1);

        // The fixed "Закрыть" removes the entry and folds the column.
        m_s->peer.clearReceived();
        const int rows = int(journal(Safe).size());
        const QList<QAction *> actions = alarms.PopupMenu1->actions();
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), entry->mapToGlobal(QPoint(5, 5)));
        QCoreApplication::sendEvent(entry, &event);
        alarms.PopupMenu1->hide();
        actions.at(1)->trigger();
        QTRY_VERIFY(alarms.entries().isEmpty());
        QCOMPARE(main()->Panel4->width(), 1);
        QCOMPARE(journal(Safe).size(), rows);
        expectNothingSent();
    }

    void processedDisarmedObjectGoesBackToDisarmed()
    {
        select(Disarmed);
        QTRY_VERIFY(main()->alarms().entry(Disarmed));
        AlarmEntry *entry = main()->alarms().entry(Disarmed);
        QCOMPARE(entry->line(4), QStringLiteral("Тревога: Объект не отвечает"));
        chooseInMenu(entry, QStringLiteral("Обработана"));
        QCOMPARE(stored(Disarmed, QStringLiteral("State")), QStringLiteral("1"));
    }

    void storedProcessingIsTakenAgainWithoutANewRow()
    {
        select(Taken);
        QTRY_VERIFY(main()->alarms().entry(Taken));
        QCOMPARE(main()->alarms().entry(Taken)->line(4), QStringLiteral("Тревога: Принята в обработку"));
        QVERIFY(journal(Taken).isEmpty());
        QCOMPARE(stored(Taken, QStringLiteral("State")), QStringLiteral("90"));
        QTRY_COMPARE(m_s->peer.received(), Packets::state(Taken, 90));
    }

    void cardFollowsTheServerAnswers()
    {
        const int row = int(captions().indexOf(Quiet));
        // The icon view lays its items out from the event loop.
        QTRY_VERIFY(main()->objects().OTable->visualRect(list()->index(row, 0)).isValid());
        const QRect rect = main()->objects().OTable->visualRect(list()->index(row, 0));
        // As the operator does it: a click selects, a double click opens.
        QTest::mouseClick(main()->objects().OTable->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseDClick(main()->objects().OTable->viewport(), Qt::LeftButton, {}, rect.center());
        TForm6 *card = m_s->station().form6();
        QTRY_VERIFY(card->isVisible());
        // Offscreen there is no window manager to activate it.
        QEvent activate(QEvent::WindowActivate);
        QCoreApplication::sendEvent(card, &activate);
        QTRY_COMPARE(card->shownImei(), Quiet);
        QCOMPARE(card->Label24->text(), QStringLiteral("На охране"));

        m_s->peer.clearReceived();
        card->SpeedButton2->click();
        QTRY_COMPARE(m_s->peer.received(), Packets::command(Quiet, Packets::Guard, QByteArray(1, '\0')));
        // The unit's answer comes back as a notification and reaches the card.
        m_s->peer.send(Packets::state(Quiet, 1));
        QTRY_COMPARE(card->Label24->text(), QStringLiteral("Снят с охраны"));
        // A reload of the list's states reaches the card too.
        QVERIFY(TestDatabase::exec(QStringLiteral("UPDATE orvex_base.objects SET State=2 WHERE IMEI='%1'").arg(Quiet)));
        main()->objects().Load_States();
        QCOMPARE(card->Label24->text(), QStringLiteral("На охране"));
        // Another object's alarm leaves the card's text alone.
        m_s->peer.send(Packets::state(Safe, 120));
        QTRY_COMPARE(captions().first(), Safe);
        QCOMPARE(card->Label24->text(), QStringLiteral("На охране"));
    }

    void periodIsTheLastDayFromTheLogin()
    {
        // Logged in just now: the first load must not reach back years.
        const QDateTime now = QDateTime::currentDateTime();
        const MonitoringSession &session = main()->session();
        QVERIFY2(session.periodStart() > now.addDays(-1).addSecs(-600) && session.periodStart() <= now.addDays(-1),
                 qPrintable(session.periodStart().toString()));
        QVERIFY(session.periodEnd() <= now && session.periodEnd() > now.addSecs(-600));
        QCOMPARE(main()->journal().StartDate->dateTime(), session.periodStart());
    }

    void processedWithoutAGuardFlagChangesNothing()
    {
        select(Safe);
        QTRY_VERIFY(main()->alarms().entry(Safe));
        AlarmEntry *entry = main()->alarms().entry(Safe);
        QTRY_COMPARE(m_s->peer.received(), Packets::state(Safe, 90));
        m_s->peer.clearReceived();
        const QStringList rows = journal(Safe);
        QVERIFY(TestDatabase::exec(QStringLiteral("ALTER TABLE orvex_base.objects MODIFY Ohrana TINYINT UNSIGNED NULL")));
        QVERIFY(TestDatabase::exec(QStringLiteral("UPDATE orvex_base.objects SET Ohrana=NULL WHERE IMEI='%1'").arg(Safe)));
        chooseInMenu(entry, QStringLiteral("Обработана"));
        // Neither "disarmed" nor anything else: told, and still in processing.
        QCOMPARE(m_s->dialogs().messages.size(), 1);
        QVERIFY2(m_s->dialogs().messages.first().contains(Safe), qPrintable(m_s->dialogs().messages.first()));
        QCOMPARE(stored(Safe, QStringLiteral("State")), QStringLiteral("90"));
        QCOMPARE(journal(Safe), rows);
        QCOMPARE(entry->line(4), QStringLiteral("Тревога: Открыт сейф"));
        QCOMPARE(main()->objects().stateCode(Safe), 90);
        expectNothingSent();
    }

    // Taking an alarm that the database cannot store is refused: one plain
    // box, the alarm stays as it was, and no station hears of a change.
    void alarmStepWithTheDatabaseDownChangesNothing()
    {
        m_s->station().database().close();
        m_s->peer.clearReceived();
        select(Safe);
        QTRY_COMPARE(m_s->dialogs().messages.size(), 1);
        QVERIFY2(m_s->dialogs().messages.first().startsWith(QStringLiteral("Действие не сохранено")),
                 qPrintable(m_s->dialogs().messages.first()));
        QVERIFY(!main()->alarms().entry(Safe));
        QCOMPARE(main()->objects().stateCode(Safe), 101);
        QCOMPARE(stored(Safe, QStringLiteral("State")), QStringLiteral("101"));
        expectNothingSent();
    }

    // A comment or "Обработана" that the database refuses is not shown as
    // done: the entry keeps its line, the state stays, no station hears.
    void refusedCommentAndProcessingLeaveTheEntryAsItWas()
    {
        select(Safe);
        QTRY_VERIFY(main()->alarms().entry(Safe));
        AlarmEntry *entry = main()->alarms().entry(Safe);
        QTRY_COMPARE(m_s->peer.received(), Packets::state(Safe, 90));
        m_s->peer.clearReceived();
        const QStringList rows = journal(Safe);
        QVERIFY(TestDatabase::exec(QStringLiteral(
            "CREATE TRIGGER orvex_base.refuse_rows BEFORE INSERT ON orvex_base.messages FOR EACH ROW "
            "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT='no rows today';"
            "CREATE TRIGGER orvex_base.refuse_states BEFORE UPDATE ON orvex_base.objects FOR EACH ROW "
            "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT='no states today'")));

        chooseInMenu(entry, QStringLiteral("Выезд группы"));
        QTRY_COMPARE(m_s->dialogs().messages.size(), 1);
        QVERIFY2(m_s->dialogs().messages.first().contains(QStringLiteral("no rows today")),
                 qPrintable(m_s->dialogs().messages.first()));
        QCOMPARE(entry->line(4), QStringLiteral("Тревога: Открыт сейф"));

        m_s->dialogs().clear();
        chooseInMenu(entry, QStringLiteral("Обработана"));
        QTRY_COMPARE(m_s->dialogs().messages.size(), 1);
        QVERIFY2(m_s->dialogs().messages.first().startsWith(QStringLiteral("Действие не сохранено")),
                 qPrintable(m_s->dialogs().messages.first()));
        QCOMPARE(entry->line(4), QStringLiteral("Тревога: Открыт сейф"));
        QCOMPARE(main()->objects().stateCode(Safe), 90);
        QCOMPARE(stored(Safe, QStringLiteral("State")), QStringLiteral("90"));
        QCOMPARE(journal(Safe), rows);
        expectNothingSent();
    }

    void databaseTextIsShownAsWritten()
    {
        QVERIFY(TestDatabase::exec(
            QStringLiteral("UPDATE orvex_base.objects SET Address='<b>ул.</b> Тверская & Co' WHERE IMEI='%1'").arg(Safe)));
        select(Safe);
        QTRY_VERIFY(main()->alarms().entry(Safe));
        AlarmEntry *entry = main()->alarms().entry(Safe);
        QCOMPARE(entry->line(0), QStringLiteral("Адрес: <b>ул.</b> Тверская & Co"));
        const QList<QLabel *> labels = entry->findChildren<QLabel *>();
        QVERIFY(!labels.isEmpty());
        for (const QLabel *label : labels)
            QCOMPARE(label->textFormat(), Qt::PlainText);

        // A "&" of a canned text is no mnemonic, and the comment keeps it.
        chooseInMenu(entry, QStringLiteral("Выезд & осмотр"));
        QCOMPARE(entry->line(4), QStringLiteral("Выезд & осмотр"));
        QCOMPARE(journal(Safe).last(), QStringLiteral("Выезд & осмотр"));
    }

    // The monitoring server restarts: the station connects again by itself,
    // logs in as the same operator and reads the states it may have missed.
    void lostServerIsFoundAgainWithoutAClick()
    {
        main()->setRelinkInterval(50);
        const int connections = m_s->peer.connectionCount();
        m_s->peer.closeClient();
        QTRY_COMPARE(m_s->dialogs().messages, QStringList{QStringLiteral("Соединение закрыто")});
        QTRY_COMPARE(m_s->peer.connectionCount(), connections + 1);
        QTRY_COMPARE(m_s->peer.received(), Packets::auth(QStringLiteral("Pilot"), QStringLiteral("Pilot")));
        QVERIFY(TestDatabase::exec(QStringLiteral("UPDATE orvex_base.objects SET State=120 WHERE IMEI='%1'").arg(Quiet)));
        m_s->peer.send(QByteArray("\xff\x01", 2));
        QTRY_COMPARE(captions().first(), Quiet);
        // Connected again, it tries nothing more.
        const auto *relink = main()->findChild<QTimer *>(QStringLiteral("relink"));
        QVERIFY(relink);
        QVERIFY(!relink->isActive());
        QCOMPARE(m_s->peer.connectionCount(), connections + 1);
    }

    void quietObjectOpensNoAlarm()
    {
        select(Quiet);
        expectNothingSent();
        QVERIFY(main()->alarms().entries().isEmpty());
        QCOMPARE(main()->Panel4->width(), 1);
    }
};

QTEST_MAIN(TestMonitoring)
#include "test_monitoring.moc"
