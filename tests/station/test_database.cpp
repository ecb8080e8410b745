#include "Database.h"
#include "RecordingDialogs.h"
#include "Sql.h"
#include "StationState.h"
#include "TestDatabase.h"

#include <QtTest>

// The connection layer against the private server: escaping that follows the
// server's mode, a dropped session that comes back, TCP for "localhost", and
// the results a caller gets.
class TestDatabaseLayer final : public QObject
{
    Q_OBJECT

private:
    StationState state;

    bool connectAs(Database &database, const QString &login, const QString &password,
                   const QString &host = QStringLiteral("127.0.0.1"))
    {
        state.Base_address = host;
        state.Base_port = TestDatabase::port();
        state.Login = login;
        state.Password = password;
        return database.Connect_Base(QStringLiteral("orvex_base"));
    }

    static int count(const QString &sql) { return TestDatabase::value(sql).toInt(); }

private slots:
    void init()
    {
        QString error;
        QVERIFY2(TestDatabase::reset(&error), qPrintable(error));
        QVERIFY2(TestDatabase::addOperator(QStringLiteral("Pilot"), QStringLiteral("pw"), true, QStringLiteral("1"),
                                           {QStringLiteral("Юг")}, &error),
                 qPrintable(error));
        state = StationState();
    }

    void cleanup()
    {
        TestDatabase::exec(QStringLiteral("SET GLOBAL sql_mode=DEFAULT"));
    }

    void escapingFollowsTheServersMode()
    {
        QVERIFY(TestDatabase::addOperator(QStringLiteral("a'b\\c"), QStringLiteral("pw"), false, QStringLiteral("2"),
                                          {QStringLiteral("Север")}));
        QVERIFY(TestDatabase::exec(QStringLiteral("SET GLOBAL sql_mode='NO_BACKSLASH_ESCAPES'")));
        Database database(state);
        QVERIFY2(connectAs(database, QStringLiteral("Pilot"), QStringLiteral("pw")), qPrintable(database.errorText()));
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT @@GLOBAL.sql_mode")), QStringLiteral("NO_BACKSLASH_ESCAPES"));

        // Escaped with backslashes, this value would end its literal at the
        // quote and match every row.
        const QString attack = QStringLiteral("x' OR 1=1 -- ");
        int rows = 0;
        QCOMPARE(database.forEach(Sql::userGroups(database.escaper(), attack), [&rows](const DbRow &) {
            ++rows;
            return true;
        }), Database::Rows::Ok);
        QCOMPARE(rows, 0);

        QString groups;
        QCOMPARE(database.value(Sql::userGroups(database.escaper(), QStringLiteral("a'b\\c")), &groups),
                 Database::Lookup::Found);
        QCOMPARE(groups, QStringLiteral("Север\n"));

        // A written value comes back exactly as it went in.
        const QString text = QStringLiteral("O'Brien \\ \\' '' ж №");
        QVERIFY(database.exec(QStringLiteral("UPDATE users SET Number=") + database.escaper().quoted(text)
                              + QStringLiteral(" WHERE Login='Pilot'")));
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT Number FROM users WHERE Login='Pilot'")), text);
    }

    void escapingInTheDefaultMode()
    {
        Database database(state);
        QVERIFY(connectAs(database, QStringLiteral("Pilot"), QStringLiteral("pw")));
        int rows = 0;
        database.forEach(Sql::userGroups(database.escaper(), QStringLiteral("x' OR 1=1 -- ")), [&rows](const DbRow &) {
            ++rows;
            return true;
        });
        QCOMPARE(rows, 0);
        const QString text = QStringLiteral("O'Brien \\ \\' '' ж №");
        QVERIFY(database.exec(QStringLiteral("UPDATE users SET Number=") + database.escaper().quoted(text)
                              + QStringLiteral(" WHERE Login='Pilot'")));
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT Number FROM users WHERE Login='Pilot'")), text);
    }

    void killedSessionComesBackOnTheNextStatement()
    {
        Database database(state);
        QVERIFY(connectAs(database, QStringLiteral("Pilot"), QStringLiteral("pw")));
        QVERIFY(state.Base_connected);

        // A read after the kill is sent again on a new session.
        unsigned long id = database.connectionId();
        QVERIFY(TestDatabase::exec(QStringLiteral("KILL %1").arg(id)));
        QString number;
        QCOMPARE(database.value(QStringLiteral("SELECT Number FROM users WHERE Login='Pilot'"), &number),
                 Database::Lookup::Found);
        QCOMPARE(number, QStringLiteral("1"));
        QVERIFY(database.connectionId() != id);
        QVERIFY(state.Base_connected);

        // A write after the kill is written, and exactly once.
        id = database.connectionId();
        QVERIFY(TestDatabase::exec(QStringLiteral("KILL %1").arg(id)));
        QVERIFY2(database.exec(QStringLiteral("INSERT INTO messages (IMEI,Date,Type,Event,Group_,User) VALUES "
                                              "('1','2026-01-01 00:00:00','Событие','x','','Pilot')")),
                 qPrintable(database.errorText()));
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM messages")), 1);
        QVERIFY(database.connectionId() != id);
    }

