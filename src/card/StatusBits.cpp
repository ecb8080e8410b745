#include "StatusBits.h"

namespace StatusBits {

const QList<Row> &sensors()
{
    static const QList<Row> rows{
        {QStringLiteral("Shape1"), QStringLiteral("Датчик инженерной панели"), 20, true},
        {QStringLiteral("Shape2"), QStringLiteral("Датчик сейфа"), 21, true},
        {QStringLiteral("Shape3"), QStringLiteral("Датчик вибрации"), 22, true},
        {QStringLiteral("Shape4"), QStringLiteral("Датчик перемещения"), 7, true},
        {QStringLiteral("Shape5"), QStringLiteral("Датчик зависания"), 8, true},
        {QStringLiteral("Shape6"), QStringLiteral("Вскрытие корпуса"), 9, true},
        {QStringLiteral("Shape7"), QStringLiteral("Универсальный вход"), 23, true},
        {QStringLiteral("Shape8"), QStringLiteral("Цифровой вход 1"), 12, true},
        {QStringLiteral("Shape9"), QStringLiteral("Цифровой вход 2"), 13, true},
        // The call buttons and the external supply report by an open contact.
        {QStringLiteral("Shape10"), QStringLiteral("Кнопка вызова 1"), 10, false},
        {QStringLiteral("Shape11"), QStringLiteral("Кнопка вызова 2"), 11, false},
        {QStringLiteral("Shape12"), QStringLiteral("Внешнее напряжение"), 0, false},
    };
    return rows;
}

const QList<Row> &outputs()
{
    static const QList<Row> rows{
        {QStringLiteral("Shape13"), QStringLiteral("Внутренняя сирена"), 14, true, 5},
        {QStringLiteral("Shape14"), QStringLiteral("Внешняя сирена"), 15, true, 0},
        {QStringLiteral("Shape15"), QStringLiteral("Выход блокировки"), 16, true, 1},
        {QStringLiteral("Shape16"), QStringLiteral("Универсальный выход"), 17, true, 2},
        // The unit's bit 19 set means it has cut the cash machine's power.
        {QStringLiteral("Shape17"), QStringLiteral("Питание банкомата"), 19, false, 4},
        {QStringLiteral("Shape18"), QStringLiteral("Выход сброса"), 18, true, 3},
    };
    return rows;
}

bool isActive(const Row &row, quint32 word)
{
    const bool set = (word >> row.bit) & 1u;
    return set == row.activeWhenSet;
}

QString simCard(quint32 word)
{
    return (word >> SimBit) & 1u ? QStringLiteral("1") : QStringLiteral("2");
}

quint8 outputValue(const Row &row, bool indicatorActive)
{
    // Value 1 switches an output on; for the power output it cuts the power,
    // which shows as an inactive indicator.
    const bool wantSet = !indicatorActive;
    return wantSet == row.activeWhenSet ? 1 : 0;
}

} // namespace StatusBits
