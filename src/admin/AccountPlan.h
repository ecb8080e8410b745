#pragma once

#include "Database.h"

#include <QList>
#include <QString>
#include <QStringList>

// An operator as his users row holds him; the same login, host and password
// name his account on the database server.
struct OperatorRow
{
    QString login;
    QString password;
    QString host;
    QString flag; // "1" for an administrator
    QString number;
    QString groups;

    bool administrator() const { return flag == QLatin1String("1"); }
};

// A change of an operator and his account as the statements that make it, in
// order, each with what takes it back should a later one be refused. Built
// without the window, run by run().
namespace AccountPlan {

struct Step
{
    enum class Kind { Account, Grant, Row };
    Kind kind;
    QString statement;
    // Empty: nothing to take back, or taken back with an earlier step.
    QStringList undo;
    // A refusal that leaves things as the step would: a grant to take back
    // that was never given, an account to drop that is not there. The step
    // then counts as done, with nothing to take back.
    unsigned int alreadySo = 0;
};

// The account, the grants of an operator (and of an administrator), then
// the row.
QList<Step> create(const SqlEscaper &q, const OperatorRow &row);
// From the stored row to the new one: password and host where they changed,
// the administrator's grants given whenever he is one (a grant is given
// again at no cost, and an administrator made by another program gets his),
// taken back when he no longer is; then the row, found by its login.
QList<Step> rewrite(const SqlEscaper &q, const OperatorRow &stored, const OperatorRow &row);
// The account first, then the row: a row never goes while its account can
// still log in.
QList<Step> remove(const SqlEscaper &q, const OperatorRow &stored);

struct Outcome
{
    bool done = true;
    // A step found things already so (see Step::alreadySo).
    bool foundAlreadySo = false;
    // The step the server refused, and why.
    Step::Kind failed = Step::Kind::Row;
    unsigned int error = 0;
    QString errorText;
};
// Runs the steps in order; at a refusal the steps before it are taken back,
// last first, and the refusal is returned.
Outcome run(Database &database, const QList<Step> &steps);

} // namespace AccountPlan
