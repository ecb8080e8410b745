#pragma once

#include "Database.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

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
};

// The account, the grants of an operator (and of an administrator), then
// the row.
QList<Step> create(const SqlEscaper &q, const OperatorRow &row);
// From the stored row to the new one: password, host and administrator
// grants where they changed, then the row, found by its login. No row
// stored: the row's statement alone, which changes nothing.
QList<Step> rewrite(const SqlEscaper &q, const std::optional<OperatorRow> &stored, const OperatorRow &row);
// The account first, then the row: a row never goes while its account can
// still log in.
QList<Step> remove(const SqlEscaper &q, const OperatorRow &stored);

struct Outcome
{
    bool done = true;
    // The step the server refused, and why.
    Step::Kind failed = Step::Kind::Row;
    unsigned int error = 0;
    QString errorText;
};
// Runs the steps in order; at a refusal the steps before it are taken back,
// last first, and the refusal is returned.
Outcome run(Database &database, const QList<Step> &steps);

} // namespace AccountPlan
