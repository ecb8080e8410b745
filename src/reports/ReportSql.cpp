#include "ReportSql.h"

namespace ReportSql {

QString groups()
{
    return QStringLiteral("SELECT Name FROM orvex_base.groups");
}

QString users()
{
    return QStringLiteral("SELECT Login FROM orvex_base.users");
}

QString objects(const SqlEscaper &q, const QString &group, bool groupChosen)
{
    if (!groupChosen)
        return QStringLiteral("SELECT Name,IMEI FROM orvex_base.objects");
    return QStringLiteral("SELECT Name,IMEI FROM orvex_base.objects WHERE Group_=") + q.quoted(group);
}

QString report(const SqlEscaper &q, const ReportSelection &s)
{
    QString text = s.allObjects() ? QStringLiteral("SELECT Date,IMEI,Type,Event,User FROM orvex_base.messages ")
                                  : QStringLiteral("SELECT Date,Type,Event,User FROM orvex_base.messages ");
    bool first = true;
    const auto condition = [&](const QString &clause) {
        text += first ? QStringLiteral("WHERE") : QStringLiteral(" AND");
        text += clause;
        first = false;
    };
    if (!s.wholePeriod) {
        // Written with its own "WHERE " and blank: the period is always the
        // first condition.
        text += QStringLiteral("WHERE Date >= '") + s.from.date().toString(QStringLiteral("yyyy-MM-dd"))
            + QStringLiteral(" 00:00:00' AND Date <= '") + s.to.date().toString(QStringLiteral("yyyy-MM-dd"))
            + QStringLiteral(" 23:59:59'");
        first = false;
    }
    if (s.objectChosen)
        condition(QStringLiteral(" IMEI=") + q.quoted(s.imei));
    else if (s.groupChosen)
        condition(QStringLiteral(" Group_=") + q.quoted(s.group));
    if (s.userChosen)
        condition(QStringLiteral(" User=") + q.quoted(s.user));

    QStringList types;
    if (s.alarms)
        types << QStringLiteral(" Type='Тревога'");
    if (s.events)
        types << QStringLiteral(" Type='Событие'");
    if (s.guard)
        types << QStringLiteral(" Type='Охрана'");
    if (s.commands)
        types << QStringLiteral(" Type='Команда'");
    if (!types.isEmpty())
        condition(QStringLiteral(" (") + types.join(QStringLiteral(" OR")) + QLatin1Char(')'));
    return text;
}

QString count(const QString &report)
{
    return QStringLiteral("SELECT COUNT(*) FROM (") + report + QStringLiteral(") AS report");
}

ReportHeading heading(const ReportSelection &s)
{
    const QChar quote(u'"');
    const QString stamp = QStringLiteral("dd-MM-yyyy HH:mm:ss");
    ReportHeading h;
    h.title = QStringLiteral("Сводный отчет по объекту(ам) ") + quote + s.object + quote;
    h.period = s.wholePeriod ? QStringLiteral("за весь период")
                             : QStringLiteral("за период с ") + s.from.toString(stamp) + QStringLiteral(" по ")
                                 + s.to.toString(stamp);
    h.group = QStringLiteral("Группа объекта(ов) ") + quote + s.group + quote;
    h.user = QStringLiteral("Пользователь ") + quote + s.user + quote;
    if (!s.alarms && !s.events && !s.guard && !s.commands) {
        h.content = QStringLiteral("Содержание отчета: Все сообщения");
    } else {
        h.content = QStringLiteral("Содержание отчета: ");
        if (s.alarms)
            h.content += QStringLiteral("Тревоги ");
        if (s.events)
            h.content += QStringLiteral("События ");
        if (s.guard)
            h.content += QStringLiteral("Охрана ");
        if (s.commands)
            h.content += QStringLiteral("Команды");
    }
    if (s.allObjects())
        h.columns = {QStringLiteral("Дата"), QStringLiteral("Банкомат/терминал"), QStringLiteral("Тип"),
                     QStringLiteral("Сообщение"), QStringLiteral("Пользователь")};
    else
        h.columns = {QStringLiteral("Дата"), QStringLiteral("Тип"), QStringLiteral("Сообщение"),
                     QStringLiteral("Пользователь")};
    return h;
}

QString countLine(qint64 rows)
{
    return QStringLiteral("Записей в отчете: ") + QString::number(rows);
}

} // namespace ReportSql