    void serverThatStaysAwayIsReportedAndFoundAgain()
    {
        Database database(state);
        QVERIFY(connectAs(database, QStringLiteral("Pilot"), QStringLiteral("pw")));
        // The account cannot log in again: the one new attempt fails, and the
        // connection counts as gone.
        QVERIFY(TestDatabase::exec(QStringLiteral("ALTER USER 'Pilot'@'%' ACCOUNT LOCK")));
        QVERIFY(TestDatabase::exec(QStringLiteral("KILL %1").arg(database.connectionId())));
        QString number;
        QCOMPARE(database.value(QStringLiteral("SELECT Number FROM users"), &number), Database::Lookup::Failed);
        QVERIFY(!state.Base_connected);
        QVERIFY(!database.errorText().isEmpty());
        QVERIFY(!database.exec(QStringLiteral("UPDATE users SET Number='3'")));

        RecordingDialogs dialogs;
        database.showError(&dialogs, nullptr, QStringLiteral("Ошибка при добавлении данных"));
        QCOMPARE(dialogs.messages.size(), 1);
        QVERIFY(dialogs.messages.first().startsWith(QStringLiteral("Ошибка при добавлении данных\n")));
        QVERIFY(dialogs.messages.first().size() > QStringLiteral("Ошибка при добавлении данных\n").size());

        // The keep-alive finds the server usable again.
        QVERIFY(TestDatabase::exec(QStringLiteral("ALTER USER 'Pilot'@'%' ACCOUNT UNLOCK")));
        database.ping();
        QVERIFY(state.Base_connected);
        QCOMPARE(database.value(QStringLiteral("SELECT Number FROM users"), &number), Database::Lookup::Found);
    }

    void localhostMeansTcpToTheGivenPort()
    {
        // The private server listens on its own port; the client's default
        // socket is not it. Connected at all means TCP to that port.
        for (const QString &host : {QStringLiteral("localhost"), QString()}) {
            Database database(state);
            QVERIFY2(connectAs(database, QStringLiteral("Pilot"), QStringLiteral("pw"), host),
                     qPrintable(host + QLatin1Char(' ') + database.errorText()));
            QString port;
            QCOMPARE(database.value(QStringLiteral("SELECT @@port"), &port), Database::Lookup::Found);
            QCOMPARE(port.toUInt(), unsigned(TestDatabase::port()));
        }
        Database wrongPort(state);
        state.Base_port = 1;
        state.Login = QStringLiteral("Pilot");
        state.Password = QStringLiteral("pw");
        state.Base_address = QStringLiteral("localhost");
        QVERIFY(!wrongPort.Connect_Base(QStringLiteral("orvex_base")));
        QVERIFY(!state.Base_connected);
    }

    void readingResults()
    {
        Database database(state);
        QCOMPARE(database.forEach(QStringLiteral("SELECT 1"), [](const DbRow &) { return true; }), Database::Rows::Failed);
        QVERIFY(connectAs(database, QStringLiteral("Pilot"), QStringLiteral("pw")));

        // Stopping early leaves the connection ready for the next statement,
        // also when the rows were streamed.
        for (const auto fetch : {Database::Fetch::Stored, Database::Fetch::Streamed}) {
            int seen = 0;
            QCOMPARE(database.forEach(QStringLiteral("SELECT seq FROM seq_1_to_1000"), [&seen](const DbRow &row) {
                ++seen;
                return row.text(0) != QLatin1String("3");
            }, fetch), Database::Rows::Ok);
            QCOMPARE(seen, 3);
            QString one;
            QCOMPARE(database.value(QStringLiteral("SELECT 'one'"), &one), Database::Lookup::Found);
            QCOMPARE(one, QStringLiteral("one"));
        }

        QString value = QStringLiteral("kept");
        QCOMPARE(database.value(QStringLiteral("SELECT Number FROM users WHERE Login='nobody'"), &value),
                 Database::Lookup::Missing);
        QCOMPARE(value, QStringLiteral("kept"));
        QCOMPARE(database.value(QStringLiteral("SELECT NoSuchColumn FROM users"), &value), Database::Lookup::Failed);
        QVERIFY(database.errorText().contains(QStringLiteral("NoSuchColumn")));
        // A refused statement leaves the connection as it was.
        QVERIFY(state.Base_connected);
        QCOMPARE(database.value(QStringLiteral("SELECT NULL"), &value), Database::Lookup::Found);
        QCOMPARE(value, QString());
    }

    void rowsCutOffAreNotAllRows()
    {
        Database database(state);
        QVERIFY(connectAs(database, QStringLiteral("Pilot"), QStringLiteral("pw")));
        const unsigned long id = database.connectionId();
        int seen = 0;
        const auto rows = database.forEach(QStringLiteral("SELECT seq, REPEAT('x', 200) FROM seq_1_to_2000000"),
                                           [&seen, id](const DbRow &) {
                                               if (++seen == 1)
                                                   TestDatabase::exec(QStringLiteral("KILL %1").arg(id));
                                               return true;
                                           },
                                           Database::Fetch::Streamed);
        QCOMPARE(rows, Database::Rows::Cut);
        QVERIFY(seen < 2000000);
        QVERIFY(!database.errorText().isEmpty());
        // The next statement finds the session again.
        QString one;
        QCOMPARE(database.value(QStringLiteral("SELECT 1"), &one), Database::Lookup::Found);
    }

    void closedConnectionIsToldAsSuch()
    {
        Database database(state);
        QVERIFY(connectAs(database, QStringLiteral("Pilot"), QStringLiteral("pw")));
        database.close();
        QVERIFY(!state.Base_connected);
        QVERIFY(!database.exec(QStringLiteral("SELECT 1")));
        RecordingDialogs dialogs;
        database.showError(&dialogs, nullptr);
        QCOMPARE(dialogs.messages, QStringList{QStringLiteral("Нет соединения с базой данных")});
        // Nothing to ping: the keep-alive does not log a closed session in.
        database.ping();
        QVERIFY(!state.Base_connected);
    }
};

QTEST_GUILESS_MAIN(TestDatabaseLayer)
#include "test_database.moc"
