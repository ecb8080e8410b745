#include "Database.h"
#include "MonitoringSession.h"
#include "Journal.h"
#include "JournalModel.h"
#include "JournalSql.h"
#include "RecordingDialogs.h"
#include "StationState.h"
#include "TestConnections.h"
#include "TestDatabase.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QHeaderView>
#include <QLabel>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

#include <memory>
#include <optional>

namespace {

const QString ImeiA = QStringLiteral("356938035643809");
const QString ImeiB = QStringLiteral("356938035643810");
const QString ImeiC = QStringLiteral("356938035643811");
const QString Select = QStringLiteral("SELECT IMEI,Date,Type,Event,User FROM orvex_base.messages ");

QDateTime at(const QString &text)
{
    return QDateTime::fromString(text, Journal::DateFormat);
}

JournalRow row(const QString &date, const QString &type = QStringLiteral("Событие"), const QString &event = QString())
{
    return JournalRow{ImeiA, date, type, event, QStringLiteral("Pilot")};
}

QStringList column(const QAbstractItemModel *model, int column)
{
    QStringList out;
    for (int r = 0; r < model->rowCount(); ++r)
        out << model->index(r, column).data().toString();
    return out;
}

bool addMessages(const QList<QStringList> &rows)
{
    QStringList values;
    for (const QStringList &r : rows)
        values << QStringLiteral("('%1','%2','%3','%4','%5','%6')").arg(r.at(0), r.at(1), r.at(2), r.at(3), r.at(4), r.at(5));
    return TestDatabase::exec(QStringLiteral("INSERT INTO orvex_base.messages(IMEI,Date,Type,Event,Group_,User) VALUES ")
                              + values.join(QLatin1Char(',')));
}

// The journal part on its own, in a window, with a session whose group
// choice is "Все" of the groups G1 and G2, and a connection to the test
// database as an operator of those groups.
struct JournalWindow
{
    QTemporaryDir home;
    RecordingDialogs dialogs;
    StationState state;
    Database database{state};
    MonitoringSession session{state};
    Journal journalPart{state, database, session};
    Journal *journal = &journalPart;
    QWidget &window = journalPart;
    QLabel *title = journalPart.Label2;
    QDateTimeEdit *StartDate = journalPart.StartDate;
    QDateTimeEdit *EndDate = journalPart.EndDate;
    QTableView *StringGrid1 = journalPart.StringGrid1;

    JournalWindow()
    {
        window.resize(800, 400);
        state.Home_dir = home.path();
        state.dialogs = &dialogs;
        state.Login = QStringLiteral("oper");
        state.Password = QStringLiteral("secret");
        state.Base_address = QStringLiteral("127.0.0.1");
        state.Base_port = TestDatabase::port();
        chooseGroups({AllGroups, QStringLiteral("G1"), QStringLiteral("G2")}, 0);
        session.setPeriod(at(QStringLiteral("2011-09-01 10:00:00")), at(QStringLiteral("2011-09-01 23:59:59")), false);
    }

    void chooseGroups(const QStringList &items, int current)
    {
        session.setGroupChoice({items.value(current), items}, false);
    }

    bool connect() { return database.Connect_Base(QStringLiteral("orvex_base")); }

    const QAbstractItemModel *grid() const { return StringGrid1->model(); }

    // Statements this connection has run, as the server counts them.
    int selectsRun() { return statementsRun(database); }
};

} // namespace

class TestJournal final : public QObject
{
    Q_OBJECT

private slots:
    void statementTexts_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("selector");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<bool>("fullRights");
        QTest::addColumn<bool>("refresh");
        QTest::addColumn<QString>("bound");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("expected");

        const QString start = QStringLiteral("2011-09-01 10:00:00");
        const QString end = QStringLiteral("2011-09-01 23:59:59");
        const QString all = AllGroups;
        const QStringList three{all, QStringLiteral("G1"), QStringLiteral("G2"), QStringLiteral("G3")};

