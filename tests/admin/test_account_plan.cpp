#include "AccountPlan.h"
#include "AdminSql.h"
#include "Database.h"
#include "OperatorSession.h"
#include "TestConnections.h"
#include "TestDatabase.h"

#include <QtTest>

namespace {

using Kind = AccountPlan::Step::Kind;

OperatorRow operatorRow(const QString &password, const QString &host, bool admin)
{
    return {QStringLiteral("smena"), password, host, admin ? QStringLiteral("1") : QStringLiteral("0"),
            QStringLiteral("89160000002"), QStringLiteral("A\n")};
}

QList<Kind> kinds(const QList<AccountPlan::Step> &steps)
{
    QList<Kind> out;
    for (const AccountPlan::Step &step : steps)
        out << step.kind;
    return out;
}

} // namespace

Q_DECLARE_METATYPE(OperatorRow)

// Account changes as plans of statements, without the window: what each plan
// does and takes back, and the runner against the private server.
class TestAccountPlan final : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QString error;
        QVERIFY2(TestDatabase::reset(&error), qPrintable(error));
    }

    // A rewrite changes on the account only what changed on the row, each
    // change with its way back.
    void rewritesChangeWhatChanged_data()
    {
        QTest::addColumn<OperatorRow>("row");
        QTest::addColumn<QList<Kind>>("plan");
        const QList<Kind> all = {Kind::Account, Kind::Account, Kind::Grant, Kind::Row};
        QTest::newRow("nothing") << operatorRow(QStringLiteral("one"), QStringLiteral("%"), false) << QList<Kind>{Kind::Row};
        QTest::newRow("password") << operatorRow(QStringLiteral("two"), QStringLiteral("%"), false)
                                  << QList<Kind>{Kind::Account, Kind::Row};
        QTest::newRow("everything") << operatorRow(QStringLiteral("two"), QStringLiteral("127.0.0.1"), true) << all;
    }

    void rewritesChangeWhatChanged()
    {
        QFETCH(OperatorRow, row);
        QFETCH(QList<Kind>, plan);
        const OperatorRow stored = operatorRow(QStringLiteral("one"), QStringLiteral("%"), false);
        const QList<AccountPlan::Step> steps = AccountPlan::rewrite(SqlEscaper(), stored, row);
        QCOMPARE(kinds(steps), plan);
        for (const AccountPlan::Step &step : steps)
            QCOMPARE(step.undo.isEmpty(), step.kind == Kind::Row);
    }

    // The row refused after the account was changed: password, host and
    // grants are taken back, last first, and the operator logs in as before.
    void aRefusedRowTakesTheAccountBack()
    {
        QVERIFY(TestDatabase::addOperator(QStringLiteral("smena"), QStringLiteral("one"), false, QString(), {}));
        QVERIFY(TestDatabase::exec(QStringLiteral(
            "CREATE TRIGGER orvex_base.refuse_users BEFORE UPDATE ON orvex_base.users FOR EACH ROW "
            "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT='no rewrites today'")));
        Database root;
        QVERIFY(root.open(rootAccount()));
        const OperatorRow stored = operatorRow(QStringLiteral("one"), QStringLiteral("%"), false);
        const AccountPlan::Outcome outcome = AccountPlan::run(
            root, AccountPlan::rewrite(root.escaper(), stored, operatorRow(QStringLiteral("two"), QStringLiteral("127.0.0.1"), true)));
        QVERIFY(!outcome.done);
        QCOMPARE(outcome.failed, Kind::Row);
        QVERIFY2(outcome.errorText.contains(QStringLiteral("no rewrites today")), qPrintable(outcome.errorText));
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT Host FROM mysql.user WHERE User='smena'")), QStringLiteral("%"));
        QVERIFY(!canLogIn(QStringLiteral("smena"), QStringLiteral("two")));
        OperatorSession session(QStringLiteral("smena"), QStringLiteral("one"));
        QVERIFY2(session.isOpen(), qPrintable(session.error()));
        QVERIFY(!session.run(QStringLiteral("DELETE FROM orvex_base.groups")));
    }

    // A removal whose row is refused makes the account it dropped again, as
    // the row describes it.
    void aRefusedRemovalKeepsTheAccount()
    {
        QVERIFY(TestDatabase::addOperator(QStringLiteral("smena"), QStringLiteral("one"), true, QString(), {}));
        QVERIFY(TestDatabase::exec(QStringLiteral(
            "CREATE TRIGGER orvex_base.keep_users BEFORE DELETE ON orvex_base.users FOR EACH ROW "
            "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT='no removals today'")));
        Database root;
        QVERIFY(root.open(rootAccount()));
        const AccountPlan::Outcome outcome =
            AccountPlan::run(root, AccountPlan::remove(root.escaper(), operatorRow(QStringLiteral("one"), QStringLiteral("%"), true)));
        QVERIFY(!outcome.done);
        QCOMPARE(outcome.failed, Kind::Row);
        OperatorSession session(QStringLiteral("smena"), QStringLiteral("one"));
        QVERIFY2(session.isOpen(), qPrintable(session.error()));
        QVERIFY(session.run(QStringLiteral("SELECT Pass FROM orvex_base.users")));
    }
};

QTEST_GUILESS_MAIN(TestAccountPlan)
#include "test_account_plan.moc"
