#pragma once

#include "Database.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

// What the administrator chose in the report window, as the statements and
// the heading read it.
struct ReportSelection
{
    // The group list's text; groupChosen when an entry after "Все" is chosen.
    QString group;
    bool groupChosen = false;
    // The object list's text and the hidden IMEI at the same position;
    // objectChosen when an entry after "Все" is chosen.
    QString object;
    QString imei;
    bool objectChosen = false;
    // The pickers' values: the first day at 00:00:00, the last at 23:59:59.
    QDateTime from;
    QDateTime to;
    bool wholePeriod = false;
    // The operator list's text; userChosen when an entry after "Все" is chosen.
    QString user;
    bool userChosen = false;
    bool alarms = false;
    bool events = false;
    bool guard = false;
    bool commands = false;

    bool allObjects() const { return !objectChosen; }
};

// The report's heading, its lines as the sheet shows them.
struct ReportHeading
{
    QString title;
    QString period;
    QString group;
    QString user;
    QString content;
    QStringList columns;
};

// The statements of the report window and the texts of the report heading.
// Values go through q.value(), so a quote in a group or login stays inside
// its literal.
namespace ReportSql {

QString groups();
QString users();
// The objects of a group, all objects for "Все" (groupChosen false).
QString objects(const SqlEscaper &q, const QString &group, bool groupChosen);

// The report statement; no ORDER BY, the rows come in the server's order.
QString report(const SqlEscaper &q, const ReportSelection &s);
// The number of rows the report statement gives, counted over its own text
// so that both cannot disagree on what they select.
QString count(const QString &report);

ReportHeading heading(const ReportSelection &s);
QString countLine(qint64 rows);

} // namespace ReportSql
