#include "ReportSql.h"

#include <QTest>

Q_DECLARE_METATYPE(ReportSelection)

namespace {

const QString Head5 = QStringLiteral("SELECT Date,IMEI,Type,Event,User FROM orvex_base.messages ");
const QString Head4 = QStringLiteral("SELECT Date,Type,Event,User FROM orvex_base.messages ");
const QString August = QStringLiteral("WHERE Date >= '2011-08-01 00:00:00' AND Date <= '2011-08-31 23:59:59'");

ReportSelection base()
{
    ReportSelection s;
    s.group = s.object = s.imei = s.user = QStringLiteral("Все");
    s.from = QDateTime(QDate(2011, 8, 1), QTime(0, 0, 0));
    s.to = QDateTime(QDate(2011, 8, 31), QTime(23, 59, 59));
    return s;
}

ReportSelection group(ReportSelection s, const QString &name)
{
    s.group = name;
    s.groupChosen = true;
    return s;
}

ReportSelection object(ReportSelection s, const QString &name, const QString &imei)
{
    s.object = name;
    s.imei = imei;
    s.objectChosen = true;
    return s;
}

ReportSelection user(ReportSelection s, const QString &login)
{
    s.user = login;
    s.userChosen = true;
    return s;
}

ReportSelection whole(ReportSelection s)
{
    s.wholePeriod = true;
    return s;
}

ReportSelection types(ReportSelection s, bool alarms, bool events, bool guard, bool commands)
{
    s.alarms = alarms;
    s.events = events;
    s.guard = guard;
    s.commands = commands;
    return s;
}

} // namespace

class TestReportSql final : public QObject
{
    Q_OBJECT

private slots:
    void reportStatement_data()
    {
        QTest::addColumn<ReportSelection>("selection");
        QTest::addColumn<QString>("expected");
        const ReportSelection s = base();
        QTest::newRow("example: group, period, two types")
            << types(group(s, QStringLiteral("Север")), true, false, true, false)
            << Head5 + August + QStringLiteral(" AND Group_='Север' AND ( Type='Тревога' OR Type='Охрана')");
        QTest::newRow("example: whole period, operator only")
            << user(whole(s), QStringLiteral("Operator")) << Head5 + QStringLiteral("WHERE User='Operator'");
        QTest::newRow("everything on all: no WHERE") << whole(s) << Head5;
        QTest::newRow("whole period and a group starts with WHERE")
            << group(whole(s), QStringLiteral("Юг")) << Head5 + QStringLiteral("WHERE Group_='Юг'");
        QTest::newRow("period alone") << s << Head5 + August;
        QTest::newRow("all four types")
            << types(whole(s), true, true, true, true)
            << Head5 + QStringLiteral("WHERE ( Type='Тревога' OR Type='Событие' OR Type='Охрана' OR Type='Команда')");
        QTest::newRow("only commands") << types(s, false, false, false, true)
                                       << Head5 + August + QStringLiteral(" AND ( Type='Команда')");
        QTest::newRow("one object in group all: IMEI, no object column")
            << object(s, QStringLiteral("NCR"), QStringLiteral("353281040000017"))
            << Head4 + August + QStringLiteral(" AND IMEI='353281040000017'");
        QTest::newRow("one object ignores the group")
            << user(object(group(whole(s), QStringLiteral("Север")), QStringLiteral("NCR"), QStringLiteral("35")),
                    QStringLiteral("Pilot"))
            << Head4 + QStringLiteral("WHERE IMEI='35' AND User='Pilot'");
        QTest::newRow("every condition")
            << types(user(group(s, QStringLiteral("Центр")), QStringLiteral("Pilot")), false, true, false, true)
            << Head5 + August
                + QStringLiteral(" AND Group_='Центр' AND User='Pilot' AND ( Type='Событие' OR Type='Команда')");
        QTest::newRow("quote in a group stays in its literal")
            << group(whole(s), QStringLiteral("O'Brien")) << Head5 + QStringLiteral("WHERE Group_='O\\'Brien'");
        QTest::newRow("quote in a login") << user(whole(s), QStringLiteral("a'; DROP TABLE x; --"))
                                          << Head5 + QStringLiteral("WHERE User='a\\'; DROP TABLE x; --'");
        QTest::newRow("a group really named Все is a group")
            << group(whole(s), QStringLiteral("Все")) << Head5 + QStringLiteral("WHERE Group_='Все'");
    }

