#include "Packets.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

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
        // A stream of mixed packets fed in random pieces, several packets per
        // piece or one packet over several pieces, comes out whole and in order.
        QList<QByteArray> sent;
        QByteArray stream;
        QRandomGenerator random(20261209);
        for (int i = 0; i < 400; ++i) {
            QByteArray packet;
            switch (random.bounded(3)) {
            case 0:
                packet = Packets::state(QString::number(356938035640000LL + i), quint8(random.bounded(256)));
                break;
            case 1:
                packet = bytes({25}) + QByteArray(15, char('0' + i % 10)) + bytes({i & 0xFF, 1, 2, 3});
                break;
            default:
                packet = bytes({255, random.bounded(5)});
                break;
            }
            sent << packet;
            stream += packet;
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
            QCOMPARE(framer.partialSize(), 0);
            QCOMPARE(received, sent);
        }
    }

    void framerDropsWhatFollowsAnUnknownType()
    {
        PacketFramer framer;
        const QByteArray first = Packets::state(Imei, 2);
        QCOMPARE(framer.append(first + bytes({77, 20, 1, 2}) ), 4);
        QVERIFY(framer.hasPacket());
        QCOMPARE(framer.takePacket(), first);
        QVERIFY(!framer.hasPacket());
        QCOMPARE(framer.partialSize(), 0);
        // The stream goes on with the next read.
        framer.append(bytes({255, 1}));
        QCOMPARE(framer.takePacket(), bytes({255, 1}));
    }

    void framerKeepsAPartialPacketUntilTheStreamIsReset()
    {
        PacketFramer framer;
        framer.append(Packets::state(Imei, 2).left(10));
        QVERIFY(!framer.hasPacket());
        QCOMPARE(framer.partialSize(), 10);
        framer.resetStream();
        framer.append(bytes({255, 1}));
        QCOMPARE(framer.takePacket(), bytes({255, 1}));
    }
};

QTEST_GUILESS_MAIN(TestPackets)
#include "test_packets.moc"
