#pragma once

#include "Database.h"

#include <QString>

// Every statement of the station is built by a small function returning its
// text. Values stand between single quotes and always pass through the
// connection's escaping (the SqlEscaper each builder takes), so a quote or
// backslash in a value stays inside its literal whatever the server's mode.
namespace Sql {

QString userGroups(const SqlEscaper &q, const QString &login);
QString userNumber(const SqlEscaper &q, const QString &login);
QString userAdmin(const SqlEscaper &q, const QString &login);

// The role that may read the objects' frame tables, which other programs
// create one per object. Every operator holds it; his station takes it up
// when it connects.
inline const QString FramesRole = QStringLiteral("orvex_frames");
QString takeRole(const QString &role);

} // namespace Sql
