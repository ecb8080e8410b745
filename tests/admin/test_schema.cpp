#include "AccountPlan.h"
#include "AdminSql.h"
#include "OperatorSession.h"
#include "Sql.h"
#include "TestDatabase.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <mysql.h>

#include <utility>

namespace {

const QString Imei = QStringLiteral("353281040000017");
const QString FrameEvent = QStringLiteral("Кадр с камеры");

QString sourceDir()
{
    const QString dir = qEnvironmentVariable("ORVEX_SOURCE_DIR");
    return dir.isEmpty() ? QFileInfo(QStringLiteral(__FILE__)).absoluteDir().filePath(QStringLiteral("../.."))
                         : dir;
}

QSet<QByteArray> demoFrames()
{
    QSet<QByteArray> frames;
    const QDir dir(sourceDir() + QStringLiteral("/data/frames"));
    const QStringList names = dir.entryList({QStringLiteral("*.jpg")}, QDir::Files);
    for (const QString &name : names) {
        QFile file(dir.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            frames.insert(file.readAll());
    }
    return frames;
}

QStringList column(const QList<QStringList> &rows, int index = 0)
{
    QStringList values;
    for (const QStringList &row : rows)
        values.append(row.value(index));
    return values;
}

QSet<QString> distinct(const QString &sql)
{
    const QStringList values = column(TestDatabase::rows(sql));
    return QSet<QString>(values.cbegin(), values.cend());
}

QString dateTimeText(const QDateTime &moment)
{
    return moment.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// A text of exactly n characters, all of them outside ASCII where possible.
QString cyrillic(int n)
{
    const QString pattern = QStringLiteral("Щёлково «Юг» №7, подъезд Ё-");
    QString text;
    while (text.size() < n)
        text += pattern;
    return text.left(n);
}

} // namespace

class TestSchema final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(TestDatabase::port() != 0, "no private database server; run through ctest (fixture db_start)");
    }

    void init()
    {
        QString error;
        QVERIFY2(TestDatabase::reset(&error), qPrintable(error));
    }

