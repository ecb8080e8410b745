#include "Bytes.h"
#include "Packets.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

const QString Imei = QStringLiteral("356938035643809");

} // namespace

class TestPackets final : public QObject
{
    Q_OBJECT

private slots:
    void authentication_data()
    {
        QTest::addColumn<QString>("login");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QByteArray>("loginField");
        QTest::addColumn<QByteArray>("passwordField");
        QTest::newRow("3 and 7 characters") << QStringLiteral("Ivn") << QStringLiteral("secret7")
                                            << QByteArray("Ivn").append(13, '\0') << QByteArray("secret7").append(9, '\0');
        QTest::newRow("16 characters fill the field") << QStringLiteral("ABCDEFGHIJKLMNOP") << QStringLiteral("")
                                                      << QByteArray("ABCDEFGHIJKLMNOP") << QByteArray(16, '\0');
        QTest::newRow("20 characters are cut to 16") << QStringLiteral("ABCDEFGHIJKLMNOPQRST")
                                                     << QStringLiteral("12345678901234567890")
                                                     << QByteArray("ABCDEFGHIJKLMNOP") << QByteArray("1234567890123456");
        // "Пилот" in code page 1251: one byte a letter.
        QTest::newRow("Cyrillic in cp1251") << QStringLiteral("Пилот") << QStringLiteral("Ёж")
                                            << bytes({0xCF, 0xE8, 0xEB, 0xEE, 0xF2}).append(11, '\0')
                                            << bytes({0xA8, 0xE6}).append(14, '\0');
    }

    void authentication()
    {
        QFETCH(QString, login);
        QFETCH(QString, password);
        QFETCH(QByteArray, loginField);
        QFETCH(QByteArray, passwordField);
        const QByteArray packet = Packets::auth(login, password);
        QCOMPARE(packet.size(), 33);
        QCOMPARE(quint8(packet.at(0)), quint8(1));
        QCOMPARE(packet.mid(1, 16), loginField);
        QCOMPARE(packet.mid(17, 16), passwordField);
    }

    void commands_data()
    {
        QTest::addColumn<quint8>("code");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("tail");
        QTest::newRow("status request") << quint8(0) << QByteArray() << bytes({0});
        QTest::newRow("disarm") << quint8(1) << bytes({0}) << bytes({1, 0});
        QTest::newRow("arm") << quint8(1) << bytes({1}) << bytes({1, 1});
        QTest::newRow("terminal off") << quint8(10) << bytes({4, 1}) << bytes({10, 4, 1});
        QTest::newRow("terminal on") << quint8(10) << bytes({4, 0}) << bytes({10, 4, 0});
        QTest::newRow("siren on") << quint8(10) << bytes({0, 1}) << bytes({10, 0, 1});
        QTest::newRow("camera frame") << quint8(15) << bytes({3}) << bytes({15, 3});
        const QByteArray number = Packets::textField(QStringLiteral("89161234567"));
        QTest::newRow("voice call") << quint8(20) << number << QByteArray(1, char(20)) + QByteArray("89161234567").append(5, '\0');
        QTest::newRow("83 data bytes at most") << quint8(99) << QByteArray(90, 'x') << QByteArray(1, char(99)) + QByteArray(83, 'x');
    }

