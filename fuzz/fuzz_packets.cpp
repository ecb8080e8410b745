// The packet builders with any text: the input is read as UTF-16 code units,
// so lone and swapped surrogates, NUL and characters outside code page 1251
// all occur. Checked on every input:
//  - every packet has its type byte and its fixed length (a command's data is
//    cut to its limit), whatever the texts;
//  - a text field and an IMEI field hold the text's code page bytes, cut to
//    the field and zero-padded;
//  - the code page conversion gives one byte per character, and a text it
//    calls fully encodable comes back unchanged from the bytes;
//  - an IMEI the station accepts for commands names its unit in the packets
//    built for it, and a rejected one names none;
//  - a notification built for an IMEI is framed back whole by the framer.

#include "Cp1251.h"
#include "Packets.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "packet invariant broken: %s\n", what);
        std::abort();
    }
}

// Characters, a surrogate pair counting as one as in the code page conversion.
qsizetype characters(const QString &text)
{
    qsizetype count = 0;
    for (qsizetype i = 0; i < text.size(); ++i, ++count) {
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
    }
    return count;
}

void checkText(const QString &text)
{
    const QByteArray bytes = Cp1251::encode(text);
    check(bytes.size() == characters(text), "not one byte per character");
    const qsizetype bad = Cp1251::firstUnencodable(text);
    const QString badCharacter = Cp1251::firstUnencodableCharacter(text);
    check(bad >= -1 && bad < text.size(), "first unencodable position outside the text");
    if (bad < 0) {
        check(badCharacter.isEmpty(), "an unencodable character in an encodable text");
        check(Cp1251::decode(bytes) == text, "an encodable text does not come back from its bytes");
    } else {
        check(!badCharacter.isEmpty() && text.mid(bad).startsWith(badCharacter),
              "the unencodable character is not at its position");
        check(Cp1251::firstUnencodable(badCharacter) == 0, "the unencodable character encodes on its own");
        check(Cp1251::firstUnencodable(text.left(bad)) == -1, "an earlier character is unencodable");
    }

    const QByteArray field = Packets::textField(text);
    check(field.size() == Packets::TextFieldSize, "text field size");
    check(field.left(bytes.size()) == bytes.left(Packets::TextFieldSize), "text field does not start with the text");
    check(field.mid(bytes.size()) == QByteArray(field.size() - qMin(bytes.size(), field.size()), '\0'),
          "text field not zero-padded");
}

void checkImei(const QString &imei, quint8 code, const QByteArray &data)
{
    const QByteArray field = Packets::imeiField(imei);
    check(field.size() == Packets::ImeiSize, "IMEI field size");
    const bool fits = Packets::imeiFits(imei);
    if (fits) {
        check(imei.size() == Packets::ImeiSize, "a fitting IMEI of another length");
        check(field == Cp1251::encode(imei), "a fitting IMEI's field is not its bytes");
        check(!field.contains('\0'), "a fitting IMEI's field holds a zero byte");
    }

    const QByteArray command = Packets::command(imei, code, data);
    const qsizetype dataSize = qMin<qsizetype>(data.size(), Packets::MaxCommandData);
    check(command.size() == 17 + dataSize, "command length");
    check(quint8(command.at(0)) == Packets::Command, "command type");
    check(command.mid(1, Packets::ImeiSize) == field, "command IMEI");
    check(quint8(command.at(16)) == code, "command code");
    check(command.mid(17) == data.left(dataSize), "command data");
    check(Packets::namesUnit(Packets::imeiFieldOf(command), imei) == fits, "command names the wrong unit");

    const QByteArray guard = Packets::guard(imei, code % 2);
    check(guard.size() == 18 && quint8(guard.at(16)) == Packets::Guard && quint8(guard.at(17)) == code % 2,
          "guard command");
    const QByteArray output = Packets::output(imei, code, quint8(~code));
    check(output.size() == 19 && quint8(output.at(16)) == Packets::SetOutput && quint8(output.at(17)) == code
              && quint8(output.at(18)) == quint8(~code),
          "output command");

    const QByteArray state = Packets::state(imei, code);
    check(state.size() == 17 && state.size() == Packets::incomingLength(Packets::State), "state length");
    check(quint8(state.at(0)) == Packets::State && Packets::stateCodeOf(state) == code, "state type or code");
    if (fits)
        check(Packets::imeiOf(state) == imei, "a fitting IMEI does not read back from its notification");

    PacketFramer framer;
    check(framer.append(state) == 0 && framer.hasPacket() && framer.takePacket() == state && !framer.hasPacket()
              && framer.partialSize() == 0,
          "a built notification is not framed back whole");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    const quint8 code = data[0];
    // Byte 1 splits the text in two: a login and a password, or an IMEI and
    // a command's data.
    const size_t units = (size - 2) / 2;
    QString text(qsizetype(units), Qt::Uninitialized);
    for (size_t i = 0; i < units; ++i)
        text[qsizetype(i)] = QChar(char16_t(data[2 + 2 * i] | data[3 + 2 * i] << 8));
    const qsizetype cut = units ? data[1] % (units + 1) : 0;
    const QString first = text.left(cut);
    const QString second = text.mid(cut);

    checkText(text);
    checkText(first);
    checkText(second);
    const QByteArray auth = Packets::auth(first, second);
    check(auth.size() == 1 + 2 * Packets::TextFieldSize && quint8(auth.at(0)) == Packets::Auth, "auth packet");
    check(auth.mid(1, 16) == Packets::textField(first) && auth.mid(17) == Packets::textField(second),
          "auth fields");

    checkImei(first, code, Cp1251::encode(second));
    checkImei(text.left(Packets::ImeiSize), code, QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    return 0;
}