    // The statement forms the station sends must all be accepted by a fresh
    // schema: every table and column they name exists, no name collides with
    // a reserved word, and the values fit.
    void stationStatementsRun_data()
    {
        QTest::addColumn<QString>("sql");
        const QString objectRow = QStringLiteral("INSERT INTO orvex_base.objects(IMEI,Group_) VALUES('%1','Север');")
                                      .arg(Imei);
        QTest::newRow("operator's groups") << QStringLiteral("SELECT Groups FROM orvex_base.users WHERE Login='Pilot'");
        QTest::newRow("operator's number") << QStringLiteral("SELECT Number FROM orvex_base.users WHERE Login='Pilot'");
        QTest::newRow("operator's right") << QStringLiteral("SELECT Admin FROM orvex_base.users WHERE Login='Pilot'");
        QTest::newRow("object list")
            << QStringLiteral("SELECT IMEI FROM orvex_base.objects WHERE Group_='Центр' OR Group_='Север'");
        QTest::newRow("object states") << QStringLiteral("SELECT IMEI,State FROM orvex_base.objects");
        QTest::newRow("list hint")
            << QStringLiteral("SELECT Address,Addr_,Owner,Num_owner,Name,TState FROM orvex_base.objects WHERE IMEI='%1'")
                   .arg(Imei);
        QTest::newRow("state change")
            << objectRow + QStringLiteral("UPDATE orvex_base.objects SET State='255' WHERE IMEI='%1'").arg(Imei);
        QTest::newRow("guard flag") << QStringLiteral("SELECT Ohrana FROM orvex_base.objects WHERE IMEI='%1'").arg(Imei);
        QTest::newRow("object's group") << QStringLiteral("SELECT Group_ FROM orvex_base.objects WHERE IMEI='%1'").arg(Imei);
        QTest::newRow("journal row")
            << QStringLiteral("INSERT INTO orvex_base.messages(IMEI,Date,Type,Event,Group_,User)  "
                              "VALUES('%1','2011-09-01 09:05:07','Событие','Тревога принята в обработку','Север','Pilot')")
                   .arg(Imei);
        QTest::newRow("canned texts") << QStringLiteral("SELECT Text FROM orvex_base.text_mes");
        QTest::newRow("group journal")
            << QStringLiteral("SELECT IMEI,Date,Type,Event,User FROM orvex_base.messages WHERE (Group_='Центр' OR "
                              "Group_='Север') AND Date > '2011-09-01 10:00:00' AND Date <= '2011-09-01 23:59:59'");
        QTest::newRow("top-up with a blank bound")
            << QStringLiteral("SELECT IMEI,Date,Type,Event,User FROM orvex_base.messages WHERE Group_=' ' AND Date > ''");
        QTest::newRow("object card")
            << QStringLiteral("SELECT Name,Number1,Number2,Address,Owner,State,Status FROM orvex_base.objects WHERE IMEI='%1'")
                   .arg(Imei);
        QTest::newRow("group add and delete")
            << QStringLiteral("INSERT INTO orvex_base.groups SET Name='Запад'; DELETE FROM orvex_base.groups WHERE Name='Запад'");
        QTest::newRow("object editor")
            << objectRow
                   + QStringLiteral("SELECT Name,Number1,Number2,Owner,Num_owner,Address,Addr_,Timeout,Group_ FROM "
                                    "orvex_base.objects WHERE IMEI='%1'; UPDATE orvex_base.objects SET Name='NCR "
                                    "SelfServ 22', Number1='89161112233', Number2='', Owner='Иванов', "
                                    "Num_owner='89163334455', Address='г. Москва', Addr_='холл', Timeout='15', "
                                    "Group_='Юг' WHERE IMEI='%1'")
                         .arg(Imei);
        QTest::newRow("account editor")
            << QStringLiteral("INSERT INTO orvex_base.users(Login,Pass,Host,Admin,Number,Groups)  "
                              "VALUES('Smena','pw','%','0','89160000000','Юг\n'); SELECT * FROM orvex_base.users; "
                              "UPDATE orvex_base.users SET Pass='pw2',Host='10.0.0.5',Admin='1',Number='',Groups='' "
                              "WHERE Login='Smena'; DELETE FROM orvex_base.users WHERE Login='Smena'");
        QTest::newRow("canned text editor")
            << QStringLiteral("INSERT INTO orvex_base.text_mes SET Text='Выезд группы'; "
                              "DELETE FROM orvex_base.text_mes WHERE Text='Выезд группы'");
        QTest::newRow("key editor")
            << QStringLiteral("INSERT INTO orvex_base.key_owner(Keycod,Owner) VALUES('01A3F2C4B900','Петров А.В.'); "
                              "SELECT Keycod,Owner FROM orvex_base.key_owner; "
                              "DELETE FROM orvex_base.key_owner WHERE Keycod='01A3F2C4B900'");
        QTest::newRow("rule editor")
            << QStringLiteral("INSERT INTO orvex_base.events(Name,Object,Source_,Action_) VALUES('Снятие','G_Юг','  :  ','DISARM'); "
                              "SELECT * FROM orvex_base.events; "
                              "DELETE FROM orvex_base.events WHERE Object='G_Юг' AND Source_='  :  ' AND Action_='DISARM'");
        QTest::newRow("report lists")
            << QStringLiteral("SELECT Name FROM orvex_base.groups; SELECT Login FROM orvex_base.users; "
                              "SELECT Name,IMEI FROM orvex_base.objects WHERE Group_='Север'");
        QTest::newRow("report")
            << QStringLiteral("SELECT Date,IMEI,Type,Event,User FROM orvex_base.messages WHERE Date >= '2011-08-01 "
                              "00:00:00' AND Date <= '2011-08-31 23:59:59' AND Group_='Север' AND ( Type='Тревога' OR "
                              "Type='Охрана') AND User='Pilot'");
    }

    void stationStatementsRun()
    {
        QFETCH(QString, sql);
        QString error;
        QVERIFY2(TestDatabase::exec(sql, &error), qPrintable(error));
    }

