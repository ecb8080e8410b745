#include "AccountPlan.h"

#include "AdminSql.h"

namespace AccountPlan {

namespace {

// MariaDB's ER_NONEXISTING_GRANT and ER_CANNOT_USER.
constexpr unsigned int NoSuchGrant = 1141;
constexpr unsigned int NoSuchAccount = 1396;

// The account and its grants as they are made: also the way back from its
// removal.
QStringList accountStatements(const SqlEscaper &q, const OperatorRow &row)
{
    QStringList statements{AdminSql::createAccount(q, row.login, row.host, row.password)};
    statements << AdminSql::operatorGrants(q, row.login, row.host);
    if (row.administrator())
        statements << AdminSql::grantAdministrator(q, row.login, row.host);
    return statements;
}

} // namespace

QList<Step> create(const SqlEscaper &q, const OperatorRow &row)
{
    const QStringList statements = accountStatements(q, row);
    QList<Step> steps{{Step::Kind::Account, statements.first(), {AdminSql::dropAccount(q, row.login, row.host)}}};
    // Dropping the account takes its grants with it.
    for (qsizetype i = 1; i < statements.size(); ++i)
        steps.append({Step::Kind::Grant, statements.at(i), {}});
    steps.append({Step::Kind::Row,
                  AdminSql::insertUser(q, row.login, row.password, row.host, row.flag, row.number, row.groups), {}});
    return steps;
}

QList<Step> rewrite(const SqlEscaper &q, const OperatorRow &stored, const OperatorRow &row)
{
    QList<Step> steps;
    if (row.password != stored.password)
        steps.append({Step::Kind::Account, AdminSql::setPassword(q, row.login, stored.host, row.password),
                      {AdminSql::setPassword(q, row.login, stored.host, stored.password)}});
    if (row.host != stored.host)
        steps.append({Step::Kind::Account, AdminSql::renameAccount(q, row.login, stored.host, row.host),
                      {AdminSql::renameAccount(q, row.login, row.host, stored.host)}});
    const QString grant = AdminSql::grantAdministrator(q, row.login, row.host);
    const QString revoke = AdminSql::revokeAdministrator(q, row.login, row.host);
    if (row.administrator())
        steps.append({Step::Kind::Grant, grant, stored.administrator() ? QStringList() : QStringList{revoke}});
    else if (stored.administrator())
        steps.append({Step::Kind::Grant, revoke, {grant}, NoSuchGrant});
    steps.append({Step::Kind::Row,
                  AdminSql::updateUser(q, row.password, row.host, row.flag, row.number, row.groups, row.login), {}});
    return steps;
}

QList<Step> remove(const SqlEscaper &q, const OperatorRow &stored)
{
    // An account that is already gone (dropped or renamed by the database's
    // own administrator) does not keep its row for ever.
    return {{Step::Kind::Account, AdminSql::dropAccount(q, stored.login, stored.host), accountStatements(q, stored),
             NoSuchAccount},
            {Step::Kind::Row, AdminSql::deleteUser(q, stored.login), {}}};
}

Outcome run(Database &database, const QList<Step> &steps)
{
    Outcome outcome;
    // Steps that changed something, to be taken back at a refusal.
    QList<const Step *> done;
    for (const Step &step : steps) {
        if (database.exec(step.statement)) {
            done << &step;
            continue;
        }
        if (step.alreadySo != 0 && database.errorNumber() == step.alreadySo) {
            outcome.foundAlreadySo = true;
            continue;
        }
        outcome.done = false;
        outcome.failed = step.kind;
        outcome.error = database.errorNumber();
        outcome.errorText = database.errorMessage();
        for (qsizetype back = done.size() - 1; back >= 0; --back) {
            for (const QString &undo : done.at(back)->undo)
                database.exec(undo);
        }
        return outcome;
    }
    return outcome;
}

} // namespace AccountPlan
