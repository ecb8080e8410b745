#include "ObjectListModel.h"
#include "ObjectSql.h"
#include "StateIcons.h"
#include "StateModel.h"

#include <QAbstractItemModelTester>
#include <QImage>
#include <QPixmap>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

using namespace StateModel;

namespace {

QStringList captions(const ObjectListModel &model)
{
    QStringList out;
    for (int row = 0; row < model.rowCount(); ++row)
        out << model.entry(row).caption;
    return out;
}

QStringList states(const ObjectListModel &model)
{
    QStringList out;
    for (int row = 0; row < model.rowCount(); ++row)
        out << model.entry(row).state;
    return out;
}

// The colour inside an icon's shape, away from its white mark.
QColor fillOf(const QIcon &icon, bool triangle)
{
    const QImage image = icon.pixmap(QSize(24, 24), 1.0).toImage();
    return image.pixelColor(triangle ? QPoint(7, 19) : QPoint(12, 4));
}

} // namespace

class TestStateModel final : public QObject
{
    Q_OBJECT

private slots:
    void stateTable_data() const
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("image");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("sound");
        QTest::addColumn<bool>("alarm");

        const QString none = QStringLiteral("0");
        const QString alarmSound = QStringLiteral("alarm");
        QTest::newRow("0 not connected") << 0 << 0 << QString() << QStringLiteral("disconnect") << false;
        QTest::newRow("1 disarmed") << 1 << 1 << QString() << QStringLiteral("disarm") << false;
        QTest::newRow("2 armed") << 2 << 2 << QString() << QStringLiteral("arm") << false;
        QTest::newRow("3 unassigned") << 3 << 0 << QString() << none << false;
        QTest::newRow("89 unassigned") << 89 << 0 << QString() << none << false;
        QTest::newRow("90 in processing") << 90 << 4 << QStringLiteral("Принята в обработку") << none << true;
        QTest::newRow("91 unassigned alarm") << 91 << 0 << QString() << none << true;
        QTest::newRow("95 unassigned alarm") << 95 << 0 << QString() << none << true;
        QTest::newRow("99 unassigned alarm") << 99 << 0 << QString() << none << true;
        QTest::newRow("100") << 100 << 3 << QStringLiteral("Открыта инженерная панель") << alarmSound << true;
        QTest::newRow("101") << 101 << 3 << QStringLiteral("Открыт сейф") << alarmSound << true;
        QTest::newRow("102") << 102 << 3 << QStringLiteral("Сработал датчик удара") << alarmSound << true;
        QTest::newRow("103") << 103 << 3 << QStringLiteral("Сработал универсальный вход") << alarmSound << true;
        QTest::newRow("104 no text") << 104 << 3 << QString() << alarmSound << true;
        QTest::newRow("109 no text") << 109 << 3 << QString() << alarmSound << true;
        QTest::newRow("110") << 110 << 3 << QStringLiteral("Сработал датчик перемещения") << alarmSound << true;
        QTest::newRow("111") << 111 << 3 << QStringLiteral("Пропало внешнее напряжение") << alarmSound << true;
        QTest::newRow("112 battery") << 112 << 3 << QStringLiteral("Низкий заряд аккумулятора")
                                     << QStringLiteral("battery_fault") << true;
        QTest::newRow("113") << 113 << 3 << QStringLiteral("Критический заряд аккумулятора") << alarmSound << true;
        QTest::newRow("114") << 114 << 3 << QStringLiteral("Вскрытие корпуса прибора") << alarmSound << true;
        QTest::newRow("115") << 115 << 3 << QStringLiteral("Объект не отвечает") << alarmSound << true;
        QTest::newRow("116 no text") << 116 << 3 << QString() << alarmSound << true;
        QTest::newRow("255 no text") << 255 << 3 << QString() << alarmSound << true;
    }

    void stateTable() const
    {
        QFETCH(int, code);
        QFETCH(int, image);
        QFETCH(QString, text);
        QFETCH(QString, sound);
        QFETCH(bool, alarm);
        QCOMPARE(State_Image(code), image);
        QCOMPARE(Event_Text(code), text);
        QCOMPARE(Sound_Name(quint8(code)), sound);
        QCOMPARE(isAlarm(code), alarm);
    }

    void imagesOutsideTheByteRange() const
    {
        QCOMPARE(State_Image(-1), 0);
        QCOMPARE(State_Image(-90), 0);
        QCOMPARE(State_Image(256), 3);
        QCOMPARE(State_Image(100000), 3);
    }

    void stateTexts_data() const
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("code");
        QTest::newRow("plain") << QStringLiteral("101") << 101;
        QTest::newRow("zero") << QStringLiteral("0") << 0;
        QTest::newRow("leading zeros") << QStringLiteral("007") << 7;
        QTest::newRow("negative") << QStringLiteral("-5") << -5;
        QTest::newRow("plus sign") << QStringLiteral("+2") << 2;
        QTest::newRow("empty") << QString() << 0;
        QTest::newRow("IMEI placeholder") << QStringLiteral("356938035643809") << 0;
        QTest::newRow("int overflow") << QStringLiteral("2147483648") << 0;
        QTest::newRow("letters") << QStringLiteral("abc") << 0;
        QTest::newRow("digits then letters") << QStringLiteral("12a") << 0;
        QTest::newRow("hexadecimal") << QStringLiteral("0x10") << 0;
        QTest::newRow("leading blank") << QStringLiteral(" 2") << 0;
        QTest::newRow("trailing blank") << QStringLiteral("2 ") << 0;
        QTest::newRow("sign alone") << QStringLiteral("-") << 0;
        QTest::newRow("exponent") << QStringLiteral("1e2") << 0;
        QTest::newRow("decimal point") << QStringLiteral("2.0") << 0;
        QTest::newRow("non-ASCII digit") << QStringLiteral("\u0663") << 0;
    }

    void stateTexts() const
    {
        QFETCH(QString, text);
        QFETCH(int, code);
        QCOMPARE(stateCode(text), code);
    }

    void compareStates() const
    {
        QCOMPARE(Compare_States(101, 90), -1);
        QCOMPARE(Compare_States(0, 2), 1);
        QCOMPARE(Compare_States(7, 7), 0);
        QCOMPARE(Compare_States(QStringLiteral("115"), QStringLiteral("abc")), -1);
        QCOMPARE(Compare_States(QString(), QStringLiteral("0")), 0);
    }

    void sortOrder() const
    {
        ObjectListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setCaptions({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D"),
                           QStringLiteral("E"), QStringLiteral("F")});
        const QStringList codes{QStringLiteral("101"), QStringLiteral("90"), QStringLiteral("2"),
                                QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("115")};
        for (int row = 0; row < codes.size(); ++row)
            model.setState(row, codes.at(row));
        model.sortByState();
        QCOMPARE(states(model), (QStringList{QStringLiteral("115"), QStringLiteral("101"), QStringLiteral("90"),
                                            QStringLiteral("2"), QStringLiteral("1"), QStringLiteral("0")}));
        QCOMPARE(captions(model), (QStringList{QStringLiteral("F"), QStringLiteral("A"), QStringLiteral("B"),
                                              QStringLiteral("C"), QStringLiteral("D"), QStringLiteral("E")}));
        QCOMPARE(model.data(model.index(0), ObjectListModel::ImageIndexRole).toInt(), 3);
        QCOMPARE(model.data(model.index(2), ObjectListModel::ImageIndexRole).toInt(), 4);
    }

    void equalCodesKeepTheirOrder() const
    {
        ObjectListModel model;
        model.setCaptions({QStringLiteral("P"), QStringLiteral("Q"), QStringLiteral("R"), QStringLiteral("S")});
        // Unreadable states count as 0 and stay where they were among the zeros.
        model.setState(0, QStringLiteral("abc"));
        model.setState(1, QStringLiteral("0"));
        model.setState(2, QString());
        model.setState(3, QStringLiteral("2"));
        model.sortByState();
        QCOMPARE(captions(model),
                 (QStringList{QStringLiteral("S"), QStringLiteral("P"), QStringLiteral("Q"), QStringLiteral("R")}));
        QCOMPARE(model.entry(1).state, QStringLiteral("abc"));
        QCOMPARE(model.entry(1).image, 0);
    }

    void sortingMovesPersistentIndexesAndSignalsLayout() const
    {
        ObjectListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setCaptions({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")});
        const QPersistentModelIndex c = model.index(2);
        const QPersistentModelIndex a = model.index(0);
        QSignalSpy about(&model, &QAbstractItemModel::layoutAboutToBeChanged);
        QSignalSpy changed(&model, &QAbstractItemModel::layoutChanged);
        model.setState(2, QStringLiteral("101"));
        model.sortByState();
        QCOMPARE(about.size(), 1);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(c.row(), 0);
        QCOMPARE(c.data().toString(), QStringLiteral("C"));
        QCOMPARE(a.row(), 1);
        // Already in order: no layout change at all.
        model.sortByState();
        QCOMPARE(changed.size(), 1);
    }

    void firstEntryByCaptionAcrossSortsAndReloads() const
    {
        ObjectListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QRandomGenerator random(20110901);
        QStringList names;
        for (int i = 0; i < 3000; ++i)
            names << QString::number(356938035600000LL + random.bounded(1200)); // many duplicates
        model.setCaptions(names);
        const auto checkAgainstScan = [&model] {
            QHash<QString, int> first;
            for (int row = model.rowCount() - 1; row >= 0; --row)
                first.insert(model.entry(row).caption, row);
            for (auto it = first.cbegin(); it != first.cend(); ++it) {
                if (model.findFirst(it.key()) != it.value())
                    return false;
            }
            return model.findFirst(QStringLiteral("not listed")) == -1;
        };
        QVERIFY(checkAgainstScan());
        for (int round = 0; round < 5; ++round) {
            QList<std::pair<int, QString>> changes;
            for (int i = 0; i < 300; ++i)
                changes.append({int(random.bounded(model.rowCount())), QString::number(random.bounded(120))});
            model.setStates(changes);
            model.sortByState();
            QVERIFY(checkAgainstScan());
        }
        model.setCaptions(names.mid(0, 10));
        QVERIFY(checkAgainstScan());
        model.clear();
        QCOMPARE(model.findFirst(names.first()), -1);
    }

    void findingManyAtOnce() const
    {
        ObjectListModel model;
        const QByteArray a = "356938035643801";
        const QByteArray b = "356938035643802";
        const QByteArray c = "356938035643803";
        const QByteArray text = "объект";
        const auto rows = [&model](const QList<QByteArray> &captions) {
            std::vector<ObjectListModel::CaptionKey> keys;
            for (const QByteArray &caption : captions)
                keys.push_back(ObjectListModel::captionKey(caption));
            return model.findFirstRows(keys);
        };
        model.setCaptions({QString::fromUtf8(a), QString::fromUtf8(b), QString::fromUtf8(c), QString::fromUtf8(text)});
        // In the listed order, and in any other, with captions not listed,
        // cut short or longer than any number.
        QCOMPARE(rows({a, b, c, text}), (std::vector<int>{0, 1, 2, 3}));
        QCOMPARE(rows({c, a, text, b, "356938035643804", b.chopped(1), "0356938035643801", "12345678901234567890"}),
                 (std::vector<int>{2, 0, 3, 1, -1, -1, -1, -1}));
        QCOMPARE(rows({}), std::vector<int>{});
        // Sorted, the listed position is no row any more.
        model.setState(2, QStringLiteral("101"));
        model.sortByState();
        QCOMPARE(rows({a, b, c}), (std::vector<int>{1, 2, 0}));
        // A caption listed twice: the first entry is meant, not the one at
        // the same position.
        model.setCaptions({QString::fromUtf8(a), QString::fromUtf8(b), QString::fromUtf8(a)});
        QCOMPARE(rows({a, b, a}), (std::vector<int>{0, 1, 0}));
        QVERIFY(model.isFirstOfCaption(0) && model.isFirstOfCaption(1) && !model.isFirstOfCaption(2));
        // The later one sorted above: it is the first now.
        model.setState(2, QStringLiteral("101"));
        model.sortByState();
        QVERIFY(model.isFirstOfCaption(0) && !model.isFirstOfCaption(1) && model.isFirstOfCaption(2));
    }

    // A reload is built aside: cut off midway it changes nothing, and the
    // slots it writes over are those of the list before last.
    void reloadBuiltAside() const
    {
        ObjectListModel model;
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        model.setCaptions({QStringLiteral("356938035643801"), QStringLiteral("356938035643802"), QStringLiteral("объект")});
        model.setState(0, QStringLiteral("101"));
        model.beginCaptions();
        model.addCaption("356938035643803");
        model.addCaption("356938035643804");
        // Cut off: no endCaptions.
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.entry(0).state, QStringLiteral("101"));
        QCOMPARE(model.findFirst(QStringLiteral("356938035643803")), -1);
        QCOMPARE(model.findFirst(QStringLiteral("объект")), 2);
        QCOMPARE(resets.size(), 1);

        for (const QList<QByteArray> &captions : {QList<QByteArray>{"1", "2", "3", "4", "объект", "1"},
                                                  QList<QByteArray>{"356938035643809"}, QList<QByteArray>{}}) {
            model.beginCaptions();
            for (const QByteArray &caption : captions)
                model.addCaption(caption);
            model.endCaptions();
            QCOMPARE(model.rowCount(), captions.size());
            for (int row = 0; row < captions.size(); ++row) {
                const QString caption = QString::fromUtf8(captions.at(row));
                QCOMPARE(model.entry(row).caption, caption);
                QCOMPARE(model.entry(row).state, caption);
                QCOMPARE(model.findFirst(caption), int(captions.indexOf(captions.at(row))));
            }
            QCOMPARE(model.findFirst(QStringLiteral("356938035643801")), -1);
        }
    }

    // Notifications, deferred sorts of several changes and reloads, at
    // random, against a stable sort of the whole list: the same order, the
    // same first entry of every caption, persistent indexes on their
    // entries, and a layout change exactly when the order changed.
    void orderAfterManyRandomChanges() const
    {
        ObjectListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QRandomGenerator random(356938);
        struct Ref
        {
            QString caption;
            int code;
        };
        const int count = 600;
        QStringList names;
        for (int i = 0; i < count; ++i)
            names << QString::number(356938035600000LL + (i % 97 == 5 ? i - 1 : i)); // a few twice
        const QStringList texts{QStringLiteral("0"),   QStringLiteral("1"),   QStringLiteral("2"),
                                QStringLiteral("90"),  QStringLiteral("101"), QStringLiteral("115"),
                                QStringLiteral("112"), QStringLiteral("-5"),  QStringLiteral("300"),
                                QStringLiteral("abc"), QStringLiteral("007")};
        const auto text = [&] {
            // Mostly the usual states, now and then a code seen nowhere else yet.
            const int draw = int(random.bounded(100));
            return texts.at(draw < 96 ? draw % 7 : 7 + draw % 4);
        };
        model.setCaptions(names);
        std::vector<Ref> ref;
        for (const QString &name : names)
            ref.push_back({name, 0});
        QSignalSpy layouts(&model, &QAbstractItemModel::layoutChanged);

        const auto change = [&](int row, const QString &state) {
            model.setState(row, state);
            ref[size_t(row)].code = stateCode(state);
        };
        const auto sortAndCompare = [&](const QList<QPersistentModelIndex> &held) {
            const std::vector<Ref> before = ref;
            QStringList heldCaptions;
            for (const QPersistentModelIndex &index : held)
                heldCaptions << index.data().toString();
            std::stable_sort(ref.begin(), ref.end(),
                             [](const Ref &a, const Ref &b) { return Compare_States(a.code, b.code) < 0; });
            const bool changed = !std::equal(before.begin(), before.end(), ref.begin(),
                                             [](const Ref &a, const Ref &b) { return a.caption == b.caption; });
            const qsizetype layoutsBefore = layouts.size();
            model.sortByState();
            if (layouts.size() - layoutsBefore != (changed ? 1 : 0))
                return QStringLiteral("%1 layout changes for a changed order: %2").arg(layouts.size() - layoutsBefore).arg(changed);
            for (int row = 0; row < count; ++row) {
                if (model.entry(row).caption != ref[size_t(row)].caption || model.entry(row).code != ref[size_t(row)].code)
                    return QStringLiteral("row %1 is %2 (%3), not %4 (%5)")
                        .arg(row)
                        .arg(model.entry(row).caption)
                        .arg(model.entry(row).code)
                        .arg(ref[size_t(row)].caption)
                        .arg(ref[size_t(row)].code);
            }
            QHash<QString, int> first;
            for (int row = count - 1; row >= 0; --row)
                first.insert(ref[size_t(row)].caption, row);
            std::vector<ObjectListModel::CaptionKey> keys;
            std::vector<int> expected;
            for (auto it = first.cbegin(); it != first.cend(); ++it) {
                if (model.findFirst(it.key()) != it.value() || model.findFirstUtf8(it.key().toUtf8()) != it.value())
                    return QStringLiteral("first row of %1 is %2, not %3").arg(it.key()).arg(model.findFirst(it.key())).arg(it.value());
                keys.push_back(ObjectListModel::captionKey(it.key().toUtf8()));
                expected.push_back(it.value());
            }
            if (model.findFirstRows(keys) != expected)
                return QStringLiteral("the first rows found all at once differ");
            for (qsizetype i = 0; i < held.size(); ++i) {
                if (held.at(i).data().toString() != heldCaptions.at(i))
                    return QStringLiteral("a held index moved from %1 to %2").arg(heldCaptions.at(i), held.at(i).data().toString());
            }
            return QString();
        };

        for (int step = 0; step < 3000; ++step) {
            QList<QPersistentModelIndex> held;
            for (int i = 0; i < 3; ++i)
                held << QPersistentModelIndex(model.index(int(random.bounded(count))));
            const int kind = int(random.bounded(100));
            if (kind < 70) {
                change(int(random.bounded(count)), text()); // a notification
            } else if (kind < 97) {
                // Several before one sort (held back while a button is down),
                // the same entry now and then twice.
                const int changes = 2 + int(random.bounded(5));
                const int row = int(random.bounded(count));
                for (int i = 0; i < changes; ++i)
                    change(i % 3 == 2 ? row : int(random.bounded(count)), text());
            } else {
                QList<std::pair<int, QString>> many; // a reload
                for (int i = 0; i < count / 8; ++i) {
                    const int row = int(random.bounded(count));
                    const QString state = text();
                    many.append({row, state});
                    ref[size_t(row)].code = stateCode(state);
                }
                model.setStates(many);
            }
            const QString wrong = sortAndCompare(held);
            QVERIFY2(wrong.isEmpty(), qPrintable(QStringLiteral("step %1: %2").arg(step).arg(wrong)));
        }
    }

    void entriesAreReadOnlyIcons() const
    {
        ObjectListModel model;
        model.setIcons(StateIcons::ImageList1());
        model.setCaptions({QStringLiteral("356938035643809")});
        const QModelIndex index = model.index(0);
        QVERIFY(!(model.flags(index) & Qt::ItemIsEditable));
        QVERIFY(model.flags(index) & Qt::ItemIsSelectable);
        QCOMPARE(index.data().toString(), QStringLiteral("356938035643809"));
        // Until the states are loaded the IMEI stands in for the state.
        QCOMPARE(index.data(ObjectListModel::StateTextRole).toString(), QStringLiteral("356938035643809"));
        QCOMPARE(index.data(ObjectListModel::StateCodeRole).toInt(), 0);
        QVERIFY(!index.data(Qt::DecorationRole).value<QIcon>().isNull());
        QVERIFY(!model.setData(index, QStringLiteral("x")));
    }

    void stateIcons() const
    {
        const QList<QIcon> icons = StateIcons::ImageList1();
        QCOMPARE(icons.size(), 5);
        for (const QIcon &icon : icons) {
            QVERIFY(icon.availableSizes().contains(QSize(24, 24)));
            // Sharp on a high-density screen: a pixmap drawn at twice the size.
            const QPixmap sharp = icon.pixmap(QSize(24, 24), 2.0);
            QCOMPARE(sharp.size(), QSize(48, 48));
        }
        const QColor blue = fillOf(icons.at(0), false);
        const QColor yellow = fillOf(icons.at(1), false);
        const QColor green = fillOf(icons.at(2), false);
        const QColor red = fillOf(icons.at(3), true);
        const QColor lightBlue = fillOf(icons.at(4), true);
        QVERIFY2(blue.blue() > blue.red() + 100 && blue.blue() > blue.green() + 60, qPrintable(blue.name()));
        QVERIFY2(yellow.red() > 200 && yellow.green() > 150 && yellow.blue() < 80, qPrintable(yellow.name()));
        QVERIFY2(green.green() > green.red() + 80 && green.green() > green.blue() + 80, qPrintable(green.name()));
        QVERIFY2(red.red() > red.green() + 150 && red.red() > red.blue() + 150, qPrintable(red.name()));
        QVERIFY2(lightBlue.blue() > lightBlue.red() + 100 && lightBlue.lightness() > blue.lightness() + 30,
                 qPrintable(lightBlue.name()));
        // The mark is white.
        const QImage alarm = icons.at(3).pixmap(QSize(24, 24), 1.0).toImage();
        QCOMPARE(alarm.pixelColor(12, 11).rgb(), QColor(Qt::white).rgb());
        // Outside the shape stays transparent, so the list's background shows.
        QCOMPARE(alarm.pixelColor(1, 1).alpha(), 0);
    }

    void groupConditions_data() const
    {
        QTest::addColumn<QString>("group");
        QTest::addColumn<bool>("fullRights");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QString>("objects");
        QTest::addColumn<QString>("states");

        const QString all = QStringLiteral("Все");
        const QString noQuery = QStringLiteral("(none)");
        QTest::newRow("one group") << QStringLiteral("Центр") << false << QStringList{all, QStringLiteral("Центр")}
                                   << QStringLiteral("SELECT IMEI FROM orvex_base.objects WHERE Group_='Центр'")
                                   << QStringLiteral("SELECT IMEI,State FROM orvex_base.objects WHERE Group_='Центр'");
        QTest::newRow("one group, administrator")
            << QStringLiteral("Юг") << true << QStringList{all}
            << QStringLiteral("SELECT IMEI FROM orvex_base.objects WHERE Group_='Юг'")
            << QStringLiteral("SELECT IMEI,State FROM orvex_base.objects WHERE Group_='Юг'");
        QTest::newRow("all, administrator") << all << true << QStringList{all, QStringLiteral("Центр")}
                                            << QStringLiteral("SELECT IMEI FROM orvex_base.objects")
                                            << QStringLiteral("SELECT IMEI,State FROM orvex_base.objects");
        QTest::newRow("all of three groups")
            << all << false << QStringList{all, QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}
            << QStringLiteral("SELECT IMEI FROM orvex_base.objects WHERE Group_='A' OR Group_='B' OR Group_='C'")
            << QStringLiteral("SELECT IMEI,State FROM orvex_base.objects WHERE Group_='A' OR Group_='B' OR Group_='C'");
        QTest::newRow("all without groups") << all << false << QStringList{all} << noQuery << noQuery;
        QTest::newRow("all with an empty selector") << all << false << QStringList{} << noQuery << noQuery;
        QTest::newRow("quote in a group") << QStringLiteral("O'Brien") << false << QStringList{all}
                                          << QStringLiteral("SELECT IMEI FROM orvex_base.objects WHERE Group_='O\\'Brien'")
                                          << QStringLiteral("SELECT IMEI,State FROM orvex_base.objects WHERE Group_='O\\'Brien'");
        QTest::newRow("backslash in a listed group")
            << all << false << QStringList{all, QStringLiteral("a\\")}
            << QStringLiteral("SELECT IMEI FROM orvex_base.objects WHERE Group_='a\\\\'")
            << QStringLiteral("SELECT IMEI,State FROM orvex_base.objects WHERE Group_='a\\\\'");
    }

    void groupConditions() const
    {
        QFETCH(QString, group);
        QFETCH(bool, fullRights);
        QFETCH(QStringList, items);
        QFETCH(QString, objects);
        QFETCH(QString, states);
        const auto orNone = [](const std::optional<QString> &sql) { return sql ? *sql : QStringLiteral("(none)"); };
        QCOMPARE(orNone(ObjectSql::loadObjects(SqlEscaper(), group, fullRights, items)), objects);
        QCOMPARE(orNone(ObjectSql::loadStates(SqlEscaper(), group, fullRights, items)), states);
        // The search texts come from the objects listed, no others.
        QCOMPARE(orNone(ObjectSql::searchTexts(SqlEscaper(), group, fullRights, items)),
                 QString(states).replace(QStringLiteral("SELECT IMEI,State "), QStringLiteral("SELECT IMEI,Name,Address,Addr_,Owner ")));
    }

    void statements() const
    {
        const QString imei = QStringLiteral("356938035643809");
        QCOMPARE(ObjectSql::objectHint(SqlEscaper(), imei),
                 QStringLiteral("SELECT Address,Addr_,Owner,Num_owner,Name,TState FROM orvex_base.objects "
                                "WHERE IMEI='356938035643809'"));
        QCOMPARE(ObjectSql::saveState(SqlEscaper(), imei, 90),
                 QStringLiteral("UPDATE orvex_base.objects SET State='90' WHERE IMEI='356938035643809'"));
        QCOMPARE(ObjectSql::guardState(SqlEscaper(), imei),
                 QStringLiteral("SELECT Ohrana FROM orvex_base.objects WHERE IMEI='356938035643809'"));
        QCOMPARE(ObjectSql::objectGroup(SqlEscaper(), QStringLiteral("1' OR '1'='1")),
                 QStringLiteral("SELECT Group_ FROM orvex_base.objects WHERE IMEI='1\\' OR \\'1\\'=\\'1'"));
        const QDateTime clock(QDate(2011, 9, 1), QTime(9, 5, 7, 450));
        QCOMPARE(ObjectSql::insertEvent(SqlEscaper(), imei, clock, QStringLiteral("Тревога принята в обработку"),
                                        QStringLiteral("Центр"), QStringLiteral("Pilot")),
                 QStringLiteral("INSERT INTO orvex_base.messages(IMEI,Date,Type,Event,Group_,User)  "
                                "VALUES('356938035643809','2011-09-01 09:05:07','Событие',"
                                "'Тревога принята в обработку','Центр','Pilot')"));
        QCOMPARE(ObjectSql::insertEvent(SqlEscaper(), imei, clock, QStringLiteral("It's"), QString(), QStringLiteral("O'Neil")),
                 QStringLiteral("INSERT INTO orvex_base.messages(IMEI,Date,Type,Event,Group_,User)  "
                                "VALUES('356938035643809','2011-09-01 09:05:07','Событие','It\\'s','','O\\'Neil')"));
    }
};

QTEST_MAIN(TestStateModel)
#include "test_state_model.moc"
