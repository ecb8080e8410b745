#pragma once

#include "Database.h"

#include "GroupChoice.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

// The statements of the object list and of the station's own state changes
// and journal rows. Every value goes through q.value().
namespace ObjectSql {

// The condition that restricts objects to a group choice, with a leading
// "WHERE", or empty for every object. No value when nothing may be listed
// at all: "Все" for an operator who is no administrator and has no group.
std::optional<QString> groupCondition(const SqlEscaper &q, const QString &group, bool fullRights, const QStringList &selectorItems);

std::optional<QString> loadObjects(const SqlEscaper &q, const QString &group, bool fullRights, const QStringList &selectorItems);
std::optional<QString> loadStates(const SqlEscaper &q, const QString &group, bool fullRights, const QStringList &selectorItems);

// What an object of the list is also found by when the operator searches
// it: model, address, clarification and owner, by IMEI. A statement of its
// own, so that the list's own loading stays as it is.
std::optional<QString> searchTexts(const SqlEscaper &q, const QString &group, bool fullRights, const QStringList &selectorItems);

// The object's particulars for the list's hint.
QString objectHint(const SqlEscaper &q, const QString &imei);
QString saveState(const SqlEscaper &q, const QString &imei, int code);
QString guardState(const SqlEscaper &q, const QString &imei);
QString objectGroup(const SqlEscaper &q, const QString &imei);
// The object's group, its row locked for the operator's step until the step
// commits or rolls back.
QString lockObjectGroup(const SqlEscaper &q, const QString &imei);
// The object's state once no other transaction holds its row.
QString settledState(const SqlEscaper &q, const QString &imei);
// How many journal rows of the station's the table holds for this object,
// moment, text and operator (the step's own row, or an earlier twin).
QString countEvents(const SqlEscaper &q, const QString &imei, const QDateTime &when, const QString &text,
                    const QString &login);
// The lines of an alarm entry, and the canned comments of its menu.
QString alarmAddress(const SqlEscaper &q, const QString &imei);
QString cannedTexts();
// A journal row of the station: type "Событие", dated at the given moment
// to the second.
QString insertEvent(const SqlEscaper &q, const QString &imei, const QDateTime &when, const QString &text, const QString &group,
                    const QString &login);

} // namespace ObjectSql
