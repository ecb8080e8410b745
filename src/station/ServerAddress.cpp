#include "ServerAddress.h"

#include <QStringList>

namespace ServerAddress {

bool isDottedIpv4(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    for (const QString &part : parts) {
        if (part.isEmpty() || part.size() > 3)
            return false;
        for (const QChar c : part)
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
        if (part.toInt() > 255)
            return false;
    }
    return true;
}

QString problem(const QString &text)
{
    if (text.isEmpty())
        return QStringLiteral("Не указан адрес сервера. Укажите его в окне \"Настройки соединения\".");
    if (isDottedIpv4(text))
        return {};
    return QStringLiteral("Адрес сервера \"%1\" не является IPv4-адресом вида 192.168.0.1. "
                          "Исправьте его в окне \"Настройки соединения\".")
        .arg(text);
}

} // namespace ServerAddress
