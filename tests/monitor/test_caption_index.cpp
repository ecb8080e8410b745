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
};

QTEST_APPLESS_MAIN(TestCaptionIndex)
#include "test_caption_index.moc"
