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

// The WHERE clause for an IMEI key or, for "All", for the group choice.
QString condition(const SqlEscaper &q, const QString &key, const GroupChoice &groups);

// A full load from after start; up to and including end when given.
QString loadMessages(const SqlEscaper &q, const QString &key, const GroupChoice &groups, const QString &start,
                     const std::optional<QString> &end = std::nullopt);

// The rows newer than the newest one shown.
QString refreshMessages(const SqlEscaper &q, const QString &key, const GroupChoice &groups, const QString &newest);

// Decimal digits only: the IMEIs that may name a frame table or a frame file.
bool isFrameImei(const QString &imei);

// The Image of the frame announced at date; empty when the IMEI cannot name
// a table.
QString frame(const SqlEscaper &q, const QString &imei, const QString &date);

} // namespace JournalSql
