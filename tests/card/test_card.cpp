#include "Bytes.h"
#include "CardObject.h"
#include "CardSql.h"
#include "Database.h"
#include "Indicator.h"
#include "OperatorRights.h"
#include "RecordingDialogs.h"
#include "ServerLink.h"
#include "StationState.h"
#include "TForm6.h"
#include "TcpPeer.h"
#include "TestDatabase.h"

#include <QApplication>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

// A helper's failed check ends the test case, not only the helper.
#define CHECKED(call) \
    do { \
        call; \
        if (QTest::currentTestFailed()) \
            return; \
    } while (false)

namespace {

const QByteArray Imei("351234567890123");
const QString ImeiText = QString::fromLatin1(Imei);
const QColor Lime(0x00, 0xff, 0x00);
const QColor Green(0x00, 0x80, 0x00);

// Type 10 for the card's object: the command code and its data bytes.
QByteArray command(const QByteArray &codeAndData)
{
    return QByteArray(1, '\x0a') + Imei + codeAndData;
}

// Message boxes as a desktop shows them: a real modal box over the card that
// takes the focus, is dismissed, and hands the focus back to the card, which
// the card sees as one more activation.
class DesktopDialogs final : public Dialogs
{
public:
    void message(QWidget *parent, const QString &text) override
    {
        messages << text;
        // An activation loop is caught here rather than left to run forever.
        if (messages.size() > 5)
            return;
        QMessageBox box(QMessageBox::Information, QString(), text, QMessageBox::Ok, parent);
        box.setWindowModality(Qt::ApplicationModal);
        box.show();
        box.activateWindow();
        boxWasActive = QTest::qWaitFor([&box] { return QApplication::activeWindow() == &box; }) || boxWasActive;
        box.accept();
        if (handFocusBack && parent)
            parent->window()->activateWindow();
    }
    bool confirm(QWidget *, const QString &) override { return true; }

    QStringList messages;
    bool handFocusBack = true;
    bool boxWasActive = false;
};

} // namespace

class TestCard final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<StationState> m_state;
    std::unique_ptr<RecordingDialogs> m_recorder;
    std::unique_ptr<DesktopDialogs> m_desktop;
    std::unique_ptr<Database> m_database;
    std::unique_ptr<ServerLink> m_link;
    std::unique_ptr<OperatorRights> m_rights;
    std::unique_ptr<TForm6> m_card;
    std::unique_ptr<TcpPeer> m_peer;
    std::unique_ptr<QWidget> m_other;

    Indicator *shape(const QString &name) const { return m_card->findChild<Indicator *>(name); }

    // Every indicator by name: whether it shows lime, and whether it is hatched.
    QMap<QString, QPair<bool, bool>> indicators() const
    {
        QMap<QString, QPair<bool, bool>> out;
        for (const Indicator *i : m_card->findChildren<Indicator *>())
            out.insert(i->objectName(), {i->colour() == Lime, i->isHatched()});
        return out;
    }

    // A fresh database with the card's object, the operator Anna logged in to
    // it, and the card's link connected to the test's server peer.
    void openStation(const QString &objectValues)
    {
        QString error;
        QVERIFY2(TestDatabase::reset(&error), qPrintable(error));
        if (!objectValues.isEmpty()) {
            QVERIFY2(TestDatabase::exec(QStringLiteral("INSERT INTO orvex_base.objects(IMEI,Name,Number1,Number2,Address,Owner,State,Status) VALUES")
                                            + objectValues,
                                        &error),
                     qPrintable(error));
        }
        QVERIFY2(TestDatabase::addOperator(QStringLiteral("Anna"), QStringLiteral("anna-1"), false, QStringLiteral("89160000001"), {},
                                           &error),
                 qPrintable(error));
        m_state->Login = QStringLiteral("Anna");
        m_state->Password = QStringLiteral("anna-1");
        m_state->Base_address = QStringLiteral("127.0.0.1");
        m_state->Base_port = TestDatabase::port();
        QVERIFY(m_database->Connect_Base(QStringLiteral("orvex_base")));
        CHECKED(connectLink());
    }

    void connectLink()
    {
        m_state->Server_address = QStringLiteral("127.0.0.1");
        m_state->Server_port = m_peer->port();
        m_link->Connect_Server();
        QTRY_COMPARE(m_peer->received().size(), 33);
        QVERIFY(m_link->isActive());
        m_peer->clearReceived();
    }

    void openCardFor(const QString &imei)
    {
        m_state->Selected_IMEI = imei;
        m_card->show();
        m_card->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_card.get()));
    }

    void leaveCard()
    {
        m_other->show();
        m_other->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_other.get()));
    }

    // Activation from another window and back.
    void returnToCard()
    {
        CHECKED(leaveCard());
        m_card->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_card.get()));
    }

    void useDesktopDialogs() { m_state->dialogs = m_desktop.get(); }

    static QString standardObject()
    {
        // State 150: an alarm; Status: SIM 1, safe sensor, external siren, ATM power cut.
        return QStringLiteral("('351234567890123','NCR SelfServ 22','89031234567','89037654321',"
                              "'г. Москва,\\nул. Тверская, д. 1','Иванов Иван Иванович','150','%1')")
            .arg((1u << 3) | (1u << 21) | (1u << 15) | (1u << 19));
    }

