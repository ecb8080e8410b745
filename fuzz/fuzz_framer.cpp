// The framer of the server's byte stream, fed with any bytes in reads of any
// size. Checked on every input:
//  - every packet it yields has the length its type calls for, and is the
//    stream's own bytes at a place after the previous packet;
//  - the same bytes give the same packets, the same count of thrown-away bytes
//    and the same waiting rest whether they come in one read, in reads of 1 to
//    64 bytes or byte by byte;
//  - after bytes were thrown away, the next packet starts the way a packet
//    must (a notification with IMEI digits, a report, or 255 with a code of
//    1 to 3), and after a report only a notification or report follows;
//  - a stream of well-formed packets with stray bytes of no known type between
//    them yields exactly those packets, and one stray byte inside a
//    notification or login answer costs that packet only.
//
// Input: byte 0 picks the mode (even: the rest is the raw stream; odd: the
// rest describes packets and stray bytes), bytes 1-4 seed the read sizes.

#include "Packets.h"

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "framer invariant broken: %s\n", what);
    std::abort();
}

void check(bool condition, const char *what)
{
    if (!condition)
        fail(what);
}

// A read of the stream without a copy (the framer keeps its own).
QByteArray slice(const QByteArray &stream, qsizetype at, qsizetype size)
{
    return QByteArray::fromRawData(stream.constData() + at, qMin(size, stream.size() - at));
}

struct Outcome
{
    QList<QByteArray> packets;
    long discarded = 0;
    int partial = 0;

    bool operator==(const Outcome &other) const
    {
        return packets == other.packets && discarded == other.discarded && partial == other.partial;
    }
};

// A small deterministic generator for the read sizes.
struct Sizes
{
    uint32_t state;
    int next()
    {
        state = state * 1664525u + 1013904223u;
        return 1 + int((state >> 16) % 64);
    }
};

bool isDigits(const QByteArray &packet, bool notification)
{
    bool padding = false;
    for (int at = 1; at <= Packets::ImeiSize; ++at) {
        const char c = packet.at(at);
        if (c == '\0')
            padding = true;
        else if (padding || c < '0' || c > '9')
            return false;
    }
    return !notification || packet.at(1) != '\0';
}

bool startsWell(const QByteArray &packet)
{
    switch (quint8(packet.at(0))) {
    case Packets::State:
        return isDigits(packet, true);
    case Packets::StatusReport:
        return isDigits(packet, false);
    case Packets::AuthAnswer:
        return Packets::answerCodeOf(packet) >= 1 && Packets::answerCodeOf(packet) <= 3;
    default:
        return false;
    }
}

void checkPacket(const QByteArray &packet)
{
    check(!packet.isEmpty(), "empty packet");
    const int length = Packets::incomingLength(quint8(packet.at(0)));
    check(length > 0, "packet of unknown type");
    check(packet.size() == length, "packet length does not match its type");
    // What the link does with each packet.
    switch (quint8(packet.at(0))) {
    case Packets::State:
        (void)Packets::imeiOf(packet);
        (void)Packets::stateCodeOf(packet);
        break;
    case Packets::StatusReport:
        check(Packets::imeiFieldOf(packet).size() == Packets::ImeiSize, "report IMEI field size");
        (void)Packets::statusWordOf(packet);
        break;
    default:
        (void)Packets::answerCodeOf(packet);
        break;
    }
}

Outcome drain(PacketFramer &framer, Outcome outcome)
{
    while (framer.hasPacket())
        outcome.packets.append(framer.takePacket());
    outcome.partial = framer.partialSize();
    return outcome;
}

Outcome inOneRead(const QByteArray &stream)
{
    PacketFramer framer;
    Outcome outcome;
    outcome.discarded = framer.append(stream);
    return drain(framer, outcome);
}

Outcome inReads(const QByteArray &stream, uint32_t seed)
{
    PacketFramer framer;
    Outcome outcome;
    Sizes sizes{seed};
    for (qsizetype at = 0; at < stream.size();) {
        const qsizetype size = sizes.next();
        outcome.discarded += framer.append(slice(stream, at, size));
        at += size;
        // Taken between reads, as the link does.
        if (sizes.next() % 2)
            while (framer.hasPacket())
                outcome.packets.append(framer.takePacket());
    }
    return drain(framer, outcome);
}

// Byte by byte, where each packet's place in the stream is known exactly.
Outcome byteByByte(const QByteArray &stream)
{
    PacketFramer framer;
    Outcome outcome;
    qsizetype previousEnd = 0;
    bool lostSincePacket = false;
    bool afterReport = false;
    for (qsizetype at = 0; at < stream.size(); ++at) {
        const int waiting = framer.partialSize();
        const int lost = framer.append(slice(stream, at, 1));
        check(lost >= 0 && lost <= waiting + 1, "more bytes thrown away than were there");
        outcome.discarded += lost;
        if (lost > 0)
            lostSincePacket = true;
        if (!framer.hasPacket()) {
            check(framer.partialSize() < 20, "waiting rest longer than any packet");
            continue;
        }
        const QByteArray packet = framer.takePacket();
        check(!framer.hasPacket(), "one byte completed two packets");
        checkPacket(packet);
        const qsizetype start = at + 1 - packet.size();
        check(start >= previousEnd, "packet overlaps the one before it");
        check(packet == slice(stream, start, packet.size()), "packet is not the stream's bytes");
        if (lostSincePacket)
            check(startsWell(packet), "after thrown-away bytes, a packet that does not start well");
        if (afterReport) {
            const quint8 type = quint8(packet.at(0));
            check((type == Packets::State || type == Packets::StatusReport) && startsWell(packet),
                  "after a report, something other than a notification or report");
        }
        check(framer.partialSize() == 0, "bytes left after a packet completed by its last byte");
        afterReport = quint8(packet.at(0)) == Packets::StatusReport;
        lostSincePacket = false;
        previousEnd = at + 1;
        outcome.packets.append(packet);
    }
    outcome.partial = framer.partialSize();
    return outcome;
}

