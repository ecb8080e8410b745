#pragma once

#include <QByteArray>
#include <QQueue>
#include <QString>

// The monitoring server's packets: a type byte first, no length, checksum or
// sequence number; the length follows from the type. Built and parsed here as
// plain bytes, texts in code page 1251.
namespace Packets {

enum Type : quint8 {
    Auth = 1,
    Command = 10,
    State = 20,
    StatusReport = 25,
    AuthAnswer = 255,
};

enum CommandCode : quint8 {
    RequestStatus = 0,
    Guard = 1,
    SetOutput = 10,
    Camera = 15,
    VoiceCall = 20,
};

// The outputs of command 10. Output 4 switches the cash machine's power:
// its value 1 cuts the power, 0 restores it.
enum Output : quint8 {
    ExternalSiren = 0,
    LockOutput = 1,
    UniversalOutput = 2,
    ResetOutput = 3,
    AtmPower = 4,
    InternalSiren = 5,
};
constexpr quint8 AtmPowerOff = 1;
constexpr quint8 AtmPowerOn = 0;

constexpr int ImeiSize = 15;
constexpr int TextFieldSize = 16;
constexpr int MaxCommandData = 83;

// 33 bytes: 1, login field, password field.
QByteArray auth(const QString &login, const QString &password);
// 17 + data bytes: 10, IMEI, command code, data (at most 83 bytes are taken).
QByteArray command(const QString &imei, quint8 code, const QByteArray &data = {});
// 18 bytes: command 1 arms (1) or disarms (0) the unit.
QByteArray guard(const QString &imei, bool arm);
// 19 bytes: command 10 sets an output to a value.
QByteArray output(const QString &imei, quint8 output, quint8 value);
// 17 bytes: 20, IMEI, state code.
QByteArray state(const QString &imei, quint8 code);

// A 16-byte text field: the first 16 bytes of the text, followed by a zero
// byte when shorter; the rest is zero.
QByteArray textField(const QString &text);
// The 15 IMEI bytes: the first 15 characters, zero-padded when shorter.
QByteArray imeiField(const QString &imei);
// Whether the IMEI fills the field exactly. The server picks the unit by
// these 15 bytes, so a longer IMEI cut to them, or a shorter one padded,
// would name another unit or none: commands are sent only for an IMEI that fits.
bool imeiFits(const QString &imei);
// What the operator is told when a command is refused for such an IMEI.
QString imeiMisfitMessage();
// Whether an IMEI field read from the server names the given unit. A field
// of zero bytes names none (a server that does not fill it).
bool namesUnit(const QByteArray &field, const QString &imei);
bool isBlankImei(const QByteArray &field);

// Length of a packet from the server by its type; 0 when the type is unknown.
int incomingLength(quint8 type);

// Readers of whole incoming packets (length as incomingLength says).
QString imeiOf(const QByteArray &packet);
quint8 stateCodeOf(const QByteArray &packet);
quint32 statusWordOf(const QByteArray &packet);
// Bytes 1-15 of a status report or a notification, as they came.
QByteArray imeiFieldOf(const QByteArray &packet);
quint8 answerCodeOf(const QByteArray &packet);

} // namespace Packets

// Cuts the byte stream from the server into whole packets. A partial packet
// waits for the rest; every whole packet of a read is kept in arrival order.
// A byte of unknown type has no length to tell where the next packet starts:
// bytes are skipped up to the next place that reads as the start of a packet
// (a notification or report with IMEI digits, or 255 with an answer code of
// 1 to 3), so a stray byte costs the packet it lands in, not the whole read.
//
// A status report is at least 20 bytes, and nothing tells how many more a
// unit's report carries. Its extra bytes are skipped up to the next
// notification or report (type 20 or 25 followed by IMEI digits): after a
// report the server sends nothing else on the same connection, since its one
// answer to the login comes before any command can be answered. So a tail
// that happens to read "255 1" is never taken for a login accepted.
class PacketFramer
{
public:
    // Returns the number of bytes thrown away as unreadable.
    int append(const QByteArray &bytes);
    bool hasPacket() const { return !m_packets.isEmpty(); }
    QByteArray takePacket() { return m_packets.dequeue(); }
    int partialSize() const { return int(m_partial.size()); }
    // A new connection starts a new stream: whatever the old one delivered,
    // handled or not, belongs to a session that has ended.
    void resetStream();

private:
    QByteArray m_partial;
    QQueue<QByteArray> m_packets;
    // The stream is inside the tail of a status report.
    bool m_inReportTail = false;
    // A byte of no known type was met: looking for the next packet start.
    bool m_resyncing = false;
};
