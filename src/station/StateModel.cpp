#include "StateModel.h"

namespace StateModel {

int State_Image(int code)
{
    if (code >= FirstAlarm)
        return AlarmImage;
    switch (code) {
    case InProcessing:
        return InProcessingImage;
    case Armed:
        return ArmedImage;
    case Disarmed:
        return DisarmedImage;
    default:
        return NotConnectedImage;
    }
}

QString Event_Text(int code)
{
    switch (code) {
    case 90:
        return QStringLiteral("Принята в обработку");
    case 100:
        return QStringLiteral("Открыта инженерная панель");
    case 101:
        return QStringLiteral("Открыт сейф");
    case 102:
        return QStringLiteral("Сработал датчик удара");
    case 103:
        return QStringLiteral("Сработал универсальный вход");
    case 110:
        return QStringLiteral("Сработал датчик перемещения");
    case 111:
        return QStringLiteral("Пропало внешнее напряжение");
    case 112:
        return QStringLiteral("Низкий заряд аккумулятора");
    case 113:
        return QStringLiteral("Критический заряд аккумулятора");
    case 114:
        return QStringLiteral("Вскрытие корпуса прибора");
    case 115:
        return QStringLiteral("Объект не отвечает");
    default:
        return {};
    }
}

QString Sound_Name(quint8 code)
{
    switch (code) {
    case NotConnected:
        return QStringLiteral("disconnect");
    case Disarmed:
        return QStringLiteral("disarm");
    case Armed:
        return QStringLiteral("arm");
    case 112:
        return QStringLiteral("battery_fault");
    default:
        return code >= FirstAlarm ? QStringLiteral("alarm") : NoSound;
    }
}

bool isAlarm(int code)
{
    return code >= InProcessing;
}

int stateCode(const QString &text)
{
    qsizetype i = 0;
    if (i < text.size() && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+')))
        ++i;
    if (i == text.size())
        return 0;
    for (; i < text.size(); ++i) {
        if (text.at(i) < QLatin1Char('0') || text.at(i) > QLatin1Char('9'))
            return 0;
    }
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? value : 0;
}

int Compare_States(int a, int b)
{
    if (a == b)
        return 0;
    return a > b ? -1 : 1;
}

int Compare_States(const QString &a, const QString &b)
{
    return Compare_States(stateCode(a), stateCode(b));
}

} // namespace StateModel