void checkStream(const QByteArray &stream, uint32_t seed)
{
    const Outcome whole = inOneRead(stream);
    for (const QByteArray &packet : whole.packets)
        checkPacket(packet);
    check(whole.partial < 20, "waiting rest longer than any packet");
    check(inReads(stream, seed) == whole, "reads of other sizes give other packets");
    check(byteByByte(stream) == whole, "byte by byte gives other packets");

    PacketFramer framer;
    framer.append(stream);
    framer.resetStream();
    check(!framer.hasPacket() && framer.partialSize() == 0, "a reset stream keeps something");
}

// Reads structured packets off the input.
class Reader
{
public:
    Reader(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}
    bool done() const { return m_at >= m_size; }
    uint8_t byte()
    {
        return m_at < m_size ? m_data[m_at++] : 0;
    }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_at = 0;
};

bool knownType(uint8_t byte)
{
    return Packets::incomingLength(byte) != 0;
}

uint8_t unknownType(uint8_t byte)
{
    return knownType(byte) ? uint8_t(byte + 1) : byte; // 21, 26 and 0 are of no known type
}

QByteArray imei(Reader &in, bool mayBeBlank)
{
    int digits = in.byte() % 16;
    if (!mayBeBlank && digits == 0)
        digits = 1;
    QByteArray field;
    for (int i = 0; i < digits; ++i)
        field.append(char('0' + in.byte() % 10));
    field.append(Packets::ImeiSize - field.size(), '\0');
    return field;
}

void checkPackets(Reader &in, uint32_t seed)
{
    QList<QByteArray> sent;
    QByteArray stream;
    QList<qsizetype> starts;
    bool reportSent = false;
    while (!in.done() && sent.size() < 64) {
        const uint8_t what = in.byte();
        for (int strays = what >> 5; strays > 0; --strays)
            stream.append(char(unknownType(in.byte())));
        QByteArray packet;
        switch (what % 3) {
        case 0:
            packet.append(char(Packets::State));
            packet += imei(in, false);
            packet.append(char(unknownType(in.byte())));
            break;
        case 1: {
            packet.append(char(Packets::StatusReport));
            packet += imei(in, true);
            for (int i = 0; i < 4; ++i)
                packet.append(char(in.byte()));
            reportSent = true;
            break;
        }
        default:
            // The one answer to the login comes before any report.
            if (reportSent)
                continue;
            packet.append(char(Packets::AuthAnswer));
            packet.append(char(1 + in.byte() % 3));
            break;
        }
        starts.append(stream.size());
        stream += packet;
        sent.append(packet);
        // A report's own extra bytes, of no packet's type.
        if (packet.at(0) == char(Packets::StatusReport)) {
            for (int extra = (what >> 2) % 4; extra > 0; --extra) {
                const uint8_t b = in.byte();
                stream.append(char(b == Packets::State || b == Packets::StatusReport ? 0 : b));
            }
        }
    }
    checkStream(stream, seed);
    check(inReads(stream, seed).packets == sent, "stray bytes between packets cost packets");

    // One stray byte inside a notification or a login answer.
    if (sent.isEmpty())
        return;
    const int victim = int(seed % uint32_t(sent.size()));
    const quint8 type = quint8(sent.at(victim).at(0));
    if (type == Packets::StatusReport)
        return;
    const qsizetype offset = 1 + qsizetype((seed >> 8) % uint32_t(sent.at(victim).size() - 1));
    QByteArray damaged = stream;
    damaged.insert(starts.at(victim) + offset, char(unknownType(uint8_t(seed >> 16))));
    const QList<QByteArray> got = inReads(damaged, seed).packets;
    const qsizetype after = sent.size() - victim - 1;
    check(got.size() == sent.size() || got.size() == sent.size() - 1, "a stray byte cost more than its packet");
    check(got.mid(0, victim) == sent.mid(0, victim), "a stray byte changed the packets before it");
    check(got.mid(got.size() - after) == sent.mid(victim + 1), "a stray byte cost packets after its own");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 5)
        return 0;
    uint32_t seed;
    std::memcpy(&seed, data + 1, sizeof seed);
    if (data[0] % 2 == 0) {
        checkStream(QByteArray(reinterpret_cast<const char *>(data + 5), qsizetype(size - 5)), seed);
    } else {
        Reader in(data + 5, size - 5);
        checkPackets(in, seed);
    }
    return 0;
}
