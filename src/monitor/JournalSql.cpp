#include "JournalSql.h"

#include "Sql.h"

namespace JournalSql {

namespace {

// The statement up to the first condition on Date, which follows directly.
QString select(const SqlEscaper &q, const QString &key, const GroupChoice &groups, bool fullRights)
{
    const QString where = condition(q, key, groups, fullRights);
    return QStringLiteral("SELECT IMEI,Date,Type,Event,User FROM orvex_base.messages ")
        + (where.isEmpty() ? QStringLiteral("WHERE ") : where + QStringLiteral(" AND "));
}

} // namespace

QString condition(const SqlEscaper &q, const QString &key, const GroupChoice &groups, bool fullRights)
{
    if (key != AllKey)
        return QStringLiteral("WHERE IMEI=") + q.quoted(key);
    if (groups.text != AllGroups)
        return QStringLiteral("WHERE Group_=") + q.quoted(groups.text);
    // The list shows such an operator every object, grouped or not; the
    // journal must not leave out the rows of any of them.
    if (fullRights)
        return {};
    // No group at all: a value that no object's group is ever stored as.
    if (groups.items.size() < 2)
        return QStringLiteral("WHERE Group_=' '");
    QString text = QStringLiteral("WHERE (Group_=") + q.quoted(groups.items.at(1));
    for (qsizetype i = 2; i < groups.items.size(); ++i)
        text += QStringLiteral(" OR Group_=") + q.quoted(groups.items.at(i));
    return text + QLatin1Char(')');
}

QString loadMessages(const SqlEscaper &q, const QString &key, const GroupChoice &groups, bool fullRights,
                     const QString &start, const std::optional<QString> &end)
{
    QString text = select(q, key, groups, fullRights) + QStringLiteral("Date > ") + q.quoted(start);
    if (end)
        text += QStringLiteral(" AND Date <= ") + q.quoted(*end);
    return text;
}

QString refreshMessages(const SqlEscaper &q, const QString &key, const GroupChoice &groups, bool fullRights,
                        const QString &start, const QString &from)
{
    return select(q, key, groups, fullRights) + QStringLiteral("Date > ") + q.quoted(start)
        + QStringLiteral(" AND Date >= ") + q.quoted(from);
}

QString lastTaken(const SqlEscaper &q, const QString &imei)
{
    return QStringLiteral("SELECT User,Date FROM orvex_base.messages WHERE IMEI=") + q.quoted(imei)
        + QStringLiteral(" AND Type='Событие' AND Event=") + q.quoted(TakenEvent)
        + QStringLiteral(" ORDER BY Date DESC LIMIT 1");
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