    // The station reuses a read-back Date as a bound and as a frame's key, and
    // compares it with literals of the same form.
    void dateReadsBackAndOrders()
    {
        const QStringList dates = {
            QStringLiteral("2011-09-01 12:30:05"), QStringLiteral("2011-08-31 23:59:59"),
            QStringLiteral("2011-09-01 00:00:00"), QStringLiteral("2011-09-01 09:05:07"),
            QStringLiteral("2011-09-02 00:00:00"), QStringLiteral("2011-09-01 23:59:59"),
            QStringLiteral("2011-12-31 23:59:59"), QStringLiteral("2012-01-01 00:00:00"),
        };
        QString sql;
        for (const QString &date : dates) {
            sql += QStringLiteral("INSERT INTO orvex_base.messages(IMEI,Date,Type,Event,Group_,User) "
                                  "VALUES('%1','%2','Событие','x','Юг','Pilot');")
                       .arg(Imei, date);
        }
        QString error;
        QVERIFY2(TestDatabase::exec(sql, &error), qPrintable(error));

        const auto select = [](const QString &where) {
            QStringList found = column(TestDatabase::rows(
                QStringLiteral("SELECT Date FROM orvex_base.messages WHERE IMEI='%1' AND %2").arg(Imei, where)));
            found.sort();
            return found;
        };
        QStringList all = dates;
        all.sort();
        QCOMPARE(select(QStringLiteral("1")), all);
        QCOMPARE(select(QStringLiteral("Date > '2011-09-01 09:05:07' AND Date <= '2011-09-02 00:00:00'")),
                 QStringList({QStringLiteral("2011-09-01 12:30:05"), QStringLiteral("2011-09-01 23:59:59"),
                              QStringLiteral("2011-09-02 00:00:00")}));
        QCOMPARE(select(QStringLiteral("Date >= '2011-09-01 00:00:00' AND Date <= '2011-09-01 23:59:59'")),
                 QStringList({QStringLiteral("2011-09-01 00:00:00"), QStringLiteral("2011-09-01 09:05:07"),
                              QStringLiteral("2011-09-01 12:30:05"), QStringLiteral("2011-09-01 23:59:59")}));
        QCOMPARE(select(QStringLiteral("Date > '2011-12-31 23:59:59'")), QStringList({QStringLiteral("2012-01-01 00:00:00")}));
        // A frame is looked up by the Date text exactly as it was read.
        QCOMPARE(select(QStringLiteral("Date='2011-09-01 09:05:07'")), QStringList({QStringLiteral("2011-09-01 09:05:07")}));
    }

    // Rows come back oldest first whatever plan the server picks for the
    // journal's and the report's conditions: the grid relies on it, and the
    // newest row bounds the next top-up.
    void journalComesBackOldestFirst()
    {
        QString error;
        QVERIFY2(TestDatabase::loadDemo(&error), qPrintable(error));
        QVERIFY(TestDatabase::exec(QStringLiteral("ANALYZE TABLE orvex_base.messages")));
        const QDateTime now = QDateTime::fromString(TestDatabase::value(QStringLiteral("SELECT NOW()")),
                                                    QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        QVERIFY(now.isValid());

        QStringList conditions;
        for (int hours : {1, 3, 12, 24, 72}) {
            const QString start = dateTimeText(now.addSecs(-3600 * hours));
            conditions << QStringLiteral("(Group_='Центр' OR Group_='Север' OR Group_='Юг') AND Date > '%1'").arg(start)
                       << QStringLiteral("(Group_='Центр' OR Group_='Север') AND Date > '%1'").arg(start)
                       << QStringLiteral("Group_='Юг' AND Date > '%1' AND Date <= '%2'").arg(start, dateTimeText(now));
        }
        const QString today = now.date().toString(Qt::ISODate);
        conditions << QStringLiteral("Date >= '%1 00:00:00' AND Date <= '%1 23:59:59' AND (Group_='Север' OR Group_='Юг')")
                          .arg(today)
                   << QStringLiteral("Date >= '%1 00:00:00' AND Date <= '%2 23:59:59' AND ( Type='Тревога' OR Type='Охрана')")
                          .arg(now.date().addDays(-3).toString(Qt::ISODate), today);
        const QStringList busiest = column(TestDatabase::rows(QStringLiteral(
            "SELECT IMEI FROM orvex_base.messages GROUP BY IMEI HAVING COUNT(*) >= 8 LIMIT 5")));
        QVERIFY(!busiest.isEmpty());
        for (const QString &imei : busiest)
            conditions << QStringLiteral("IMEI='%1' AND Date > '%2'").arg(imei, dateTimeText(now.addDays(-3)));

        int checked = 0;
        for (const QString &where : std::as_const(conditions)) {
            const QStringList dates = column(
                TestDatabase::rows(QStringLiteral("SELECT IMEI,Date,Type,Event,User FROM orvex_base.messages WHERE ") + where),
                1);
            checked += dates.size() >= 5;
            QCOMPARE(QString::number(dates.size()),
                     TestDatabase::value(QStringLiteral("SELECT COUNT(*) FROM orvex_base.messages WHERE ") + where));
            for (qsizetype i = 1; i < dates.size(); ++i)
                QVERIFY2(dates[i - 1] <= dates[i], qPrintable(QStringLiteral("%1 before %2 for %3")
                                                                   .arg(dates[i - 1], dates[i], where)));
        }
        QVERIFY(checked >= 10);
    }

    void cp1251TextsRoundTrip()
    {
        const QString owner = QStringLiteral("Ёж «№1» — Щукин");
        const QString address = QStringLiteral("г. Москва, ул. Льва Толстого, д. 16,\r\nкорп. 2");
        QString error;
        QVERIFY2(TestDatabase::exec(QStringLiteral("INSERT INTO orvex_base.objects(IMEI,Owner,Address,Group_) "
                                                   "VALUES('%1','%2','%3','')")
                                        .arg(Imei, owner, address),
                                    &error),
                 qPrintable(error));
        QCOMPARE(TestDatabase::rows(QStringLiteral("SELECT Owner, Address FROM orvex_base.objects WHERE IMEI='%1'").arg(Imei)),
                 QList<QStringList>({{owner, address}}));
        // Stored as code page 1251, one byte a character.
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT HEX(Owner) FROM orvex_base.objects")),
                 QStringLiteral("A8E620AB B931BB2097 20D9F3EAE8ED").remove(QLatin1Char(' ')));

        // A text the code page cannot hold is refused rather than stored as '?'.
        QVERIFY(!TestDatabase::exec(
            QStringLiteral("UPDATE orvex_base.objects SET Owner='Пекин 北京' WHERE IMEI='%1'").arg(Imei), &error));
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT Owner FROM orvex_base.objects")), owner);
    }

