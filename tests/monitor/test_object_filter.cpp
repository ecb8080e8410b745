#include "ObjectFilterModel.h"
#include "ObjectListModel.h"

#include <QAbstractItemModelTester>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <vector>

namespace {

// The list and what its view shows, with the texts each entry is found by.
struct Lists
{
    ObjectListModel model;
    ObjectFilterModel filter{&model};
    QAbstractItemModelTester tester{&filter, QAbstractItemModelTester::FailureReportingMode::QtTest};
    QHash<QString, QString> texts;

    void fill(const QStringList &captions, const QHash<QString, QString> &byImei)
    {
        model.setCaptions(captions);
        texts = byImei;
        giveTexts();
    }

    void giveTexts()
    {
        std::vector<QString> bySerial(size_t(model.rowCount()));
        for (int row = 0; row < model.rowCount(); ++row) {
            const auto &e = model.entry(row);
            // Read once per IMEI, for its first entry, as the list reads them; the
            // fields are written apart by a "|" here.
            if (texts.contains(e.caption) && model.findFirst(e.caption) == row)
                bySerial[size_t(e.serial)] = ObjectFilterModel::joinTexts(texts.value(e.caption).split(QLatin1Char('|')));
        }
        filter.setTexts(std::move(bySerial));
    }

    QStringList shown() const
    {
        QStringList out;
        for (int row = 0; row < filter.rowCount(); ++row)
            out << filter.index(row, 0).data().toString();
        return out;
    }

    // What a plain search finds: every entry whose IMEI or texts hold the
    // needle, lower-cased, in the list's order.
    QStringList expected(const QString &typed) const
    {
        const QString needle = typed.simplified().toLower().replace(QChar(0x0451), QChar(0x0435));
        QStringList out;
        for (int row = 0; row < model.rowCount(); ++row) {
            const QString caption = model.entry(row).caption;
            const QStringList fields = QStringList{caption} + texts.value(caption).split(QLatin1Char('|'));
            for (const QString &field : fields) {
                if (field.simplified().toLower().replace(QChar(0x0451), QChar(0x0435)).contains(needle)) {
                    out << caption;
                    break;
                }
            }
        }
        return out;
    }
};

} // namespace