    void commands()
    {
        QFETCH(quint8, code);
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, tail);
        const QByteArray packet = Packets::command(Imei, code, data);
        QCOMPARE(packet.size(), 16 + tail.size());
        QCOMPARE(quint8(packet.at(0)), quint8(10));
        QCOMPARE(packet.mid(1, 15), Imei.toLatin1());
        QCOMPARE(packet.mid(16), tail);
    }

    void statePacketAndShortImei()
    {
        QCOMPARE(Packets::state(Imei, 90), QByteArray(1, char(20)) + Imei.toLatin1() + char(90));
        const QByteArray shortOne = Packets::state(QStringLiteral("123"), 2);
        QCOMPARE(shortOne.size(), 17);
        QCOMPARE(shortOne.mid(1, 15), QByteArray("123").append(12, '\0'));
    }

    void incomingReaders()
    {
        const QByteArray report = bytes({25}) + Imei.toLatin1() + bytes({0x34, 0x12, 0xAB, 0x77});
        QCOMPARE(Packets::statusWordOf(report), quint32(0xAB1234));
        const QByteArray notification = Packets::state(Imei, 115);
        QCOMPARE(Packets::imeiOf(notification), Imei);
        QCOMPARE(Packets::stateCodeOf(notification), quint8(115));
        QCOMPARE(Packets::answerCodeOf(bytes({255, 3})), quint8(3));
    }

    void framerCutsAnyStream()
    {
        // A connection's stream as the server sends it: its answer to the
        // login first, then notifications and status reports, some reports
        // longer than their 20 bytes. Fed in random pieces, several packets per
        // piece or one packet over several pieces, every packet comes out whole
        // and in order (a report as its first 20 bytes).
        QList<QByteArray> sent{bytes({255, 1})};
        QByteArray stream = sent.first();
        QRandomGenerator random(20261209);
        // Tail bytes that would be misread as packets of their own.
        const QByteArray tailBytes = bytes({255, 1, 2, 3, 0, 0x7f, 10, 0x39});
        for (int i = 0; i < 400; ++i) {
            if (random.bounded(2) == 0) {
                const QByteArray packet = Packets::state(QString::number(356938035640000LL + i), quint8(random.bounded(256)));
                sent << packet;
                stream += packet;
                continue;
            }
            const QByteArray packet = bytes({25}) + QByteArray(15, char('0' + i % 10)) + bytes({i & 0xFF, 1, 2, 3});
            sent << packet;
            stream += packet;
            for (int extra = int(random.bounded(6)); extra > 0; --extra)
                stream += tailBytes.at(random.bounded(tailBytes.size()));
        }
        for (int round = 0; round < 20; ++round) {
            PacketFramer framer;
            QList<QByteArray> received;
            qsizetype at = 0;
            while (at < stream.size()) {
                const qsizetype piece = std::min<qsizetype>(1 + random.bounded(60), stream.size() - at);
                QCOMPARE(framer.append(stream.mid(at, piece)), 0);
                at += piece;
                while (framer.hasPacket())
                    received << framer.takePacket();
            }
            QCOMPARE(received, sent);
        }
    }

    // A status report is at least 20 bytes; what a longer one carries after
    // them is no packet of its own, however it looks.
    void framerTakesTheTailOfALongerReport_data()
    {
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<QByteArray>("next");
        const QByteArray report = bytes({25}) + Imei.toLatin1() + bytes({1, 2, 3, 0});
        const QByteArray notification = Packets::state(Imei, 101);
        QTest::newRow("looks like a login accepted") << bytes({0, 0, 255, 1}) << notification;
        QTest::newRow("starts like a login accepted") << bytes({255, 1, 0, 0}) << notification;
        QTest::newRow("a type byte alone") << bytes({20}) << notification;
        QTest::newRow("a type byte and digits") << bytes({20, '3', '5'}) << notification;
        QTest::newRow("unknown bytes, then a report") << bytes({0x77, 0, 25}) << report;
        QTest::newRow("no tail") << QByteArray() << notification;
    }

    void framerTakesTheTailOfALongerReport()
    {
        QFETCH(QByteArray, tail);
        QFETCH(QByteArray, next);
        const QByteArray report = bytes({25}) + QByteArray(15, '7') + bytes({0x34, 0x12, 0xAB, 0});
        const QByteArray stream = report + tail + next;
        // In one read, and byte by byte.
        for (int piece : {int(stream.size()), 1}) {
            PacketFramer framer;
            QList<QByteArray> received;
            for (qsizetype at = 0; at < stream.size(); at += piece) {
                QCOMPARE(framer.append(stream.mid(at, piece)), 0);
                while (framer.hasPacket())
                    received << framer.takePacket();
            }
            QCOMPARE(received, (QList<QByteArray>{report, next}));
            QCOMPARE(framer.partialSize(), 0);
        }
        // Alone, the tail waits for what follows; nothing is taken from it.
        PacketFramer framer;
        framer.append(report + tail);
        QCOMPARE(framer.takePacket(), report);
        QVERIFY(!framer.hasPacket());
    }

    // A stray byte costs the bytes up to the next packet that reads whole,
    // not the rest of the read.
    void framerFindsItsFeetAfterAnUnknownType()
    {
        PacketFramer framer;
        const QByteArray first = Packets::state(Imei, 2);
        const QByteArray second = Packets::state(Imei, 101);
        // 77 is no type; "20 1 2" starts no notification (no IMEI digits).
        QCOMPARE(framer.append(first + bytes({77, 20, 1, 2}) + second + bytes({255, 1})), 4);
        QCOMPARE(framer.takePacket(), first);
        QCOMPARE(framer.takePacket(), second);
        QCOMPARE(framer.takePacket(), bytes({255, 1}));
        QVERIFY(!framer.hasPacket());
        QCOMPARE(framer.partialSize(), 0);
        // An answer byte that is no answer code is no login answer.
        QCOMPARE(framer.append(bytes({13, 255, 9}) + second), 3);
        QCOMPARE(framer.takePacket(), second);
        QVERIFY(!framer.hasPacket());
    }

    // One stray byte in a stream of a hundred packets, read in pieces of 1 to
    // 64 bytes: only the packet it lands in may be lost.
    void strayByteLosesAtMostItsPacket()
    {
        // The states a unit reports: a stray byte shifts the stream by one,
        // so the corrupted packet's state byte is read where a type should be.
        const quint8 states[] = {0, 1, 2, 3, 90, 101, 105, 110, 115, 120};
        QRandomGenerator random(7);
        for (int round = 0; round < 50; ++round) {
            QList<QByteArray> packets;
            QByteArray stream;
            for (int n = 0; n < 100; ++n) {
                const QByteArray p = n % 10 == 9 ? bytes({255, 1 + n % 3})
                                                 : Packets::state(QStringLiteral("3569380356%1").arg(10000 + n), states[n % 10]);
                packets << p;
                stream += p;
            }
            const qsizetype at = random.bounded(stream.size());
            stream.insert(at, char(0x77));
            PacketFramer framer;
            QList<QByteArray> got;
            for (qsizetype pos = 0; pos < stream.size();) {
                const int piece = 1 + int(random.bounded(64));
                framer.append(stream.mid(pos, piece));
                pos += piece;
                while (framer.hasPacket())
                    got << framer.takePacket();
            }
            int found = 0;
            for (const QByteArray &p : packets)
                found += got.contains(p) ? 1 : 0;
            QVERIFY2(found >= 99, qPrintable(QStringLiteral("round %1: %2 of 100").arg(round).arg(found)));
        }
    }

    void framerForgetsTheOldStreamOnReset()
    {
        PacketFramer framer;
        // Whole packets not yet handled and an unfinished one.
        framer.append(bytes({255, 2}) + Packets::state(Imei, 2) + Packets::state(Imei, 3).left(10));
        QVERIFY(framer.hasPacket());
        QCOMPARE(framer.partialSize(), 10);
        framer.resetStream();
        QVERIFY(!framer.hasPacket());
        QCOMPARE(framer.partialSize(), 0);
        framer.append(bytes({255, 1}));
        QCOMPARE(framer.takePacket(), bytes({255, 1}));
        QVERIFY(!framer.hasPacket());

        // A report's tail belongs to the old stream too: the new one starts at a packet.
        framer.append(bytes({25}) + QByteArray(15, '1') + bytes({0, 0, 0, 0}));
        framer.takePacket();
        framer.resetStream();
        framer.append(bytes({255, 3}));
        QCOMPARE(framer.takePacket(), bytes({255, 3}));
    }
};

QTEST_GUILESS_MAIN(TestPackets)
#include "test_packets.moc"
