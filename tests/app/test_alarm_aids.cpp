#include "AlarmEntry.h"
#include "AlarmMarkDelegate.h"
#include "AlarmPanel.h"
#include "AlarmWatch.h"
#include "CentreObjects.h"
#include "Journal.h"
#include "JournalModel.h"
#include "LoggedInStation.h"
#include "ObjectList.h"
#include "Packets.h"
#include "ShownList.h"
#include "Station.h"
#include "TForm1.h"
#include "TForm3.h"
#include "TestClock.h"

#include <QComboBox>
#include <QAbstractItemModel>
#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QListView>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

using namespace CentreObjects;

// Noon of a fixed day: ages and "today" do not depend on when the test runs.
const QDateTime Start(QDate(2026, 1, 6), QTime(12, 0, 0));

} // namespace

// Counts the paintings of a widget.
struct PaintCount final : QObject
{
    explicit PaintCount(QWidget *widget) { widget->installEventFilter(this); }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
    int count = 0;
};

// What helps the operator not to lose an alarm and to see who handles it,
// through the real main window against the private database, with a test
// clock in place of the watch's and a TCP peer in the server's place.
class TestAlarmAids final : public QObject
{
    Q_OBJECT

private:
    std::optional<TestClock> m_clock;
    std::unique_ptr<LoggedInStation> m_s;

    TForm1 *main() const { return &m_s->main(); }
    TcpPeer &peer() const { return m_s->peer; }
    QStringList &played() const { return m_s->sounds.played; }
    AlarmWatch &watch() const { return main()->alarmWatch(); }
    QListView *table() const { return main()->objects().OTable; }
    QString alarmSound() const { return m_s->fixture.dir.filePath(QStringLiteral("alarm.wav")); }

    int rowOf(const QString &imei) const { return ShownList::rowOf(table(), imei); }
    void select(const QString &imei) { QVERIFY(ShownList::select(table(), imei)); }

    // The hint the list shows for the entry, as when the mouse rests on it.
    QString hintOf(const QString &imei)
    {
        const QModelIndex index = table()->model()->index(rowOf(imei), 0);
        const QRect rect = table()->visualRect(index);
        if (!rect.isValid())
            return QStringLiteral("<not laid out>");
        table()->setToolTip(QString());
        main()->objects().OTableMouseMove(rect.center());
        return table()->toolTip();
    }

    // Pixels of the overdue mark's red on the rim of the entry's cell, as
    // painted (the alarm icon in the middle is red too).
    int markPixels(const QString &imei)
    {
        const QRect rect = table()->visualRect(table()->model()->index(rowOf(imei), 0));
        const QImage image = table()->viewport()->grab(rect).toImage();
        constexpr int Rim = 4;
        int count = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (x >= Rim && x < image.width() - Rim && y >= Rim && y < image.height() - Rim)
                    continue;
                const QColor c = image.pixelColor(x, y);
                if (qAbs(c.red() - AlarmMarkDelegate::Mark.red()) < 30 && c.green() < 40 && c.blue() < 40)
                    ++count;
            }
        }
        return count;
    }

    // Seconds pass on the station's clock, and the main window's own tick
    // tells the list, the hints and the entries.
    void advance(qint64 seconds)
    {
        m_clock->advance(seconds);
        QVERIFY(TestClock::fire(main()->Timer1));
    }

    // One interval of the alarm reminder ends.
    void repeatTick() { TestClock::fire(watch().repeatTimer()); }

    // The station logged in as Pilot, with `config` appended to Config.ini
    // and the test clock in place before the states are first loaded.
    void start(const QByteArray &config = {})
    {
        m_clock.emplace(Start);
        m_s = std::make_unique<LoggedInStation>();
        LoggedInStation::Operator op;
        op.groups = {QStringLiteral("Центр")};
        op.config = config;
        op.repeats = true;
        QVERIFY(m_s->logIn(op));
        // The icon view lays its entries out from the event loop.
        QTRY_VERIFY(table()->visualRect(table()->model()->index(0, 0)).isValid());
    }