private slots:
    void init()
    {
        m_state = std::make_unique<StationState>();
        m_recorder = std::make_unique<RecordingDialogs>();
        m_desktop = std::make_unique<DesktopDialogs>();
        m_state->dialogs = m_recorder.get();
        m_database = std::make_unique<Database>(*m_state);
        m_link = std::make_unique<ServerLink>(*m_state);
        m_rights = std::make_unique<OperatorRights>(*m_state, *m_database);
        m_card = std::make_unique<TForm6>(*m_state, *m_database, *m_link, *m_rights);
        m_peer = std::make_unique<TcpPeer>();
        m_other = std::make_unique<QWidget>();
        m_other->setWindowTitle(QStringLiteral("Монитор ORVEX"));
        m_other->resize(200, 100);
        connect(m_link.get(), &ServerLink::statusReport, m_card.get(), &TForm6::showStatusReport);
    }

    void cleanup()
    {
        m_other.reset();
        m_card.reset();
        m_rights.reset();
        m_link.reset();
        m_peer.reset();
        m_database->close();
        m_database.reset();
        m_desktop.reset();
        m_recorder.reset();
        m_state.reset();
    }

    // The layout of the status word, row by row as the card shows it.
    void statusBitDrivesItsIndicator_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("box");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("label");
        QTest::addColumn<int>("bit");
        QTest::addColumn<bool>("activeWhenSet");
        const auto sensor = [](const char *name, int line, const QString &label, int bit, bool activeWhenSet) {
            QTest::newRow(name) << QString::fromLatin1(name) << QStringLiteral("RzGroupBox3") << line << label << bit << activeWhenSet;
        };
        sensor("Shape1", 0, QStringLiteral("Датчик инженерной панели"), 20, true);
        sensor("Shape2", 1, QStringLiteral("Датчик сейфа"), 21, true);
        sensor("Shape3", 2, QStringLiteral("Датчик вибрации"), 22, true);
        sensor("Shape4", 3, QStringLiteral("Датчик перемещения"), 7, true);
        sensor("Shape5", 4, QStringLiteral("Датчик зависания"), 8, true);
        sensor("Shape6", 5, QStringLiteral("Вскрытие корпуса"), 9, true);
        sensor("Shape7", 6, QStringLiteral("Универсальный вход"), 23, true);
        sensor("Shape8", 7, QStringLiteral("Цифровой вход 1"), 12, true);
        sensor("Shape9", 8, QStringLiteral("Цифровой вход 2"), 13, true);
        sensor("Shape10", 9, QStringLiteral("Кнопка вызова 1"), 10, false);
        sensor("Shape11", 10, QStringLiteral("Кнопка вызова 2"), 11, false);
        sensor("Shape12", 11, QStringLiteral("Внешнее напряжение"), 0, false);
        const auto output = [](const char *name, int line, const QString &label, int bit, bool activeWhenSet) {
            QTest::newRow(name) << QString::fromLatin1(name) << QStringLiteral("RzGroupBox4") << line << label << bit << activeWhenSet;
        };
        output("Shape13", 0, QStringLiteral("Внутренняя сирена"), 14, true);
        output("Shape14", 1, QStringLiteral("Внешняя сирена"), 15, true);
        output("Shape15", 2, QStringLiteral("Выход блокировки"), 16, true);
        output("Shape16", 3, QStringLiteral("Универсальный выход"), 17, true);
        output("Shape17", 4, QStringLiteral("Питание банкомата"), 19, false);
        output("Shape18", 5, QStringLiteral("Выход сброса"), 18, true);
    }

    void statusBitDrivesItsIndicator()
    {
        QFETCH(QString, name);
        QFETCH(QString, box);
        QFETCH(int, line);
        QFETCH(QString, label);
        QFETCH(int, bit);
        QFETCH(bool, activeWhenSet);

        Indicator *indicator = shape(name);
        QVERIFY(indicator);
        QCOMPARE(indicator->parentWidget()->objectName(), box);
        QCOMPARE(indicator->size(), QSize(30, 10));
        auto *grid = qobject_cast<QGridLayout *>(indicator->parentWidget()->layout());
        QVERIFY(grid);
        int row = -1, column = -1, rowSpan = 0, columnSpan = 0;
        grid->getItemPosition(grid->indexOf(indicator), &row, &column, &rowSpan, &columnSpan);
        QCOMPARE(row, line);
        auto *caption = qobject_cast<QLabel *>(grid->itemAtPosition(row, 0)->widget());
        QVERIFY(caption);
        QCOMPARE(caption->text(), label);

        m_card->StatusDecoding(0);
        const auto atZero = indicators();
        QCOMPARE(indicator->colour(), activeWhenSet ? Green : Lime);

        m_card->StatusDecoding(1u << bit);
        auto expected = atZero;
        expected[name].first = !expected[name].first;
        QCOMPARE(indicators(), expected);
        QCOMPARE(m_card->Label31->text(), QStringLiteral("2"));
    }

    void wholeWordsAndTheSimCard()
    {
        QMap<QString, QPair<bool, bool>> startUp;
        for (int n = 1; n <= 18; ++n)
            startUp.insert(QStringLiteral("Shape%1").arg(n), {false, false});
        QCOMPARE(indicators(), startUp);

        const QStringList inverted{QStringLiteral("Shape10"), QStringLiteral("Shape11"), QStringLiteral("Shape12"),
                                   QStringLiteral("Shape17")};
        m_card->StatusDecoding(0);
        QCOMPARE(m_card->Label31->text(), QStringLiteral("2"));
        const auto atZero = indicators();
        for (auto it = atZero.cbegin(); it != atZero.cend(); ++it)
            QVERIFY2(it.value().first == inverted.contains(it.key()), qPrintable(it.key()));

        m_card->StatusDecoding(16777215);
        QCOMPARE(m_card->Label31->text(), QStringLiteral("1"));
        const auto allSet = indicators();
        for (auto it = allSet.cbegin(); it != allSet.cend(); ++it)
            QVERIFY2(it.value().first != inverted.contains(it.key()), qPrintable(it.key()));

        m_card->StatusDecoding(8);
        QCOMPARE(m_card->Label31->text(), QStringLiteral("1"));
        QCOMPARE(indicators(), atZero);

        // Bits above the 24 of the status word change nothing.
        m_card->StatusDecoding(0xff000000u);
        QCOMPARE(m_card->Label31->text(), QStringLiteral("2"));
        QCOMPARE(indicators(), atZero);
    }

    void decodingEndsThePendingMarks()
    {
        m_card->SpeedButton3->setText(QStringLiteral("Ожидание..."));
        shape(QStringLiteral("Shape14"))->setHatched(true);
        shape(QStringLiteral("Shape17"))->setHatched(true);
        m_card->StatusDecoding(1u << 15);
        QCOMPARE(m_card->SpeedButton3->text(), QStringLiteral("Запрос состояния"));
        QVERIFY(!shape(QStringLiteral("Shape14"))->isHatched());
        QVERIFY(!shape(QStringLiteral("Shape17"))->isHatched());
        QCOMPARE(shape(QStringLiteral("Shape14"))->colour(), Lime);
    }

    void guardStateTexts_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        const QString unchanged = QStringLiteral("(unchanged)");
        QTest::newRow("0") << 0 << QStringLiteral("Не на связи");
        QTest::newRow("1") << 1 << QStringLiteral("Снят с охраны");
        QTest::newRow("2") << 2 << QStringLiteral("На охране");
        QTest::newRow("3") << 3 << unchanged;
        QTest::newRow("5") << 5 << unchanged;
        QTest::newRow("89") << 89 << unchanged;
        QTest::newRow("90") << 90 << QStringLiteral("Тревога");
        QTest::newRow("150") << 150 << QStringLiteral("Тревога");
        QTest::newRow("255") << 255 << QStringLiteral("Тревога");
    }

    void guardStateTexts()
    {
        QFETCH(int, code);
        QFETCH(QString, text);
        QCOMPARE(m_card->Label24->text(), QStringLiteral("На охране"));
        m_card->Label24->setText(QStringLiteral("(unchanged)"));
        m_card->Show_Guard_State(quint8(code));
        QCOMPARE(m_card->Label24->text(), text);
    }

    void numbersReadFromTheObjectRow()
    {
        QCOMPARE(CardObject::stateCode(QStringLiteral("150")), quint8(150));
        QCOMPARE(CardObject::stateCode(QStringLiteral("258")), quint8(2)); // its low byte
        QCOMPARE(CardObject::stateCode(QString()), quint8(0));
        QCOMPARE(CardObject::stateCode(QStringLiteral("2a")), quint8(0));
        QCOMPARE(CardObject::stateCode(QStringLiteral("99999999999")), quint8(0));

        QCOMPARE(CardObject::statusWord(QStringLiteral("16777215")), 0xffffffu);
        QCOMPARE(CardObject::statusWord(QStringLiteral("4294967295")), 0xffffffffu);
        QCOMPARE(CardObject::statusWord(QStringLiteral("-1")), 0xffffffffu);
        QCOMPARE(CardObject::statusWord(QStringLiteral("4294967296")), 0u);
        QCOMPARE(CardObject::statusWord(QString()), 0u);
        QCOMPARE(CardObject::statusWord(QStringLiteral("0x10")), 0u);
        QCOMPARE(CardObject::statusWord(QStringLiteral("8 ")), 8u);
    }

    void theQueryKeepsTheImeiInsideItsLiteral()
    {
        QCOMPARE(CardSql::object(SqlEscaper(), ImeiText),
                 QStringLiteral("SELECT Name,Number1,Number2,Address,Owner,State,Status FROM orvex_base.objects WHERE IMEI='351234567890123'"));
        QCOMPARE(CardSql::object(SqlEscaper(), QStringLiteral("1' OR '1'='1")),
                 QStringLiteral("SELECT Name,Number1,Number2,Address,Owner,State,Status FROM orvex_base.objects WHERE IMEI='1\\' OR \\'1\\'=\\'1'"));
    }

    void activationShowsTheWholeRow()
    {
        CHECKED(openStation(standardObject()));
        QCOMPARE(m_card->windowTitle(), QStringLiteral("Банкомат"));
        QVERIFY(!m_card->SpeedButton1->isEnabled());
        CHECKED(openCardFor(ImeiText));
        QVERIFY(m_recorder->messages.isEmpty());
        QCOMPARE(m_card->windowTitle(), QStringLiteral("NCR SelfServ 22"));
        QCOMPARE(m_card->Label6->text(), QStringLiteral("NCR SelfServ 22"));
        QCOMPARE(m_card->Label7->text(), QStringLiteral("г. Москва,\nул. Тверская, д. 1"));
        QCOMPARE(m_card->Label8->text(), QStringLiteral("89031234567"));
        QCOMPARE(m_card->Label9->text(), QStringLiteral("89037654321"));
        QCOMPARE(m_card->Label10->text(), QStringLiteral("Иванов Иван Иванович"));
        QCOMPARE(m_card->Label24->text(), QStringLiteral("Тревога"));
        QCOMPARE(m_card->Label31->text(), QStringLiteral("1"));
        const auto shown = indicators();
        QStringList lime;
        for (auto it = shown.cbegin(); it != shown.cend(); ++it) {
            if (it.value().first)
                lime << it.key();
        }
        lime.sort();
        // Safe sensor, both call buttons, external supply and the external siren;
        // the ATM power is cut.
        QCOMPARE(lime, (QStringList{QStringLiteral("Shape10"), QStringLiteral("Shape11"), QStringLiteral("Shape12"),
                                    QStringLiteral("Shape14"), QStringLiteral("Shape2")}));
        for (QPushButton *b : {m_card->SpeedButton1, m_card->SpeedButton2, m_card->SpeedButton3, m_card->SpeedButton4, m_card->SpeedButton5})
            QVERIFY(b->isEnabled());

        // The window fits its content: long descriptions wrap and show whole.
        const auto shownWhole = [this](const QLabel *label) {
            return label->height() >= label->heightForWidth(label->width())
                && m_card->rect().contains(label->mapTo(m_card.get(), label->rect().bottomRight()));
        };
        for (QLabel *label : {m_card->Label6, m_card->Label7, m_card->Label8, m_card->Label9, m_card->Label10})
            QTRY_VERIFY2(shownWhole(label), qPrintable(label->text()));
        QVERIFY(m_card->Label7->height() >= 2 * m_card->Label7->fontMetrics().height());

        if (const QString dir = qEnvironmentVariable("ORVEX_SCREENSHOTS"); !dir.isEmpty()) {
            QDir().mkpath(dir);
            QVERIFY(m_card->grab().save(QDir(dir).filePath(QStringLiteral("card.png"))));
        }
    }

    void everyReturnReloadsTheSelectedObject()
    {
        CHECKED(openStation(standardObject() + QStringLiteral(",('351234567890999','Wincor 2050','','','','','2','0')")));
        CHECKED(openCardFor(ImeiText));
        QCOMPARE(m_card->Label24->text(), QStringLiteral("Тревога"));

        // A hatched output and a changed row: the return to the card shows the row.
        QTest::mouseClick(m_card->Shape14, Qt::LeftButton);
        QVERIFY(m_card->Shape14->isHatched());
        QVERIFY(TestDatabase::exec(QStringLiteral("UPDATE orvex_base.objects SET State='1' WHERE IMEI='351234567890123'")));
        CHECKED(returnToCard());
        QCOMPARE(m_card->Label24->text(), QStringLiteral("Снят с охраны"));
        QVERIFY(!m_card->Shape14->isHatched());
        QCOMPARE(m_card->Shape14->colour(), Lime);

        // State 5 leaves the guard label as it was.
        QVERIFY(TestDatabase::exec(QStringLiteral("UPDATE orvex_base.objects SET State='5' WHERE IMEI='351234567890123'")));
        CHECKED(returnToCard());
        QCOMPARE(m_card->Label24->text(), QStringLiteral("Снят с охраны"));

        // Another object selected in the list meanwhile.
        m_state->Selected_IMEI = QStringLiteral("351234567890999");
        CHECKED(returnToCard());
        QCOMPARE(m_card->windowTitle(), QStringLiteral("Wincor 2050"));
        QCOMPARE(m_card->Label10->text(), QString());
        QCOMPARE(m_card->Label24->text(), QStringLiteral("На охране"));
        QCOMPARE(m_card->shownImei(), QStringLiteral("351234567890999"));
        QVERIFY(m_recorder->messages.isEmpty());
    }

    void unknownOrEmptyImeiShowsNoObjectAndSendsNothing_data()
    {
        QTest::addColumn<QString>("imei");
        QTest::newRow("no such object") << QStringLiteral("999999999999999");
        QTest::newRow("nothing selected") << QString();
        // Would match every row if the quote ended the literal.
        QTest::newRow("quote") << QStringLiteral("x' OR IMEI<>'");
    }

    void unknownOrEmptyImeiShowsNoObjectAndSendsNothing()
    {
        QFETCH(QString, imei);
        CHECKED(openStation(standardObject()));
        CHECKED(openCardFor(ImeiText));
        QCOMPARE(m_card->Label6->text(), QStringLiteral("NCR SelfServ 22"));

        m_state->Selected_IMEI = imei;
        CHECKED(returnToCard());
        QVERIFY(m_recorder->messages.isEmpty());
        QCOMPARE(m_card->windowTitle(), QStringLiteral("Банкомат"));
        for (QLabel *label : {m_card->Label6, m_card->Label7, m_card->Label8, m_card->Label9, m_card->Label10, m_card->Label24})
            QCOMPARE(label->text(), QString());
        QCOMPARE(m_card->shownImei(), QString());
        for (QPushButton *b : {m_card->SpeedButton1, m_card->SpeedButton2, m_card->SpeedButton3, m_card->SpeedButton4, m_card->SpeedButton5}) {
            QVERIFY(!b->isEnabled());
            b->click();
        }
        QVERIFY(!m_card->Shape13->isEnabled());
        m_card->ShapeMouseDown(m_card->Shape13, Qt::LeftButton);
        QVERIFY(!m_card->Shape13->isHatched());
        QCOMPARE(m_card->SpeedButton3->text(), QStringLiteral("Запрос состояния"));

        // A report of a unit is no report of this card's; one that names no
        // unit is shown. The found object enables the commands again.
        QSignalSpy reports(m_link.get(), &ServerLink::statusReport);
        m_peer->send(QByteArray(1, '\x19') + Imei + bytes({0x08, 0, 0, 0}));
        QTRY_COMPARE(reports.size(), 1);
        QCOMPARE(m_card->Label31->text(), QString());
        m_peer->send(QByteArray(1, '\x19') + QByteArray(15, '\0') + bytes({0x08, 0, 0, 0}));
        QTRY_COMPARE(m_card->Label31->text(), QStringLiteral("1"));
        m_state->Selected_IMEI = ImeiText;
        CHECKED(returnToCard());
        QVERIFY(m_card->SpeedButton5->isEnabled());
        m_card->SpeedButton5->click();
        QTRY_COMPARE(m_peer->received(), command(bytes({15, 3})));
    }

    void unreadableNumbersCountAsZero()
    {
        CHECKED(openStation(QString()));
        QVERIFY(TestDatabase::exec(QStringLiteral("ALTER TABLE orvex_base.objects MODIFY State VARCHAR(16) NOT NULL DEFAULT '', "
                                                  "MODIFY Status VARCHAR(16) NOT NULL DEFAULT ''")));
        QVERIFY(TestDatabase::exec(QStringLiteral("INSERT INTO orvex_base.objects(IMEI,Name,State,Status) VALUES "
                                                  "('351234567890123','A','','x'),('351234567890124','B','2','1048576')")));
        CHECKED(openCardFor(QStringLiteral("351234567890124")));
        QCOMPARE(m_card->Shape1->colour(), Lime);
        m_state->Selected_IMEI = ImeiText;
        CHECKED(returnToCard());
        QVERIFY(m_recorder->messages.isEmpty());
        QCOMPARE(m_card->windowTitle(), QStringLiteral("A"));
        QCOMPARE(m_card->Label24->text(), QStringLiteral("Не на связи"));
        QCOMPARE(m_card->Shape1->colour(), Green);
        QCOMPARE(m_card->Shape12->colour(), Lime);
        QCOMPARE(m_card->Label31->text(), QStringLiteral("2"));
    }

    void unreachableDatabaseShowsOneMessage()
    {
        // Never connected, as before an accepted login.
        useDesktopDialogs();
        m_state->Selected_IMEI = ImeiText;
        m_card->show();
        m_card->activateWindow();
        QTRY_VERIFY(!m_desktop->messages.isEmpty());
        QTRY_VERIFY(m_card->isActiveWindow());
        QVERIFY(m_desktop->boxWasActive);
        QCOMPARE(m_desktop->messages, QStringList{QStringLiteral("Нет доступа к таблице объектов")});
        QCOMPARE(m_card->windowTitle(), QStringLiteral("Банкомат"));
        QCOMPARE(m_card->Label24->text(), QStringLiteral("На охране"));
        QVERIFY(!m_card->SpeedButton1->isEnabled());

        // Coming back from another window is a new activation, and one message again.
        CHECKED(returnToCard());
        QTRY_COMPARE(m_desktop->messages.size(), 2);
        QTRY_VERIFY(m_card->isActiveWindow());
        QCOMPARE(m_desktop->messages.size(), 2);
    }

    void lostDatabaseKeepsTheCard()
    {
        CHECKED(openStation(standardObject()));
        CHECKED(openCardFor(ImeiText));
        useDesktopDialogs();
        // Where the box leaves the focus nowhere, the next return still reloads.
        m_desktop->handFocusBack = false;
        // The session is killed and the account cannot log in again, so the
        // connection stays lost.
        QVERIFY(TestDatabase::exec(QStringLiteral("ALTER USER 'Anna'@'%' ACCOUNT LOCK")));
        QVERIFY(TestDatabase::exec(QStringLiteral("KILL %1").arg(m_database->connectionId())));
        CHECKED(leaveCard());
        m_card->activateWindow();
        QTRY_COMPARE(m_desktop->messages, QStringList{QStringLiteral("Нет доступа к таблице объектов")});
        QVERIFY(m_desktop->boxWasActive);
        QCOMPARE(m_card->windowTitle(), QStringLiteral("NCR SelfServ 22"));
        QCOMPARE(m_card->Label10->text(), QStringLiteral("Иванов Иван Иванович"));
        QCOMPARE(m_card->Label24->text(), QStringLiteral("Тревога"));
        CHECKED(leaveCard());
        m_card->activateWindow();
        QTRY_COMPARE(m_desktop->messages.size(), 2);

        // The card still commands the object it shows; the number cannot be
        // read now, so no call is asked for (the unit would call "0").
        QVERIFY(m_card->SpeedButton4->isEnabled());
        m_card->SpeedButton4->click();
        QTRY_COMPARE(m_desktop->messages.size(), 3);
        QCOMPARE(m_desktop->messages.last(),
                 QStringLiteral("Не удается прочитать номер телефона оператора: голосовое соединение не запрошено"));
        m_card->SpeedButton5->click();
        QTRY_COMPARE(m_peer->received(), command(bytes({15, 3})));
    }

    void commandButtonsSendTheirPackets_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QByteArray>("packet");
        QTest::newRow("arm") << QStringLiteral("SpeedButton1") << command(bytes({1, 1}));
        QTest::newRow("disarm") << QStringLiteral("SpeedButton2") << command(bytes({1, 0}));
        QTest::newRow("status") << QStringLiteral("SpeedButton3") << command(bytes({0}));
        QTest::newRow("frame") << QStringLiteral("SpeedButton5") << command(bytes({15, 3}));
        QTest::newRow("voice") << QStringLiteral("SpeedButton4")
                               << command(QByteArray(1, '\x14') + QByteArray("89160000001") + QByteArray(5, '\0'));
    }

    void commandButtonsSendTheirPackets()
    {
        QFETCH(QString, button);
        QFETCH(QByteArray, packet);
        CHECKED(openStation(standardObject()));
        CHECKED(openCardFor(ImeiText));
        auto *b = m_card->findChild<QPushButton *>(button);
        QVERIFY(b);
        const QString caption = b->text();
        QTest::mouseClick(b, Qt::LeftButton);
        QTRY_COMPARE(m_peer->received(), packet);
        QCOMPARE(b->text(), button == QLatin1String("SpeedButton3") ? QStringLiteral("Ожидание...") : caption);
    }

    void statusRequestWaitsForItsOwnUnitsReport()
    {
        CHECKED(openStation(standardObject()));
        CHECKED(openCardFor(ImeiText));
        QSignalSpy reports(m_link.get(), &ServerLink::statusReport);
        m_card->SpeedButton3->click();
        QTRY_COMPARE(m_peer->received(), command(bytes({0})));
        QCOMPARE(m_card->SpeedButton3->text(), QStringLiteral("Ожидание..."));
        const auto shown = indicators();
        QCOMPARE(m_card->Shape14->colour(), Lime);

        // The list's "Включить терминал" on another unit brings that unit's
        // report; so does a unit whose IMEI only begins like this one's.
        m_peer->send(QByteArray(1, '\x19') + QByteArray("351234567890999") + bytes({0x00, 0x00, 0x80, 0x00}));
        m_peer->send(QByteArray(1, '\x19') + Imei.left(14) + QByteArray(1, '\0') + bytes({0x00, 0x00, 0x80, 0x00}));
        QTRY_COMPARE(reports.size(), 2);
        QCOMPARE(m_card->SpeedButton3->text(), QStringLiteral("Ожидание..."));
        QCOMPARE(indicators(), shown);
        QCOMPARE(m_card->Label31->text(), QStringLiteral("1"));
        // An output click still asks for the opposite of this unit's state.
        m_peer->clearReceived();
        QTest::mouseClick(m_card->Shape14, Qt::LeftButton);
        QTRY_COMPARE(m_peer->received(), command(bytes({10, 0, 0})));

        // This unit's own report ends the wait.
        m_peer->send(QByteArray(1, '\x19') + Imei + bytes({0x00, 0x00, 0x80, 0x00}));
        QTRY_COMPARE(m_card->SpeedButton3->text(), QStringLiteral("Запрос состояния"));
        QCOMPARE(m_card->Shape7->colour(), Lime);
        QCOMPARE(m_card->Shape14->colour(), Green);
        QVERIFY(!m_card->Shape14->isHatched());
        QCOMPARE(m_card->Label31->text(), QStringLiteral("2"));

        // A server that leaves the IMEI bytes zero is shown as it always was.
        m_card->SpeedButton3->click();
        m_peer->send(QByteArray(1, '\x19') + QByteArray(15, '\0') + bytes({0x08, 0x00, 0x00, 0x00}));
        QTRY_COMPARE(m_card->SpeedButton3->text(), QStringLiteral("Запрос состояния"));
        QCOMPARE(m_card->Label31->text(), QStringLiteral("1"));
        QCOMPARE(m_card->Shape7->colour(), Green);
        QVERIFY(m_recorder->messages.isEmpty());
    }

    void statusRequestGivesUpWaiting()
    {
        CHECKED(openStation(standardObject()));
        CHECKED(openCardFor(ImeiText));
        auto *wait = m_card->findChild<QTimer *>(QStringLiteral("StatusWait"));
        QVERIFY(wait);
        QCOMPARE(wait->interval(), 30000);

        // Answered in time: nothing more happens. (The wait is the real one:
        // a pause of the test machine must not make the answer late.)
        m_card->SpeedButton3->click();
        QVERIFY(wait->isActive());
        m_peer->send(QByteArray(1, '\x19') + Imei + bytes({0x00, 0x00, 0x00, 0x00}));
        QTRY_COMPARE(m_card->SpeedButton3->text(), QStringLiteral("Запрос состояния"));
        QVERIFY(!wait->isActive());

        // Another unit's report does not count as an answer; none comes.
        m_card->setStatusWaitMilliseconds(50);
        m_card->SpeedButton3->click();
        m_peer->send(QByteArray(1, '\x19') + QByteArray("351234567890999") + bytes({0x00, 0x00, 0x00, 0x00}));
        QTRY_COMPARE(m_recorder->messages, QStringList{QStringLiteral("Объект не ответил на запрос состояния")});
        QCOMPARE(m_card->SpeedButton3->text(), QStringLiteral("Запрос состояния"));

        // Showing another object ends the wait for the first one.
        m_recorder->clear();
        m_card->setStatusWaitMilliseconds(30000);
        m_card->SpeedButton3->click();
        QVERIFY(wait->isActive());
        CHECKED(returnToCard());
        QVERIFY(!wait->isActive());
        QCOMPARE(m_card->SpeedButton3->text(), QStringLiteral("Запрос состояния"));
    }

    // The unit calls the number it is given: without a usable one the call
    // is refused, and nothing is sent.
    void voiceCallNeedsTheOperatorsNumber_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QString>("refusal");
        const QString none = QStringLiteral("У оператора не указан номер телефона: голосовое соединение не запрошено");
        QTest::newRow("empty") << QStringLiteral("UPDATE orvex_base.users SET Number='' WHERE Login='Anna'") << none;
        QTest::newRow("blanks") << QStringLiteral("UPDATE orvex_base.users SET Number='   ' WHERE Login='Anna'") << none;
        QTest::newRow("no users row") << QStringLiteral("DELETE FROM orvex_base.users WHERE Login='Anna'") << none;
        // Cut to the field, it would call another number.
        QTest::newRow("longer than the field")
            << QStringLiteral("UPDATE orvex_base.users SET Number='+7 (916) 000-00-01 доб. 5' WHERE Login='Anna'")
            << QStringLiteral("Номер телефона оператора не помещается в 16 символов кодовой страницы 1251: "
                              "голосовое соединение не запрошено");
    }

    void voiceCallNeedsTheOperatorsNumber()
    {
        QFETCH(QString, statement);
        QFETCH(QString, refusal);
        CHECKED(openStation(standardObject()));
        QVERIFY(TestDatabase::exec(statement));
        CHECKED(openCardFor(ImeiText));
        m_card->SpeedButton4->click();
        QCOMPARE(m_recorder->messages, QStringList{refusal});
        // The next packet is the first one the peer sees.
        m_card->SpeedButton5->click();
        QTRY_COMPARE(m_peer->received(), command(bytes({15, 3})));
    }

    void voiceCallFillsTheFieldExactly()
    {
        CHECKED(openStation(standardObject()));
        QVERIFY(TestDatabase::exec(QStringLiteral("UPDATE orvex_base.users SET Number='+7 916 000-00-01' WHERE Login='Anna'")));
        CHECKED(openCardFor(ImeiText));
        m_card->SpeedButton4->click();
        QTRY_COMPARE(m_peer->received(), command(QByteArray(1, '\x14') + QByteArray("+7 916 000-00-01")));
        QVERIFY(m_recorder->messages.isEmpty());
    }

    // The server picks the unit by 15 IMEI bytes: a 16-digit IMEI cut to them
    // names another object's unit, a shorter one none.
    void commandsNeedAnImeiOfFifteenCharacters_data()
    {
        QTest::addColumn<QString>("imei");
        QTest::newRow("16 digits") << QStringLiteral("3512345678901234");
        QTest::newRow("14 digits") << QStringLiteral("35123456789012");
    }

    void commandsNeedAnImeiOfFifteenCharacters()
    {
        QFETCH(QString, imei);
        CHECKED(openStation(standardObject() + QStringLiteral(",('%1','Wincor 2050','','','','','2','0')").arg(imei)));
        CHECKED(openCardFor(imei));
        QCOMPARE(m_card->windowTitle(), QStringLiteral("Wincor 2050"));
        const QString refusal = QStringLiteral("IMEI объекта должен состоять из 15 символов: команда не отправлена");
        for (QPushButton *b : {m_card->SpeedButton1, m_card->SpeedButton2, m_card->SpeedButton3, m_card->SpeedButton4, m_card->SpeedButton5}) {
            m_recorder->clear();
            b->click();
            QCOMPARE(m_recorder->messages, QStringList{refusal});
        }
        m_recorder->clear();
        QTest::mouseClick(m_card->Shape14, Qt::LeftButton);
        QCOMPARE(m_recorder->messages, QStringList{refusal});
        QVERIFY(!m_card->Shape14->isHatched());
        QCOMPARE(m_card->SpeedButton3->text(), QStringLiteral("Запрос состояния"));

        // Nothing went out: the next packet is the first one the peer sees.
        m_state->Selected_IMEI = ImeiText;
        CHECKED(returnToCard());
        m_card->SpeedButton5->click();
        QTRY_COMPARE(m_peer->received(), command(bytes({15, 3})));
    }

    void outputIndicatorsAskForTheOpposite_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("output");
        QTest::addColumn<quint32>("offWord"); // the indicator shows clGreen
        QTest::addColumn<quint32>("onWord");  // the indicator shows clLime
        QTest::addColumn<int>("valueWhenGreen");
        QTest::newRow("internal siren") << QStringLiteral("Shape13") << 5 << 0u << (1u << 14) << 1;
        QTest::newRow("external siren") << QStringLiteral("Shape14") << 0 << 0u << (1u << 15) << 1;
        QTest::newRow("lock") << QStringLiteral("Shape15") << 1 << 0u << (1u << 16) << 1;
        QTest::newRow("universal") << QStringLiteral("Shape16") << 2 << 0u << (1u << 17) << 1;
        QTest::newRow("reset") << QStringLiteral("Shape18") << 3 << 0u << (1u << 18) << 1;
        QTest::newRow("ATM power") << QStringLiteral("Shape17") << 4 << (1u << 19) << 0u << 0;
    }

    void outputIndicatorsAskForTheOpposite()
    {
        QFETCH(QString, name);
        QFETCH(int, output);
        QFETCH(quint32, offWord);
        QFETCH(quint32, onWord);
        QFETCH(int, valueWhenGreen);
        CHECKED(openStation(standardObject()));
        CHECKED(openCardFor(ImeiText));
        Indicator *indicator = shape(name);
        QVERIFY(indicator);

        m_card->StatusDecoding(offWord);
        QCOMPARE(indicator->colour(), Green);
        QTest::mouseClick(indicator, Qt::LeftButton);
        const QByteArray whenGreen = command(bytes({10, output, valueWhenGreen}));
        QTRY_COMPARE(m_peer->received(), whenGreen);
        QVERIFY(indicator->isHatched());
        QCOMPARE(indicator->colour(), Green);
        // No report yet: the same request again.
        QTest::mouseClick(indicator, Qt::LeftButton);
        QTRY_COMPARE(m_peer->received(), whenGreen + whenGreen);

        m_peer->clearReceived();
        m_card->StatusDecoding(onWord);
        QCOMPARE(indicator->colour(), Lime);
        QVERIFY(!indicator->isHatched());
        QTest::mouseClick(indicator, Qt::LeftButton);
        QTRY_COMPARE(m_peer->received(), command(bytes({10, output, 1 - valueWhenGreen})));
        QVERIFY(indicator->isHatched());
    }

    void otherMouseButtonsSendNothing()
    {
        CHECKED(openStation(standardObject()));
        CHECKED(openCardFor(ImeiText));
        for (Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton}) {
            QTest::mouseClick(m_card->Shape14, button);
            QTest::mouseClick(m_card->Shape17, button);
        }
        QVERIFY(!m_card->Shape14->isHatched());
        QVERIFY(!m_card->Shape17->isHatched());
        // The next packet is the first one the peer sees.
        m_card->SpeedButton1->click();
        QTRY_COMPARE(m_peer->received(), command(bytes({1, 1})));
        // Sensor indicators are no buttons.
        QTest::mouseClick(m_card->Shape1, Qt::LeftButton);
        QVERIFY(!m_card->Shape1->isHatched());
        m_card->SpeedButton2->click();
        QTRY_COMPARE(m_peer->received(), command(bytes({1, 1})) + command(bytes({1, 0})));
    }

    void closedLinkMarksNothingPending()
    {
        CHECKED(openStation(standardObject()));
        CHECKED(openCardFor(ImeiText));
        m_peer->closeClient();
        QTRY_VERIFY(!m_link->isActive());
        m_card->SpeedButton3->click();
        QTest::mouseClick(m_card->Shape14, Qt::LeftButton);
        QCOMPARE(m_card->SpeedButton3->text(), QStringLiteral("Запрос состояния"));
        QVERIFY(!m_card->Shape14->isHatched());

        // Back online, the commands go out again.
        CHECKED(connectLink());
        QTest::mouseClick(m_card->Shape14, Qt::LeftButton);
        QTRY_COMPARE(m_peer->received(), command(bytes({10, 0, 0})));
        QVERIFY(m_card->Shape14->isHatched());
    }

    void guardStateOfOtherObjectsIsNotShown()
    {
        CHECKED(openStation(standardObject()));
        CHECKED(openCardFor(ImeiText));
        QCOMPARE(m_card->Label24->text(), QStringLiteral("Тревога"));
        m_card->Show_Object_State(QStringLiteral("351234567890999"), 2);
        QCOMPARE(m_card->Label24->text(), QStringLiteral("Тревога"));
        m_card->Show_Object_State(ImeiText, 1);
        QCOMPARE(m_card->Label24->text(), QStringLiteral("Снят с охраны"));
    }
};

QTEST_MAIN(TestCard)
#include "test_card.moc"
