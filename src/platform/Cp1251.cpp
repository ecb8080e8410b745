#include "Cp1251.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace Cp1251 {

namespace {

bool encodes(QStringView text, QByteArray *out)
{
    QStringEncoder encoder("windows-1251", QStringConverter::Flag::Stateless);
    QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        return false;
    if (out)
        out->append(bytes);
    return true;
}

// One character, a surrogate pair counting as one, at position i.
qsizetype characterLength(const QString &text, qsizetype i)
{
    return text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate() ? 2 : 1;
}

} // namespace

QByteArray encode(const QString &text)
{
    QByteArray bytes;
    if (encodes(text, &bytes))
        return bytes;
    // Characters without a place in the code page become '?', as the Windows
    // conversion does with its default character (the codec itself would put
    // 0x1A there).
    bytes.clear();
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length = characterLength(text, i);
        if (!encodes(QStringView(text).mid(i, length), &bytes))
            bytes.append('?');
        i += length;
    }
    return bytes;
}

qsizetype firstUnencodable(const QString &text)
{
    if (encodes(text, nullptr))
        return -1;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length = characterLength(text, i);
        if (!encodes(QStringView(text).mid(i, length), nullptr))
            return i;
        i += length;
    }
    return -1;
}

QString firstUnencodableCharacter(const QString &text)
{
    const qsizetype at = firstUnencodable(text);
    return at < 0 ? QString() : text.mid(at, characterLength(text, at));
}

QString decode(const QByteArray &bytes)
{
    QStringDecoder decoder("windows-1251", QStringConverter::Flag::Stateless);
    return decoder.decode(bytes);
}

} // namespace Cp1251
