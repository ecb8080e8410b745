#pragma once

#include <QString>

#include <optional>

class DbRow;

// One object as the card shows it, read from the row of CardSql::object().
struct CardObject
{
    QString Name;
    QString Number1;
    QString Number2;
    QString Address;
    QString Owner;
    quint8 State = 0;
    quint32 Status = 0;

    static CardObject fromRow(const DbRow &row);

    // The low byte of the State text's code; 0 for an empty or non-numeric text.
    static quint8 stateCode(const QString &text);
    // The Status text as a 32-bit word (the status word is its low three
    // bytes); 0 for an empty, non-numeric or out-of-range text.
    static quint32 statusWord(const QString &text);
    // The guard state label for a state code; nothing for the codes 3 to 89,
    // which leave the label as it is.
    static std::optional<QString> guardText(quint8 code);
};
