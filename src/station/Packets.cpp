#include "Packets.h"

#include "Cp1251.h"

#include <algorithm>

namespace Packets {

QByteArray textField(const QString &text)
{
    QByteArray field = Cp1251::encode(text).left(TextFieldSize);
    field.append(TextFieldSize - field.size(), '\0');
    return field;
}

QByteArray imeiField(const QString &imei)
{
    QByteArray field = Cp1251::encode(imei).left(ImeiSize);
    field.append(ImeiSize - field.size(), '\0');
    return field;
}

bool imeiFits(const QString &imei)
{
    return imei.size() == ImeiSize && Cp1251::firstUnencodable(imei) < 0 && !imei.contains(QChar(0));
}

QString imeiMisfitMessage()
{
    return QStringLiteral("IMEI объекта должен состоять из %1 символов: команда не отправлена").arg(ImeiSize);
}

bool namesUnit(const QByteArray &field, const QString &imei)
{
    return field.size() == ImeiSize && imeiFits(imei) && field == imeiField(imei);
}

bool isBlankImei(const QByteArray &field)
{
    return field == QByteArray(ImeiSize, '\0');
}

QByteArray auth(const QString &login, const QString &password)
{
    QByteArray packet(1, char(Auth));
    packet += textField(login);
    packet += textField(password);
    return packet;
}

QByteArray command(const QString &imei, quint8 code, const QByteArray &data)
{
    QByteArray packet(1, char(Command));
    packet += imeiField(imei);
    packet += char(code);
    packet += data.left(MaxCommandData);
    return packet;
}

QByteArray guard(const QString &imei, bool arm)
{
    return command(imei, Guard, QByteArray(1, arm ? '\1' : '\0'));
}

QByteArray output(const QString &imei, quint8 output, quint8 value)
{
    QByteArray data;
    data += char(output);
    data += char(value);
    return command(imei, SetOutput, data);
}

QByteArray state(const QString &imei, quint8 code)
{
    QByteArray packet(1, char(State));
    packet += imeiField(imei);
    packet += char(code);
    return packet;
}

int incomingLength(quint8 type)
{
    switch (type) {
    case State:
        return 17;
    case StatusReport:
        return 20;
    case AuthAnswer:
        return 2;
    default:
        return 0;
    }
}

QString imeiOf(const QByteArray &packet)
{
    QByteArray imei = packet.mid(1, ImeiSize);
    const qsizetype end = imei.indexOf('\0');
    if (end >= 0)
        imei.truncate(end);
    return Cp1251::decode(imei);
}

quint8 stateCodeOf(const QByteArray &packet)
{
    return quint8(packet.at(16));
}

quint32 statusWordOf(const QByteArray &packet)
{
    return quint32(quint8(packet.at(16))) | quint32(quint8(packet.at(17))) << 8 | quint32(quint8(packet.at(18))) << 16;
}

QByteArray imeiFieldOf(const QByteArray &packet)
{
    return packet.mid(1, ImeiSize);
}

quint8 answerCodeOf(const QByteArray &packet)
{
    return quint8(packet.at(1));
}

} // namespace Packets

namespace {

// Whether the bytes at start, as far as they have arrived, can begin a
// notification or a status report: its type, then an IMEI of digits padded
// with zero bytes (a report's may be all zero).
bool mayStartReportOrNotification(const QByteArray &buffer, qsizetype start)
{
    const quint8 type = quint8(buffer.at(start));
    if (type != Packets::State && type != Packets::StatusReport)
        return false;
    const qsizetype end = std::min(buffer.size(), start + 1 + Packets::ImeiSize);
    bool padding = false;
    for (qsizetype at = start + 1; at < end; ++at) {
        const char c = buffer.at(at);
        if (c == '\0')
            padding = true;
        else if (padding || c < '0' || c > '9')
            return false;
    }
    // A notification names a unit.
    return type == Packets::StatusReport || end == start + 1 || buffer.at(start + 1) != '\0';
}

// Whether the bytes at start, as far as they have arrived, can begin any
// packet of the server: a notification or report as above, or a login answer
// (255 and a code of 1 to 3).
bool mayStartPacket(const QByteArray &buffer, qsizetype start)
{
    if (quint8(buffer.at(start)) == Packets::AuthAnswer) {
        if (start + 1 >= buffer.size())
            return true;
        const quint8 code = quint8(buffer.at(start + 1));
        return code >= 1 && code <= 3;
    }
    return mayStartReportOrNotification(buffer, start);
}

} // namespace

int PacketFramer::append(const QByteArray &bytes)
{
    m_partial += bytes;
    qsizetype start = 0;
    int discarded = 0;
    while (start < m_partial.size()) {
        if (m_inReportTail && !mayStartReportOrNotification(m_partial, start)) {
            ++start;
            continue;
        }
        // After a byte of no known type, only a packet that reads whole
        // from here on is taken: the stream is found again at the next one.
        if (m_resyncing && !mayStartPacket(m_partial, start)) {
            ++start;
            ++discarded;
            continue;
        }
        const quint8 type = quint8(m_partial.at(start));
        const int length = Packets::incomingLength(type);
        if (length == 0) {
            m_resyncing = true;
            ++start;
            ++discarded;
            continue;
        }
        if (m_partial.size() - start < length)
            break;
        m_packets.enqueue(m_partial.mid(start, length));
        start += length;
        m_inReportTail = type == Packets::StatusReport;
        m_resyncing = false;
    }
    m_partial.remove(0, start);
    return discarded;
}

void PacketFramer::resetStream()
{
    m_partial.clear();
    m_packets.clear();
    m_inReportTail = false;
    m_resyncing = false;
}
