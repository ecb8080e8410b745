#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <limits>

// The wire packets between a station and the monitoring server. There is no
// length field: the length follows from the type byte and, for commands, from
// the command code, so the receive side cuts its buffer with these rules.
namespace PacketCodec {

enum PacketType : quint8 {
    Authentication = 1,
    Command = 10,
    State = 20,
    StatusReport = 25,
    AuthenticationAnswer = 255,
};

enum CommandCode : quint8 {
    StatusRequest = 0,
    Guard = 1,
    Output = 10,
    CameraFrame = 15,
    VoiceCall = 20,
};

enum AnswerCode : quint8 {
    LoginAccepted = 1,
    NoSuchUser = 2,
    AlreadyConnected = 3,
};

constexpr int ImeiLength = 15;
constexpr int TextFieldLength = 16;

// Bytes that follow the 17-byte command header; -1 for a code we do not know.
int commandDataLength(quint8 code);

// Length of the station packet at the start of buffer: the full length when
// known (the buffer may still hold fewer bytes), -1 when the type or the
// command code is unknown, 0 when the buffer is empty or too short to tell.
int stationPacketLength(QByteArrayView buffer);

struct Cut {
    QList<QByteArray> packets;  // whole packets, in order
    qsizetype discarded = 0;    // bytes dropped from an unknown packet on
    QByteArray discardedHead;   // the first of them, for the log
};

// Takes whole packets, at most maxPackets, off the front of buffer; a partial
// packet stays in it. An unknown type or command code makes the rest of the
// buffer unreadable, so it is dropped and counted in Cut::discarded. Each
// byte is looked at once, so the time grows with the bytes, not faster.
Cut cutStationPackets(QByteArray &buffer, qsizetype maxPackets = std::numeric_limits<qsizetype>::max());

// Whether buffer starts with a whole packet, or with bytes to discard.
bool holdsWholePacket(const QByteArray &buffer);

// Text of a zero-terminated field (login, password, phone number): the bytes
// up to the first zero, decoded from code page 1251.
QString fieldText(const QByteArray &field);

// IMEI bytes of a packet as text, up to the first zero byte, from code page 1251.
QString imeiText(const QByteArray &field);
// 15 bytes for a packet: the text in code page 1251, cut to 15 bytes, zero padded.
QByteArray imeiField(const QString &imei);

QByteArray authenticationAnswer(quint8 code);
QByteArray stateNotification(const QByteArray &imei, quint8 state);
QByteArray statusReport(const QByteArray &imei, quint32 word);

// One readable line for the log.
QString describeStationPacket(const QByteArray &packet);
QString describeServerPacket(const QByteArray &packet);

} // namespace PacketCodec