        QTest::newRow("one object") << ImeiA << all << three << false << false << start << QString()
                                    << Select + QStringLiteral("WHERE IMEI='356938035643809' AND Date > '2011-09-01 10:00:00'");
        QTest::newRow("one object, period end") << ImeiA << all << three << false << false << start << end
                                                << Select + QStringLiteral("WHERE IMEI='356938035643809' AND Date > '2011-09-01 10:00:00'"
                                                                           " AND Date <= '2011-09-01 23:59:59'");
        QTest::newRow("all groups") << QStringLiteral("All") << all << three << false << false << start << QString()
                                    << Select + QStringLiteral("WHERE (Group_='G1' OR Group_='G2' OR Group_='G3') AND Date > '2011-09-01 10:00:00'");
        QTest::newRow("the one group") << QStringLiteral("All") << all << QStringList{all, QStringLiteral("G1")} << false << false << start << end
                                       << Select + QStringLiteral("WHERE (Group_='G1') AND Date > '2011-09-01 10:00:00' AND Date <= '2011-09-01 23:59:59'");
        QTest::newRow("no group") << QStringLiteral("All") << all << QStringList{all} << false << false << start << QString()
                                  << Select + QStringLiteral("WHERE Group_=' ' AND Date > '2011-09-01 10:00:00'");
        QTest::newRow("chosen group") << QStringLiteral("All") << QStringLiteral("G2") << three << false << false << start << QString()
                                      << Select + QStringLiteral("WHERE Group_='G2' AND Date > '2011-09-01 10:00:00'");
        // Both keys compare as exact text.
        QTest::newRow("all in lower case is an IMEI") << QStringLiteral("all") << all << three << false << false << start << QString()
                                                      << Select + QStringLiteral("WHERE IMEI='all' AND Date > '2011-09-01 10:00:00'");
        QTest::newRow("все in lower case is a group") << QStringLiteral("All") << QStringLiteral("все") << three << false << false << start << QString()
                                                      << Select + QStringLiteral("WHERE Group_='все' AND Date > '2011-09-01 10:00:00'");
        QTest::newRow("quotes stay inside the literals")
            << QStringLiteral("All") << all << QStringList{all, QStringLiteral("Группа 'А'"), QStringLiteral("B\\")} << false << false
            << QStringLiteral("x' OR '1'='1") << QString()
            << Select + QStringLiteral("WHERE (Group_='Группа \\'А\\'' OR Group_='B\\\\') AND Date > 'x\\' OR \\'1\\'=\\'1'");
        QTest::newRow("quote in an IMEI") << QStringLiteral("1' OR '1'='1") << all << three << false << false << start << QString()
                                          << Select + QStringLiteral("WHERE IMEI='1\\' OR \\'1\\'=\\'1' AND Date > '2011-09-01 10:00:00'");

        // An administrator sees every object on "Все", grouped or not, and
        // so every row; a chosen group or an object stays as it is.
        QTest::newRow("administrator, all") << QStringLiteral("All") << all << three << true << false << start << QString()
                                            << Select + QStringLiteral("WHERE Date > '2011-09-01 10:00:00'");
        QTest::newRow("administrator without groups") << QStringLiteral("All") << all << QStringList{all} << true << false << start << end
                                                      << Select + QStringLiteral("WHERE Date > '2011-09-01 10:00:00' AND Date <= '2011-09-01 23:59:59'");
        QTest::newRow("administrator, chosen group") << QStringLiteral("All") << QStringLiteral("G2") << three << true << false << start << QString()
                                                     << Select + QStringLiteral("WHERE Group_='G2' AND Date > '2011-09-01 10:00:00'");
        QTest::newRow("administrator, one object") << ImeiA << all << three << true << false << start << QString()
                                                   << Select + QStringLiteral("WHERE IMEI='356938035643809' AND Date > '2011-09-01 10:00:00'");

