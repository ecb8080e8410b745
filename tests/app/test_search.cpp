#include "AlarmPanel.h"
#include "Journal.h"
#include "ListStation.h"
#include "MonitoringSession.h"
#include "ObjectFilterModel.h"
#include "ObjectList.h"
#include "ObjectListModel.h"
#include "Packets.h"
#include "ServerLink.h"
#include "StationChecks.h"
#include "StationState.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHelpEvent>
#include <QLineEdit>
#include <QListView>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

#include <memory>

namespace {

const QString Cash = QStringLiteral("356938035643801");    // alarm 101, Москва
const QString Safe = QStringLiteral("356938035643802");    // alarm 115
const QString Taken = QStringLiteral("356938035643803");   // in processing
const QString Kiosk = QStringLiteral("356938035643804");   // armed
const QString South = QStringLiteral("356938035643805");   // disarmed, group Юг
const QStringList Everything{Safe, Cash, Taken, Kiosk, South};

// The main window of a logged-in station, its object list and search field.
struct Rig : ListStation
{
    QLineEdit *SearchEdit = nullptr;
    // The view's own model: the search's filter over the list.
    std::unique_ptr<QAbstractItemModelTester> viewTester;

    bool logIn(bool admin, const QStringList &groups)
    {
        if (!logInAs(LoggedInStation::Operator::named(QStringLiteral("Pilot"), QStringLiteral("Pilot"), admin, groups)))
            return false;
        TForm1 &main = s.main();
        SearchEdit = main.findChild<QLineEdit *>(QStringLiteral("SearchEdit"));
        if (!SearchEdit)
            return false;
        viewTester = std::make_unique<QAbstractItemModelTester>(OTable->model(),
                                                                QAbstractItemModelTester::FailureReportingMode::QtTest);
        main.show();
        main.activateWindow();
        return QTest::qWaitForWindowActive(&main);
    }

    // What the operator sees, in order.
    QStringList shown() const
    {
        QStringList out;
        const QAbstractItemModel *model = OTable->model();
        for (int row = 0; row < model->rowCount(); ++row)
            out << model->index(row, 0).data().toString();
        return out;
    }

    QStringList all() const { return captions(); }

    // Typed key by key, as an operator types, Cyrillic included.
    void type(const QString &text) const
    {
        for (const QChar c : text)
            QTest::sendKeyEvent(QTest::Click, SearchEdit, Qt::Key(c.toUpper().unicode()), QString(c), Qt::NoModifier);
    }

    void search(const QString &text) const
    {
        SearchEdit->clear();
        type(text);
    }

    // The middle of the entry the view shows for an object.
    QPoint centre(const QString &imei) const
    {
        const QModelIndex index = list->viewIndex(list->findEntry(imei));
        if (!QTest::qWaitFor([&] { return OTable->visualRect(index).isValid(); }, 5000))
            qWarning() << "entry not shown:" << imei;
        return OTable->visualRect(index).center();
    }

    QString stored(const QString &imei) const
    {
        return TestDatabase::value(QStringLiteral("SELECT State FROM orvex_base.objects WHERE IMEI='%1'").arg(imei));
    }

    QStringList journalRows(const QString &imei) const
    {
        QStringList out;
        for (const QStringList &row : TestDatabase::rows(
                 QStringLiteral("SELECT Event FROM orvex_base.messages WHERE IMEI='%1' ORDER BY Date").arg(imei)))
            out << row.at(0);
        return out;
    }

    bool nothingSent() { return StationChecks::nothingSent(s.station().link(), s.peer); }
};

} // namespace

