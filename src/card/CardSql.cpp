#include "CardSql.h"

#include "Sql.h"

namespace CardSql {

QString object(const SqlEscaper &q, const QString &imei)
{
    return QStringLiteral("SELECT Name,Number1,Number2,Address,Owner,State,Status FROM orvex_base.objects WHERE IMEI=")
        + q.quoted(imei);
}

} // namespace CardSql
