#include "Cp1251.h"
#include "NumberBox.h"
#include "Packets.h"
#include "ServerLink.h"
#include "StationFixture.h"
#include "TForm1.h"
#include "TForm2.h"
#include "TForm3.h"
#include "TForm4.h"
#include "TcpPeer.h"
#include "TestClock.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QKeyEvent>
#include <QApplication>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolButton>

namespace {

QByteArray serverConfig(quint16 port, const QByteArray &users = {})
{
    return "[Connections]\nServer_address=127.0.0.1\nServer_port=" + QByteArray::number(port) + "\n" + users;
}

void logIn(TForm3 *form3, const QString &password)
{
    form3->Edit1->setText(password);
    QTest::keyClick(form3->Edit1, Qt::Key_Return);
}

} // namespace

class TestLoginWindows final : public QObject
{
    Q_OBJECT

private slots:
    void withoutConfigPilotLogsInAndMayEditLocalUsers()
    {
        StationFixture f;
        f.writeConfig(serverConfig(1)); // nothing listens on port 1: no server link
        QFile::remove(f.configPath());
        Station &s = f.start();
        TForm3 *login = s.form3();
        QVERIFY(login->isVisible());
        QVERIFY(!s.form1()->isVisible());
        QCOMPARE(login->ComboBox1->count(), 1);
        QCOMPARE(login->ComboBox1->currentText(), QStringLiteral("Pilot"));
        QVERIFY(!s.form1()->SpeedButton2->isEnabled());

        logIn(login, QStringLiteral("Pilot"));
        QVERIFY(f.dialogs.messages.isEmpty());
        QVERIFY(s.form1()->isVisible());
        QVERIFY(!login->isVisible());
        QCOMPARE(s.form1()->windowTitle(), QStringLiteral("Монитор ORVEX - Pilot"));
        QVERIFY(s.form1()->SpeedButton2->isEnabled());
        QCOMPARE(s.state().Login, QStringLiteral("Pilot"));
        QCOMPARE(s.state().Password, QStringLiteral("Pilot"));
        QCOMPARE(s.state().User_index, quint8(0));
        QCOMPARE(s.form1()->SpeedButton6->toolTip(), QStringLiteral("Нет соединения"));
    }

    void wrongPasswordChangesNothing()
    {
        StationFixture f;
        f.writeConfig(serverConfig(1, "[Users]\nCount=2\n[User0]\nLogin=Anna\nPass=a1\n[User1]\nLogin=Anna\nPass=b2\n"));
        Station &s = f.start();
        TForm3 *login = s.form3();
        QCOMPARE(login->ComboBox1->count(), 2);
        // Two entries with the same login: the selected position's password counts.
        login->ComboBox1->setCurrentIndex(1);
        logIn(login, QStringLiteral("a1"));
        QCOMPARE(f.dialogs.messages, QStringList{QStringLiteral("Неправильно введен пароль")});
        QVERIFY(login->isVisible());
        QCOMPARE(login->Edit1->text(), QStringLiteral("a1"));
        QVERIFY(s.state().Login.isEmpty());
        QVERIFY(!s.form1()->isVisible());

        login->Edit1->setText(QStringLiteral("b2"));
        login->SpeedButton1->click();
        QVERIFY(s.form1()->isVisible());
        QCOMPARE(s.state().User_index, quint8(1));
        // Only the password "Pilot" opens the local user editor.
        QVERIFY(!s.form1()->SpeedButton2->isEnabled());
    }

    // With no user chosen the default password of a missing section would
    // match "Pilot" and open the local user editor to nobody in particular.
    void okWithoutAChosenUserLogsNobodyIn_data()
    {
        QTest::addColumn<QByteArray>("users");
        QTest::newRow("empty list") << QByteArray("[Users]\nCount=0\nIndex=0\n");
        QTest::newRow("index past the list") << QByteArray("[Users]\nCount=3\nIndex=300\n");
        QTest::newRow("index written as 255") << QByteArray("[Users]\nCount=3\nIndex=255\n");
    }

