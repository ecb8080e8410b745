#include "Database.h"
#include "Journal.h"
#include "MonitoringSession.h"
#include "ListStation.h"
#include "ObjectList.h"
#include "ObjectListModel.h"
#include "OperatorRights.h"
#include "RecordingDialogs.h"
#include "ServerLink.h"
#include "StationState.h"
#include "TcpPeer.h"
#include "TestDatabase.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QHelpEvent>
#include <QListView>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>

#include <memory>

namespace {

const QString Imei1 = QStringLiteral("356938035643801"); // Центр, armed
const QString Imei2 = QStringLiteral("356938035643802"); // Центр, safe opened
const QString Imei3 = QStringLiteral("356938035643803"); // Север, not connected
const QString Imei4 = QStringLiteral("356938035643804"); // Юг, disarmed
const QString Imei5 = QStringLiteral("356938035643805"); // no group, in processing
const QString All = QStringLiteral("Все");

QByteArray command(const QString &imei, std::initializer_list<int> tail)
{
    QByteArray bytes(1, char(10));
    bytes += imei.toLatin1();
    for (int b : tail)
        bytes += char(b);
    return bytes;
}

// The object list of a logged-in station, with its selector and period.
struct Rig : ListStation
{
    QComboBox *ComboBox1 = nullptr;
    QDateTimeEdit *StartDate = nullptr;
    QDateTimeEdit *EndDate = nullptr;

    Database &database() const { return s.station().database(); }
    int selectsRun() const { return s.statementsRun(); }

    // Logs in as the operator (created here): the login fills the list.
    bool logIn(const QString &login, bool admin, const QStringList &groups)
    {
        if (!logInAs(LoggedInStation::Operator::named(login, QStringLiteral("secret"), admin, groups)))
            return false;
        TForm1 &main = s.main();
        ComboBox1 = main.ComboBox1;
        StartDate = main.journal().StartDate;
        EndDate = main.journal().EndDate;
        main.show();
        return QTest::qWaitForWindowExposed(&main);
    }

    int rowOf(const QString &imei) const { return model()->findFirst(imei); }

    // The middle of an entry, once the view has laid it out.
    QPoint centre(const QString &imei) const
    {
        const QModelIndex index = list->viewIndex(rowOf(imei));
        if (!QTest::qWaitFor([&] { return OTable->visualRect(index).isValid(); }, 2000))
            qWarning() << "entry not laid out:" << imei;
        return OTable->visualRect(index).center();
    }

    QPoint emptySpace() const { return OTable->viewport()->rect().bottomRight() - QPoint(3, 3); }

    void click(const QPoint &pos) const { QTest::mouseClick(OTable->viewport(), Qt::LeftButton, {}, pos); }

    // The hint the list holds after the mouse rested at pos; what the tool
    // tip showed is kept in shownHint.
    QString hintAt(const QPoint &pos)
    {
        QHelpEvent event(QEvent::ToolTip, pos, OTable->viewport()->mapToGlobal(pos));
        QApplication::sendEvent(OTable->viewport(), &event);
        shownHint = QToolTip::isVisible() ? QToolTip::text() : QString();
        QToolTip::hideText();
        return OTable->toolTip();
    }

    QString shownHint;

    QString selectedCaption() const
    {
        const int row = list->selectedRow();
        return row < 0 ? QString() : model()->entry(row).caption;
    }
};

} // namespace

class TestObjects final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Rig> m;