        // A top-up asks from a time on, that time included, within the period.
        const QString from = QStringLiteral("2011-09-01 12:30:04");
        const QString period = QStringLiteral(" AND Date > '2011-09-01 10:00:00' AND Date >= '2011-09-01 12:30:04'");
        QTest::newRow("top-up of one object") << ImeiA << all << three << false << true << from << QString()
                                              << Select + QStringLiteral("WHERE IMEI='356938035643809'") + period;
        QTest::newRow("top-up of all groups") << QStringLiteral("All") << all << three << false << true << from << QString()
                                              << Select + QStringLiteral("WHERE (Group_='G1' OR Group_='G2' OR Group_='G3')") + period;
        QTest::newRow("top-up without groups") << QStringLiteral("All") << all << QStringList{all} << false << true << from << QString()
                                               << Select + QStringLiteral("WHERE Group_=' '") + period;
        QTest::newRow("top-up of the chosen group") << QStringLiteral("All") << QStringLiteral("G1") << three << false << true << from << QString()
                                                    << Select + QStringLiteral("WHERE Group_='G1'") + period;
        QTest::newRow("top-up, administrator") << QStringLiteral("All") << all << three << true << true << from << QString()
                                               << Select + QStringLiteral("WHERE Date > '2011-09-01 10:00:00' AND Date >= '2011-09-01 12:30:04'");
    }

    void statementTexts() const
    {
        QFETCH(QString, key);
        QFETCH(QString, selector);
        QFETCH(QStringList, items);
        QFETCH(bool, fullRights);
        QFETCH(bool, refresh);
        QFETCH(QString, bound);
        QFETCH(QString, end);
        QFETCH(QString, expected);
        const GroupChoice groups{selector, items};
        if (refresh) {
            QCOMPARE(JournalSql::refreshMessages(SqlEscaper(), key, groups, fullRights, QStringLiteral("2011-09-01 10:00:00"), bound),
                     expected);
        } else {
            const std::optional<QString> upTo = end.isEmpty() ? std::nullopt : std::optional<QString>(end);
            QCOMPARE(JournalSql::loadMessages(SqlEscaper(), key, groups, fullRights, bound, upTo), expected);
        }
    }

    // The read of who took an alarm: the station's own row type and text,
    // the IMEI as a value (a quote in it cannot end the literal), newest first.
    void lastTakenStatement() const
    {
        QCOMPARE(JournalSql::lastTaken(SqlEscaper(), QStringLiteral("356938035643809")),
                 QStringLiteral("SELECT User,Date FROM orvex_base.messages WHERE IMEI='356938035643809' AND Type='Событие' "
                                "AND Event='Тревога принята в обработку' ORDER BY Date DESC LIMIT 1"));
        QVERIFY(JournalSql::lastTaken(SqlEscaper(), QStringLiteral("1' OR '1'='1"))
                    .contains(QStringLiteral("IMEI='1\\' OR \\'1\\'=\\'1' AND")));
    }

    void rowsAreShownNewestFirst()
    {
        JournalModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.columnCount(), 5);
        QStringList headers;
        for (int c = 0; c < model.columnCount(); ++c)
            headers << model.headerData(c, Qt::Horizontal).toString();
        QCOMPARE(headers, (QStringList{QStringLiteral("IMEI"), QStringLiteral("Время"), QStringLiteral("Тип"),
                                       QStringLiteral("Сообщение"), QStringLiteral("Пользователь")}));
        // Like the grid at start: one blank row, which is no row of the table.
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.shownCount(), 0);
        QCOMPARE(model.index(0, JournalModel::DateColumn).data().toString(), QString());
        QVERIFY(!model.index(0, 0).data(Qt::BackgroundRole).isValid());

        // The server's order, oldest first.
        model.load({row(QStringLiteral("2011-09-01 10:00:01"), QStringLiteral("Охрана"), QStringLiteral("r0")),
                    row(QStringLiteral("2011-09-01 10:00:02"), QStringLiteral("Тревога"), QStringLiteral("r1")),
                    row(QStringLiteral("2011-09-01 10:00:03"), QStringLiteral("Команда"), QStringLiteral("r2"))});
        QCOMPARE(column(&model, JournalModel::EventColumn), (QStringList{QStringLiteral("r2"), QStringLiteral("r1"), QStringLiteral("r0")}));
        QCOMPARE(model.index(0, JournalModel::DateColumn).data().toString(), QStringLiteral("2011-09-01 10:00:03"));
        QCOMPARE(model.index(0, JournalModel::TypeColumn).data().toString(), QStringLiteral("Команда"));
        QCOMPARE(model.index(2, JournalModel::ImeiColumn).data().toString(), ImeiA);
        QCOMPARE(model.index(2, JournalModel::UserColumn).data().toString(), QStringLiteral("Pilot"));
        QVERIFY(!(model.flags(model.index(0, 0)) & Qt::ItemIsEditable));

        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        model.prepend({row(QStringLiteral("2011-09-01 10:00:04"), QStringLiteral("Событие"), QStringLiteral("n0")),
                       row(QStringLiteral("2011-09-01 10:00:05"), QStringLiteral("Событие"), QStringLiteral("n1"))});
        QCOMPARE(inserted.size(), 1);
        QCOMPARE(inserted.at(0).at(1).toInt(), 0);
        QCOMPARE(inserted.at(0).at(2).toInt(), 1);
        QCOMPARE(column(&model, JournalModel::EventColumn),
                 (QStringList{QStringLiteral("n1"), QStringLiteral("n0"), QStringLiteral("r2"), QStringLiteral("r1"), QStringLiteral("r0")}));

        // A top-up that brings nothing leaves the rows alone.
        model.prepend({});
        QCOMPARE(inserted.size(), 1);
        QCOMPARE(model.rowCount(), 5);

        // A load without rows keeps the one blank row; rows topped up onto it
        // go above it.
        model.load({});
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.shownCount(), 0);
        model.prepend({row(QStringLiteral("2011-09-01 11:00:00"), QStringLiteral("Событие"), QStringLiteral("t"))});
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(column(&model, JournalModel::EventColumn), (QStringList{QStringLiteral("t"), QString()}));
        model.load({row(QStringLiteral("2011-09-01 12:00:00"))});
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.shownCount(), 1);
    }

    void topUpLeavesOutTheRowsShown()
    {
        JournalModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.topUpFrom(), QString());
        const JournalRow old = row(QStringLiteral("2011-09-01 10:00:03"), QStringLiteral("Охрана"), QStringLiteral("old"));
        const JournalRow a = row(QStringLiteral("2011-09-01 10:00:04"), QStringLiteral("Тревога"), QStringLiteral("a"));
        const JournalRow b = row(QStringLiteral("2011-09-01 10:00:05"), QStringLiteral("Тревога"), QStringLiteral("b"));
        model.load({old, a, b});
        // From the second before the newest one shown.
        QCOMPARE(model.topUpFrom(), QStringLiteral("2011-09-01 10:00:04"));

        // The top-up brings the rows from that time on again, with a row
        // written since within the newest second, one a station dated by its
        // last clock tick, and one equal to a row shown: two equal rows are
        // two rows.
        const JournalRow sameSecond = row(QStringLiteral("2011-09-01 10:00:05"), QStringLiteral("Событие"), QStringLiteral("same second"));
        const JournalRow lastTick = row(QStringLiteral("2011-09-01 10:00:04"), QStringLiteral("Событие"), QStringLiteral("last tick"));
        model.prepend({a, lastTick, b, sameSecond, b});
        QCOMPARE(column(&model, JournalModel::EventColumn),
                 (QStringList{QStringLiteral("b"), QStringLiteral("same second"), QStringLiteral("last tick"), QStringLiteral("b"),
                              QStringLiteral("a"), QStringLiteral("old")}));

        // The same again: nothing new.
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        model.prepend({a, lastTick, b, sameSecond, b});
        QCOMPARE(inserted.size(), 0);

        // A later second moves the start of the next top-up on.
        const JournalRow later = row(QStringLiteral("2011-09-01 10:00:07"), QStringLiteral("Событие"), QStringLiteral("later"));
        model.prepend({b, sameSecond, b, later});
        QCOMPARE(model.shownCount(), 7);
        QCOMPARE(model.topUpFrom(), QStringLiteral("2011-09-01 10:00:06"));
        model.prepend({later});
        QCOMPARE(model.shownCount(), 7);
    }

    void rowColours_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("event");
        QTest::addColumn<QColor>("colour");
        const QColor none;
        QTest::newRow("alarm") << QStringLiteral("Тревога") << QStringLiteral("Открыт сейф") << QColor(255, 132, 132);
        QTest::newRow("guard") << QStringLiteral("Охрана") << QStringLiteral("Взят под охрану") << QColor(132, 255, 132);
        QTest::newRow("event") << QStringLiteral("Событие") << QStringLiteral("Тревога принята в обработку") << QColor(132, 218, 255);
        QTest::newRow("frame") << QStringLiteral("Событие") << QStringLiteral("Кадр с камеры") << QColor(255, 255, 138);
        QTest::newRow("frame mid-text") << QStringLiteral("Событие") << QStringLiteral("Получен Кадр №3") << QColor(255, 255, 138);
        QTest::newRow("frame word in lower case") << QStringLiteral("Событие") << QStringLiteral("кадр с камеры") << QColor(132, 218, 255);
        QTest::newRow("command") << QStringLiteral("Команда") << QStringLiteral("Снять с охраны") << QColor(255, 179, 102);
        QTest::newRow("alarm that mentions a frame") << QStringLiteral("Тревога") << QStringLiteral("Кадр с камеры") << QColor(255, 132, 132);
        QTest::newRow("type in lower case") << QStringLiteral("тревога") << QString() << none;
        QTest::newRow("unknown type") << QStringLiteral("Прочее") << QStringLiteral("Кадр") << none;
        QTest::newRow("no type") << QString() << QString() << none;
    }

    void rowColours()
    {
        QFETCH(QString, type);
        QFETCH(QString, event);
        QFETCH(QColor, colour);
        JournalModel model;
        model.load({row(QStringLiteral("2011-09-01 10:00:00"), QStringLiteral("Охрана")), row(QStringLiteral("2011-09-01 10:00:01"), type, event)});
        // The whole row takes the colour, and only this row.
        for (int c = 0; c < model.columnCount(); ++c) {
            const QVariant fill = model.index(0, c).data(Qt::BackgroundRole);
            if (colour.isValid())
                QCOMPARE(fill.value<QColor>(), colour);
            else
                QVERIFY2(!fill.isValid(), qPrintable(fill.value<QColor>().name()));
            QCOMPARE(model.index(1, c).data(Qt::BackgroundRole).value<QColor>(), QColor(132, 255, 132));
        }
    }

    void init()
    {
        if (!QByteArray(QTest::currentTestFunction()).startsWith("db"))
            return;
        QString error;
        QVERIFY2(TestDatabase::reset(&error), qPrintable(error));
        QVERIFY2(TestDatabase::addOperator(QStringLiteral("oper"), QStringLiteral("secret"), false, QString(),
                                           {QStringLiteral("G1"), QStringLiteral("G2")}, &error),
                 qPrintable(error));
        QVERIFY(addMessages({
            {ImeiA, QStringLiteral("2011-09-01 09:00:00"), QStringLiteral("Охрана"), QStringLiteral("before"), QStringLiteral("G1"), QString()},
            {ImeiA, QStringLiteral("2011-09-01 10:00:00"), QStringLiteral("Охрана"), QStringLiteral("at the start"), QStringLiteral("G1"), QString()},
            {ImeiA, QStringLiteral("2011-09-01 10:00:01"), QStringLiteral("Тревога"), QStringLiteral("a1"), QStringLiteral("G1"), QString()},
            {ImeiB, QStringLiteral("2011-09-01 10:30:00"), QStringLiteral("Событие"), QStringLiteral("b1"), QStringLiteral("G2"), QStringLiteral("oper")},
            {ImeiA, QStringLiteral("2011-09-01 11:00:00"), QStringLiteral("Событие"), QStringLiteral("Кадр с камеры"), QStringLiteral("G1"), QString()},
            {ImeiC, QStringLiteral("2011-09-01 11:30:00"), QStringLiteral("Тревога"), QStringLiteral("c1"), QStringLiteral("G3"), QString()},
            {ImeiB, QStringLiteral("2011-09-01 11:45:00"), QStringLiteral("Событие"), QStringLiteral("b2"), QString(), QString()},
            {ImeiA, QStringLiteral("2011-09-01 23:59:59"), QStringLiteral("Команда"), QStringLiteral("at the end"), QStringLiteral("G1"), QString()},
            {ImeiA, QStringLiteral("2011-09-02 08:00:00"), QStringLiteral("Охрана"), QStringLiteral("next day"), QStringLiteral("G1"), QString()},
        }));
    }

    void dbLoadOfOneObject()
    {
        JournalWindow w;
        QVERIFY(w.connect());
        QAbstractItemModelTester tester(w.journal->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(w.StringGrid1->model(), w.journal->model());
        QCOMPARE(w.journal->model()->shownCount(), 0);

        w.journal->Load_Messages(ImeiA, false);
        QCOMPARE(w.title->text(), QStringLiteral("Сообщения от объекта ") + ImeiA);
        // After the start, exclusive; the end does not count for this load.
        QCOMPARE(column(w.grid(), JournalModel::EventColumn),
                 (QStringList{QStringLiteral("next day"), QStringLiteral("at the end"), QStringLiteral("Кадр с камеры"), QStringLiteral("a1")}));
        QCOMPARE(column(w.grid(), JournalModel::DateColumn).last(), QStringLiteral("2011-09-01 10:00:01"));
        QCOMPARE(w.grid()->index(1, JournalModel::TypeColumn).data().toString(), QStringLiteral("Команда"));
        QCOMPARE(w.grid()->index(1, JournalModel::TypeColumn).data(Qt::BackgroundRole).value<QColor>(), QColor(255, 179, 102));
        QCOMPARE(w.grid()->index(2, JournalModel::UserColumn).data(Qt::BackgroundRole).value<QColor>(), QColor(255, 255, 138));

        // A quote in the key cannot widen the query to every object.
        w.journal->Load_Messages(QStringLiteral("x' OR '1'='1"), false);
        QCOMPARE(w.journal->model()->shownCount(), 0);
        QCOMPARE(w.dialogs.messages, QStringList());

        // The IMEI column shows a whole IMEI whatever the desktop's font.
        QVERIFY(w.StringGrid1->columnWidth(0) >= 102);
        QVERIFY(w.StringGrid1->columnWidth(0) > w.StringGrid1->fontMetrics().horizontalAdvance(QStringLiteral("000000000000000")));
        QCOMPARE(w.StringGrid1->columnWidth(3), 317);
        QCOMPARE(w.StringGrid1->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(w.StringGrid1->editTriggers(), QAbstractItemView::NoEditTriggers);
    }

    void dbGroupJournal_data()
    {
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<int>("current");
        QTest::addColumn<bool>("fullRights");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("events");
        const QString all = AllGroups;
        const QStringList both{all, QStringLiteral("G1"), QStringLiteral("G2")};
        QTest::newRow("all of the operator's groups")
            << both << 0 << false << QStringLiteral("Сообщения от объектов группы Все")
            << QStringList{QStringLiteral("next day"), QStringLiteral("at the end"), QStringLiteral("Кадр с камеры"), QStringLiteral("b1"), QStringLiteral("a1")};
        QTest::newRow("one chosen group") << both << 2 << false << QStringLiteral("Сообщения от объектов группы G2") << QStringList{QStringLiteral("b1")};
        // Neither rows of no group nor of foreign groups.
        QTest::newRow("operator without groups") << QStringList{all} << 0 << false << QStringLiteral("Сообщения от объектов группы Все") << QStringList{QString()};
        // An administrator's list holds every object, grouped or not: so does
        // the journal.
        QTest::newRow("administrator, all")
            << both << 0 << true << QStringLiteral("Сообщения от объектов группы Все")
            << QStringList{QStringLiteral("next day"), QStringLiteral("at the end"), QStringLiteral("b2"), QStringLiteral("c1"),
                           QStringLiteral("Кадр с камеры"), QStringLiteral("b1"), QStringLiteral("a1")};
        QTest::newRow("administrator, one group") << both << 2 << true << QStringLiteral("Сообщения от объектов группы G2") << QStringList{QStringLiteral("b1")};
    }

    void dbGroupJournal()
    {
        QFETCH(QStringList, items);
        QFETCH(int, current);
        QFETCH(bool, fullRights);
        QFETCH(QString, title);
        QFETCH(QStringList, events);
        JournalWindow w;
        w.state.Full_rights = fullRights;
        QVERIFY(w.connect());
        w.chooseGroups(items, current);
        w.journal->Load_Messages(AllKey, false);
        QCOMPARE(w.title->text(), title);
        QCOMPARE(column(w.grid(), JournalModel::EventColumn), events);
    }

    void dbEditingThePeriodAppliesItsEnd()
    {
        JournalWindow w;
        QVERIFY(w.connect());
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));

        // No object selected: the group journal, now bounded by the end.
        w.session.setSelectionCleared();
        w.EndDate->setFocus();
        w.EndDate->setCurrentSection(QDateTimeEdit::SecondSection);
        QTest::keyClick(w.EndDate, Qt::Key_Down);
        QCOMPARE(w.EndDate->dateTime(), at(QStringLiteral("2011-09-01 23:59:58")));
        QCOMPARE(w.title->text(), QStringLiteral("Сообщения от объектов группы Все"));
        QCOMPARE(column(w.grid(), JournalModel::EventColumn),
                 (QStringList{QStringLiteral("Кадр с камеры"), QStringLiteral("b1"), QStringLiteral("a1")}));

        // An object selected: its journal, the end inclusive.
        w.session.select(ImeiA, 0);
        QTest::keyClick(w.EndDate, Qt::Key_Up);
        QCOMPARE(w.title->text(), QStringLiteral("Сообщения от объекта ") + ImeiA);
        QCOMPARE(column(w.grid(), JournalModel::EventColumn),
                 (QStringList{QStringLiteral("at the end"), QStringLiteral("Кадр с камеры"), QStringLiteral("a1")}));

        // The start picker reloads as well.
        w.StartDate->setFocus();
        w.StartDate->setCurrentSection(QDateTimeEdit::HourSection);
        QTest::keyClick(w.StartDate, Qt::Key_Down);
        QCOMPARE(column(w.grid(), JournalModel::EventColumn).last(), QStringLiteral("at the start"));

        // The station's own move of the period reloads nothing.
        QSignalSpy reset(w.journal->model(), &QAbstractItemModel::modelReset);
        w.session.setPeriod(at(QStringLiteral("2011-09-04 12:00:00")), at(QStringLiteral("2011-09-05 12:00:00")), false);
        QCOMPARE(w.StartDate->dateTime(), at(QStringLiteral("2011-09-04 12:00:00")));
        QCOMPARE(w.EndDate->dateTime(), at(QStringLiteral("2011-09-05 12:00:00")));
        QCOMPARE(reset.size(), 0);
    }

    void dbTopUpPutsNewRowsOnTop()
    {
        JournalWindow w;
        QVERIFY(w.connect());
        QAbstractItemModelTester tester(w.journal->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        w.journal->Load_Messages(ImeiA, false);
        QCOMPARE(w.grid()->rowCount(), 4);
        w.title->setText(QStringLiteral("marker"));

        // Written after the load within the second of the newest row shown.
        QVERIFY(addMessages({
            {ImeiA, QStringLiteral("2011-09-02 08:00:00"), QStringLiteral("Событие"), QStringLiteral("same second"), QStringLiteral("G1"), QString()},
            {ImeiA, QStringLiteral("2011-09-02 09:00:00"), QStringLiteral("Тревога"), QStringLiteral("new 1"), QStringLiteral("G1"), QString()},
            {ImeiB, QStringLiteral("2011-09-02 09:30:00"), QStringLiteral("Тревога"), QStringLiteral("other object"), QStringLiteral("G2"), QString()},
            {ImeiA, QStringLiteral("2011-09-02 10:00:00"), QStringLiteral("Охрана"), QStringLiteral("new 2"), QStringLiteral("G1"), QString()},
        }));
        // The top-up is of what the journal shows, whichever key it is asked
        // with: the rows of another object never come under this title.
        w.journal->Refresh_Messages(ImeiB);
        QCOMPARE(w.title->text(), QStringLiteral("marker"));
        QCOMPARE(column(w.grid(), JournalModel::EventColumn),
                 (QStringList{QStringLiteral("new 2"), QStringLiteral("new 1"), QStringLiteral("same second"), QStringLiteral("next day"),
                              QStringLiteral("at the end"), QStringLiteral("Кадр с камеры"), QStringLiteral("a1")}));

        // Another row in the newest second after a top-up comes too, the
        // rows shown of that second do not come twice.
        QVERIFY(addMessages({{ImeiA, QStringLiteral("2011-09-02 10:00:00"), QStringLiteral("Событие"), QStringLiteral("new 3"), QStringLiteral("G1"), QString()}}));
        w.journal->Refresh_Messages(ImeiA);
        QCOMPARE(column(w.grid(), JournalModel::EventColumn).mid(0, 4),
                 (QStringList{QStringLiteral("new 3"), QStringLiteral("new 2"), QStringLiteral("new 1"), QStringLiteral("same second")}));
        QCOMPARE(w.grid()->rowCount(), 8);

        // Nothing newer: no change at all.
        QSignalSpy inserted(w.journal->model(), &QAbstractItemModel::rowsInserted);
        QSignalSpy reset(w.journal->model(), &QAbstractItemModel::modelReset);
        w.journal->Refresh_Messages(ImeiA);
        QCOMPARE(w.grid()->rowCount(), 8);
        QCOMPARE(inserted.size() + reset.size(), 0);

        // The group journal tops up with the new rows of every object in it.
        w.journal->Load_Messages(AllKey, false);
        const int shown = w.grid()->rowCount();
        QVERIFY(addMessages({{ImeiB, QStringLiteral("2011-09-02 11:00:00"), QStringLiteral("Событие"), QStringLiteral("b new"), QStringLiteral("G2"), QString()},
                             {ImeiC, QStringLiteral("2011-09-02 11:00:00"), QStringLiteral("Событие"), QStringLiteral("foreign"), QStringLiteral("G3"), QString()}}));
        w.journal->Refresh_Messages(AllKey);
        QCOMPARE(w.grid()->rowCount(), shown + 1);
        QCOMPARE(w.grid()->index(0, JournalModel::EventColumn).data().toString(), QStringLiteral("b new"));
    }

    void dbTopUpBeforeAnyLoadLoadsUnderItsTitle()
    {
        JournalWindow w;
        QVERIFY(w.connect());
        w.journal->Refresh_Messages(AllKey);
        QCOMPARE(w.title->text(), QStringLiteral("Сообщения от объектов группы Все"));
        QCOMPARE(column(w.grid(), JournalModel::EventColumn),
                 (QStringList{QStringLiteral("next day"), QStringLiteral("at the end"), QStringLiteral("Кадр с камеры"), QStringLiteral("b1"),
                              QStringLiteral("a1")}));
    }

    void dbTopUpOfAnEmptyJournalKeepsToThePeriod()
    {
        JournalWindow w;
        QVERIFY(w.connect());
        w.journal->Load_Messages(ImeiC, false);
        QCOMPARE(w.grid()->rowCount(), 1);
        w.session.setPeriod(at(QStringLiteral("2011-09-03 00:00:00")), at(QStringLiteral("2011-09-03 23:59:59")), false);
        w.journal->Load_Messages(ImeiC, false);
        // No row: the one blank row of the grid.
        QCOMPARE(w.grid()->rowCount(), 1);
        QCOMPARE(w.journal->model()->shownCount(), 0);
        // Nothing shown bounds the top-up: its rows are those of the period,
        // not the object's whole history.
        QVERIFY(addMessages({{ImeiC, QStringLiteral("2011-09-03 08:00:00"), QStringLiteral("Тревога"), QStringLiteral("c new"), QStringLiteral("G3"), QString()}}));
        w.journal->Refresh_Messages(ImeiC);
        QCOMPARE(column(w.grid(), JournalModel::EventColumn), (QStringList{QStringLiteral("c new"), QString()}));
    }

    void dbNothingIsSentWithoutConnection()
    {
        JournalWindow w;
        QVERIFY(w.connect());
        w.journal->Load_Messages(ImeiA, false);
        const QStringList shown = column(w.grid(), JournalModel::EventColumn);
        const int before = w.selectsRun();
        QVERIFY(before > 0);

        w.state.Base_connected = false;
        w.journal->Load_Messages(ImeiB, false);
        // The rows stay those of the last load, and so does the title that
        // says what they are.
        QCOMPARE(w.title->text(), QStringLiteral("Сообщения от объекта ") + ImeiA);
        w.journal->Refresh_Messages(ImeiA);
        w.journal->StartDateChange();
        QCOMPARE(column(w.grid(), JournalModel::EventColumn), shown);

        w.state.Base_connected = true;
        QCOMPARE(w.selectsRun(), before);
        QCOMPARE(w.dialogs.messages, QStringList());

        // What could not run waits for the database: the last load asked
        // for, which covers the top-up asked for before it.
        QVERIFY(w.journal->isBehind());
        QSignalSpy caughtUp(w.journal, &Journal::behindChanged);
        w.journal->catchUp();
        QCOMPARE(w.title->text(), QStringLiteral("Сообщения от объектов группы Все"));
        QCOMPARE(column(w.grid(), JournalModel::EventColumn),
                 (QStringList{QStringLiteral("at the end"), QStringLiteral("Кадр с камеры"), QStringLiteral("b1"),
                              QStringLiteral("a1")}));
        QVERIFY(!w.journal->isBehind());
        QCOMPARE(caughtUp.count(), 1);
    }

    void dbRefusedQueryKeepsTheRows()
    {
        JournalWindow w;
        QVERIFY(w.connect());
        w.journal->Load_Messages(ImeiA, false);
        const QStringList shown = column(w.grid(), JournalModel::EventColumn);
        QVERIFY(TestDatabase::exec(QStringLiteral("RENAME TABLE orvex_base.messages TO orvex_base.messages_gone")));
        w.journal->Load_Messages(ImeiB, false);
        w.journal->Refresh_Messages(ImeiA);
        QCOMPARE(column(w.grid(), JournalModel::EventColumn), shown);
        QCOMPARE(w.dialogs.messages, QStringList());
        // Not silent either: the journal knows it is behind, and why.
        QVERIFY(w.journal->isBehind());
        QVERIFY2(w.journal->lastError().contains(QStringLiteral("messages")), qPrintable(w.journal->lastError()));
        QVERIFY(TestDatabase::exec(QStringLiteral("RENAME TABLE orvex_base.messages_gone TO orvex_base.messages")));
        w.journal->catchUp();
        QCOMPARE(w.title->text(), QStringLiteral("Сообщения от объекта ") + ImeiB);
        QVERIFY(!w.journal->isBehind());
        QVERIFY(w.journal->lastError().isEmpty());
    }

    void dbDoubleClickAsksForTheFrameOfTheRow()
    {
        JournalWindow w;
        QVERIFY(w.connect());
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        w.journal->Load_Messages(AllKey, false);
        QSignalSpy frames(w.journal, &Journal::frameRequested);
        const auto doubleClick = [&w](int r) {
            const QModelIndex index = w.grid()->index(r, JournalModel::UserColumn);
            w.StringGrid1->scrollTo(index);
            const QPoint centre = w.StringGrid1->visualRect(index).center();
            QTest::mouseClick(w.StringGrid1->viewport(), Qt::LeftButton, {}, centre);
            QTest::mouseDClick(w.StringGrid1->viewport(), Qt::LeftButton, {}, centre);
        };
        const QStringList events = column(w.grid(), JournalModel::EventColumn);
        doubleClick(int(events.indexOf(QStringLiteral("b1"))));
        QCOMPARE(frames.size(), 0);
        doubleClick(int(events.indexOf(QStringLiteral("Кадр с камеры"))));
        QCOMPARE(frames.size(), 1);
        QCOMPARE(frames.at(0).at(0).toString(), ImeiA);
        QCOMPARE(frames.at(0).at(1).toString(), QStringLiteral("2011-09-01 11:00:00"));
    }
};

QTEST_MAIN(TestJournal)
#include "test_journal.moc"
