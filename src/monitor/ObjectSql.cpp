#include "ObjectSql.h"

#include "Sql.h"

namespace ObjectSql {

namespace {

using Sql::quoted;

std::optional<QString> withCondition(const QString &select, const QString &group, bool fullRights,
                                      const QStringList &selectorItems)
{
    const std::optional<QString> condition = groupCondition(group, fullRights, selectorItems);
    if (!condition)
        return std::nullopt;
    if (condition->isEmpty())
        return select;
    return select + QLatin1Char(' ') + *condition;
}

} // namespace

std::optional<QString> groupCondition(const QString &group, bool fullRights, const QStringList &selectorItems)
{
    if (group != AllGroups)
        return QStringLiteral("WHERE Group_=") + quoted(group);
    if (fullRights)
        return QString();
    if (selectorItems.size() < 2)
        return std::nullopt;
    QString condition = QStringLiteral("WHERE Group_=") + quoted(selectorItems.at(1));
    for (qsizetype i = 2; i < selectorItems.size(); ++i)
        condition += QStringLiteral(" OR Group_=") + quoted(selectorItems.at(i));
    return condition;
}

std::optional<QString> loadObjects(const QString &group, bool fullRights, const QStringList &selectorItems)
{
    return withCondition(QStringLiteral("SELECT IMEI FROM orvex_base.objects"), group, fullRights, selectorItems);
}

std::optional<QString> loadStates(const QString &group, bool fullRights, const QStringList &selectorItems)
{
    return withCondition(QStringLiteral("SELECT IMEI,State FROM orvex_base.objects"), group, fullRights,
                         selectorItems);
}

QString objectHint(const QString &imei)
{
    return QStringLiteral("SELECT Address,Addr_,Owner,Num_owner,Name,TState FROM orvex_base.objects WHERE IMEI=")
        + quoted(imei);
}

QString saveState(const QString &imei, int code)
{
    return QStringLiteral("UPDATE orvex_base.objects SET State='%1' WHERE IMEI=").arg(code) + quoted(imei);
}

QString guardState(const QString &imei)
{
    return QStringLiteral("SELECT Ohrana FROM orvex_base.objects WHERE IMEI=") + quoted(imei);
}

QString objectGroup(const QString &imei)
{
    return QStringLiteral("SELECT Group_ FROM orvex_base.objects WHERE IMEI=") + quoted(imei);
}

QString alarmAddress(const QString &imei)
{
    return QStringLiteral("SELECT Address,Addr_,Owner,Num_owner FROM orvex_base.objects WHERE IMEI=") + quoted(imei);
}

QString cannedTexts()
{
    return QStringLiteral("SELECT Text FROM orvex_base.text_mes");
}

QString insertEvent(const QString &imei, const QDateTime &when, const QString &text, const QString &group,
                    const QString &login)
{
    const QDate d = when.date();
    const QTime t = when.time();
    const QString date = QString::asprintf("%.4d-%.2d-%.2d %.2d:%.2d:%.2d", d.year(), d.month(), d.day(), t.hour(),
                                           t.minute(), t.second());
    return QStringLiteral("INSERT INTO orvex_base.messages(IMEI,Date,Type,Event,Group_,User)  VALUES(") + quoted(imei)
        + QLatin1Char(',') + quoted(date) + QStringLiteral(",'Событие',") + quoted(text) + QLatin1Char(',')
        + quoted(group) + QLatin1Char(',') + quoted(login) + QLatin1Char(')');
}

} // namespace ObjectSql
