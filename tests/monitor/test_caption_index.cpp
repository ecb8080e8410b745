#include "CaptionIndex.h"

#include <QTest>

class TestCaptionIndex final : public QObject
{
    Q_OBJECT

private slots:
    void captionsStayApart_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::newRow("IMEI") << QStringLiteral("356938035643809");
        QTest::newRow("leading zero") << QStringLiteral("0356938035643809");
        QTest::newRow("shorter number") << QStringLiteral("12");
        QTest::newRow("same number, zero in front") << QStringLiteral("012");
        QTest::newRow("17 digits") << QStringLiteral("99999999999999999");
        QTest::newRow("18 digits, kept as text") << QStringLiteral("999999999999999999");
        QTest::newRow("letters") << QStringLiteral("35693803564380A");
        QTest::newRow("Cyrillic") << QStringLiteral("объект");
        QTest::newRow("empty") << QString();
    }

    void captionsStayApart()
    {
        QFETCH(QString, caption);
        CaptionIndex index;
        const QStringList all = {QStringLiteral("356938035643809"), QStringLiteral("0356938035643809"),
                                 QStringLiteral("12"), QStringLiteral("012"), QStringLiteral("99999999999999999"),
                                 QStringLiteral("999999999999999999"), QStringLiteral("35693803564380A"),
                                 QStringLiteral("объект"), QString()};
        for (int row = 0; row < all.size(); ++row)
            QCOMPARE(index.add(all.at(row), row), -1);
        QCOMPARE(index.size(), all.size());
        const int row = int(all.indexOf(caption));
        QCOMPARE(index.value(caption), row);
        QCOMPARE(index.valueUtf8(caption.toUtf8()), row);
        QCOMPARE(index.value(caption + QLatin1Char('1')), -1);

        // The first number of a caption is the one kept.
        QCOMPARE(index.add(caption, 500), row);
        QCOMPARE(index.value(caption), row);
        QCOMPARE(index.size(), all.size());

        index.clear();
        QCOMPARE(index.value(caption), -1);
    }

    // The table grows while captions are added one by one, and a reset for a
    // list of the same size, a bigger or a smaller one leaves nothing of the
    // last list behind.
    void growsAndResets()
    {
        const auto imei = [](qint64 n) { return QString::number(356938030000000LL + n); };
        CaptionIndex index;
        // Neighbouring numbers and numbers a power of two apart, which a
        // plain modulo would crowd into the same slots.
        QStringList first;
        for (int i = 0; i < 3000; ++i)
            first << imei(i) << imei(qint64(i) << 20);
        first.removeDuplicates();
        for (int i = 0; i < first.size(); ++i)
            QCOMPARE(index.add(first.at(i), i), -1);
        for (int i = 0; i < first.size(); ++i) {
            QCOMPARE(index.value(first.at(i)), i);
            QCOMPARE(index.numberValue(CaptionIndex::numberKey(QStringView(first.at(i)))), i);
        }
        QCOMPARE(index.value(imei(3000)), -1);

        qint64 base = 0;
        for (const qsizetype size : {first.size(), first.size() * 3, qsizetype(5), qsizetype(0)}) {
            base += 10000000000LL;
            index.reset(size);
            QCOMPARE(index.size(), 0);
            QStringList next;
            for (qsizetype i = 0; i < size; ++i)
                next << imei(base + i);
            next << QStringLiteral("объект %1").arg(size);
            for (int i = 0; i < next.size(); ++i)
                QCOMPARE(index.add(next.at(i), i), -1);
            for (int i = 0; i < next.size(); ++i)
                QCOMPARE(index.value(next.at(i)), i);
            for (const QString &gone : std::as_const(first))
                QCOMPARE(index.value(gone), -1);
            first = next;
        }
    }
};

QTEST_APPLESS_MAIN(TestCaptionIndex)
#include "test_caption_index.moc"
