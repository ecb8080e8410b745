#include "CardObject.h"

#include "StateModel.h"

#include "Database.h"

#include <limits>

CardObject CardObject::fromRow(const DbRow &row)
{
    CardObject object;
    object.Name = row.text(0);
    object.Number1 = row.text(1);
    object.Number2 = row.text(2);
    object.Address = row.text(3);
    object.Owner = row.text(4);
    object.State = stateCode(row.text(5));
    object.Status = statusWord(row.text(6));
    return object;
}

quint8 CardObject::stateCode(const QString &text)
{
    return quint8(StateModel::stateCode(text) & 0xff);
}

quint32 CardObject::statusWord(const QString &text)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    // Written by other programs as a signed or an unsigned 32-bit integer.
    if (!ok || value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<quint32>::max())
        return 0;
    return quint32(value);
}

std::optional<QString> CardObject::guardText(quint8 code)
{
    switch (code) {
    case 0:
        return QStringLiteral("Не на связи");
    case 1:
        return QStringLiteral("Снят с охраны");
    case 2:
        return QStringLiteral("На охране");
    default:
        if (StateModel::isAlarm(code))
            return QStringLiteral("Тревога");
        return std::nullopt;
    }
}
