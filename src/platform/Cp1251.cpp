#include "Cp1251.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace Cp1251 {

QByteArray encode(const QString &text)
{
    // Characters without a place in the code page become '?', as the Windows
    // conversion does with its default character.
    QStringEncoder encoder("windows-1251", QStringConverter::Flag::Stateless);
    QByteArray bytes = encoder.encode(text);
    Q_ASSERT(!encoder.hasError());
    return bytes;
}

QString decode(const QByteArray &bytes)
{
    QStringDecoder decoder("windows-1251", QStringConverter::Flag::Stateless);
    return decoder.decode(bytes);
}

} // namespace Cp1251