    // Equality is the station's exact text equality; in particular the
    // journal's filter for an operator without groups, Group_=' ', must not
    // find the objects that are in no group.
    void groupsCompareExactly()
    {
        QString error;
        QVERIFY2(TestDatabase::exec(QStringLiteral(
                                        "INSERT INTO orvex_base.messages(IMEI,Date,Type,Event,Group_,User) VALUES"
                                        "('%1','2011-09-01 10:00:00','Тревога','Открыт сейф','',''),"
                                        "('%1','2011-09-01 10:00:01','Тревога','Открыт сейф','Север',''),"
                                        "('%1','2011-09-01 10:00:02','Тревога','Открыт сейф','Север ','')")
                                        .arg(Imei),
                                    &error),
                 qPrintable(error));
        const auto count = [](const QString &group) {
            return TestDatabase::value(QStringLiteral("SELECT COUNT(*) FROM orvex_base.messages WHERE Group_='%1'").arg(group));
        };
        QCOMPARE(count(QStringLiteral(" ")), QStringLiteral("0"));
        QCOMPARE(count(QString()), QStringLiteral("1"));
        QCOMPARE(count(QStringLiteral("Север")), QStringLiteral("1"));
        QCOMPARE(count(QStringLiteral("север")), QStringLiteral("0"));
    }

