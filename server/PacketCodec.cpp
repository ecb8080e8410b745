#include "PacketCodec.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

namespace PacketCodec {

namespace {

constexpr int CommandHeaderLength = 17;
constexpr int AuthenticationLength = 33;
constexpr int StateLength = 17;
constexpr int StatusReportLength = 20;

quint8 byteAt(QByteArrayView bytes, qsizetype index)
{
    return static_cast<quint8>(bytes.at(index));
}

QByteArray untilZero(const QByteArray &field)
{
    const qsizetype zero = field.indexOf('\0');
    return zero < 0 ? field : field.left(zero);
}

QString quoted(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

QString byteList(const QByteArray &bytes)
{
    QStringList items;
    for (const char byte : bytes)
        items.append(QString::number(static_cast<quint8>(byte)));
    return QLatin1Char('[') + items.join(QLatin1Char(',')) + QLatin1Char(']');
}

QString commandName(quint8 code, const QByteArray &data)
{
    switch (code) {
    case StatusRequest:
        return QStringLiteral("status request");
    case Guard:
        return data.size() == 1 && data.at(0) == 0 ? QStringLiteral("disarm") : QStringLiteral("arm");
    case Output:
        return QStringLiteral("output");
    case CameraFrame:
        return QStringLiteral("camera frame");
    case VoiceCall:
        return QStringLiteral("voice call to ") + quoted(fieldText(data));
    default:
        return QStringLiteral("unknown command");
    }
}

} // namespace

int commandDataLength(quint8 code)
{
    switch (code) {
    case StatusRequest:
        return 0;
    case Guard:
        return 1;
    case Output:
        return 2;
    case CameraFrame:
        return 1;
    case VoiceCall:
        return TextFieldLength;
    default:
        return -1;
    }
}

int stationPacketLength(QByteArrayView buffer)
{
    if (buffer.isEmpty())
        return 0;
    switch (byteAt(buffer, 0)) {
    case Authentication:
        return AuthenticationLength;
    case State:
        return StateLength;
    case Command: {
        if (buffer.size() < CommandHeaderLength)
            return 0;
        const int data = commandDataLength(byteAt(buffer, 16));
        return data < 0 ? -1 : CommandHeaderLength + data;
    }
    default:
        return -1;
    }
}

Cut cutStationPackets(QByteArray &buffer, qsizetype maxPackets)
{
    // The rest is looked at in place; copying it for every packet made a
    // large read cost its size times the number of packets in it.
    Cut cut;
    qsizetype offset = 0;
    while (offset < buffer.size() && cut.packets.size() < maxPackets) {
        const QByteArrayView rest(buffer.constData() + offset, buffer.size() - offset);
        const int length = stationPacketLength(rest);
        if (length < 0) {
            cut.discarded = rest.size();
            cut.discardedHead = rest.first(std::min<qsizetype>(rest.size(), CommandHeaderLength)).toByteArray();
            offset = buffer.size();
            break;
        }
        if (length == 0 || rest.size() < length)
            break;
        cut.packets.append(rest.first(length).toByteArray());
        offset += length;
    }
    buffer.remove(0, offset);
    return cut;
}

bool holdsWholePacket(const QByteArray &buffer)
{
    const int length = stationPacketLength(buffer);
    return length < 0 || (length > 0 && buffer.size() >= length);
}

QString fieldText(const QByteArray &field)
{
    QStringDecoder decoder("windows-1251", QStringConverter::Flag::Stateless);
    return decoder.decode(untilZero(field));
}

QString imeiText(const QByteArray &field)
{
    // The network's texts are all code page 1251, the IMEI field included.
    return fieldText(field);
}

QByteArray imeiField(const QString &imei)
{
    QStringEncoder encoder("windows-1251", QStringConverter::Flag::Stateless);
    QByteArray field = QByteArray(encoder.encode(imei)).left(ImeiLength);
    field.append(ImeiLength - field.size(), '\0');
    return field;
}

QByteArray authenticationAnswer(quint8 code)
{
    QByteArray packet(2, '\0');
    packet[0] = static_cast<char>(AuthenticationAnswer);
    packet[1] = static_cast<char>(code);
    return packet;
}

QByteArray stateNotification(const QByteArray &imei, quint8 state)
{
    QByteArray packet(StateLength, '\0');
    packet[0] = static_cast<char>(State);
    packet.replace(1, ImeiLength, imei.left(ImeiLength).leftJustified(ImeiLength, '\0'));
    packet[16] = static_cast<char>(state);
    return packet;
}

QByteArray statusReport(const QByteArray &imei, quint32 word)
{
    QByteArray packet(StatusReportLength, '\0');
    packet[0] = static_cast<char>(StatusReport);
    packet.replace(1, ImeiLength, imei.left(ImeiLength).leftJustified(ImeiLength, '\0'));
    packet[16] = static_cast<char>(word & 0xFF);
    packet[17] = static_cast<char>((word >> 8) & 0xFF);
    packet[18] = static_cast<char>((word >> 16) & 0xFF);
    return packet;
}

QString describeStationPacket(const QByteArray &packet)
{
    if (packet.isEmpty())
        return QStringLiteral("empty packet");
    const int length = stationPacketLength(packet);
    if (length <= 0 || packet.size() != length)
        return QStringLiteral("raw ") + byteList(packet);

    switch (byteAt(packet, 0)) {
    case Authentication:
        // The password stays out of the log.
        return QStringLiteral("auth login=") + quoted(fieldText(packet.mid(1, TextFieldLength)));
    case State:
        return QStringLiteral("state imei=%1 code=%2")
            .arg(imeiText(packet.mid(1, ImeiLength)), QString::number(byteAt(packet, 16)));
    case Command: {
        const quint8 code = byteAt(packet, 16);
        const QByteArray data = packet.mid(17);
        return QStringLiteral("command imei=%1 code=%2 data=%3 (%4)")
            .arg(imeiText(packet.mid(1, ImeiLength)), QString::number(code), byteList(data),
                 commandName(code, data));
    }
    default:
        return QStringLiteral("raw ") + byteList(packet);
    }
}

QString describeServerPacket(const QByteArray &packet)
{
    if (packet.size() == 2 && byteAt(packet, 0) == AuthenticationAnswer)
        return QStringLiteral("answer 255 code=") + QString::number(byteAt(packet, 1));
    if (packet.size() == StateLength && byteAt(packet, 0) == State)
        return QStringLiteral("state notification imei=%1 code=%2")
            .arg(imeiText(packet.mid(1, ImeiLength)), QString::number(byteAt(packet, 16)));
    if (packet.size() == StatusReportLength && byteAt(packet, 0) == StatusReport) {
        const quint32 word = byteAt(packet, 16) | (quint32(byteAt(packet, 17)) << 8)
            | (quint32(byteAt(packet, 18)) << 16);
        return QStringLiteral("status report imei=%1 word=%2 (0x%3)")
            .arg(imeiText(packet.mid(1, ImeiLength)), QString::number(word),
                 QString::number(word, 16).rightJustified(6, QLatin1Char('0')));
    }
    return QStringLiteral("raw ") + byteList(packet);
}

} // namespace PacketCodec