    void okWithoutAChosenUserLogsNobodyIn()
    {
        QFETCH(QByteArray, users);
        StationFixture f;
        f.writeConfig(serverConfig(1, users));
        Station &s = f.start();
        QCOMPARE(s.form3()->ComboBox1->currentIndex(), -1);
        logIn(s.form3(), QStringLiteral("Pilot"));
        QCOMPARE(f.dialogs.messages, QStringList{QStringLiteral("Выберите пользователя")});
        QVERIFY(s.form3()->isVisible());
        QVERIFY(!s.form1()->isVisible());
        QVERIFY(!s.form1()->SpeedButton2->isEnabled());
        QVERIFY(s.state().Login.isEmpty());
        QVERIFY(s.state().Password.isEmpty());
        QCOMPARE(s.state().User_index, quint8(0));
    }

    void indexOutOfRangeIsReplacedByTheNextLogin()
    {
        StationFixture g;
        g.writeConfig(serverConfig(1, "[Users]\nCount=3\nIndex=300\n"));
        Station &t = g.start();
        QCOMPARE(t.form3()->ComboBox1->count(), 3);
        QCOMPARE(t.form3()->ComboBox1->currentIndex(), -1);
        // After a login and a close the file holds the chosen position again.
        t.form3()->ComboBox1->setCurrentIndex(2);
        logIn(t.form3(), QStringLiteral("Pilot"));
        t.form1()->close();
        QVERIFY(g.ended);
        QVERIFY(g.readConfig().contains("Index=2"));
    }

    void absurdCountDoesNotHang()
    {
        StationFixture f;
        f.writeConfig(serverConfig(1, "[Users]\nCount=2147483647\n"));
        Station &s = f.start();
        QCOMPARE(s.form3()->ComboBox1->count(), 255);
    }

    // "Отмена" in the login window, by its button or by Esc.
    static void cancel(TForm3 *login, bool byKey)
    {
        if (byKey)
            QTest::keyClick(login, Qt::Key_Escape);
        else
            login->SpeedButton2->click();
    }

    void cancelBeforeLoginEndsWithoutWriting_data()
    {
        QTest::addColumn<bool>("byKey");
        QTest::newRow("button") << false;
        QTest::newRow("Esc") << true;
    }

    void cancelBeforeLoginEndsWithoutWriting()
    {
        QFETCH(bool, byKey);
        StationFixture f;
        Station &s = f.start();
        cancel(s.form3(), byKey);
        QVERIFY(f.ended);
        QVERIFY(!QFile::exists(f.configPath()));
    }

    void cancelAfterLoginKeepsTheSession_data() { cancelBeforeLoginEndsWithoutWriting_data(); }

    void cancelAfterLoginKeepsTheSession()
    {
        QFETCH(bool, byKey);
        StationFixture f;
        f.writeConfig(serverConfig(1));
        Station &s = f.start();
        logIn(s.form3(), QStringLiteral("Pilot"));
        s.form1()->SpeedButton7->click();
        QVERIFY(s.form3()->isVisible());
        QVERIFY(s.form3()->Edit1->text().isEmpty());
        cancel(s.form3(), byKey);
        QVERIFY(!s.form3()->isVisible());
        QVERIFY(s.form1()->isVisible());
        QVERIFY(!f.ended);
        QCOMPARE(s.state().Login, QStringLiteral("Pilot"));
    }

