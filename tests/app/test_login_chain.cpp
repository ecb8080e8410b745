#include "Journal.h"
#include "JournalModel.h"
#include "ObjectList.h"
#include "Packets.h"
#include "ServerLink.h"
#include "StateReports.h"
#include "StationFixture.h"
#include "TForm1.h"
#include "TForm2.h"
#include "TForm3.h"
#include "TForm5.h"
#include "TForm6.h"
#include "TForm7.h"
#include "TcpPeer.h"
#include "TestClock.h"
#include "TestDatabase.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QTableView>
#include <QTest>
#include <QToolButton>

namespace {

const QString AuthPassed = QStringLiteral("Аутентификация пройдена");
const QByteArray Accepted("\xff\x01", 2);

QStringList items(const QComboBox *box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}

} // namespace

// The whole login: local login, the server's answer from a TCP peer, the
// database under the operator's own account, the groups and the rights.
class TestLoginChain final : public QObject
{
    Q_OBJECT

private:
    TcpPeer *m_peer = nullptr;
    std::unique_ptr<StationFixture> m_f;

    // Local users as given ("login:password" each), logs in at position with password.
    Station &logIn(const QStringList &users, int position, const QString &password)
    {
        QByteArray config = "[Connections]\nServer_address=127.0.0.1\nServer_port=" + QByteArray::number(m_peer->port())
            + "\nBase_address=127.0.0.1\nBase_port=" + QByteArray::number(TestDatabase::port()) + "\n[Users]\nCount="
            + QByteArray::number(users.size()) + "\n";
        for (int n = 0; n < users.size(); ++n) {
            const QStringList pair = users.at(n).split(QLatin1Char(':'));
            config += "[User" + QByteArray::number(n) + "]\nLogin=" + pair.at(0).toUtf8() + "\nPass=" + pair.at(1).toUtf8() + "\n";
        }
        m_f->writeConfig(config);
        Station &s = m_f->start();
        s.form3()->ComboBox1->setCurrentIndex(position);
        s.form3()->Edit1->setText(password);
        s.form3()->SpeedButton1->click();
        return s;
    }

    bool answer(const QByteArray &bytes)
    {
        if (!QTest::qWaitFor([this] { return m_peer->received().size() == 33; }, 5000))
            return false;
        m_peer->send(bytes);
        return true;
    }

private slots:
    void init()
    {
        QString error;
        QVERIFY2(TestDatabase::seed(QStringLiteral("INSERT INTO orvex_base.`groups`(Name) VALUES ('Центр'),('Север'),('Юг')"), &error),
                 qPrintable(error));
        m_peer = new TcpPeer(this);
        m_f = std::make_unique<StationFixture>();
    }

    void cleanup()
    {
        m_f.reset();
        delete m_peer;
    }

    void administratorGetsAllRights()
    {
        QVERIFY(TestDatabase::addOperator(QStringLiteral("Pilot"), QStringLiteral("Pilot"), true, QStringLiteral("89161234567"),
                                          {QStringLiteral("Центр"), QStringLiteral("Север"), QStringLiteral("Юг")}));
        Station &s = logIn({QStringLiteral("Pilot:Pilot")}, 0, QStringLiteral("Pilot"));
        QVERIFY(answer(Accepted));
        QTRY_COMPARE(m_f->dialogs.messages, QStringList{AuthPassed});
        TForm1 *main = s.form1();
        QVERIFY(s.state().Base_connected);
        QVERIFY(s.state().Full_rights);
        QCOMPARE(items(main->ComboBox1), (QStringList{QStringLiteral("Все"), QStringLiteral("Центр"), QStringLiteral("Север"),
                                                      QStringLiteral("Юг")}));
        QCOMPARE(main->ComboBox1->currentIndex(), 0);
        QVERIFY(main->SpeedButton2->isEnabled());
        QVERIFY(main->SpeedButton3->isEnabled());
        QVERIFY(main->SpeedButton8->isEnabled());
        QCOMPARE(main->rights().Load_User_Number(), QStringLiteral("89161234567"));

        // The link closes: the rights buttons go, the database and the groups stay.
        m_f->dialogs.clear();
        m_peer->closeClient();
        QTRY_COMPARE(m_f->dialogs.messages, QStringList{QStringLiteral("Соединение закрыто")});
        QVERIFY(!main->SpeedButton3->isEnabled());
        QVERIFY(!main->SpeedButton8->isEnabled());
        QVERIFY(main->SpeedButton2->isEnabled()); // the login is Pilot
        QVERIFY(s.state().Base_connected);
        QCOMPARE(main->ComboBox1->count(), 4);
        QCOMPARE(main->rights().Load_User_Number(), QStringLiteral("89161234567"));
    }

