#pragma once

#include "Database.h"

#include <QString>

// The object card's statement.
namespace CardSql {

// Name, Number1, Number2, Address, Owner, State, Status of one object.
QString object(const SqlEscaper &q, const QString &imei);

} // namespace CardSql
