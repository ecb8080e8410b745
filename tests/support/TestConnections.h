#pragma once

// Connections of the test's own to the private server, and what the server
// counts of them.

#include "Database.h"
#include "TestDatabase.h"

#include <QString>

// The private server's root, as a station's Database connects: for what
// another session does beside the one under test.
inline DbAccount rootAccount()
{
    return {QStringLiteral("127.0.0.1"), TestDatabase::port(), QStringLiteral("root"), {}, QStringLiteral("orvex_base"), {}};
}

// The statements of a kind (Com_select, Com_update...) a connection has run
// so far, as the server counts them; -1 when it could not be asked.
inline int statementsRun(Database &database, const char *kind = "Com_select")
{
    int count = -1;
    database.selectOne(QStringLiteral("SHOW SESSION STATUS LIKE '%1'").arg(QLatin1String(kind)),
                       [&count](const DbRow &row) { count = row.text(1).toInt(); });
    return count;
}
