#pragma once

#include <QString>

// The object card's statement.
namespace CardSql {

// Name, Number1, Number2, Address, Owner, State, Status of one object.
QString object(const QString &imei);

} // namespace CardSql