    void closingAsksAndWritesTheSettings()
    {
        StationFixture f;
        f.writeConfig(serverConfig(1, "[Users]\nCount=1\n"));
        Station &s = f.start();
        logIn(s.form3(), QStringLiteral("Pilot"));
        const QByteArray before = f.readConfig();

        f.dialogs.nextAnswer = false;
        s.form1()->SpeedButton5->click();
        QCOMPARE(f.dialogs.confirmations, QStringList{QStringLiteral("Вы действительно хотите закрыть программу?")});
        QVERIFY(s.form1()->isVisible());
        QVERIFY(!f.ended);
        QCOMPARE(f.readConfig(), before);

        f.dialogs.nextAnswer = true;
        s.state().Base_address = QStringLiteral("192.168.5.5");
        s.state().Base_port = 3310;
        s.form1()->close();
        QVERIFY(f.ended);
        const QByteArray after = f.readConfig();
        QVERIFY(after.contains("Server_address=127.0.0.1"));
        QVERIFY(after.contains("Server_port=1"));
        QVERIFY(after.contains("Base_address=192.168.5.5"));
        QVERIFY(after.contains("Base_port=3310"));
        QVERIFY(after.contains("Index=0"));
    }

    void clockAndKeepAliveCounter()
    {
        TestClock clock(QDateTime(QDate(2026, 12, 9), QTime(9, 5, 7)));
        StationFixture f;
        Station &s = f.start();
        TForm1 *main = s.form1();
        // The clock ticks every second from the start; here its next real
        // tick is put off, so that only the test's ticks count.
        QCOMPARE(main->Timer1->interval(), 1000);
        main->Timer1->start(3600 * 1000);
        QVERIFY(TestClock::fire(main->Timer1));
        QCOMPARE(main->LTIME->text(), QStringLiteral("09:05:07"));
        QCOMPARE(s.state().Clock.time(), QTime(9, 5, 7));
        s.state().Tick_count = 300;
        clock.advance(1);
        QVERIFY(TestClock::fire(main->Timer1));
        QCOMPARE(main->LTIME->text(), QStringLiteral("09:05:08"));
        QCOMPARE(s.state().Tick_count, quint16(301));
        QVERIFY(TestClock::fire(main->Timer1));
        QCOMPARE(s.state().Tick_count, quint16(0));
    }