    void operatorSeesOnlyTheirGroups()
    {
        QVERIFY(TestDatabase::addOperator(QStringLiteral("Operator"), QStringLiteral("operator1"), false, QString(),
                                          {QStringLiteral("Центр"), QStringLiteral("Север")}));
        Station &s = logIn({QStringLiteral("Pilot:Pilot"), QStringLiteral("Operator:operator1")}, 1, QStringLiteral("operator1"));
        QVERIFY(answer(Accepted));
        QTRY_COMPARE(m_f->dialogs.messages, QStringList{AuthPassed});
        TForm1 *main = s.form1();
        QCOMPARE(items(main->ComboBox1), (QStringList{QStringLiteral("Все"), QStringLiteral("Центр"), QStringLiteral("Север")}));
        QVERIFY(!s.state().Full_rights);
        QVERIFY(!main->SpeedButton2->isEnabled());
        QVERIFY(!main->SpeedButton3->isEnabled());
        QVERIFY(!main->SpeedButton8->isEnabled());
    }

    void pilotRightsDependOnThePosition_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<bool>("editorButton");
        QTest::newRow("position 0") << 0 << true;
        QTest::newRow("position 1") << 1 << false;
    }

    void pilotRightsDependOnThePosition()
    {
        QFETCH(int, position);
        QFETCH(bool, editorButton);
        // Pilot without the administrator right.
        QVERIFY(TestDatabase::addOperator(QStringLiteral("Pilot"), QStringLiteral("Pilot"), false, QString(), {}));
        Station &s = logIn({QStringLiteral("Pilot:Pilot"), QStringLiteral("Pilot:Pilot")}, position, QStringLiteral("Pilot"));
        QVERIFY(answer(Accepted));
        QTRY_COMPARE(m_f->dialogs.messages, QStringList{AuthPassed});
        TForm1 *main = s.form1();
        QCOMPARE(items(main->ComboBox1), QStringList{QStringLiteral("Все")});
        QCOMPARE(main->SpeedButton2->isEnabled(), editorButton);
        QVERIFY(!main->SpeedButton3->isEnabled());
        QVERIFY(!main->SpeedButton8->isEnabled());
        m_peer->closeClient();
        QTRY_VERIFY(m_f->dialogs.messages.contains(QStringLiteral("Соединение закрыто")));
        QCOMPARE(main->SpeedButton2->isEnabled(), editorButton);
    }

    void adminTextMustBeExactlyOne()
    {
        QVERIFY(TestDatabase::addOperator(QStringLiteral("Anna"), QStringLiteral("a"), false, QString(), {}));
        QVERIFY(TestDatabase::exec(QStringLiteral("UPDATE orvex_base.users SET Admin=' 1' WHERE Login='Anna'")));
        Station &s = logIn({QStringLiteral("Anna:a")}, 0, QStringLiteral("a"));
        QVERIFY(answer(Accepted));
        QTRY_COMPARE(m_f->dialogs.messages, QStringList{AuthPassed});
        QVERIFY(!s.state().Full_rights);
        QVERIFY(!s.form1()->SpeedButton8->isEnabled());
    }

    void acceptedLoginWithoutDatabase()
    {
        // The server accepts, but the database refuses this password.
        QVERIFY(TestDatabase::addOperator(QStringLiteral("Pilot"), QStringLiteral("other"), true, QString(), {QStringLiteral("Юг")}));
        Station &s = logIn({QStringLiteral("Pilot:Pilot")}, 0, QStringLiteral("Pilot"));
        s.form1()->ComboBox1->addItem(QStringLiteral("прежний"));
        QVERIFY(answer(Accepted));
        QTRY_COMPARE(m_f->dialogs.messages, QStringList{QStringLiteral("Не удается соединиться с базой данных")});
        QVERIFY(!s.state().Base_connected);
        QCOMPARE(items(s.form1()->ComboBox1), QStringList{QStringLiteral("прежний")});
        QVERIFY(!s.form1()->SpeedButton8->isEnabled());
        // The number falls back to "0" without a message.
        QCOMPARE(s.form1()->rights().Load_User_Number(), QStringLiteral("0"));
        QCOMPARE(m_f->dialogs.messages.size(), 1);
    }

    void refusedAnswersLeaveTheDatabaseAlone()
    {
        Station &s = logIn({QStringLiteral("Ghost:x")}, 0, QStringLiteral("x"));
        QVERIFY(answer(QByteArray("\xff\x02", 2)));
        QTRY_COMPARE(m_f->dialogs.messages, QStringList{QStringLiteral("Данный пользователь отсутствует")});
        m_peer->send(QByteArray("\xff\x03", 2));
        QTRY_COMPARE(m_f->dialogs.messages.size(), 2);
        QCOMPARE(m_f->dialogs.messages.last(), QStringLiteral("Данный пользователь уже подключен"));
        // An answer the station does not know shows nothing: the next known
        // one is the next box.
        m_peer->send(QByteArray("\xff\x04", 2));
        m_peer->send(QByteArray("\xff\x03", 2));
        QTRY_COMPARE(m_f->dialogs.messages.size(), 3);
        QCOMPARE(m_f->dialogs.messages.last(), QStringLiteral("Данный пользователь уже подключен"));
        QVERIFY(!s.state().Base_connected);
        QVERIFY(s.form1()->link().isActive());
    }

    // An administrator hands the station over to another operator whom the
    // server refuses, or who is never answered: nothing of the administrator's
    // session may serve the newcomer.
    void userChangeEndsThePreviousSession_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("message");
        QTest::newRow("no such user") << QByteArray("\xff\x02", 2) << QStringLiteral("Данный пользователь отсутствует");
        QTest::newRow("already connected") << QByteArray("\xff\x03", 2) << QStringLiteral("Данный пользователь уже подключен");
        QTest::newRow("no answer") << QByteArray() << QString();
    }

    void userChangeEndsThePreviousSession()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, message);
        const QString imei = QStringLiteral("356938035643809");
        QVERIFY(TestDatabase::exec(QStringLiteral("INSERT INTO orvex_base.objects(IMEI,Name,Group_,State,Ohrana) "
                                                  "VALUES ('%1','NCR','Юг',101,1);"
                                                  "INSERT INTO orvex_base.messages(IMEI,Date,Type,Event,Group_,User) "
                                                  "VALUES ('%1',NOW(),'Тревога','Вскрытие','Юг','')")
                                       .arg(imei)));
        QVERIFY(TestDatabase::addOperator(QStringLiteral("Pilot"), QStringLiteral("Pilot"), true, QString(), {QStringLiteral("Юг")}));
        QVERIFY(TestDatabase::addOperator(QStringLiteral("Ivan"), QStringLiteral("iv"), false, QString(), {}));
        Station &s = logIn({QStringLiteral("Pilot:Pilot"), QStringLiteral("Ivan:iv")}, 0, QStringLiteral("Pilot"));
        QVERIFY(answer(Accepted));
        QTRY_COMPARE(m_f->dialogs.messages, QStringList{AuthPassed});
        TForm1 *main = s.form1();
        QCOMPARE(main->objects().findEntry(imei), 0);
        main->journal().Load_Messages(imei, false);
        QCOMPARE(main->journal().StringGrid1->model()->rowCount(), 1);
        const QString pilotSessions = QStringLiteral("SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE USER='Pilot'");
        QCOMPARE(TestDatabase::value(pilotSessions), QStringLiteral("1"));

        // The administrator's windows are open when he hands over.
        main->SpeedButton8->click();
        main->SpeedButton3->click();
        s.form6()->show();
        QVERIFY(s.form5()->isVisible() && s.form7()->isVisible() && s.form6()->isVisible());

        main->SpeedButton7->click();
        s.form3()->ComboBox1->setCurrentIndex(1);
        s.form3()->Edit1->setText(QStringLiteral("iv"));
        m_f->dialogs.clear();
        s.form3()->SpeedButton1->click();
        // Nothing of his stays open for the next operator.
        QVERIFY(!s.form5()->isVisible());
        QVERIFY(!s.form7()->isVisible());
        QVERIFY(!s.form6()->isVisible());
        QTRY_COMPARE(m_peer->connectionCount(), 2);
        QTRY_COMPARE(m_peer->received(), Packets::auth(QStringLiteral("Ivan"), QStringLiteral("iv")));
        if (!reply.isEmpty()) {
            m_peer->send(reply);
            QTRY_VERIFY(m_f->dialogs.messages.contains(message));
            // Only an operator the server accepted is the logged-in one.
            QVERIFY(s.state().Login.isEmpty());
            QVERIFY(s.state().Password.isEmpty());
            QCOMPARE(main->windowTitle(), QStringLiteral("Монитор ORVEX"));
        }

        QVERIFY(!s.state().Base_connected);
        QVERIFY(!main->database().isOpen());
        QCOMPARE(TestDatabase::value(pilotSessions), QStringLiteral("0"));
        QVERIFY(!s.state().Full_rights);
        QVERIFY(!main->SpeedButton2->isEnabled());
        QVERIFY(!main->SpeedButton3->isEnabled());
        QVERIFY(!main->SpeedButton8->isEnabled());
        QCOMPARE(main->ComboBox1->count(), 0);
        QCOMPARE(main->objects().OTable->model()->rowCount(), 0);
        QVERIFY(main->journal().model()->isEmpty());
        QVERIFY(s.state().Selected_IMEI.isEmpty());

        // What the station writes now cannot land in the journal under anyone.
        main->reports().Save_Event(imei, QStringLiteral("Выезд группы"));
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT COUNT(*) FROM orvex_base.messages")), QStringLiteral("1"));
    }

    void valuesWithQuotesStayInsideTheirLiterals()
    {
        const QString login = QStringLiteral("O'Neil\\");
        QVERIFY(TestDatabase::addOperator(login, QStringLiteral("pw"), true, QStringLiteral("8'00"),
                                          {QStringLiteral("Группа 'А'"), QStringLiteral("B\\C")}));
        QStringList users{QStringLiteral("x:y")};
        Station &s = logIn(users, 0, QStringLiteral("y"));
        s.state().Login = login;
        s.state().Password = QStringLiteral("pw");
        QVERIFY(answer(Accepted));
        QTRY_COMPARE(m_f->dialogs.messages, QStringList{AuthPassed});
        QCOMPARE(items(s.form1()->ComboBox1), (QStringList{QStringLiteral("Все"), QStringLiteral("Группа 'А'"), QStringLiteral("B\\C")}));
        QVERIFY(s.state().Full_rights);
        QCOMPARE(s.form1()->rights().Load_User_Number(), QStringLiteral("8'00"));
    }

    void repeatedAcceptReconnectsTheDatabase()
    {
        QVERIFY(TestDatabase::addOperator(QStringLiteral("Pilot"), QStringLiteral("Pilot"), true, QString(), {}));
        Station &s = logIn({QStringLiteral("Pilot:Pilot")}, 0, QStringLiteral("Pilot"));
        QVERIFY(answer(Accepted));
        QTRY_COMPARE(m_f->dialogs.messages.size(), 1);
        const unsigned long firstThread = s.form1()->database().connectionId();
        m_peer->send(Accepted);
        QTRY_COMPARE(m_f->dialogs.messages.size(), 2);
        QVERIFY(s.state().Base_connected);
        QVERIFY(s.form1()->database().connectionId() != firstThread);
    }

    void savedSettingsLeadToANewLogin()
    {
        QVERIFY(TestDatabase::addOperator(QStringLiteral("Pilot"), QStringLiteral("Pilot"), true, QString(), {QStringLiteral("Юг")}));
        Station &s = logIn({QStringLiteral("Pilot:Pilot")}, 0, QStringLiteral("Pilot"));
        // The first server takes the login and never answers.
        QTRY_COMPARE(m_peer->received().size(), 33);

        TcpPeer second;
        s.form2()->show();
        s.form2()->Edit2->setText(QString::number(second.port()));
        m_f->dialogs.clear();
        s.form2()->SpeedButton1->click();
        QTRY_COMPARE(second.received().size(), 33);
        second.send(Accepted);
        QTRY_COMPARE(m_f->dialogs.messages, (QStringList{QStringLiteral("Соединение закрыто"), AuthPassed}));
        QCOMPARE(s.form1()->ComboBox1->count(), 2);
        QVERIFY(s.form1()->SpeedButton8->isEnabled());
    }

    void databaseStateIsShownBesideTheLink()
    {
        QVERIFY(TestDatabase::addOperator(QStringLiteral("Pilot"), QStringLiteral("Pilot"), true, QString(), {}));
        Station &s = logIn({QStringLiteral("Pilot:Pilot")}, 0, QStringLiteral("Pilot"));
        QCOMPARE(s.form1()->LBASE->toolTip(), QStringLiteral("Нет соединения с базой данных"));
        QVERIFY(answer(Accepted));
        QTRY_COMPARE(m_f->dialogs.messages.size(), 1);
        QCOMPARE(s.form1()->LBASE->toolTip(), QStringLiteral("База данных подключена"));
        // The account cannot log in again after its session is killed: the
        // next statement finds the database gone, and the next tick shows it.
        QVERIFY(TestDatabase::exec(QStringLiteral("ALTER USER 'Pilot'@'%' ACCOUNT LOCK")));
        QVERIFY(TestDatabase::exec(QStringLiteral("KILL %1").arg(s.database().connectionId())));
        QVERIFY(!s.form1()->rights().Load_User_Groups());
        QVERIFY(TestClock::fire(s.form1()->Timer1));
        QCOMPARE(s.form1()->LBASE->toolTip(), QStringLiteral("Нет соединения с базой данных"));
        // Back: the station looks for it by itself, logs in again and the
        // indicator follows.
        QVERIFY(TestDatabase::exec(QStringLiteral("ALTER USER 'Pilot'@'%' ACCOUNT UNLOCK")));
        s.form1()->setBaseRetryInterval(50);
        QTRY_COMPARE(s.form1()->LBASE->toolTip(), QStringLiteral("База данных подключена"));
        QVERIFY(s.state().Base_connected);
    }

    void keepAliveBringsAKilledSessionBack()
    {
        QVERIFY(TestDatabase::addOperator(QStringLiteral("Pilot"), QStringLiteral("Pilot"), true, QString(), {QStringLiteral("Юг")}));
        Station &s = logIn({QStringLiteral("Pilot:Pilot")}, 0, QStringLiteral("Pilot"));
        QVERIFY(answer(Accepted));
        QTRY_COMPARE(m_f->dialogs.messages.size(), 1);
        // The operator's session is killed by the server: the keep-alive finds
        // it and logs in again under the same account, silently.
        const unsigned long id = s.form1()->database().connectionId();
        QVERIFY(TestDatabase::exec(QStringLiteral("KILL ") + QString::number(id)));
        s.state().Tick_count = 301;
        QVERIFY(TestClock::fire(s.form1()->Timer1));
        QCOMPARE(s.state().Tick_count, quint16(0));
        QVERIFY(s.state().Base_connected);
        QVERIFY(s.form1()->database().connectionId() != id);
        QCOMPARE(m_f->dialogs.messages.size(), 1);
        QCOMPARE(s.form1()->rights().Load_User_Groups(), (QStringList{QStringLiteral("Все"), QStringLiteral("Юг")}));
        QCOMPARE(m_f->dialogs.messages.size(), 1);
    }
};

QTEST_MAIN(TestLoginChain)
#include "test_login_chain.moc"
