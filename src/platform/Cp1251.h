#pragma once

#include <QByteArray>
#include <QString>

// Windows code page 1251 is the 8-bit text of Config.ini, Images.txt and the
// wire packets. Everything inside the station is QString; these two functions
// are the only place where text crosses into or out of that code page.
namespace Cp1251 {

// Never fails: a character the code page has no place for becomes '?'.
QByteArray encode(const QString &text);
// The position of the first character that the code page cannot carry, or -1.
qsizetype firstUnencodable(const QString &text);
// That character itself (a surrogate pair whole), for a message; empty when there is none.
QString firstUnencodableCharacter(const QString &text);
QString decode(const QByteArray &bytes);

} // namespace Cp1251