private slots:
    void init()
    {
        QString error;
        QVERIFY2(TestDatabase::seed(CentreObjects::seed(), &error), qPrintable(error));
    }

    void cleanup()
    {
        m_s.reset();
        m_clock.reset();
    }

    void soundRepeatsWhileAnAlarmWaits()
    {
        start();
        QTimer *repeat = watch().repeatTimer();
        // Two alarms were loaded waiting: the reminder runs at the default pace.
        QCOMPARE(watch().waitingCount(), 2);
        QVERIFY(repeat->isActive());
        QCOMPARE(repeat->interval(), 10000);
        repeatTick();
        QCOMPARE(played(), QStringList{alarmSound()});

        // The toolbar's sound switch silences the reminders too.
        main()->SpeedButton1->click();
        repeatTick();
        QCOMPARE(played().size(), 1);
        main()->SpeedButton1->click();

        // Taking one alarm leaves the other one reminding.
        select(Safe);
        QTRY_VERIFY(main()->alarms().entry(Safe));
        QCOMPARE(watch().waitingCount(), 1);
        QVERIFY(repeat->isActive());
        played().clear();
        repeatTick();
        QCOMPARE(played(), QStringList{alarmSound()});

        // Both taken: nothing waits, nothing repeats.
        select(Disarmed);
        QTRY_VERIFY(main()->alarms().entry(Disarmed));
        QCOMPARE(watch().waitingCount(), 0);
        QVERIFY(!repeat->isActive());
        played().clear();
        repeatTick();
        QVERIFY(played().isEmpty());

        // A new alarm starts the reminder again, with its own sound.
        peer().send(Packets::state(Quiet, 112));
        QTRY_VERIFY(watch().isWaiting(Quiet));
        QVERIFY(repeat->isActive());
        played().clear();
        repeatTick();
        QCOMPARE(played(), QStringList{m_s->fixture.dir.filePath(QStringLiteral("battery_fault.wav"))});

        // The object disarmed from its panel: its alarm is over.
        peer().send(Packets::state(Quiet, 1));
        QTRY_VERIFY(!watch().isWaiting(Quiet));
        QVERIFY(!repeat->isActive());
    }

    // Reloads of the list keep each waiting alarm's age, end the alarms the
    // database no longer holds, start new ones and forget objects no longer
    // listed; a reload of the states alone does the same on a sorted list.
    void alarmsFollowReloads()
    {
        start();
        ObjectList &objects = main()->objects();
        const QString group = main()->ComboBox1->currentText();
        QCOMPARE(watch().waitingCount(), 2);
        advance(30);
        QString error;
        QVERIFY2(TestDatabase::exec(QStringLiteral("UPDATE orvex_base.objects SET State=2 WHERE IMEI='%1';"
                                                   "UPDATE orvex_base.objects SET State=110 WHERE IMEI='%2';")
                                        .arg(Safe, Quiet),
                                    &error),
                 qPrintable(error));
        objects.Load_Objects(group);
        objects.Load_States();
        QCOMPARE(watch().waitingCount(), 2);
        QVERIFY(!watch().isWaiting(Safe));
        QCOMPARE(watch().waitingFor(Disarmed), std::optional<qint64>(30));
        QCOMPARE(watch().waitingFor(Quiet), std::optional<qint64>(0));

        // The states alone, on the sorted list: the alarm taken elsewhere and
        // the one processed end, the one that waited keeps its age.
        advance(20);
        QVERIFY2(TestDatabase::exec(QStringLiteral("UPDATE orvex_base.objects SET State=90 WHERE IMEI='%1';"
                                                   "UPDATE orvex_base.objects SET State=1 WHERE IMEI='%2';")
                                        .arg(Quiet, Disarmed),
                                    &error),
                 qPrintable(error));
        objects.Load_States();
        QCOMPARE(watch().waitingCount(), 0);
        QVERIFY(!watch().waitingFor(Quiet));
        QVERIFY(!watch().isWaiting(Disarmed));

        // A new alarm, then its object leaves the list.
        QVERIFY2(TestDatabase::exec(QStringLiteral("UPDATE orvex_base.objects SET State=101 WHERE IMEI='%1';").arg(Taken), &error),
                 qPrintable(error));
        objects.Load_States();
        QCOMPARE(watch().waitingCount(), 1);
        QVERIFY(watch().isWaiting(Taken));
        QVERIFY2(TestDatabase::exec(QStringLiteral("DELETE FROM orvex_base.objects WHERE IMEI='%1';").arg(Taken), &error),
                 qPrintable(error));
        objects.Load_Objects(group);
        objects.Load_States();
        QCOMPARE(watch().waitingCount(), 0);
        QVERIFY(!watch().isWaiting(Taken));
    }

    void repeatsSwitchedOffByTheSetting()
    {
        start("[Alarms]\nRepeat_seconds=0\nOverdue_seconds=30\n");
        QCOMPARE(watch().waitingCount(), 2);
        QCOMPARE(watch().overdueSeconds(), 30);
        QVERIFY(!watch().repeatTimer()->isActive());
        peer().send(Packets::state(Quiet, 101));
        QTRY_VERIFY(watch().isWaiting(Quiet));
        QVERIFY(!watch().repeatTimer()->isActive());
        repeatTick();
        // Only the notification itself sounded.
        QCOMPARE(played(), QStringList{alarmSound()});
    }

    void agesAndOverdueMarksFollowTheClock()
    {
        start();
        // Seen waiting by the load at login.
        advance(40);
        QVERIFY2(hintOf(Safe).endsWith(QStringLiteral("\nТревога ждёт 40 с")), qPrintable(hintOf(Safe)));
        QVERIFY(!hintOf(Quiet).contains(QStringLiteral("ждёт")));
        // A notification starts its own object's wait, not the others'.
        peer().send(Packets::state(Quiet, 110));
        QTRY_VERIFY(watch().isWaiting(Quiet));
        advance(100);
        QVERIFY2(hintOf(Safe).endsWith(QStringLiteral("Тревога ждёт 2 мин")), qPrintable(hintOf(Safe)));
        QVERIFY2(hintOf(Quiet).endsWith(QStringLiteral("Тревога ждёт 1 мин")), qPrintable(hintOf(Quiet)));

        // Over two minutes: marked in the list; the newer alarm not yet.
        QVERIFY(watch().isOverdue(Safe));
        QVERIFY(watch().isOverdue(Disarmed));
        QVERIFY(!watch().isOverdue(Quiet));
        QTRY_VERIFY(markPixels(Safe) > 40);
        QCOMPARE(markPixels(Quiet), 0);
        QCOMPARE(markPixels(Taken), 0);
        // 120 s exactly is not over the limit; one more second is.
        advance(20);
        QVERIFY(!watch().isOverdue(Quiet));
        advance(1);
        QVERIFY(watch().isOverdue(Quiet));
        QTRY_VERIFY(markPixels(Quiet) > 40);
        // While a ring is overdue every tick flips its blink, and the list is
        // painted anew for it.
        PaintCount paints(table()->viewport());
        for (int tick = 0; tick < 2; ++tick) {
            QTest::qWait(20);
            paints.count = 0;
            advance(0);
            QTRY_VERIFY(paints.count > 0);
        }

        // Taken into processing: the entry tells how long it waited and who
        // took it; the mark goes.
        select(Safe);
        QTRY_VERIFY(main()->alarms().entry(Safe));
        AlarmEntry *entry = main()->alarms().entry(Safe);
        QCOMPARE(entry->age(), QStringLiteral("Тревога ждала 2 мин"));
        QVERIFY2(entry->takenBy().startsWith(QStringLiteral("В обработке: Pilot с ")), qPrintable(entry->takenBy()));
        QVERIFY(!watch().isOverdue(Safe));
        QTRY_COMPARE(markPixels(Safe), 0);
        advance(600);
        QCOMPARE(entry->age(), QStringLiteral("Тревога ждала 2 мин"));
        QVERIFY2(hintOf(Disarmed).endsWith(QStringLiteral("Тревога ждёт 12 мин")), qPrintable(hintOf(Disarmed)));
        advance(3600);
        QVERIFY(hintOf(Disarmed).endsWith(QStringLiteral("Тревога ждёт 1 ч 12 мин")));

        // A new alarm of the taken object waits afresh, and its entry says so.
        peer().send(Packets::state(Safe, 114));
        QTRY_VERIFY(watch().isWaiting(Safe));
        advance(5);
        QCOMPARE(entry->age(), QStringLiteral("Тревога ждёт 5 с"));
    }

    void takenByNewestRowOfTheObject()
    {
        QVERIFY(TestDatabase::exec(QStringLiteral(
            "INSERT INTO orvex_base.messages(IMEI,Date,Type,Event,Group_,User) VALUES "
            "('%1','2026-01-05 09:15:00','Событие','Тревога принята в обработку','Центр','Anna'),"
            "('%1','2026-01-06 11:42:10','Событие','Тревога принята в обработку','Центр','Boris'),"
            "('%1','2026-01-06 11:50:00','Событие','Выезд группы','Центр','Carl'),"
            "('%1','2026-01-06 11:55:00','Тревога','Тревога принята в обработку','Центр',''),"
            "('%2','2026-01-06 11:58:00','Событие','Тревога принята в обработку','Центр','Dima'),"
            "('%1','2026-01-04 23:00:00','Событие','Тревога принята в обработку','Центр','Egor')")
                                       .arg(Taken, Quiet)));
        start();
        // The hint of an object in processing names its taker, the newest.
        QVERIFY2(hintOf(Taken).endsWith(QStringLiteral("\nВ обработке: Boris с 11:42")), qPrintable(hintOf(Taken)));
        // Another day's taking carries its date.
        m_clock->advance(86400);
        QVERIFY(hintOf(Taken).endsWith(QStringLiteral("\nВ обработке: Boris с 06.01.2026 11:42")));
        m_clock->advance(-86400);
        // Opening its entry shows the taker before anything else is done.
        select(Taken);
        QTRY_VERIFY(main()->alarms().entry(Taken));
        AlarmEntry *entry = main()->alarms().entry(Taken);
        QCOMPARE(entry->takenBy(), QStringLiteral("В обработке: Boris с 11:42"));
        QVERIFY(entry->findChild<QWidget *>(QStringLiteral("takenBy"))->isVisibleTo(entry));
        // Never seen waiting here: no age to tell.
        QVERIFY(entry->age().isEmpty());
        // The list's object without an alarm shows nothing of it.
        QVERIFY(!hintOf(Quiet).contains(QStringLiteral("В обработке")));
    }

    void takenByShowsNothingRatherThanWrongData()
    {
        QVERIFY(TestDatabase::exec(QStringLiteral(
            "INSERT INTO orvex_base.messages(IMEI,Date,Type,Event,Group_,User) VALUES "
            "('%1','2026-01-05 09:15:00','Событие','Тревога принята в обработку','Центр','Anna')")
                                       .arg(Safe)));
        start();
        // Taken by a program that journals nothing: the newest row is of an
        // earlier alarm and must not be passed off as this one's.
        QVERIFY(TestDatabase::exec(QStringLiteral("UPDATE orvex_base.objects SET State=90 WHERE IMEI='%1'").arg(Safe)));
        peer().send(Packets::state(Safe, 90));
        QTRY_COMPARE(main()->objects().stateCode(Safe), 90);
        select(Safe);
        QTRY_VERIFY(main()->alarms().entry(Safe));
        AlarmEntry *entry = main()->alarms().entry(Safe);
        QVERIFY2(entry->takenBy().isEmpty(), qPrintable(entry->takenBy()));
        QVERIFY(!entry->findChild<QWidget *>(QStringLiteral("takenBy"))->isVisibleTo(entry));

        // No journal to read: nothing, and the hint keeps its particulars.
        QVERIFY(TestDatabase::exec(QStringLiteral("RENAME TABLE orvex_base.messages TO orvex_base.messages_gone")));
        QVERIFY(hintOf(Taken).startsWith(QStringLiteral("Адрес: ул. Ленина, 7")));
        QVERIFY(!hintOf(Taken).contains(QStringLiteral("В обработке")));
        select(Taken);
        QTRY_VERIFY(main()->alarms().entry(Taken));
        QVERIFY(main()->alarms().entry(Taken)->takenBy().isEmpty());
    }

    void journalColumnsFitTheirContent()
    {
        const QString longLogin = QStringLiteral("operator_with_a_rather_long_login_name_indeed_x");
        const QString readable = QStringLiteral("Выезд группы, на месте через 7 минут");
        QVERIFY(TestDatabase::exec(QStringLiteral(
            "INSERT INTO orvex_base.messages(IMEI,Date,Type,Event,Group_,User) VALUES "
            "('%1',NOW(),'Событие','%2','Центр','Pilot'),"
            "('%1',NOW(),'Событие','%3','Центр','%4')")
                                       .arg(Quiet, readable, QString(400, QLatin1Char('W')), longLogin)));
        start("[Window]\nLeft=0\nTop=0\nWidth=796\nHeight=560\n");
        main()->show();
        QVERIFY(QTest::qWaitForWindowExposed(main()));
        Journal &journal = main()->journal();
        QTableView *grid = journal.StringGrid1;
        journal.Load_Messages(Quiet, false);
        QCOMPARE(journal.model()->shownCount(), 2);
        const QFontMetrics metrics = grid->fontMetrics();
        // Each column as wide as its text, none absurdly wide.
        QVERIFY(grid->columnWidth(JournalModel::ImeiColumn) >= metrics.horizontalAdvance(Quiet));
        QVERIFY(grid->columnWidth(JournalModel::DateColumn) >= metrics.horizontalAdvance(QStringLiteral("2026-01-06 12:00:00")));
        QCOMPARE(grid->columnWidth(JournalModel::UserColumn), journal.columnCap());
        QCOMPARE(grid->columnWidth(JournalModel::EventColumn), journal.messageCap());
        // The ordinary text reads whole once the huge one is gone.
        QVERIFY(TestDatabase::exec(QStringLiteral("DELETE FROM orvex_base.messages WHERE User='%1'").arg(longLogin)));
        journal.Load_Messages(Quiet, false);
        QVERIFY(grid->columnWidth(JournalModel::UserColumn) < journal.columnCap());
        QVERIFY(grid->columnWidth(JournalModel::EventColumn) >= metrics.horizontalAdvance(readable));
        // ... and the message column takes the rest of the grid, without a
        // horizontal scroll bar.
        int total = 0;
        for (int column = 0; column < JournalModel::ColumnCount; ++column)
            total += grid->columnWidth(column);
        QCOMPARE(total, grid->viewport()->width());
        QTRY_VERIFY(!grid->horizontalScrollBar()->isVisible());
    }

    void windowLayoutIsKeptBetweenRuns()
    {
        start("[Window]\nLeft=30\nTop=40\nWidth=700\nHeight=520\nList_height=280\nJournal_height=150\n");
        QCOMPARE(main()->geometry(), QRect(30, 40, 700, 520));
        main()->show();
        QVERIFY(QTest::qWaitForWindowExposed(main()));
        QTRY_COMPARE(main()->Splitter2->sizes().value(1), 150);

        main()->setGeometry(QRect(12, 24, 740, 500));
        main()->Splitter2->setSizes({260, 180});
        QTRY_COMPARE(main()->Splitter2->sizes().value(1), 180);
        main()->close();
        QVERIFY(m_s->fixture.ended);
        const QByteArray saved = m_s->fixture.readConfig();
        for (const char *line : {"[Window]", "Left=12", "Top=24", "Width=740", "Height=500", "Maximized=0",
                                 "Journal_height=180"})
            QVERIFY2(saved.contains(line), line);
        // The settings of the connection are still written as before.
        QVERIFY(saved.contains(QByteArray(QByteArray("Base_port=") + QByteArray::number(TestDatabase::port()))));

        // The next run opens as this one was left.
        StationFixture next;
        next.writeConfig(saved);
        Station &s = next.start();
        QCOMPARE(s.form1()->geometry(), QRect(12, 24, 740, 500));
        s.form1()->show();
        QVERIFY(QTest::qWaitForWindowExposed(s.form1()));
        QTRY_COMPARE(s.form1()->Splitter2->sizes().value(1), 180);
    }

    void badSavedGeometryFallsBack_data()
    {
        QTest::addColumn<QByteArray>("window");
        QTest::newRow("off every screen") << QByteArray("Left=9000\nTop=9000\nWidth=700\nHeight=500\n");
        QTest::newRow("title bar above the screen") << QByteArray("Left=10\nTop=-400\nWidth=700\nHeight=500\n");
        QTest::newRow("only a sliver on screen") << QByteArray("Left=-690\nTop=10\nWidth=700\nHeight=500\n");
        QTest::newRow("no size") << QByteArray("Left=10\nTop=10\nWidth=0\nHeight=500\n");
        QTest::newRow("garbage") << QByteArray("Left=x\nTop=y\nWidth=big\nHeight=500\n");
    }

    void badSavedGeometryFallsBack()
    {
        QFETCH(QByteArray, window);
        StationFixture f;
        f.writeConfig("[Window]\n" + window);
        Station &s = f.start();
        TForm1 *form = s.form1();
        // The designed size, centred on the screen.
        QCOMPARE(form->size(), QSize(796, 649));
        const QRect screen = form->screen()->availableGeometry();
        QVERIFY2(screen.intersects(form->geometry()), qPrintable(QStringLiteral("%1,%2").arg(form->x()).arg(form->y())));
        QCOMPARE(form->frameGeometry().center().x(), screen.center().x());
        QVERIFY(!form->isMaximized());
    }

    void maximisedWindowComesBackMaximised()
    {
        StationFixture f;
        f.writeConfig("[Window]\nLeft=20\nTop=20\nWidth=640\nHeight=480\nMaximized=1\n");
        Station &s = f.start();
        s.form1()->show();
        QVERIFY(QTest::qWaitForWindowExposed(s.form1()));
        QVERIFY(s.form1()->isMaximized());
        s.form1()->close();
        const QByteArray saved = f.readConfig();
        QVERIFY(saved.contains("Maximized=1"));
        // The size to restore to is the one before maximising.
        QVERIFY2(saved.contains("Width=640") && saved.contains("Height=480"), saved.constData());
    }
};

QTEST_MAIN(TestAlarmAids)
#include "test_alarm_aids.moc"