    // Each editor's longest input, in Cyrillic, is stored whole and as one
    // byte per character.
    void editorLimitsFit_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("column");
        QTest::addColumn<int>("limit");
        const QString objects = QStringLiteral("objects");
        const QString imei = QStringLiteral("IMEI");
        QTest::newRow("object name") << objects << imei << QStringLiteral("Name") << 20;
        QTest::newRow("object number 1") << objects << imei << QStringLiteral("Number1") << 11;
        QTest::newRow("object number 2") << objects << imei << QStringLiteral("Number2") << 11;
        QTest::newRow("object owner") << objects << imei << QStringLiteral("Owner") << 40;
        QTest::newRow("owner's number") << objects << imei << QStringLiteral("Num_owner") << 11;
        QTest::newRow("address") << objects << imei << QStringLiteral("Address") << 100;
        QTest::newRow("address refinement") << objects << imei << QStringLiteral("Addr_") << 40;
        QTest::newRow("object group") << objects << imei << QStringLiteral("Group_") << 100;
        QTest::newRow("login") << QStringLiteral("users") << QStringLiteral("Login") << QStringLiteral("Login") << 16;
        QTest::newRow("password") << QStringLiteral("users") << QStringLiteral("Login") << QStringLiteral("Pass") << 16;
        QTest::newRow("host") << QStringLiteral("users") << QStringLiteral("Login") << QStringLiteral("Host") << 15;
        QTest::newRow("operator number") << QStringLiteral("users") << QStringLiteral("Login") << QStringLiteral("Number") << 11;
        QTest::newRow("group name") << QStringLiteral("groups") << QStringLiteral("Name") << QStringLiteral("Name") << 100;
        QTest::newRow("canned text") << QStringLiteral("text_mes") << QStringLiteral("Text") << QStringLiteral("Text") << 20;
        QTest::newRow("key code") << QStringLiteral("key_owner") << QStringLiteral("Keycod") << QStringLiteral("Keycod") << 12;
        QTest::newRow("key owner") << QStringLiteral("key_owner") << QStringLiteral("Keycod") << QStringLiteral("Owner") << 20;
        QTest::newRow("rule name") << QStringLiteral("events") << QStringLiteral("Object") << QStringLiteral("Name") << 100;
        QTest::newRow("rule object") << QStringLiteral("events") << QStringLiteral("Object") << QStringLiteral("Object") << 102;
        QTest::newRow("journal text") << QStringLiteral("messages") << QStringLiteral("IMEI") << QStringLiteral("Event") << 100;
    }

    void editorLimitsFit()
    {
        QFETCH(QString, table);
        QFETCH(QString, key);
        QFETCH(QString, column);
        QFETCH(int, limit);
        const QString text = cyrillic(limit);
        const QString sql = key == column
            ? QStringLiteral("INSERT INTO orvex_base.%1(%2) VALUES('%3')").arg(table, column, text)
            : QStringLiteral("INSERT INTO orvex_base.%1(%2,%3%5) VALUES('1','%4'%6)")
                  .arg(table, key, column, text, table == QLatin1String("messages") ? QStringLiteral(",Date") : QString(),
                       table == QLatin1String("messages") ? QStringLiteral(",'2011-09-01 12:30:05'") : QString());
        QString error;
        QVERIFY2(TestDatabase::exec(sql, &error), qPrintable(error));
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT %1 FROM orvex_base.%2").arg(column, table)), text);
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT LENGTH(%1) FROM orvex_base.%2").arg(column, table)),
                 QString::number(limit));
    }

    // SELECT * shows these columns by position.
    void selectStarColumnOrder()
    {
        QString error;
        QVERIFY2(TestDatabase::exec(QStringLiteral(
                                        "INSERT INTO orvex_base.users(Groups,Number,Admin,Host,Pass,Login) "
                                        "VALUES('Центр\nЮг\r\n','89161234567','1','192.168.1.10','secret','Pilot');"
                                        "INSERT INTO orvex_base.events(Action_,Source_,Object,Name) "
                                        "VALUES('ARM','12:30','G_Север','Постановка днём')"),
                                    &error),
                 qPrintable(error));
        const QList<QStringList> users = TestDatabase::rows(QStringLiteral("SELECT * FROM orvex_base.users"));
        QCOMPARE(users.size(), 1);
        QCOMPARE(users[0].mid(0, 6),
                 QStringList({QStringLiteral("Pilot"), QStringLiteral("secret"), QStringLiteral("192.168.1.10"),
                              QStringLiteral("1"), QStringLiteral("89161234567"), QStringLiteral("Центр\nЮг\r\n")}));
        const QList<QStringList> events = TestDatabase::rows(QStringLiteral("SELECT * FROM orvex_base.events"));
        QCOMPARE(events.size(), 1);
        QCOMPARE(events[0].mid(0, 4), QStringList({QStringLiteral("Постановка днём"), QStringLiteral("G_Север"),
                                                   QStringLiteral("12:30"), QStringLiteral("ARM")}));
    }

    // Only the exact text "1" makes an administrator, so " 1" must stay " 1".
    void adminFlagKeepsItsText()
    {
        const QStringList flags = {QStringLiteral("1"), QStringLiteral(" 1"), QStringLiteral("0"), QString()};
        QString sql;
        for (qsizetype i = 0; i < flags.size(); ++i)
            sql += QStringLiteral("INSERT INTO orvex_base.users(Login,Admin) VALUES('op%1','%2');").arg(i).arg(flags[i]);
        QString error;
        QVERIFY2(TestDatabase::exec(sql, &error), qPrintable(error));
        for (qsizetype i = 0; i < flags.size(); ++i)
            QCOMPARE(TestDatabase::value(QStringLiteral("SELECT Admin FROM orvex_base.users WHERE Login='op%1'").arg(i)),
                     flags[i]);
    }

    void imageKeepsEveryByte()
    {
        const QList<QByteArray> frames = demoFrames().values();
        QVERIFY(!frames.isEmpty());
        // A real frame, and one grown past 64 KB by comment segments (still a
        // valid JPEG) as a larger camera would send.
        QByteArray large = frames.first();
        for (int i = 0; i < 3; ++i) {
            QByteArray comment("\xFF\xFE", 2);
            const int length = 65000;
            comment.append(char(length >> 8)).append(char(length & 0xFF)).append(QByteArray(length - 2, char('A' + i)));
            large.insert(2, comment);
        }
        QString error;
        QVERIFY2(TestDatabase::loadDemo(&error), qPrintable(error));
        const QString table = TestDatabase::value(QStringLiteral(
            "SELECT TABLE_NAME FROM information_schema.TABLES WHERE TABLE_SCHEMA='orvex_base' AND TABLE_NAME LIKE 'o\\_%'"));
        QVERIFY(!table.isEmpty());
        for (const QByteArray &image : {frames.first(), large}) {
            QVERIFY2(TestDatabase::exec(QStringLiteral("DELETE FROM orvex_base.%1 WHERE Date='2011-09-01 12:30:05';"
                                                       "INSERT INTO orvex_base.%1(Date,Event,Image) "
                                                       "VALUES('2011-09-01 12:30:05','%2',X'%3')")
                                            .arg(table, FrameEvent, QString::fromLatin1(image.toHex())),
                                        &error),
                     qPrintable(error));
            const QString hex = TestDatabase::value(
                QStringLiteral("SELECT HEX(Image) FROM orvex_base.%1 WHERE Date='2011-09-01 12:30:05' AND Event='%2'")
                    .arg(table, FrameEvent));
            QCOMPARE(QByteArray::fromHex(hex.toLatin1()).size(), image.size());
            QVERIFY(QByteArray::fromHex(hex.toLatin1()) == image);
        }
    }

    void operatorAccountWorks_data()
    {
        QTest::addColumn<QString>("login");
        QTest::addColumn<QString>("password");
        QTest::newRow("plain") << QStringLiteral("smena2") << QStringLiteral("smena2pw");
        QTest::newRow("quote and backslash in the password") << QStringLiteral("Dezhurny") << QStringLiteral("pa'ss\\w\"1");
        QTest::newRow("cyrillic login") << QStringLiteral("Дежурный") << QStringLiteral("Пароль1");
    }

    void operatorAccountWorks()
    {
        QFETCH(QString, login);
        QFETCH(QString, password);
        QString error;
        QVERIFY2(TestDatabase::addOperator(login, password, true, QStringLiteral("89160000001"),
                                           {QStringLiteral("Центр"), QStringLiteral("Юг")}, &error),
                 qPrintable(error));
        QCOMPARE(TestDatabase::rows(QStringLiteral("SELECT Login,Pass,Host,Admin,Number,Groups FROM orvex_base.users")),
                 QList<QStringList>({{login, password, QStringLiteral("%"), QStringLiteral("1"),
                                      QStringLiteral("89160000001"), QStringLiteral("Центр\nЮг\n")}}));
        {
            OperatorSession wrong(login, password + QLatin1Char('x'));
            QVERIFY(!wrong.isOpen());
        }
        {
            OperatorSession session(login, password);
            QVERIFY2(session.isOpen(), qPrintable(session.error()));
            const QStringList statements = {
                QStringLiteral("INSERT INTO orvex_base.messages(IMEI,Date,Type,Event,Group_,User)  VALUES('%1',"
                               "'2011-09-01 09:05:07','Событие','Тревога обработана','Юг','%2')")
                    .arg(Imei, login),
                QStringLiteral("SELECT IMEI,Date,Type,Event,User FROM orvex_base.messages WHERE IMEI='%1'").arg(Imei),
                QStringLiteral("INSERT INTO orvex_base.groups SET Name='Запад'"),
                QStringLiteral("UPDATE orvex_base.users SET Number='89160000002' WHERE Login='Nobody'"),
                QStringLiteral("DELETE FROM orvex_base.groups WHERE Name='Запад'"),
            };
            for (const QString &sql : statements)
                QVERIFY2(session.run(sql), qPrintable(sql + QStringLiteral(": ") + session.error()));
            // Tables are made by the network's other writers, never by a station.
            const QStringList refused = {
                QStringLiteral("CREATE TABLE orvex_base.o_%1 (Date DATETIME, Event VARCHAR(64), Image MEDIUMBLOB)").arg(Imei),
                QStringLiteral("DROP TABLE orvex_base.messages"),
                QStringLiteral("ALTER TABLE orvex_base.users ADD COLUMN x INT"),
                QStringLiteral("SELECT * FROM mysql.user"),
            };
            for (const QString &sql : refused)
                QVERIFY2(!session.run(sql), qPrintable(sql));
        }
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT User FROM orvex_base.messages")), login);

        // reset() takes the account away again.
        QVERIFY2(TestDatabase::reset(&error), qPrintable(error));
        OperatorSession gone(login, password);
        QVERIFY(!gone.isOpen());
    }

    void demoHasItsShape()
    {
        QString error;
        QVERIFY2(TestDatabase::loadDemo(&error), qPrintable(error));

        const QSet<QString> groups = distinct(QStringLiteral("SELECT Name FROM orvex_base.groups"));
        QCOMPARE(groups, QSet<QString>({QStringLiteral("Центр"), QStringLiteral("Север"), QStringLiteral("Юг")}));

        const QList<QStringList> objects =
            TestDatabase::rows(QStringLiteral("SELECT IMEI,Group_,State,Ohrana,TState,Status FROM orvex_base.objects"));
        QVERIFY(objects.size() >= 30 && objects.size() <= 50);
        const QRegularExpression imei(QStringLiteral("^\\d{15}$"));
        QSet<int> states;
        int withoutGroup = 0;
        int alarms = 0;
        for (const QStringList &object : objects) {
            QVERIFY2(imei.match(object[0]).hasMatch(), qPrintable(object[0]));
            if (object[1].isEmpty())
                ++withoutGroup;
            else
                QVERIFY2(groups.contains(object[1]), qPrintable(object[1]));
            bool ok = false;
            const int state = object[2].toInt(&ok);
            QVERIFY(ok && state >= 0 && state <= 255);
            states.insert(state);
            alarms += state >= 100;
            QVERIFY(object[3] == QLatin1String("0") || object[3] == QLatin1String("1"));
            QVERIFY(object[4] == QLatin1String("0") || object[4] == QLatin1String("1"));
            QVERIFY(object[5].toUInt(&ok) <= 0xFFFFFFu && ok);
        }
        QVERIFY(withoutGroup >= 1 && withoutGroup <= 5);
        QVERIFY(alarms >= 2);
        for (int state : {0, 1, 2, 90, 101, 115})
            QVERIFY2(states.contains(state), qPrintable(QString::number(state)));

        // The journal: every type, within the last 30 days, enough for a month
        // report, written under the object's group.
        QVERIFY(TestDatabase::value(QStringLiteral("SELECT COUNT(*) FROM orvex_base.messages")).toInt() >= 20000);
        QCOMPARE(distinct(QStringLiteral("SELECT Type FROM orvex_base.messages")),
                 QSet<QString>({QStringLiteral("Тревога"), QStringLiteral("Событие"), QStringLiteral("Охрана"),
                                QStringLiteral("Команда")}));
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT COUNT(*) FROM orvex_base.messages "
                                                    "WHERE Date > NOW() OR Date < NOW() - INTERVAL 30 DAY OR User=''")),
                 QStringLiteral("0"));
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT COUNT(*) FROM orvex_base.messages m LEFT JOIN "
                                                    "orvex_base.objects o ON o.IMEI=m.IMEI "
                                                    "WHERE o.IMEI IS NULL OR o.Group_ <> m.Group_")),
                 QStringLiteral("0"));

        QCOMPARE(TestDatabase::rows(QStringLiteral("SELECT * FROM orvex_base.users WHERE Admin='1'")),
                 QList<QStringList>({{QStringLiteral("Pilot"), QStringLiteral("Pilot"), QStringLiteral("%"),
                                      QStringLiteral("1"), QStringLiteral("89161234567"),
                                      QStringLiteral("Центр\nСевер\nЮг\n")}}));
        QCOMPARE(TestDatabase::rows(QStringLiteral("SELECT Login,Pass,Admin,Groups FROM orvex_base.users WHERE Admin<>'1'")),
                 QList<QStringList>({{QStringLiteral("Operator"), QStringLiteral("operator1"), QStringLiteral("0"),
                                      QStringLiteral("Центр\nСевер\n")}}));
        for (const auto &[login, password] : {std::pair(QStringLiteral("Pilot"), QStringLiteral("Pilot")),
                                             std::pair(QStringLiteral("Operator"), QStringLiteral("operator1"))}) {
            OperatorSession session(login, password);
            QVERIFY2(session.isOpen(), qPrintable(login + QStringLiteral(": ") + session.error()));
            QVERIFY(session.run(QStringLiteral("SELECT Admin FROM orvex_base.users WHERE Login='%1'").arg(login)));
        }
        {
            // The operator cannot make himself an administrator, nor read a
            // password; he reads the frames through his role.
            OperatorSession session(QStringLiteral("Operator"), QStringLiteral("operator1"));
            QVERIFY(!session.run(QStringLiteral("UPDATE orvex_base.users SET Admin='1' WHERE Login='Operator'")));
            QVERIFY(!session.run(QStringLiteral("SELECT Pass FROM orvex_base.users")));
            const QString framed = TestDatabase::value(QStringLiteral(
                "SELECT TABLE_NAME FROM information_schema.TABLES WHERE TABLE_SCHEMA='orvex_base' AND TABLE_NAME LIKE 'o\\_%'"));
            QVERIFY(!framed.isEmpty());
            QVERIFY(session.run(QStringLiteral("SET ROLE ") + Sql::FramesRole));
            QVERIFY(session.run(QStringLiteral("SELECT COUNT(*) FROM orvex_base.") + framed));
        }
        {
            // The first administrator creates operators' accounts with the
            // account editor's statements.
            OperatorSession session(QStringLiteral("Pilot"), QStringLiteral("Pilot"));
            const OperatorRow smena{QStringLiteral("smena"), QStringLiteral("x"), QStringLiteral("%"), QStringLiteral("1"),
                                    QString(), QString()};
            for (const AccountPlan::Step &step : AccountPlan::create(SqlEscaper(), smena))
                QVERIFY2(session.run(step.statement), qPrintable(step.statement + QStringLiteral(": ") + session.error()));
            QVERIFY(session.run(AdminSql::dropAccount(SqlEscaper(), smena.login, smena.host)));
        }

        const QStringList texts = column(TestDatabase::rows(QStringLiteral("SELECT Text FROM orvex_base.text_mes")));
        QVERIFY(texts.size() >= 3);
        for (const QString &text : texts)
            QVERIFY2(text.size() <= 20, qPrintable(text));
        QVERIFY(!TestDatabase::rows(QStringLiteral("SELECT Keycod,Owner FROM orvex_base.key_owner")).isEmpty());
        QVERIFY(TestDatabase::value(QStringLiteral(
                    "SELECT COUNT(*) FROM orvex_base.events e JOIN orvex_base.objects o ON o.IMEI=e.Object"))
                    .toInt()
                >= 1);
        QVERIFY(TestDatabase::value(QStringLiteral("SELECT COUNT(*) FROM orvex_base.events e JOIN orvex_base.groups g "
                                                   "ON e.Object=CONCAT('G_', g.Name) WHERE e.Source_ REGEXP "
                                                   "'^[0-2 ][0-9]:[0-5][0-9]$'"))
                    .toInt()
                >= 1);
    }

    // Every frame announced in the journal is in its object's frame table
    // under the same Date, and every stored frame is announced.
    void demoFramesMatchJournal()
    {
        QString error;
        QVERIFY2(TestDatabase::loadDemo(&error), qPrintable(error));
        const QSet<QByteArray> files = demoFrames();
        QVERIFY(!files.isEmpty());

        const QList<QStringList> announced = TestDatabase::rows(
            QStringLiteral("SELECT IMEI,Date,Type FROM orvex_base.messages WHERE Event LIKE '%Кадр%'"));
        QVERIFY(announced.size() >= 5);
        QSet<QString> withFrames;
        for (const QStringList &row : announced) {
            QCOMPARE(row[2], QStringLiteral("Событие"));
            const QList<QStringList> frame = TestDatabase::rows(
                QStringLiteral("SELECT HEX(Image) FROM orvex_base.o_%1 WHERE Date='%2' AND Event='%3'")
                    .arg(row[0], row[1], FrameEvent));
            QVERIFY2(frame.size() == 1, qPrintable(row.join(QLatin1Char(' '))));
            QVERIFY2(files.contains(QByteArray::fromHex(frame[0][0].toLatin1())), qPrintable(row.join(QLatin1Char(' '))));
            withFrames.insert(row[0]);
        }
        QVERIFY(withFrames.size() >= 3);

        const QStringList tables = column(TestDatabase::rows(QStringLiteral(
            "SELECT TABLE_NAME FROM information_schema.TABLES WHERE TABLE_SCHEMA='orvex_base' AND TABLE_NAME LIKE 'o\\_%'")));
        int stored = 0;
        for (const QString &table : tables)
            stored += TestDatabase::value(QStringLiteral("SELECT COUNT(*) FROM orvex_base.%1").arg(table)).toInt();
        QCOMPARE(stored, int(announced.size()));
    }
};

QTEST_GUILESS_MAIN(TestSchema)
#include "test_schema.moc"
