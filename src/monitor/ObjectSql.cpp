#include "ObjectSql.h"

#include "Sql.h"

namespace ObjectSql {

namespace {

std::optional<QString> withCondition(const SqlEscaper &q, const QString &select, const QString &group, bool fullRights,
                                      const QStringList &selectorItems)
{
    const std::optional<QString> condition = groupCondition(q, group, fullRights, selectorItems);
    if (!condition)
        return std::nullopt;
    if (condition->isEmpty())
        return select;
    return select + QLatin1Char(' ') + *condition;
}

} // namespace

std::optional<QString> groupCondition(const SqlEscaper &q, const QString &group, bool fullRights, const QStringList &selectorItems)
{
    if (group != AllGroups)
        return QStringLiteral("WHERE Group_=") + q.quoted(group);
    if (fullRights)
        return QString();
    if (selectorItems.size() < 2)
        return std::nullopt;
    QString condition = QStringLiteral("WHERE Group_=") + q.quoted(selectorItems.at(1));
    for (qsizetype i = 2; i < selectorItems.size(); ++i)
        condition += QStringLiteral(" OR Group_=") + q.quoted(selectorItems.at(i));
    return condition;
}

std::optional<QString> loadObjects(const SqlEscaper &q, const QString &group, bool fullRights, const QStringList &selectorItems)
{
    return withCondition(q, QStringLiteral("SELECT IMEI FROM orvex_base.objects"), group, fullRights, selectorItems);
}

std::optional<QString> loadStates(const SqlEscaper &q, const QString &group, bool fullRights, const QStringList &selectorItems)
{
    return withCondition(q, QStringLiteral("SELECT IMEI,State FROM orvex_base.objects"), group, fullRights,
                         selectorItems);
}

std::optional<QString> searchTexts(const SqlEscaper &q, const QString &group, bool fullRights, const QStringList &selectorItems)
{
    return withCondition(q, QStringLiteral("SELECT IMEI,Name,Address,Addr_,Owner FROM orvex_base.objects"), group,
                         fullRights, selectorItems);
}

QString objectHint(const SqlEscaper &q, const QString &imei)
{
    return QStringLiteral("SELECT Address,Addr_,Owner,Num_owner,Name,TState FROM orvex_base.objects WHERE IMEI=")
        + q.quoted(imei);
}

QString saveState(const SqlEscaper &q, const QString &imei, int code)
{
    return QStringLiteral("UPDATE orvex_base.objects SET State='%1' WHERE IMEI=").arg(code) + q.quoted(imei);
}

QString guardState(const SqlEscaper &q, const QString &imei)
{
    return QStringLiteral("SELECT Ohrana FROM orvex_base.objects WHERE IMEI=") + q.quoted(imei);
}

QString objectGroup(const SqlEscaper &q, const QString &imei)
{
    return QStringLiteral("SELECT Group_ FROM orvex_base.objects WHERE IMEI=") + q.quoted(imei);
}

QString lockObjectGroup(const SqlEscaper &q, const QString &imei)
{
    return objectGroup(q, imei) + QStringLiteral(" FOR UPDATE");
}

QString settledState(const SqlEscaper &q, const QString &imei)
{
    return QStringLiteral("SELECT State FROM orvex_base.objects WHERE IMEI=") + q.quoted(imei)
        + QStringLiteral(" LOCK IN SHARE MODE");
}

QString alarmAddress(const SqlEscaper &q, const QString &imei)
{
    return QStringLiteral("SELECT Address,Addr_,Owner,Num_owner FROM orvex_base.objects WHERE IMEI=") + q.quoted(imei);
}

QString cannedTexts()
{
    return QStringLiteral("SELECT Text FROM orvex_base.text_mes");
}

namespace {

// To the second, as the journal keeps it.
QString eventDate(const QDateTime &when)
{
    const QDate d = when.date();
    const QTime t = when.time();
    return QString::asprintf("%.4d-%.2d-%.2d %.2d:%.2d:%.2d", d.year(), d.month(), d.day(), t.hour(), t.minute(),
                             t.second());
}

} // namespace

QString countEvents(const SqlEscaper &q, const QString &imei, const QDateTime &when, const QString &text,
                    const QString &login)
{
    return QStringLiteral("SELECT COUNT(*) FROM orvex_base.messages WHERE IMEI=") + q.quoted(imei)
        + QStringLiteral(" AND Date=") + q.quoted(eventDate(when)) + QStringLiteral(" AND Type='Событие' AND Event=")
        + q.quoted(text) + QStringLiteral(" AND User=") + q.quoted(login);
}

QString insertEvent(const SqlEscaper &q, const QString &imei, const QDateTime &when, const QString &text, const QString &group,
                    const QString &login)
{
    const QString date = eventDate(when);
    return QStringLiteral("INSERT INTO orvex_base.messages(IMEI,Date,Type,Event,Group_,User)  VALUES(") + q.quoted(imei)
        + QLatin1Char(',') + q.quoted(date) + QStringLiteral(",'Событие',") + q.quoted(text) + QLatin1Char(',')
        + q.quoted(group) + QLatin1Char(',') + q.quoted(login) + QLatin1Char(')');
}

} // namespace ObjectSql