// Finding objects by typing, through the real main window, against the
// database and a TCP peer in the server's place.
class TestSearch final : public QObject
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
                         "INSERT INTO orvex_base.`groups`(Name) VALUES ('Центр'),('Юг');"
                         "INSERT INTO orvex_base.objects(IMEI,Name,Owner,Num_owner,Address,Addr_,Group_,State,Ohrana,TState) "
                         "VALUES ('%1','NCR SelfServ 22','Иванов И.И.','89160000001','г. Москва, ул. Тверская, 1',"
                         "'холл','Центр',101,1,1),"
                         "('%2','Wincor 2050','Петров','89160000002','пр. Мира, 5','','Центр',115,0,1),"
                         "('%3','Diebold','Сидоров','89160000003','ул. Ленина, 7','вход со двора','Центр',90,1,1),"
                         "('%4','Kiosk','Семёнов','89160000004','Московская обл., Химки','','Центр',2,1,1),"
                         "('%5','Wincor 1500','Орлов','89160000005','Москва, ул. Южная, 9','','Юг',1,0,1);"
                         "INSERT INTO orvex_base.text_mes(Text) VALUES ('Выезд группы')")
                         .arg(Cash, Safe, Taken, Kiosk, South),
                     &error),
                 qPrintable(error));
        m = std::make_unique<Rig>();
    }

    void cleanup() { m.reset(); }

    void findsByEveryField_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("found");
        QTest::newRow("IMEI digits") << QStringLiteral("643804") << QStringList{Kiosk};
        QTest::newRow("digits every IMEI holds") << QStringLiteral("93803564380") << Everything;
        QTest::newRow("model, any case") << QStringLiteral("WINCOR") << QStringList{Safe, South};
        QTest::newRow("model with its number") << QStringLiteral("selfserv 22") << QStringList{Cash};
        QTest::newRow("address, Cyrillic in lower case") << QStringLiteral("москва") << QStringList{Cash, South};
        QTest::newRow("address, a word's start") << QStringLiteral("МОСК") << QStringList{Cash, Kiosk, South};
        QTest::newRow("clarification") << QStringLiteral("Со Двора") << QStringList{Taken};
        QTest::newRow("owner") << QStringLiteral("петров") << QStringList{Safe};
        QTest::newRow("owner with ё, typed with е") << QStringLiteral("семенов") << QStringList{Kiosk};
        QTest::newRow("owner with ё, typed with Ё") << QStringLiteral("СЕМЁНОВ") << QStringList{Kiosk};
        QTest::newRow("the phone is not searched") << QStringLiteral("89160000002") << QStringList{};
        QTest::newRow("nothing") << QStringLiteral("Казань") << QStringList{};
    }

    void findsByEveryField()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, found);
        QVERIFY(m->logIn(true, {QStringLiteral("Центр"), QStringLiteral("Юг")}));
        QCOMPARE(m->shown(), Everything);
        m->type(typed);
        QCOMPARE(m->SearchEdit->text(), typed);
        QCOMPARE(m->shown(), found);
        // The list itself is whole; the view shows part of it.
        QCOMPARE(m->all(), Everything);
        QVERIFY(m->s.dialogs().messages.isEmpty());
    }

    // The texts are read once for the list, when the search first needs
    // them; the list's own loading does not read them.
    void textsAreReadOncePerList()
    {
        QVERIFY(m->logIn(true, {QStringLiteral("Центр"), QStringLiteral("Юг")}));
        const int before = m->s.statementsRun();
        m->type(QStringLiteral("ю"));
        QCOMPARE(m->s.statementsRun(), before + 1);
        m->type(QStringLiteral("жная"));
        m->SearchEdit->clear();
        m->type(QStringLiteral("южная"));
        QCOMPARE(m->s.statementsRun(), before + 1);
        QCOMPARE(m->shown(), QStringList{South});

        // Another writer changes an address: the list shows what it read
        // until it is refilled, and the search still stands after that.
        QVERIFY(TestDatabase::exec(
            QStringLiteral("UPDATE orvex_base.objects SET Address='ул. Южная, 9' WHERE IMEI='%1'").arg(Kiosk)));
        QCOMPARE(m->shown(), QStringList{South});
        QComboBox *groups = m->s.main().ComboBox1;
        groups->setCurrentIndex(groups->findText(QStringLiteral("Юг")));
        QCOMPARE(m->all(), QStringList{South});
        QCOMPARE(m->shown(), QStringList{South});
        groups->setCurrentIndex(0);
        QCOMPARE(m->SearchEdit->text(), QStringLiteral("южная"));
        QCOMPARE(m->all(), Everything);
        QCOMPARE(m->shown(), (QStringList{Kiosk, South}));
    }

    void onlyListedObjectsAreFound()
    {
        // An operator of the group Центр: the object of Юг is not his, not
        // even when its address is searched.
        QVERIFY(m->logIn(false, {QStringLiteral("Центр")}));
        QCOMPARE(m->all(), (QStringList{Safe, Cash, Taken, Kiosk}));
        m->type(QStringLiteral("москва"));
        QCOMPARE(m->shown(), QStringList{Cash});
        m->search(QStringLiteral("wincor"));
        QCOMPARE(m->shown(), QStringList{Safe});
    }

    // The found object is the first shown, while another alarm is first in
    // the whole list: the click takes the found one into processing.
    void selectingAFoundObject()
    {
        QVERIFY(m->logIn(true, {QStringLiteral("Центр"), QStringLiteral("Юг")}));
        QCOMPARE(m->all().first(), Safe);
        QSignalSpy cards(m->list, &ObjectList::objectDoubleClicked);
        m->type(QStringLiteral("тверская"));
        QCOMPARE(m->shown(), QStringList{Cash});
        const QPoint at = m->centre(Cash);
        QCOMPARE(m->OTable->indexAt(at).row(), 0);

        QTest::mouseClick(m->OTable->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(m->s.state().Selected_IMEI, Cash);
        QCOMPARE(m->list->selectedRow(), m->list->findEntry(Cash));
        AlarmPanel &alarms = m->s.main().alarms();
        QTRY_VERIFY(alarms.entry(Cash));
        QVERIFY(!alarms.entry(Safe));
        QCOMPARE(alarms.entries().size(), 1);
        QCOMPARE(m->stored(Cash), QStringLiteral("90"));
        QCOMPARE(m->stored(Safe), QStringLiteral("115"));
        QCOMPARE(m->journalRows(Cash), QStringList{QStringLiteral("Тревога принята в обработку")});
        QVERIFY(m->journalRows(Safe).isEmpty());
        QTRY_COMPARE(m->s.peer.received(), Packets::state(Cash, 90));
        // The journal below shows the found object's rows.
        QTRY_COMPARE(m->s.main().journal().StringGrid1->model()->index(0, 0).data().toString(), Cash);
        // Still found, now in processing.
        QCOMPARE(m->shown(), QStringList{Cash});
        QCOMPARE(m->list->stateCode(Cash), 90);

        // Its hint, its context menu and its card.
        QHelpEvent hint(QEvent::ToolTip, at, m->OTable->viewport()->mapToGlobal(at));
        QApplication::sendEvent(m->OTable->viewport(), &hint);
        QVERIFY2(m->OTable->toolTip().startsWith(QStringLiteral("Адрес: г. Москва, ул. Тверская, 1\n")),
                 qPrintable(m->OTable->toolTip()));
        m->s.peer.clearReceived();
        m->list->N2->trigger();
        QTRY_COMPARE(m->s.peer.received(), Packets::command(Cash, Packets::Guard, QByteArray(1, '\1')));
        QTest::mouseClick(m->OTable->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(m->OTable->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(cards.size(), 1);
        QCOMPARE(cards.at(0).at(0).toString(), Cash);
    }

    // A search that hides the selected object lets it go: the context
    // menu has nothing to act on, and showing everything again selects nothing anew.
    void hiddenSelectionIsLetGo()
    {
        QVERIFY(m->logIn(true, {QStringLiteral("Центр"), QStringLiteral("Юг")}));
        QTest::mouseClick(m->OTable->viewport(), Qt::LeftButton, {}, m->centre(Kiosk));
        QCOMPARE(m->s.state().Selected_IMEI, Kiosk);
        QVERIFY(m->s.main().session().hasSelection());

        m->type(QStringLiteral("wincor"));
        QCOMPARE(m->shown(), (QStringList{Safe, South}));
        QCOMPARE(m->list->selectedRow(), -1);
        QVERIFY(!m->s.main().session().hasSelection());
        m->s.peer.clearReceived();
        m->list->N1->trigger();
        QVERIFY(m->nothingSent());
        QTest::keyClick(m->SearchEdit, Qt::Key_Escape);
        QCOMPARE(m->shown(), Everything);
        QCOMPARE(m->list->selectedRow(), -1);

        // A selection the search keeps stays selected, on its object. (A
        // click elsewhere first: at the same spot it would be a double click.)
        const QPoint empty = m->OTable->viewport()->rect().bottomRight() - QPoint(3, 3);
        QTest::mouseClick(m->OTable->viewport(), Qt::LeftButton, {}, empty);
        QTest::mouseClick(m->OTable->viewport(), Qt::LeftButton, {}, m->centre(Kiosk));
        QCOMPARE(m->list->selectedRow(), m->list->findEntry(Kiosk));
        m->type(QStringLiteral("kiosk"));
        QCOMPARE(m->list->selectedRow(), m->list->findEntry(Kiosk));
        QTest::keyClick(m->SearchEdit, Qt::Key_Escape);
        QCOMPARE(m->list->selectedRow(), m->list->findEntry(Kiosk));
        QVERIFY(m->s.main().session().hasSelection());
    }

    void ctrlFAndEscape()
    {
        QVERIFY(m->logIn(true, {QStringLiteral("Центр"), QStringLiteral("Юг")}));
        QCOMPARE(m->SearchEdit->placeholderText(), QStringLiteral("Поиск: IMEI, модель, адрес, владелец"));
        QVERIFY(m->SearchEdit->isClearButtonEnabled());
        m->OTable->setFocus();
        QTRY_VERIFY(m->OTable->hasFocus());
        // The search texts are read as the field takes the focus, once.
        const int before = m->s.statementsRun();
        QTest::keyClick(m->OTable, Qt::Key_F, Qt::ControlModifier);
        QTRY_VERIFY(m->SearchEdit->hasFocus());
        QCOMPARE(m->s.statementsRun(), before + 1);
        m->type(QStringLiteral("мира"));
        QCOMPARE(m->shown(), QStringList{Safe});
        QCOMPARE(m->s.statementsRun(), before + 1);

        // From anywhere in the window, the text there is selected to be typed over.
        QTableView *journal = m->s.main().journal().StringGrid1;
        journal->setFocus();
        QTRY_VERIFY(journal->hasFocus());
        QTest::keyClick(journal, Qt::Key_F, Qt::ControlModifier);
        QTRY_VERIFY(m->SearchEdit->hasFocus());
        QCOMPARE(m->SearchEdit->selectedText(), QStringLiteral("мира"));
        m->type(QStringLiteral("ленина"));
        QCOMPARE(m->SearchEdit->text(), QStringLiteral("ленина"));
        QCOMPARE(m->shown(), QStringList{Taken});

        // Esc shows everything again; once more, back to the list.
        QTest::keyClick(m->SearchEdit, Qt::Key_Escape);
        QCOMPARE(m->SearchEdit->text(), QString());
        QCOMPARE(m->shown(), Everything);
        QVERIFY(m->SearchEdit->hasFocus());
        QTest::keyClick(m->SearchEdit, Qt::Key_Escape);
        QTRY_VERIFY(m->OTable->hasFocus());
        QCOMPARE(m->list->selectedRow(), -1);
    }

    void notificationsWhileSearching()
    {
        QVERIFY(m->logIn(true, {QStringLiteral("Центр"), QStringLiteral("Юг")}));
        m->type(QStringLiteral("wincor"));
        QCOMPARE(m->shown(), (QStringList{Safe, South}));
        const qsizetype sounds = m->s.sounds.played.size();

        // A found object goes into alarm: it moves up among those found.
        m->s.peer.send(Packets::state(South, 120));
        QTRY_COMPARE(m->shown(), (QStringList{South, Safe}));
        QCOMPARE(m->all().first(), South);
        QCOMPARE(m->s.sounds.played.size(), sounds + 1);

        // An object not found changes and moves in the list, and stays hidden.
        m->s.peer.send(Packets::state(Kiosk, 116));
        QTRY_COMPARE(m->all().at(1), Kiosk);
        QCOMPARE(m->shown(), (QStringList{South, Safe}));
        QCOMPARE(m->s.sounds.played.size(), sounds + 2);
        QCOMPARE(m->list->stateCode(Kiosk), 116);

        // And shows in its place once the search is cleared.
        QTest::keyClick(m->SearchEdit, Qt::Key_Escape);
        QCOMPARE(m->shown(), (QStringList{South, Kiosk, Safe, Cash, Taken}));
    }
};

QTEST_MAIN(TestSearch)
#include "test_search.moc"
