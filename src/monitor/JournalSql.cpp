#include "JournalSql.h"

#include "Sql.h"

namespace JournalSql {

namespace {

using Sql::quoted;

QString select(const QString &key, const GroupChoice &groups)
{
    return QStringLiteral("SELECT IMEI,Date,Type,Event,User FROM orvex_base.messages ") + condition(key, groups);
}

} // namespace

QString condition(const QString &key, const GroupChoice &groups)
{
    if (key != AllKey)
        return QStringLiteral("WHERE IMEI=") + quoted(key);
    if (groups.text != AllGroups)
        return QStringLiteral("WHERE Group_=") + quoted(groups.text);
    // No group at all: a value that no object's group is ever stored as.
    if (groups.items.size() < 2)
        return QStringLiteral("WHERE Group_=' '");
    QString text = QStringLiteral("WHERE (Group_=") + quoted(groups.items.at(1));
    for (qsizetype i = 2; i < groups.items.size(); ++i)
        text += QStringLiteral(" OR Group_=") + quoted(groups.items.at(i));
    return text + QLatin1Char(')');
}

QString loadMessages(const QString &key, const GroupChoice &groups, const QString &start, const std::optional<QString> &end)
{
    QString text = select(key, groups) + QStringLiteral(" AND Date > ") + quoted(start);
    if (end)
        text += QStringLiteral(" AND Date <= ") + quoted(*end);
    return text;
}

QString refreshMessages(const QString &key, const GroupChoice &groups, const QString &newest)
{
    return select(key, groups) + QStringLiteral(" AND Date > ") + quoted(newest);
}

bool isFrameImei(const QString &imei)
{
    if (imei.isEmpty())
        return false;
    for (const QChar c : imei) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

QString frame(const QString &imei, const QString &date)
{
    if (!isFrameImei(imei))
        return {};
    return QStringLiteral("SELECT Image FROM orvex_base.o_") + imei + QStringLiteral(" WHERE Date=") + quoted(date)
        + QStringLiteral(" AND Event='Кадр с камеры'");
}

} // namespace JournalSql