    void reportStatement() const
    {
        QFETCH(ReportSelection, selection);
        QFETCH(QString, expected);
        QCOMPARE(ReportSql::report(SqlEscaper(), selection), expected);
    }

    void listStatements() const
    {
        QCOMPARE(ReportSql::groups(), QStringLiteral("SELECT Name FROM orvex_base.groups"));
        QCOMPARE(ReportSql::users(), QStringLiteral("SELECT Login FROM orvex_base.users"));
        QCOMPARE(ReportSql::objects(SqlEscaper(), QStringLiteral("Все"), false),
                 QStringLiteral("SELECT Name,IMEI FROM orvex_base.objects"));
        QCOMPARE(ReportSql::objects(SqlEscaper(), QStringLiteral("Север"), true),
                 QStringLiteral("SELECT Name,IMEI FROM orvex_base.objects WHERE Group_='Север'"));
        QCOMPARE(ReportSql::objects(SqlEscaper(), QStringLiteral("a'b"), true),
                 QStringLiteral("SELECT Name,IMEI FROM orvex_base.objects WHERE Group_='a\\'b'"));
    }

    void heading_data()
    {
        QTest::addColumn<ReportSelection>("selection");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("columns");
        const QStringList five{QStringLiteral("Дата"), QStringLiteral("Банкомат/терминал"), QStringLiteral("Тип"),
                               QStringLiteral("Сообщение"), QStringLiteral("Пользователь")};
        const QStringList four{QStringLiteral("Дата"), QStringLiteral("Тип"), QStringLiteral("Сообщение"),
                               QStringLiteral("Пользователь")};
        QTest::newRow("all, period, no type")
            << base()
            << QStringList{QStringLiteral("Сводный отчет по объекту(ам) \"Все\""),
                           QStringLiteral("за период с 01-08-2011 00:00:00 по 31-08-2011 23:59:59"),
                           QStringLiteral("Группа объекта(ов) \"Все\""), QStringLiteral("Пользователь \"Все\""),
                           QStringLiteral("Содержание отчета: Все сообщения")}
            << five;
        QTest::newRow("one object, whole period, all types")
            << types(user(object(group(whole(base()), QStringLiteral("Север")), QStringLiteral("00123"), QStringLiteral("1")),
                          QStringLiteral("Pilot")),
                     true, true, true, true)
            << QStringList{QStringLiteral("Сводный отчет по объекту(ам) \"00123\""), QStringLiteral("за весь период"),
                           QStringLiteral("Группа объекта(ов) \"Север\""), QStringLiteral("Пользователь \"Pilot\""),
                           QStringLiteral("Содержание отчета: Тревоги События Охрана Команды")}
            << four;
        QTest::newRow("two types keep their trailing blanks")
            << types(base(), true, false, true, false)
            << QStringList{QStringLiteral("Сводный отчет по объекту(ам) \"Все\""),
                           QStringLiteral("за период с 01-08-2011 00:00:00 по 31-08-2011 23:59:59"),
                           QStringLiteral("Группа объекта(ов) \"Все\""), QStringLiteral("Пользователь \"Все\""),
                           QStringLiteral("Содержание отчета: Тревоги Охрана ")}
            << five;
    }

    void heading() const
    {
        QFETCH(ReportSelection, selection);
        QFETCH(QStringList, lines);
        QFETCH(QStringList, columns);
        const ReportHeading h = ReportSql::heading(selection);
        QCOMPARE((QStringList{h.title, h.period, h.group, h.user, h.content}), lines);
        QCOMPARE(h.columns, columns);
        QCOMPARE(ReportSql::countLine(0), QStringLiteral("Записей в отчете: 0"));
        QCOMPARE(ReportSql::countLine(1048567), QStringLiteral("Записей в отчете: 1048567"));
    }
};

QTEST_GUILESS_MAIN(TestReportSql)
#include "test_report_sql.moc"
