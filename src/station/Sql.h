#pragma once

#include <QString>

// Every statement of the station is built by a small function returning its
// text. Values stand between single quotes and always pass through the
// client library's escaping, so a quote or backslash in a value stays inside
// its literal.
namespace Sql {

// A value escaped for use inside a '...' literal (the connection is utf8mb4).
QString value(const QString &text);
// The same value inside its single quotes: a whole literal.
QString quoted(const QString &text);

QString userGroups(const QString &login);
QString userNumber(const QString &login);
QString userAdmin(const QString &login);

} // namespace Sql