private slots:
    void init()
    {
        QString error;
        QVERIFY2(TestDatabase::seed(
                     QStringLiteral(
                         "INSERT INTO orvex_base.`groups`(Name) VALUES ('Центр'),('Север'),('Юг');"
                         "INSERT INTO orvex_base.objects(IMEI,Name,Owner,Num_owner,Address,Addr_,Group_,State,Ohrana,TState) "
                         "VALUES ('356938035643801','NCR SelfServ 22','Иванов И.И.','89160000001','ул. Ленина, 1',"
                         "'вход со двора','Центр',2,1,1),"
                         "('356938035643802','Wincor 2050','Петров','89160000002','пр. Мира, 5','','Центр',101,1,1),"
                         "('356938035643803','Diebold','Сидоров','89160000003','ул. Северная, 3','','Север',0,0,0),"
                         "('356938035643804','Wincor 1500','Орлов','89160000004','ул. Южная, 9','','Юг',1,0,1),"
                         "('356938035643805','Kiosk','Белов','89160000005','вокзал','','',90,1,1)"),
                     &error),
                 qPrintable(error));
        m = std::make_unique<Rig>();
    }

    void cleanup() { m.reset(); }

    void groupChoice_data()
    {
        QTest::addColumn<bool>("admin");
        QTest::addColumn<QStringList>("groups");
        QTest::addColumn<int>("choice");
        QTest::addColumn<QStringList>("listed");

        const QStringList three{QStringLiteral("Центр"), QStringLiteral("Север"), QStringLiteral("Юг")};
        // Highest state first: 101, 90, 2, 1, 0.
        QTest::newRow("administrator, all: also objects of no group")
            << true << three << 0 << QStringList{Imei2, Imei5, Imei1, Imei4, Imei3};
        QTest::newRow("administrator picks a group") << true << three << 3 << QStringList{Imei4};
        QTest::newRow("operator, all: the union of the operator's groups")
            << false << QStringList{QStringLiteral("Центр"), QStringLiteral("Север")} << 0
            << QStringList{Imei2, Imei1, Imei3};
        QTest::newRow("operator picks a group")
            << false << QStringList{QStringLiteral("Центр"), QStringLiteral("Север")} << 2 << QStringList{Imei3};
    }

    void groupChoice()
    {
        QFETCH(bool, admin);
        QFETCH(QStringList, groups);
        QFETCH(int, choice);
        QFETCH(QStringList, listed);
        QVERIFY(m->logIn(QStringLiteral("operator1"), admin, groups));
        QSignalSpy journal(m->list, &ObjectList::messagesRequested);
        QCOMPARE(m->state().Full_rights, admin);
        if (choice != 0) {
            m->ComboBox1->setCurrentIndex(choice);
            // The group's journal is loaded after the list is refilled.
            QCOMPARE(journal.size(), 1);
            QCOMPARE(journal.at(0).at(0).toString(), AllKey);
        }
        QCOMPARE(m->captions(), listed);
        for (int row = 0; row < m->model()->rowCount(); ++row) {
            const QString state = TestDatabase::value(
                QStringLiteral("SELECT State FROM orvex_base.objects WHERE IMEI='%1'").arg(m->model()->entry(row).caption));
            QCOMPARE(m->model()->entry(row).state, state);
        }
    }

    void fillingTheSelectorAtLoginIsNoGroupChange()
    {
        QVERIFY(m->logIn(QStringLiteral("operator1"), true, {QStringLiteral("Центр")}));
        QSignalSpy journal(m->list, &ObjectList::messagesRequested);
        m->s.main().onAuthAnswer(1);
        QCOMPARE(m->ComboBox1->currentText(), All);
        QCOMPARE(journal.size(), 0);
        QCOMPARE(m->captions().size(), 5);
    }

    void operatorWithoutGroupsGetsNoQuery()
    {
        QVERIFY(m->logIn(QStringLiteral("operator1"), false, {}));
        QCOMPARE(m->ComboBox1->count(), 1);
        QVERIFY(m->captions().isEmpty());

        // Whatever the list showed before (another operator's objects) goes;
        // not even a query is sent.
        m->model()->setCaptions({Imei4, Imei1});
        m->model()->setState(1, QStringLiteral("2"));
        const int before = m->selectsRun();
        QVERIFY(before >= 0);
        m->list->Load_Objects(All);
        m->list->Load_States();
        QCOMPARE(m->selectsRun(), before);
        QVERIFY(m->captions().isEmpty());
    }

    void groupNamesWithQuotes()
    {
        QVERIFY(TestDatabase::exec(QStringLiteral(
            "UPDATE orvex_base.objects SET Group_='O''Brien' WHERE IMEI='356938035643803';"
            "UPDATE orvex_base.objects SET Group_='C:\\\\' WHERE IMEI='356938035643804'")));
        QVERIFY(m->logIn(QStringLiteral("operator1"), false, {QStringLiteral("O'Brien"), QStringLiteral("C:\\")}));
        QCOMPARE(m->captions(), (QStringList{Imei4, Imei3}));
        m->ComboBox1->setCurrentIndex(1);
        QCOMPARE(m->captions(), QStringList{Imei3});
    }

    void unreadableStatesCountAsNotConnected()
    {
        // Another writer keeps State as free text.
        QVERIFY(TestDatabase::exec(QStringLiteral(
            "ALTER TABLE orvex_base.objects MODIFY State VARCHAR(20) NULL;"
            "UPDATE orvex_base.objects SET State='abc' WHERE IMEI='356938035643801';"
            "UPDATE orvex_base.objects SET State=NULL WHERE IMEI='356938035643802';"
            "UPDATE orvex_base.objects SET State='' WHERE IMEI='356938035643803';"
            "UPDATE orvex_base.objects SET State='101' WHERE IMEI='356938035643804';"
            "UPDATE orvex_base.objects SET State='2' WHERE IMEI='356938035643805'")));
        QVERIFY(m->logIn(QStringLiteral("operator1"), true, {}));
        QSignalSpy loaded(m->list, &ObjectList::statesLoaded);

        // One object vanishes between listing and loading states: its entry
        // keeps the IMEI where the state would be.
        m->list->Load_Objects(All);
        const QStringList order = [] {
            QStringList imeis;
            for (const QStringList &row : TestDatabase::rows(QStringLiteral("SELECT IMEI FROM orvex_base.objects")))
                imeis << row.first();
            return imeis;
        }();
        QVERIFY(TestDatabase::exec(QStringLiteral("DELETE FROM orvex_base.objects WHERE IMEI='356938035643803'")));
        m->list->Load_States();

        QStringList zeros = order;
        zeros.removeOne(Imei4);
        zeros.removeOne(Imei5);
        QCOMPARE(m->captions(), QStringList({Imei4, Imei5}) + zeros);
        const auto entry = [this](const QString &imei) { return m->model()->entry(m->rowOf(imei)); };
        QCOMPARE(entry(Imei1).state, QStringLiteral("abc"));
        QCOMPARE(entry(Imei2).state, QString());
        QCOMPARE(entry(Imei3).state, Imei3);
        for (const QString &imei : zeros)
            QCOMPARE(entry(imei).image, 0);
        QCOMPARE(entry(Imei4).image, 3);
        QCOMPARE(entry(Imei5).image, 2);

        QCOMPARE(loaded.size(), 1);
        QCOMPARE(m->list->stateCode(Imei4), 101);
        QCOMPARE(m->list->stateCode(Imei5), 2);
        QCOMPARE(m->list->stateCode(Imei1), 0);
        QCOMPARE(m->list->stateCode(Imei3), 0);
        QCOMPARE(m->list->stateCode(QStringLiteral("356938035649999")), -1);
    }

    void hint()
    {
        QVERIFY(m->logIn(QStringLiteral("operator1"), true, {}));
        QCOMPARE(m->hintAt(m->centre(Imei1)),
                 QStringLiteral("Адрес: ул. Ленина, 1\nУточнение: вход со двора\nКонтакт: Иванов И.И., тел.89160000001\n"
                                "Модель: NCR SelfServ 22\nСостояние: Включен"));
        QCOMPARE(m->shownHint, m->OTable->toolTip());
        QVERIFY(m->hintAt(m->centre(Imei3)).endsWith(QStringLiteral("\nСостояние: Выключен")));
        QCOMPARE(m->hintAt(m->emptySpace()), QString());

        // The object's row is gone: the labels without values.
        QVERIFY(TestDatabase::exec(QStringLiteral("DELETE FROM orvex_base.objects WHERE IMEI='356938035643804'")));
        QCOMPARE(m->hintAt(m->centre(Imei4)), QStringLiteral("Адрес:\nУточнение:\nКонтакт:\nМодель:\nСостояние:"));

        // Markup typed into an address is shown as typed.
        QVERIFY(TestDatabase::exec(
            QStringLiteral("UPDATE orvex_base.objects SET Address='<b>Склад</b> & Co' WHERE IMEI='356938035643805'")));
        QTextDocument shown;
        shown.setHtml(m->hintAt(m->centre(Imei5)));
        QCOMPARE(shown.toPlainText(),
                 QStringLiteral("Адрес: <b>Склад</b> & Co\nУточнение: \nКонтакт: Белов, тел.89160000005\n"
                                "Модель: Kiosk\nСостояние: Включен"));

        // A rejected query leaves the hint as it was.
        const QString before = m->hintAt(m->centre(Imei1));
        QVERIFY(TestDatabase::exec(QStringLiteral("ALTER TABLE orvex_base.objects DROP COLUMN TState")));
        QCOMPARE(m->hintAt(m->centre(Imei2)), before);
        QVERIFY(m->dialogs().messages.isEmpty());
    }

    void selection()
    {
        QVERIFY(m->logIn(QStringLiteral("operator1"), true, {}));
        QSignalSpy journal(m->list, &ObjectList::messagesRequested);
        QSignalSpy alarms(m->list, &ObjectList::alarmSelected);
        QSignalSpy images(m->list, &ObjectList::imageRequested);
        QSignalSpy cards(m->list, &ObjectList::objectDoubleClicked);
        QSignalSpy period(&m->s.main().session(), &MonitoringSession::periodChanged);

        // An armed object: its journal and frame, no alarm.
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        m->click(m->centre(Imei1));
        QCOMPARE(m->state().Selected_IMEI, Imei1);
        QCOMPARE(m->state().Selected_index, m->rowOf(Imei1));
        QCOMPARE(journal.size(), 1);
        QCOMPARE(journal.at(0).at(0).toString(), Imei1);
        QCOMPARE(images.size(), 1);
        QCOMPARE(images.at(0).at(0).toString(), Imei1);
        QCOMPARE(alarms.size(), 0);
        // The click set the period to the last 24 hours, as the station's
        // own move (the journal does not reload for it).
        QVERIFY(m->EndDate->dateTime() >= before && m->EndDate->dateTime() <= QDateTime::currentDateTime());
        QCOMPARE(m->StartDate->dateTime(), m->EndDate->dateTime().addDays(-1));
        QCOMPARE(period.size(), 1);
        QCOMPARE(period.at(0).at(0).toBool(), false);

        // An object in alarm opens its alarm entry; so does 95, an alarm without an icon of its own.
        m->click(m->centre(Imei2));
        QCOMPARE(alarms.size(), 1);
        QCOMPARE(alarms.at(0).at(0).toString(), Imei2);
        m->list->setEntryState(m->rowOf(Imei3), 95);
        QCOMPARE(m->model()->entry(m->rowOf(Imei3)).image, 0);
        m->click(m->centre(Imei3));
        QCOMPARE(alarms.size(), 2);
        QCOMPARE(alarms.at(1).at(0).toString(), Imei3);

        // A re-sort keeps the selection on its entry and selects nothing anew.
        const int selectedAt = m->state().Selected_index;
        m->list->setEntryState(m->rowOf(Imei4), 115);
        m->list->Sort_Objects();
        QCOMPARE(m->captions().first(), Imei4);
        QCOMPARE(m->selectedCaption(), Imei3);
        QCOMPARE(journal.size(), 3);
        QCOMPARE(alarms.size(), 2);
        QCOMPARE(m->state().Selected_index, selectedAt);

        // A click on the selected entry again: nothing new.
        m->click(m->centre(Imei3));
        QCOMPARE(journal.size(), 3);
        QCOMPARE(alarms.size(), 2);

        // Empty space: no entry selected, the group's journal; the last selection is remembered.
        m->click(m->emptySpace());
        QCOMPARE(m->list->selectedRow(), -1);
        QCOMPARE(journal.size(), 4);
        QCOMPARE(journal.at(3).at(0).toString(), AllKey);
        QCOMPARE(m->state().Selected_IMEI, Imei3);

        // A double click is a click and then the second press.
        m->click(m->centre(Imei5));
        QTest::mouseDClick(m->OTable->viewport(), Qt::LeftButton, {}, m->centre(Imei5));
        QCOMPARE(cards.size(), 1);
        QCOMPARE(cards.at(0).at(0).toString(), Imei5);
        QCOMPARE(m->state().Selected_IMEI, Imei5);
    }

    // A shaky hand: the press selects, moving with the button held selects
    // nothing else, even when the list would re-sort under the pointer.
    void onlyThePressedEntryIsSelected()
    {
        QVERIFY(m->logIn(QStringLiteral("operator1"), true, {}));
        // Two alarms side by side: 101 (Imei2) and one more.
        m->list->setEntryState(m->rowOf(Imei1), 100);
        m->list->Sort_Objects();
        QCOMPARE(m->captions().mid(0, 3), (QStringList{Imei2, Imei1, Imei5}));
        QSignalSpy alarms(m->list, &ObjectList::alarmSelected);
        QWidget *viewport = m->OTable->viewport();

        const QPoint first = m->centre(Imei2);
        const QPoint second = m->centre(Imei1);
        QTest::mousePress(viewport, Qt::LeftButton, {}, first);
        QCOMPARE(m->state().Selected_IMEI, Imei2);
        // Taken into processing, Imei2 would drop behind Imei1 at once: the
        // order waits for the release.
        QCOMPARE(m->captions().first(), Imei2);
        QTest::mouseMove(viewport, first + QPoint(2, 1));
        QTest::mouseMove(viewport, second);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, second);
        QCOMPARE(alarms.size(), 1);
        QCOMPARE(alarms.at(0).at(0).toString(), Imei2);
        QCOMPARE(m->state().Selected_IMEI, Imei2);
        QCOMPARE(m->selectedCaption(), Imei2);
        QTRY_COMPARE(m->captions().first(), Imei1);
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT State FROM orvex_base.objects WHERE IMEI='%1'").arg(Imei1)),
                 QStringLiteral("2"));

        // A press on a quiet object dragged across an alarm takes nothing.
        QTest::mousePress(viewport, Qt::LeftButton, {}, m->centre(Imei4));
        QTest::mouseMove(viewport, m->centre(Imei1));
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, m->centre(Imei1));
        QCOMPARE(alarms.size(), 1);
        QCOMPARE(m->state().Selected_IMEI, Imei4);
    }

    // The first click of a double click re-sorts the list; the second press
    // lands where another entry now is. The card is the first one's.
    void doubleClickOnAnAlarmOpensItsCard()
    {
        QVERIFY(m->logIn(QStringLiteral("operator1"), true, {}));
        m->list->setEntryState(m->rowOf(Imei1), 100);
        m->list->Sort_Objects();
        QSignalSpy alarms(m->list, &ObjectList::alarmSelected);
        QSignalSpy cards(m->list, &ObjectList::objectDoubleClicked);
        const QPoint at = m->centre(Imei2);
        QTest::mouseClick(m->OTable->viewport(), Qt::LeftButton, {}, at);
        QTRY_COMPARE(m->captions().first(), Imei1);
        QTest::mouseDClick(m->OTable->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(alarms.size(), 1);
        QCOMPARE(cards.size(), 1);
        QCOMPARE(cards.at(0).at(0).toString(), Imei2);
        QCOMPARE(m->state().Selected_IMEI, Imei2);
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT State FROM orvex_base.objects WHERE IMEI='%1'").arg(Imei1)),
                 QStringLiteral("2"));
    }

    void contextMenuCommands()
    {
        QVERIFY(m->logIn(QStringLiteral("operator1"), true, {}));
        QCOMPARE(m->list->PopupMenu2->actions().size(), 5);
        QVERIFY(m->list->N3->isSeparator());

        m->click(m->centre(Imei1));
        const struct
        {
            QAction *item;
            QString caption;
            QByteArray bytes;
        } commands[] = {
            {m->list->N1, QStringLiteral("Снять с охраны"), command(Imei1, {1, 0})},
            {m->list->N2, QStringLiteral("Взять под охрану"), command(Imei1, {1, 1})},
            {m->list->N4, QStringLiteral("Выключить терминал"), command(Imei1, {10, 4, 1})},
            {m->list->N5, QStringLiteral("Включить терминал"), command(Imei1, {10, 4, 0})},
        };
        for (const auto &c : commands) {
            QCOMPARE(c.item->text(), c.caption);
            m->peer().clearReceived();
            c.item->trigger();
            QTRY_COMPARE(m->peer().received(), c.bytes);
        }
        // Nothing changes locally: the state comes back as a notification.
        QCOMPARE(m->model()->entry(m->rowOf(Imei1)).state, QStringLiteral("2"));

        // Offered on the selected entry only.
        emit m->OTable->customContextMenuRequested(m->centre(Imei1));
        QTRY_VERIFY(m->list->PopupMenu2->isVisible());
        QVERIFY(m->list->N1->isEnabled());
        m->list->PopupMenu2->hide();
        m->click(m->emptySpace());
        emit m->OTable->customContextMenuRequested(m->emptySpace());
        QTRY_VERIFY(m->list->PopupMenu2->isVisible());
        QVERIFY(!m->list->N1->isEnabled());
        QVERIFY(!m->list->N5->isEnabled());
        m->list->PopupMenu2->hide();

        // Without a selection nothing is sent: the next packet is the first to arrive.
        m->peer().clearReceived();
        m->list->N1Click();
        m->list->N4Click();
        m->s.station().link().Send_State(Imei2, 7);
        const QByteArray marker = QByteArray(1, char(20)) + Imei2.toLatin1() + char(7);
        QTRY_COMPARE(m->peer().received(), marker);
    }

    // Cut to the 15 bytes of the packet, a longer IMEI would name another unit.
    void commandsNeedAFittingImei()
    {
        const QString tooLong = Imei1 + QLatin1Char('7');
        QVERIFY(TestDatabase::exec(QStringLiteral("INSERT INTO orvex_base.objects(IMEI,Name,Group_,State,Ohrana) "
                                                  "VALUES ('%1','Long','Центр',2,1)").arg(tooLong)));
        QVERIFY(m->logIn(QStringLiteral("operator1"), true, {}));
        m->click(m->centre(tooLong));
        QCOMPARE(m->state().Selected_IMEI, tooLong);
        m->peer().clearReceived();
        m->list->N1Click();
        m->list->N4Click();
        QCOMPARE(m->dialogs().messages.size(), 2);
        QVERIFY(m->dialogs().messages.first().contains(QStringLiteral("15 символов")));
        m->s.station().link().Send_State(Imei2, 7);
        QTRY_COMPARE(m->peer().received(), QByteArray(1, char(20)) + Imei2.toLatin1() + char(7));
    }
};

QTEST_MAIN(TestObjects)
#include "test_objects.moc"
