#pragma once

#include "Database.h"

#include "GroupChoice.h"

#include <QString>
#include <QStringList>

#include <optional>

// The statements of the message journal and of the camera frames. Values go
// through q.value(); a frame table is named after its object and is built
// only from an IMEI of decimal digits.
namespace JournalSql {

// The WHERE clause for an IMEI key or, for "All", for the group choice;
// empty for an operator with full rights on "Все", who sees every row, also
// those of objects without a group.
QString condition(const SqlEscaper &q, const QString &key, const GroupChoice &groups, bool fullRights);

// A full load from after start; up to and including end when given.
QString loadMessages(const SqlEscaper &q, const QString &key, const GroupChoice &groups, bool fullRights,
                     const QString &start, const std::optional<QString> &end = std::nullopt);

// A top-up: the rows of the period from `from` on, that time included, so
// that a row written later within the second of a row shown still comes;
// the journal recognises the rows it already shows.
QString refreshMessages(const SqlEscaper &q, const QString &key, const GroupChoice &groups, bool fullRights,
                        const QString &start, const QString &from);

// The journal row (of type "Событие") an operator's station writes when it
// takes the alarm of an object into processing.
inline const QString TakenEvent = QStringLiteral("Тревога принята в обработку");

// Who took the object's alarm last, and when: User and Date of the newest
// such row (the IMEI and Date index finds it without a scan).
QString lastTaken(const SqlEscaper &q, const QString &imei);

// Decimal digits only: the IMEIs that may name a frame table or a frame file.
bool isFrameImei(const QString &imei);

// The Image of the frame announced at date; empty when the IMEI cannot name
// a table.
QString frame(const SqlEscaper &q, const QString &imei, const QString &date);

} // namespace JournalSql
