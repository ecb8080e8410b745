#include "JournalSql.h"

#include "Sql.h"

namespace JournalSql {

namespace {

QString select(const SqlEscaper &q, const QString &key, const GroupChoice &groups)
{
    return QStringLiteral("SELECT IMEI,Date,Type,Event,User FROM orvex_base.messages ") + condition(q, key, groups);
}

} // namespace

QString condition(const SqlEscaper &q, const QString &key, const GroupChoice &groups)
{
    if (key != AllKey)
        return QStringLiteral("WHERE IMEI=") + q.quoted(key);
    if (groups.text != AllGroups)
        return QStringLiteral("WHERE Group_=") + q.quoted(groups.text);
    // No group at all: a value that no object's group is ever stored as.
    if (groups.items.size() < 2)
        return QStringLiteral("WHERE Group_=' '");
    QString text = QStringLiteral("WHERE (Group_=") + q.quoted(groups.items.at(1));
    for (qsizetype i = 2; i < groups.items.size(); ++i)
        text += QStringLiteral(" OR Group_=") + q.quoted(groups.items.at(i));
    return text + QLatin1Char(')');
}

QString loadMessages(const SqlEscaper &q, const QString &key, const GroupChoice &groups, const QString &start, const std::optional<QString> &end)
{
    QString text = select(q, key, groups) + QStringLiteral(" AND Date > ") + q.quoted(start);
    if (end)
        text += QStringLiteral(" AND Date <= ") + q.quoted(*end);
    return text;
}

QString refreshMessages(const SqlEscaper &q, const QString &key, const GroupChoice &groups, const QString &newest)
{
    return select(q, key, groups) + QStringLiteral(" AND Date > ") + q.quoted(newest);
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

QString frame(const SqlEscaper &q, const QString &imei, const QString &date)
{
    if (!isFrameImei(imei))
        return {};
    return QStringLiteral("SELECT Image FROM orvex_base.o_") + imei + QStringLiteral(" WHERE Date=") + q.quoted(date)
        + QStringLiteral(" AND Event='Кадр с камеры'");
}

} // namespace JournalSql
