#pragma once

#include <QString>
#include <QStringList>

// The group selector's terms, shared by the list, the journal, the card and
// the reports.

// Item 0 of every group selector: all of the operator's groups.
inline const QString AllGroups = QStringLiteral("Все");
// The journal key that stands for the whole group choice instead of one object.
inline const QString AllKey = QStringLiteral("All");

// The group selector as the statements read it: its shown text and all its
// items, "Все" first.
struct GroupChoice
{
    QString text;
    QStringList items;

    bool isAll() const { return text == AllGroups; }
    // The operator's own groups: the items after "Все".
    QStringList groups() const { return items.mid(1); }
};