class TestObjectFilter final : public QObject
{
    Q_OBJECT

private slots:
    void searchKey_data() const
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("key");
        QTest::newRow("Cyrillic capitals") << QStringLiteral("МОСКВА, Тверская") << QStringLiteral("москва, тверская");
        QTest::newRow("yo is ye") << QStringLiteral("Ёлкин, Пётр") << QStringLiteral("елкин, петр");
        QTest::newRow("Latin and digits") << QStringLiteral("NCR SelfServ 22") << QStringLiteral("ncr selfserv 22");
        QTest::newRow("blanks around and between") << QStringLiteral("  ул.   Ленина \t") << QStringLiteral("ул. ленина");
        QTest::newRow("only blanks") << QStringLiteral(" \t ") << QString();
    }

    void searchKey() const
    {
        QFETCH(QString, typed);
        QFETCH(QString, key);
        QCOMPARE(ObjectFilterModel::searchKey(typed), key);
    }

    // Fields joined from the database's bytes are the fields joined as texts.
    void joiningBytesAsTexts() const
    {
        QByteArray buffer = "left from the row before";
        const QList<QList<QByteArray>> rows = {
            {"NCR SelfServ 22", "ул. Тверская, д. 1", "холл", "Иванов И.И."},
            {"", "", "", ""},
            {"Wincor", "", "Ёлкин\nпроезд", "Müller"},
        };
        for (const QList<QByteArray> &f : rows) {
            QStringList texts;
            for (const QByteArray &field : f)
                texts << QString::fromUtf8(field);
            QCOMPARE(ObjectFilterModel::joinUtf8({f.at(0), f.at(1), f.at(2), f.at(3)}, &buffer),
                     ObjectFilterModel::joinTexts(texts));
        }
    }

    void findsByEveryFieldInTheListsOrder()
    {
        Lists l;
        l.fill({QStringLiteral("356938035643801"), QStringLiteral("356938035643802"), QStringLiteral("356938035643803"),
                QStringLiteral("356938035643804")},
               {{QStringLiteral("356938035643801"), QStringLiteral("NCR SelfServ 22|г. Москва, ул. Ленина, 1|вход со двора|Иванов И.И.")},
                {QStringLiteral("356938035643802"), QStringLiteral("Wincor 2050|Московская обл., Химки||Петров")},
                {QStringLiteral("356938035643803"), QStringLiteral("Diebold|ул. Северная, 3|холл|Ёжиков")},
                {QStringLiteral("356938035643804"), QStringLiteral("Kiosk|г. Москва, Ленинградский пр., д. 37,\r\nкорп.  9 ||Семёнов")}});
        QCOMPARE(l.filter.rowCount(), 4);
        const struct
        {
            const char *typed;
            QStringList found;
        } cases[] = {
            {"643803", {QStringLiteral("356938035643803")}},
            {"3569380356438", {QStringLiteral("356938035643801"), QStringLiteral("356938035643802"),
                               QStringLiteral("356938035643803"), QStringLiteral("356938035643804")}},
            {"москва", {QStringLiteral("356938035643801"), QStringLiteral("356938035643804")}},
            {"МОСКОВ", {QStringLiteral("356938035643802")}},
            {"моск", {QStringLiteral("356938035643801"), QStringLiteral("356938035643802"), QStringLiteral("356938035643804")}},
            {"wincor", {QStringLiteral("356938035643802")}},
            {"СО ДВОРА", {QStringLiteral("356938035643801")}},
            {"ежиков", {QStringLiteral("356938035643803")}},
            {"семенов", {QStringLiteral("356938035643804")}},
            {"Семёнов", {QStringLiteral("356938035643804")}},
            // A line break and blanks in an address are one blank, as typed.
            {"д. 37, корп. 9", {QStringLiteral("356938035643804")}},
            {"корп. 9 семенов", {}},
            // Fields are apart: the end of one and the start of the next are no match.
            {"22г. москва", {}},
            {"ленина, 1 вход", {}},
            {"нет такого", {}},
        };
        for (const auto &c : cases) {
            l.filter.setFilterText(QString::fromUtf8(c.typed));
            QVERIFY(l.filter.isFiltering());
            QCOMPARE(l.shown(), c.found);
        }
        l.filter.setFilterText(QStringLiteral("   "));
        QVERIFY(!l.filter.isFiltering());
        QCOMPARE(l.filter.rowCount(), 4);
    }

    // Typing, deleting and retyping over a list that re-sorts: what is shown
    // is always what a plain search of the whole list finds, in its order.
    void typingOverAChangingList()
    {
        Lists l;
        QRandomGenerator random(1401);
        const QString alphabet = QStringLiteral("абвЁе12 ");
        const auto word = [&](int length) {
            QString w;
            for (int i = 0; i < length; ++i)
                w += alphabet.at(int(random.bounded(alphabet.size())));
            return w;
        };
        QStringList captions;
        QHash<QString, QString> texts;
        for (int i = 0; i < 300; ++i) {
            const QString imei = QStringLiteral("3569380356%1").arg(i * 7919 % 100000, 5, 10, QLatin1Char('0'));
            captions << imei;
            // Some objects have no row of texts, some are listed twice.
            if (i % 13 != 0)
                texts.insert(imei, word(6) + QLatin1Char('|') + word(12) + QLatin1Char('|') + word(3) + QLatin1Char('|') + word(5));
            if (i % 50 == 0)
                captions << imei;
        }
        l.fill(captions, texts);

        QString typed;
        for (int step = 0; step < 400; ++step) {
            const quint32 what = random.bounded(10);
            if (what < 5 || typed.isEmpty())
                typed += alphabet.at(int(random.bounded(alphabet.size())));
            else if (what < 7)
                typed.chop(1);
            else if (what < 8)
                typed = word(2);
            else {
                // A notification: one entry's state changes and the list re-sorts.
                const int row = int(random.bounded(l.model.rowCount()));
                l.model.setState(row, QString::number(random.bounded(120)));
                l.model.sortByState();
            }
            l.filter.setFilterText(typed);
            QCOMPARE(l.shown(), l.expected(typed));
        }

        // A refill keeps the search; the new entries' texts come after them.
        l.filter.setFilterText(QStringLiteral("ё"));
        captions.removeAt(5);
        l.model.setCaptions(captions);
        QVERIFY(l.filter.isFiltering());
        QVERIFY(!l.filter.hasTexts());
        l.giveTexts();
        QCOMPARE(l.shown(), l.expected(QStringLiteral("е")));
        QVERIFY(!l.shown().isEmpty());
    }

    // The view's current and selected entries are kept by what they are,
    // through searches and re-sorts, and let go while hidden.
    void indexesFollowTheirEntries()
    {
        Lists l;
        const QStringList captions{QStringLiteral("356938035643801"), QStringLiteral("356938035643802"),
                                   QStringLiteral("356938035643803")};
        l.fill(captions, {{captions[0], QStringLiteral("Wincor|||")}, {captions[1], QStringLiteral("NCR|||")},
                          {captions[2], QStringLiteral("Wincor|||")}});
        const QPersistentModelIndex third = l.filter.index(2, 0);
        const QPersistentModelIndex second = l.filter.index(1, 0);
        l.filter.setFilterText(QStringLiteral("wincor"));
        QCOMPARE(third.row(), 1);
        QCOMPARE(third.data().toString(), captions[2]);
        QVERIFY(!second.isValid());
        QCOMPARE(l.filter.mapToSource(third).row(), 2);
        QVERIFY(!l.filter.mapFromSource(l.model.index(1)).isValid());

        // The third goes into alarm: first in the list and first shown.
        QSignalSpy changed(&l.filter, &QAbstractItemModel::dataChanged);
        l.model.setState(2, QStringLiteral("101"));
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.at(0).at(0).toModelIndex().row(), 1);
        // A hidden entry's change is not the view's concern.
        l.model.setState(1, QStringLiteral("2"));
        QCOMPARE(changed.size(), 1);
        l.model.sortByState();
        QCOMPARE(l.shown(), (QStringList{captions[2], captions[0]}));
        QCOMPARE(third.row(), 0);

        l.filter.setFilterText(QString());
        QCOMPARE(l.shown(), (QStringList{captions[2], captions[1], captions[0]}));
        QCOMPARE(third.row(), 0);
        QCOMPARE(l.filter.mapToSource(l.filter.index(1, 0)).row(), 1);
    }
};

QTEST_MAIN(TestObjectFilter)
#include "test_object_filter.moc"
