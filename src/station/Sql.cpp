#include "Sql.h"

namespace Sql {

QString userGroups(const SqlEscaper &q, const QString &login)
{
    return QStringLiteral("SELECT Groups FROM orvex_base.users WHERE Login=") + q.quoted(login);
}

QString userNumber(const SqlEscaper &q, const QString &login)
{
    return QStringLiteral("SELECT Number FROM orvex_base.users WHERE Login=") + q.quoted(login);
}

QString userAdmin(const SqlEscaper &q, const QString &login)
{
    return QStringLiteral("SELECT Admin FROM orvex_base.users WHERE Login=") + q.quoted(login);
}

QString takeRole(const QString &role)
{
    return QStringLiteral("SET ROLE ") + role;
}

} // namespace Sql
