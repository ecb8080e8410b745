#include "AccountPlan.h"

#include "AdminSql.h"

namespace AccountPlan {

namespace {

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

QList<Step> rewrite(const SqlEscaper &q, const std::optional<OperatorRow> &storedRow, const OperatorRow &row)
{
    QList<Step> steps;
    const OperatorRow &stored = storedRow ? *storedRow : row;
    if (row.password != stored.password)
        steps.append({Step::Kind::Account, AdminSql::setPassword(q, row.login, stored.host, row.password),
                      {AdminSql::setPassword(q, row.login, stored.host, stored.password)}});
    if (row.host != stored.host)
        steps.append({Step::Kind::Account, AdminSql::renameAccount(q, row.login, stored.host, row.host),
                      {AdminSql::renameAccount(q, row.login, row.host, stored.host)}});
    if (row.administrator() != stored.administrator()) {
        const QString grant = AdminSql::grantAdministrator(q, row.login, row.host);
        const QString revoke = AdminSql::revokeAdministrator(q, row.login, row.host);
        steps.append({Step::Kind::Grant, row.administrator() ? grant : revoke,
                      {row.administrator() ? revoke : grant}});
    }
    steps.append({Step::Kind::Row,
                  AdminSql::updateUser(q, row.password, row.host, row.flag, row.number, row.groups, row.login), {}});
    return steps;
}

QList<Step> remove(const SqlEscaper &q, const OperatorRow &stored)
{
    // An account that is already gone (dropped by the database's own
    // administrator) does not keep its row for ever; should the row then
    // stay, the account it describes is made again.
    return {{Step::Kind::Account, AdminSql::dropAccount(q, stored.login, stored.host, true),
             accountStatements(q, stored)},
            {Step::Kind::Row, AdminSql::deleteUser(q, stored.login), {}}};
}

Outcome run(Database &database, const QList<Step> &steps)
{
    for (qsizetype done = 0; done < steps.size(); ++done) {
        if (database.exec(steps.at(done).statement))
            continue;
        Outcome outcome;
        outcome.done = false;
        outcome.failed = steps.at(done).kind;
        outcome.error = database.errorNumber();
        outcome.errorText = database.errorMessage();
        for (qsizetype back = done - 1; back >= 0; --back) {
            for (const QString &undo : steps.at(back).undo)
                database.exec(undo);
        }
        return outcome;
    }
    return {};
}

} // namespace AccountPlan