    void portBoxesFilterKeysAndKeepValuesInRange()
    {
        StationFixture f;
        f.writeConfig(serverConfig(1));
        Station &s = f.start();
        TForm2 *settings = s.form2();
        settings->show();
        QCOMPARE(settings->Edit1->text(), QStringLiteral("127.0.0.1"));
        QCOMPARE(settings->Edit2->text(), QStringLiteral("1"));
        QCOMPARE(settings->Edit4->text(), QStringLiteral("3306"));

        QLineEdit *port = settings->Edit2;
        port->clear();
        QCOMPARE(port->text(), QStringLiteral("1")); // an emptied box gets the minimum
        port->selectAll();
        QTest::keyClicks(port, QStringLiteral("7a0x0-"));
        QCOMPARE(port->text(), QStringLiteral("700-"));
        port->selectAll();
        QTest::keyClicks(port, QStringLiteral("99999"));
        QCOMPARE(port->text(), QStringLiteral("65535"));
        port->selectAll();
        QTest::keyClicks(port, QStringLiteral("-5"));
        QCOMPARE(port->text(), QStringLiteral("-5"));
        settings->Edit4->setText(QStringLiteral("-"));
        settings->SpeedButton1->click();
        QCOMPARE(s.state().Server_port, quint16(65531));
        // A box that holds no number keeps the old port.
        QCOMPARE(s.state().Base_port, quint16(3306));
        QCOMPARE(settings->Edit4->text(), QStringLiteral("3306"));
        QVERIFY(settings->isVisible());

        // An address Config.ini cannot carry is refused, and nothing changes.
        const QString baseAddress = s.state().Base_address;
        settings->Edit3->setText(QStringLiteral("h\u00f4te"));
        settings->SpeedButton1->click();
        QCOMPARE(f.dialogs.messages.size(), 1);
        QVERIFY(f.dialogs.messages.at(0).contains(QChar(0xf4)));
        QCOMPARE(s.state().Base_address, baseAddress);
        settings->Edit3->setText(baseAddress);

        QChar key = QLatin1Char('x');
        NumberBox::KeyPressDigit(port, key);
        QVERIFY(key.isNull());
        key = QChar(8);
        NumberBox::KeyPressDigit(port, key);
        QCOMPARE(key, QChar(8));

        // X11 sends Delete with the character 0x7f and Tab with "\t": they edit and move on as usual.
        port->setText(QStringLiteral("1234"));
        port->setCursorPosition(0);
        QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QString(QChar(0x7f)));
        QApplication::sendEvent(port, &del);
        QCOMPARE(port->text(), QStringLiteral("234"));
        settings->activateWindow();
        port->setFocus();
        QTRY_VERIFY(port->hasFocus());
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier, QStringLiteral("\t"));
        QApplication::sendEvent(port, &tab);
        QTRY_VERIFY(!port->hasFocus());
    }

    void serverAnswersAndLinkLoss()
    {
        TcpPeer peer;
        StationFixture f;
        f.writeConfig(serverConfig(peer.port(), "[Users]\nCount=1\n[User0]\nLogin=Ivn\nPass=secret7\n"));
        Station &s = f.start();
        logIn(s.form3(), QStringLiteral("secret7"));
        QTRY_COMPARE(peer.received().size(), 33);
        QCOMPARE(peer.received(), Packets::auth(QStringLiteral("Ivn"), QStringLiteral("secret7")));
        QVERIFY(s.form1()->link().isActive());
        QCOMPARE(s.form1()->SpeedButton6->toolTip(), QStringLiteral("Соединение установлено"));

        // Lost before the answer: the indicator reconnects and the login goes out again.
        peer.closeClient();
        QTRY_COMPARE(f.dialogs.messages, QStringList{QStringLiteral("Соединение закрыто")});
        f.dialogs.clear();
        s.form1()->SpeedButton6->click();
        QTRY_COMPARE(peer.connectionCount(), 2);
        QTRY_COMPARE(peer.received(), Packets::auth(QStringLiteral("Ivn"), QStringLiteral("secret7")));

        // Two answers in one read are both handled; an unknown code is silent.
        peer.send(QByteArray("\xff\x02\xff\x04\xff\x03", 6));
        QTRY_COMPARE(f.dialogs.messages.size(), 2);
        QCOMPARE(f.dialogs.messages, (QStringList{QStringLiteral("Данный пользователь отсутствует"),
                                                  QStringLiteral("Данный пользователь уже подключен")}));
        // A refused login leaves the link open, and the indicator does nothing then.
        QVERIFY(s.form1()->link().isActive());
        s.form1()->SpeedButton6->click();
        // A round trip over the open link: a new connection asked for by the
        // click would have reached the peer by the time its answer is shown.
        f.dialogs.clear();
        peer.send(QByteArray("\xff\x03", 2));
        QTRY_COMPARE(f.dialogs.messages.size(), 1);
        QCOMPARE(peer.connectionCount(), 2);

        f.dialogs.clear();
        peer.closeClient();
        QTRY_COMPARE(f.dialogs.messages, QStringList{QStringLiteral("Соединение закрыто")});
        QCOMPARE(s.form1()->SpeedButton6->toolTip(), QStringLiteral("Нет соединения"));
        QVERIFY(!s.form1()->SpeedButton3->isEnabled());
        QVERIFY(!s.form1()->SpeedButton8->isEnabled());

        // The indicator reconnects a closed link; the refused operator is not
        // offered to the server again.
        QVERIFY(s.state().Login.isEmpty());
        s.form1()->SpeedButton6->click();
        QTRY_COMPARE(peer.connectionCount(), 3);
        QTRY_COMPARE(peer.received(), Packets::auth(QString(), QString()));
    }

    void serverAddressMustBeADottedIpv4Address_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("named");
        const QString missing = QStringLiteral("Не указан адрес сервера");
        QTest::newRow("empty") << QString() << missing;
        QTest::newRow("blanks") << QStringLiteral("   ") << missing;
        QTest::newRow("host name") << QStringLiteral("server.local") << QStringLiteral("\"server.local\"");
        QTest::newRow("short form") << QStringLiteral("127.1") << QStringLiteral("\"127.1\"");
        QTest::newRow("octet too big") << QStringLiteral("10.0.0.256") << QStringLiteral("\"10.0.0.256\"");
        QTest::newRow("IPv6") << QStringLiteral("::1") << QStringLiteral("\"::1\"");
    }

    void serverAddressMustBeADottedIpv4Address()
    {
        QFETCH(QString, address);
        QFETCH(QString, named);
        TcpPeer peer;
        StationFixture f;
        f.writeConfig("[Connections]\nServer_address=" + address.toUtf8() + "\nServer_port=" + QByteArray::number(peer.port()) + "\n");
        Station &s = f.start();
        logIn(s.form3(), QStringLiteral("Pilot"));
        QCOMPARE(f.dialogs.messages.size(), 1);
        QVERIFY2(f.dialogs.messages.at(0).contains(named), qPrintable(f.dialogs.messages.at(0)));
        QVERIFY(!s.form1()->link().isActive());

        // Saving the settings says so again; a good address then connects.
        TForm2 *settings = s.form2();
        settings->show();
        settings->SpeedButton1->click();
        QCOMPARE(f.dialogs.messages.size(), 2);
        QCOMPARE(f.dialogs.messages.at(1), f.dialogs.messages.at(0));
        settings->Edit1->setText(QStringLiteral(" 127.0.0.1 "));
        settings->SpeedButton1->click();
        QTRY_COMPARE(peer.received(), Packets::auth(QStringLiteral("Pilot"), QStringLiteral("Pilot")));
        QCOMPARE(f.dialogs.messages.size(), 2);
    }

    void savingSettingsReconnects()
    {
        TcpPeer first;
        TcpPeer second;
        StationFixture f;
        f.writeConfig(serverConfig(first.port()));
        Station &s = f.start();
        logIn(s.form3(), QStringLiteral("Pilot"));
        QTRY_COMPARE(first.received().size(), 33);

        TForm2 *settings = s.form2();
        s.form1()->SpeedButton4->click();
        QVERIFY(settings->isVisible());
        settings->Edit2->setText(QString::number(second.port()));
        f.dialogs.clear();
        settings->SpeedButton1->click();
        QCOMPARE(f.dialogs.messages, QStringList{QStringLiteral("Соединение закрыто")});
        QTRY_COMPARE(second.received(), Packets::auth(QStringLiteral("Pilot"), QStringLiteral("Pilot")));
        QCOMPARE(s.state().Server_port, second.port());
        // Saving the same values again still closes and reopens the link.
        f.dialogs.clear();
        settings->SpeedButton1->click();
        QCOMPARE(f.dialogs.messages, QStringList{QStringLiteral("Соединение закрыто")});
        QTRY_COMPARE(second.connectionCount(), 2);
        settings->SpeedButton2->click();
        QVERIFY(!settings->isVisible());
    }

    void statusAndStateReportsAreDecoded()
    {
        TcpPeer peer;
        StationFixture f;
        f.writeConfig(serverConfig(peer.port()));
        Station &s = f.start();
        logIn(s.form3(), QStringLiteral("Pilot"));
        QTRY_VERIFY(peer.client());
        QList<QPair<QString, int>> states;
        QList<quint32> words;
        connect(&s.form1()->link(), &ServerLink::stateReport, this, [&](const QString &imei, quint8 code) { states << qMakePair(imei, int(code)); });
        connect(&s.form1()->link(), &ServerLink::statusReport, this, [&](const QByteArray &, quint32 word) { words << word; });
        const QByteArray state = Packets::state(QStringLiteral("356938035643809"), 101);
        const QByteArray status = QByteArray(1, char(25)) + QByteArray(15, '1') + QByteArray("\x01\x02\x03\x00", 4);
        // A notification split over two reads, then two packets in one read.
        peer.send(state.left(5));
        QTest::qWait(30);
        peer.send(state.mid(5) + status + state);
        QTRY_COMPARE(states.size(), 2);
        QCOMPARE(states.first(), qMakePair(QStringLiteral("356938035643809"), 101));
        QCOMPARE(words, QList<quint32>{0x030201});
    }

    void aBurstIsHandledWholeAndInOrderWithoutFreezing()
    {
        TcpPeer peer;
        StationFixture f;
        f.writeConfig(serverConfig(peer.port()));
        Station &s = f.start();
        logIn(s.form3(), QStringLiteral("Pilot"));
        QTRY_VERIFY(peer.client());
        // Each notification takes a quarter of a millisecond to handle, so the
        // burst takes about a second: the clock must keep ticking meanwhile.
        QList<int> codes;
        connect(&s.form1()->link(), &ServerLink::stateReport, this, [&](const QString &, quint8 code) {
            codes << code;
            QThread::usleep(250);
        });
        QByteArray burst;
        QList<int> sent;
        for (int i = 0; i < 4000; ++i) {
            burst += Packets::state(QStringLiteral("356938035643809"), quint8(i % 251));
            sent << i % 251;
        }
        int ticks = 0;
        QTimer clock;
        connect(&clock, &QTimer::timeout, this, [&] {
            if (!codes.isEmpty() && codes.size() < sent.size())
                ++ticks;
        });
        clock.start(5);
        peer.send(burst);
        QTRY_COMPARE_WITH_TIMEOUT(codes.size(), sent.size(), 20000);
        QCOMPARE(codes, sent);
        QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
    }

    void localUserEditor()
    {
        StationFixture f;
        // The file is in code page 1251, as the station writes it.
        f.writeConfig("[Users]\nCount=5\n[User0]\nLogin=Pilot\nPass=Pilot\n[User1]\nLogin=" + Cp1251::encode(QStringLiteral("Анна"))
                      + "\nPass=1\n[User2]\nLogin=C\nPass=3\n[User3]\nLogin=D\nPass=4\n[User4]\nLogin=E\nPass=5\n");
        Station &s = f.start();
        TForm4 *editor = s.form4();
        editor->show();
        QCOMPARE(editor->StringGrid1->rowCount(), 5);
        QCOMPARE(editor->StringGrid1->item(1, 0)->text(), QStringLiteral("Анна"));
        QCOMPARE(editor->StringGrid1->item(4, 1)->text(), QStringLiteral("5"));

        // Fewer rows than the file held: the count shrinks, old sections stay.
        editor->StringGrid1->setRowCount(3);
        editor->StringGrid1->item(2, 0)->setText(QStringLiteral("Сергей"));
        editor->SpeedButton1->click();
        QByteArray content = f.readConfig();
        QVERIFY(content.contains("Count=3"));
        QVERIFY(content.contains("[User4]"));
        s.form3()->hide();
        s.form3()->show();
        QCOMPARE(s.form3()->ComboBox1->count(), 3);
        QCOMPARE(s.form3()->ComboBox1->itemText(2), QStringLiteral("Сергей"));

        // An added row left empty is saved as a user with empty login and password.
        editor->hide();
        editor->show();
        editor->SpeedButton2->click();
        QCOMPARE(editor->StringGrid1->rowCount(), 4);
        editor->SpeedButton1->click();
        s.form3()->hide();
        s.form3()->show();
        QCOMPARE(s.form3()->ComboBox1->count(), 4);
        QCOMPARE(s.form3()->ComboBox1->itemText(3), QString());
        s.form3()->ComboBox1->setCurrentIndex(3);
        logIn(s.form3(), QString());
        QVERIFY(s.form1()->isVisible());
    }

    void localUserEditorShowsPasswordsOnlyWhenAsked()
    {
        StationFixture f;
        f.writeConfig("[Users]\nCount=2\n[User0]\nLogin=Pilot\nPass=Pilot\n[User1]\nLogin=Anna\nPass=s3cret\n");
        Station &s = f.start();
        TForm4 *editor = s.form4();
        editor->show();
        QTableWidget *grid = editor->StringGrid1;
        // The text the grid paints for a cell.
        const auto shown = [grid](int row, int column) {
            const QModelIndex index = grid->model()->index(row, column);
            const auto *delegate = qobject_cast<QStyledItemDelegate *>(grid->itemDelegateForIndex(index));
            return delegate ? delegate->displayText(index.data(), QLocale()) : QString();
        };
        QCOMPARE(editor->CheckBox1->text(), QStringLiteral("Показать пароли"));
        QVERIFY(!editor->CheckBox1->isChecked());
        QCOMPARE(shown(1, 0), QStringLiteral("Anna"));
        QVERIFY(!shown(1, 1).contains(QStringLiteral("s3cret")));
        QVERIFY(!shown(1, 1).isEmpty());
        // Typing a password does not show it either.
        grid->editItem(grid->item(1, 1));
        auto *box = grid->viewport()->findChild<QLineEdit *>();
        QVERIFY(box);
        QCOMPARE(box->echoMode(), QLineEdit::Password);
        box->setText(QStringLiteral("n3w"));
        QTest::keyClick(box, Qt::Key_Return);
        QTRY_COMPARE(grid->item(1, 1)->text(), QStringLiteral("n3w"));

        editor->CheckBox1->click();
        QCOMPARE(shown(1, 1), QStringLiteral("n3w"));
        QCOMPARE(shown(0, 1), QStringLiteral("Pilot"));
        editor->SpeedButton1->click();
        QVERIFY(f.readConfig().contains("Pass=n3w"));

        // Shown again later, the editor starts with the passwords hidden.
        editor->hide();
        editor->show();
        QVERIFY(!editor->CheckBox1->isChecked());
        QVERIFY(!shown(1, 1).contains(QStringLiteral("n3w")));
    }

    void localUserEditorRefusesWhatTheFileCannotHold()
    {
        StationFixture f;
        f.writeConfig("[Users]\nCount=1\n[User0]\nLogin=Pilot\nPass=Pilot\n");
        Station &s = f.start();
        TForm4 *editor = s.form4();
        editor->show();

        // Config.ini is in code page 1251: a password with "ä" could never match again.
        editor->StringGrid1->item(0, 1)->setText(QStringLiteral("p\u00e4ss"));
        editor->SpeedButton1->click();
        QCOMPARE(f.dialogs.messages.size(), 1);
        QVERIFY(f.dialogs.messages.at(0).contains(QChar(0xe4)));
        QVERIFY(f.readConfig().contains("Pass=Pilot"));
        editor->StringGrid1->item(0, 0)->setText(QStringLiteral("Jos\u00e9"));
        editor->StringGrid1->item(0, 1)->setText(QStringLiteral("Пароль"));
        editor->SpeedButton1->click();
        QCOMPARE(f.dialogs.messages.size(), 2);
        QVERIFY(f.dialogs.messages.at(1).contains(QChar(0xe9)));
        QVERIFY(f.readConfig().contains("Login=Pilot"));

        // The next start reads at most 255 users: a 256th row is refused, not lost later.
        editor->StringGrid1->item(0, 0)->setText(QStringLiteral("Pilot"));
        editor->StringGrid1->item(0, 1)->setText(QStringLiteral("Pilot"));
        for (int n = 1; n < 255; ++n)
            editor->SpeedButton2->click();
        QCOMPARE(editor->StringGrid1->rowCount(), 255);
        QCOMPARE(f.dialogs.messages.size(), 2);
        editor->SpeedButton2->click();
        QCOMPARE(editor->StringGrid1->rowCount(), 255);
        QCOMPARE(f.dialogs.messages.size(), 3);
        editor->SpeedButton1->click();
        QVERIFY(f.readConfig().contains("Count=255"));
    }
};

QTEST_MAIN(TestLoginWindows)
#include "test_login_windows.moc"
