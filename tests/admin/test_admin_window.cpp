#include "AdminSql.h"
#include "Database.h"
#include "RecordingDialogs.h"
#include "StationState.h"
#include "TForm5.h"
#include "TestDatabase.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QtTest>

#include <mysql.h>

#include <memory>

namespace {

const QString Added = QStringLiteral("Пользователь добавлен");
const QString Exists = QStringLiteral("Пользователь с таким логином уже существует");

// A connection under an operator's own account, as that operator's station
// would open it: proves the account and its password.
class Session
{
public:
    Session(const QString &login, const QString &password)
    {
        m_mysql = mysql_init(nullptr);
        const unsigned int timeout = 10;
        mysql_options(m_mysql, MYSQL_SET_CHARSET_NAME, "utf8mb4");
        mysql_options(m_mysql, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
        m_open = mysql_real_connect(m_mysql, "127.0.0.1", login.toUtf8().constData(), password.toUtf8().constData(),
                                    "orvex_base", TestDatabase::port(), nullptr, 0)
            != nullptr;
    }
    ~Session() { mysql_close(m_mysql); }
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    bool isOpen() const { return m_open; }
    QString error() const { return QString::fromUtf8(mysql_error(m_mysql)); }
    bool run(const QString &sql)
    {
        const QByteArray text = sql.toUtf8();
        if (mysql_real_query(m_mysql, text.constData(), static_cast<unsigned long>(text.size())) != 0)
            return false;
        if (MYSQL_RES *result = mysql_store_result(m_mysql))
            mysql_free_result(result);
        return mysql_errno(m_mysql) == 0;
    }

private:
    MYSQL *m_mysql = nullptr;
    bool m_open = false;
};

bool canLogIn(const QString &login, const QString &password)
{
    return Session(login, password).isOpen();
}

QStringList column(const QTableWidget *grid, int index)
{
    QStringList texts;
    for (int row = 0; row < grid->rowCount(); ++row)
        texts << (grid->item(row, index) ? grid->item(row, index)->text() : QStringLiteral("<none>"));
    return texts;
}

int rowOf(const QTableWidget *grid, const QString &text, int index = 0)
{
    return int(column(grid, index).indexOf(text));
}

QStringList accounts(const QString &login)
{
    QStringList hosts;
    for (const QStringList &row : TestDatabase::rows(
             QStringLiteral("SELECT Host FROM mysql.user WHERE User='%1'").arg(QString(login).replace(QLatin1Char('\''), QStringLiteral("''")))))
        hosts << row.value(0);
    return hosts;
}

} // namespace

// The database administration window driven through its controls against the
// private server, logged in as an administrator whose own account may create
// accounts and pass the station's grants on.
class TestAdminWindow final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<StationState> m_state;
    std::unique_ptr<RecordingDialogs> m_dialogs;
    std::unique_ptr<Database> m_database;
    std::unique_ptr<TForm5> m_form;

    void logIn(const QString &login, const QString &password)
    {
        m_state->Login = login;
        m_state->Password = password;
        m_state->Base_address = QStringLiteral("127.0.0.1");
        m_state->Base_port = TestDatabase::port();
        QVERIFY2(m_database->Connect_Base(QStringLiteral("orvex_base")), qPrintable(m_database->errorText()));
    }

    void openTab(int index)
    {
        m_form->show();
        if (m_form->PageControl1->currentIndex() == index)
            m_form->PageControl1->setCurrentIndex(index == 0 ? 1 : 0);
        m_dialogs->clear();
        m_form->PageControl1->setCurrentIndex(index);
    }

    static void seed(const QString &sql)
    {
        QString error;
        QVERIFY2(TestDatabase::exec(sql, &error), qPrintable(error));
    }

    // Fills the operator fields and ticks the named groups.
    void typeOperator(const QString &login, const QString &password, const QString &host, bool admin,
                      const QStringList &groups = {})
    {
        m_form->Edit12->setText(login);
        m_form->Edit13->setText(password);
        m_form->Edit14->setText(host);
        m_form->Edit15->setText(QStringLiteral("89160000002"));
        m_form->RzCheckBox1->setChecked(admin);
        for (int i = 0; i < m_form->RzCheckList1->count(); ++i) {
            QListWidgetItem *item = m_form->RzCheckList1->item(i);
            item->setCheckState(groups.contains(item->text()) ? Qt::Checked : Qt::Unchecked);
        }
    }

    QStringList ticked() const
    {
        QStringList names;
        for (int i = 0; i < m_form->RzCheckList1->count(); ++i) {
            if (m_form->RzCheckList1->item(i)->checkState() == Qt::Checked)
                names << m_form->RzCheckList1->item(i)->text();
        }
        return names;
    }

    void selectOperator(const QString &login)
    {
        const int row = rowOf(m_form->StringGrid3, login);
        QVERIFY2(row >= 0, qPrintable(login));
        // A reload may leave the same cell current; selecting it again is a click.
        m_form->StringGrid3->setCurrentCell(-1, -1);
        m_form->StringGrid3->setCurrentCell(row, 0);
    }

private slots:
    void init()
    {
        QString error;
        QVERIFY2(TestDatabase::reset(&error), qPrintable(error));
        QVERIFY2(TestDatabase::addOperator(QStringLiteral("Pilot"), QStringLiteral("Pilot"), true, QString(), {}, &error),
                 qPrintable(error));
        QVERIFY2(TestDatabase::allowAccountAdministration(QStringLiteral("Pilot"), &error), qPrintable(error));
        m_state = std::make_unique<StationState>();
        m_dialogs = std::make_unique<RecordingDialogs>();
        m_state->dialogs = m_dialogs.get();
        m_database = std::make_unique<Database>(*m_state);
        m_form = std::make_unique<TForm5>(*m_state, *m_database);
        logIn(QStringLiteral("Pilot"), QStringLiteral("Pilot"));
    }

    void cleanup()
    {
        m_form.reset();
        m_database.reset();
        m_dialogs.reset();
        m_state.reset();
    }

    void groupLinesSplitEveryLineEnd_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("empty") << QString() << QStringList();
        QTest::newRow("line feeds") << QStringLiteral("A\nB\n") << QStringList{QStringLiteral("A"), QStringLiteral("B")};
        QTest::newRow("no final break") << QStringLiteral("A\nB") << QStringList{QStringLiteral("A"), QStringLiteral("B")};
        QTest::newRow("CR LF counts once") << QStringLiteral("A\r\nB\r\n") << QStringList{QStringLiteral("A"), QStringLiteral("B")};
        QTest::newRow("lone CR") << QStringLiteral("A\rB") << QStringList{QStringLiteral("A"), QStringLiteral("B")};
        QTest::newRow("empty line inside stays") << QStringLiteral("A\n\nB\n")
                                                 << QStringList{QStringLiteral("A"), QString(), QStringLiteral("B")};
        QTest::newRow("blanks count") << QStringLiteral(" A\n") << QStringList{QStringLiteral(" A")};
    }

    void groupLinesSplitEveryLineEnd()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, lines);
        QCOMPARE(AdminSql::groupLines(text), lines);
    }

    void windowOpensOnTheGroupTabAndReloadsOnEveryShowing()
    {
        QCOMPARE(m_form->windowTitle(), QStringLiteral("Настройка базы данных"));
        QStringList captions;
        for (int i = 0; i < m_form->PageControl1->count(); ++i)
            captions << m_form->PageControl1->tabText(i);
        QCOMPARE(captions, QStringList({QStringLiteral("Редактор групп"), QStringLiteral("Объекты"),
                                        QStringLiteral("Пользователи"), QStringLiteral("Текст. сообщения"),
                                        QStringLiteral("Определение ключей"), QStringLiteral("Настройка событий")}));
        QCOMPARE(m_form->Label2->text(), QStringLiteral("0"));
        seed(QStringLiteral("INSERT INTO orvex_base.groups VALUES ('Север'),('Юг')"));
        m_form->show();
        QCOMPARE(m_form->PageControl1->currentIndex(), 0);
        QCOMPARE(m_form->Label2->text(), QStringLiteral("2"));
        // Another station's change shows at the next showing, not before.
        seed(QStringLiteral("INSERT INTO orvex_base.groups VALUES ('Центр')"));
        QCOMPARE(m_form->Label2->text(), QStringLiteral("2"));
        m_form->close();
        QVERIFY(!m_form->isVisible());
        m_form->show();
        QCOMPARE(m_form->Label2->text(), QStringLiteral("3"));
        QVERIFY(m_dialogs->messages.isEmpty());
    }

    void groupsAreAddedAndDeleted()
    {
        openTab(0);
        QCOMPARE(column(m_form->StringGrid1, 0), QStringList{QString()});
        QCOMPARE(m_form->Label2->text(), QStringLiteral("0"));

        // Enter in the empty field acts as the button does.
        QTest::keyClick(m_form->Edit1, Qt::Key_Return);
        QCOMPARE(m_dialogs->messages, QStringList{QStringLiteral("Введите название группы")});

        m_form->Edit1->setText(QStringLiteral("Север"));
        m_form->SpeedButton1->click();
        m_form->Edit1->setText(QStringLiteral("O'Brien \\ & <b>"));
        QTest::keyClick(m_form->Edit1, Qt::Key_Return);
        QCOMPARE(m_form->Edit1->text(), QStringLiteral("O'Brien \\ & <b>"));
        QCOMPARE(TestDatabase::rows(QStringLiteral("SELECT Name FROM orvex_base.groups WHERE Name='O''Brien \\\\ & <b>'")).size(), 1);
        QCOMPARE(m_form->Label2->text(), QStringLiteral("2"));
        QVERIFY(column(m_form->StringGrid1, 0).contains(QStringLiteral("O'Brien \\ & <b>")));

        m_dialogs->clear();
        m_form->Edit1->setText(QStringLiteral("Север"));
        m_form->SpeedButton1->click();
        QCOMPARE(m_dialogs->messages, QStringList{QStringLiteral("Ошибка при добавлении данных")});
        QCOMPARE(m_form->Label2->text(), QStringLiteral("2"));

        // A character the tables cannot hold is named, and nothing is sent.
        m_dialogs->clear();
        m_form->Edit1->setText(QStringLiteral("Зона \U0001F512"));
        m_form->SpeedButton1->click();
        QCOMPARE(m_dialogs->messages.size(), 1);
        QVERIFY(m_dialogs->messages.first().contains(QStringLiteral("\U0001F512")));
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT COUNT(*) FROM orvex_base.groups")), QStringLiteral("2"));

        // Deleting a group leaves the objects that name it as they are.
        seed(QStringLiteral("INSERT INTO orvex_base.objects(IMEI,Group_) VALUES ('351234567890123','Север')"));
        m_dialogs->clear();
        m_form->StringGrid1->setCurrentCell(rowOf(m_form->StringGrid1, QStringLiteral("Север")), 0);
        m_form->SpeedButton2->click();
        m_form->StringGrid1->setCurrentCell(0, 0);
        m_form->SpeedButton2->click();
        QCOMPARE(m_form->Label2->text(), QStringLiteral("0"));
        QCOMPARE(column(m_form->StringGrid1, 0), QStringList{QString()});
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT Group_ FROM orvex_base.objects")), QStringLiteral("Север"));
        // The empty list's row deletes nothing and says nothing.
        m_form->SpeedButton2->click();
        QVERIFY(m_dialogs->messages.isEmpty());
    }

    void objectsAreShownAndSaved()
    {
        seed(QStringLiteral(
            "INSERT INTO orvex_base.groups VALUES ('Север'),('Юг');"
            "INSERT INTO orvex_base.objects(IMEI,Name,Number1,Number2,Owner,Num_owner,Address,Addr_,Timeout,Group_) VALUES "
            "('351234567890123','NCR 22','89031234567','89037654321','Иванов','89160000001','Тверская, 1','холл','15','Юг'),"
            "('351234567890124','Wincor','','','Петров','','Арбат, 2','','30','Удалённая')"));
        openTab(1);
        QCOMPARE(m_form->Label4->text(), QStringLiteral("2"));
        // In the server's order, whatever it is.
        QStringList imeis;
        for (const QStringList &row : TestDatabase::rows(QStringLiteral("SELECT IMEI FROM orvex_base.objects")))
            imeis << row.value(0);
        QCOMPARE(column(m_form->StringGrid2, 0), imeis);
        const int first = rowOf(m_form->StringGrid2, QStringLiteral("351234567890123"));
        const int second = 1 - first;
        // The first row's object is in the fields without a click, its group too.
        m_form->StringGrid2->setCurrentCell(first, 0);
        m_form->StringGrid2->setCurrentCell(second, 0);
        const QStringList shown = {m_form->Edit2->text(), m_form->Memo1->toPlainText(), m_form->Edit8->text(),
                                   m_form->GroupBox->currentText()};
        openTab(1);
        const QStringList ncr = {QStringLiteral("NCR 22"), QStringLiteral("Тверская, 1"), QStringLiteral("15"),
                                 QStringLiteral("Юг")};
        // A group that is not in the list is shown as stored.
        const QStringList wincor = {QStringLiteral("Wincor"), QStringLiteral("Арбат, 2"), QStringLiteral("30"),
                                    QStringLiteral("Удалённая")};
        QCOMPARE(shown, wincor);
        QCOMPARE(QStringList({m_form->Edit2->text(), m_form->Memo1->toPlainText(), m_form->Edit8->text(),
                              m_form->GroupBox->currentText()}),
                 first == 0 ? ncr : wincor);
        QCOMPARE(m_form->GroupBox->count(), 2);

        m_form->StringGrid2->setCurrentCell(-1, -1);
        m_form->StringGrid2->setCurrentCell(second, 0);
        QCOMPARE(m_form->Edit5->text(), QStringLiteral("Петров"));

        m_form->Edit5->setText(QStringLiteral("О'Нил \\ \"Ко\""));
        m_form->Memo1->setPlainText(QStringLiteral("Арбат, 2\nвход со двора"));
        m_form->GroupBox->setEditText(QString());
        m_form->SpeedButton3->click();
        QCOMPARE(m_dialogs->messages, QStringList{QStringLiteral("Данные обновлены")});
        QCOMPARE(TestDatabase::rows(QStringLiteral("SELECT Owner,Address,Group_,Timeout FROM orvex_base.objects "
                                                   "WHERE IMEI='351234567890124'")),
                 QList<QStringList>({{QStringLiteral("О'Нил \\ \"Ко\""), QStringLiteral("Арбат, 2\nвход со двора"),
                                      QString(), QStringLiteral("30")}}));

        // The memo has no limit of its own; the column's is kept.
        m_form->Memo1->setPlainText(QString(120, QLatin1Char('a')));
        QCOMPARE(m_form->Memo1->toPlainText().size(), 100);
        m_form->Memo1->setPlainText(QStringLiteral("Арбат, 2\nвход со двора"));

        // A polling period the column cannot take: the server refuses, nothing changes.
        m_dialogs->clear();
        m_form->Edit8->setText(QStringLiteral("полчаса"));
        m_form->Edit5->setText(QStringLiteral("Сидоров"));
        m_form->SpeedButton3->click();
        QCOMPARE(m_dialogs->messages, QStringList{QStringLiteral("Некорректные данные, проверьте правильность ввода")});
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT Owner FROM orvex_base.objects WHERE IMEI='351234567890124'")),
                 QStringLiteral("О'Нил \\ \"Ко\""));

        // An object removed by another writer since the list was read shows
        // empty fields, not the previous object's values.
        seed(QStringLiteral("DELETE FROM orvex_base.objects WHERE IMEI='351234567890123'"));
        m_dialogs->clear();
        m_form->StringGrid2->setCurrentCell(first, 0);
        QVERIFY(m_dialogs->messages.isEmpty());
        QCOMPARE(m_form->Edit2->text(), QString());
        QCOMPARE(m_form->Edit5->text(), QString());
        QCOMPARE(m_form->GroupBox->currentText(), QString());
    }

    void operatorIsCreatedWithItsAccount_data()
    {
        QTest::addColumn<QString>("login");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("admin");
        QTest::newRow("operator, quote and backslash") << QStringLiteral("smena") << QStringLiteral("p'w\\1") << false;
        QTest::newRow("administrator, quote in login") << QStringLiteral("O'Hara") << QStringLiteral("\\'\"x") << true;
        QTest::newRow("cyrillic") << QStringLiteral("Дежурный") << QStringLiteral("пароль") << false;
    }

    void operatorIsCreatedWithItsAccount()
    {
        QFETCH(QString, login);
        QFETCH(QString, password);
        QFETCH(bool, admin);
        seed(QStringLiteral("INSERT INTO orvex_base.groups VALUES ('B'),('A'),('C');"
                            "INSERT INTO orvex_base.objects(IMEI) VALUES ('351234567890123')"));
        openTab(2);
        QCOMPARE(m_form->Label15->text(), QStringLiteral("1"));
        typeOperator(login, password, QStringLiteral("%"), admin, {QStringLiteral("A"), QStringLiteral("B")});
        m_form->SpeedButton5->click();
        QCOMPARE(m_dialogs->messages, QStringList{Added});
        QCOMPARE(m_form->Label15->text(), QStringLiteral("2"));
        QVERIFY(ticked().isEmpty());

        // Ticked groups in the list's order, each ended by a line feed.
        QCOMPARE(TestDatabase::rows(QStringLiteral("SELECT Pass,Host,Admin,Number,Groups FROM orvex_base.users WHERE Login<>'Pilot'")),
                 QList<QStringList>({{password, QStringLiteral("%"), admin ? QStringLiteral("1") : QStringLiteral("0"),
                                      QStringLiteral("89160000002"), QStringLiteral("A\nB\n")}}));
        QVERIFY(!canLogIn(login, password + QLatin1Char('x')));
        Session session(login, password);
        QVERIFY2(session.isOpen(), qPrintable(session.error()));

        // What every station needs.
        QVERIFY(session.run(QStringLiteral("SELECT * FROM orvex_base.users")));
        QVERIFY(session.run(QStringLiteral("UPDATE orvex_base.objects SET State='2' WHERE IMEI='351234567890123'")));
        QVERIFY(session.run(QStringLiteral("INSERT INTO orvex_base.messages(IMEI,Date,Type,Event,Group_,User)  "
                                           "VALUES('351234567890123','2011-09-01 09:05:07','Событие','x','A','y')")));
        // The editors' writes only for an administrator.
        QCOMPARE(session.run(QStringLiteral("UPDATE orvex_base.users SET Admin='1' WHERE Login='Pilot'")), admin);
        QCOMPARE(session.run(QStringLiteral("DELETE FROM orvex_base.groups WHERE Name='C'")), admin);
        // Nobody's station alters the schema or the server's own accounts.
        QVERIFY(!session.run(QStringLiteral("CREATE TABLE orvex_base.o_1 (Date DATETIME)")));
        QVERIFY(!session.run(QStringLiteral("DROP TABLE orvex_base.messages")));
        QVERIFY(!session.run(QStringLiteral("SELECT * FROM mysql.user")));
        QVERIFY(!session.run(QStringLiteral("CREATE USER 'x'@'%'")));
    }

    void creationRefusalsSayWhyAndLeaveNoAccount()
    {
        openTab(2);
        typeOperator(QStringLiteral("smena"), QStringLiteral("one"), QStringLiteral("%"), false);
        m_form->SpeedButton5->click();
        QCOMPARE(m_dialogs->messages, QStringList{Added});

        // The same account again.
        m_dialogs->clear();
        m_form->Edit13->setText(QStringLiteral("two"));
        m_form->SpeedButton5->click();
        QCOMPARE(m_dialogs->messages, QStringList{Exists});
        QVERIFY(canLogIn(QStringLiteral("smena"), QStringLiteral("one")));
        QCOMPARE(m_form->Label15->text(), QStringLiteral("2"));

        // Another host is another account, but the login already has its row:
        // the account made for it goes again.
        m_dialogs->clear();
        m_form->Edit14->setText(QStringLiteral("127.0.0.1"));
        m_form->SpeedButton5->click();
        QCOMPARE(m_dialogs->messages, QStringList{QStringLiteral("Не удалось создать пользователя")});
        QCOMPARE(accounts(QStringLiteral("smena")), QStringList{QStringLiteral("%")});
        QCOMPARE(m_form->Edit12->text(), QStringLiteral("smena"));

        // No anonymous account: it would let anyone in under any name.
        m_dialogs->clear();
        m_form->Edit12->clear();
        m_form->Edit14->setText(QStringLiteral("localhost"));
        m_form->SpeedButton5->click();
        QCOMPARE(m_dialogs->messages, QStringList{QStringLiteral("Введите логин пользователя")});
        QVERIFY(accounts(QString()).isEmpty());

        // A character the users table cannot hold is named before any account exists.
        m_dialogs->clear();
        m_form->Edit12->setText(QStringLiteral("smena2"));
        m_form->Edit13->setText(QStringLiteral("pw€中"));
        m_form->SpeedButton5->click();
        QCOMPARE(m_dialogs->messages.size(), 1);
        QVERIFY2(m_dialogs->messages.first().contains(QStringLiteral("中")), qPrintable(m_dialogs->messages.first()));
        QVERIFY(accounts(QStringLiteral("smena2")).isEmpty());
    }

    void creationByAnAdministratorWithoutAccountRights()
    {
        QString error;
        // Rights for the station, but no right to create accounts.
        QVERIFY2(TestDatabase::addOperator(QStringLiteral("Anna"), QStringLiteral("a"), true, QString(), {}, &error),
                 qPrintable(error));
        logIn(QStringLiteral("Anna"), QStringLiteral("a"));
        openTab(2);
        typeOperator(QStringLiteral("smena"), QStringLiteral("one"), QStringLiteral("%"), false);
        m_form->SpeedButton5->click();
        QCOMPARE(m_dialogs->messages.size(), 1);
        QVERIFY2(m_dialogs->messages.first() != Exists, qPrintable(m_dialogs->messages.first()));
        QVERIFY2(m_dialogs->messages.first().contains(QStringLiteral("CREATE USER")), qPrintable(m_dialogs->messages.first()));
        QVERIFY(accounts(QStringLiteral("smena")).isEmpty());

        // May create accounts but not pass the grants on: the account goes
        // again and the server's reason is shown, not "added".
        QVERIFY2(TestDatabase::exec(QStringLiteral("GRANT CREATE USER ON *.* TO 'Anna'@'%'"), &error), qPrintable(error));
        logIn(QStringLiteral("Anna"), QStringLiteral("a"));
        m_dialogs->clear();
        m_form->SpeedButton5->click();
        QCOMPARE(m_dialogs->messages.size(), 1);
        QVERIFY2(m_dialogs->messages.first() != Added && m_dialogs->messages.first() != Exists,
                 qPrintable(m_dialogs->messages.first()));
        QVERIFY(accounts(QStringLiteral("smena")).isEmpty());
        QVERIFY(TestDatabase::rows(QStringLiteral("SELECT Login FROM orvex_base.users WHERE Login='smena'")).isEmpty());
    }

    void rewriteKeepsTheAccountInStep()
    {
        seed(QStringLiteral("INSERT INTO orvex_base.groups VALUES ('A'),('B')"));
        openTab(2);
        typeOperator(QStringLiteral("smena"), QStringLiteral("one"), QStringLiteral("%"), false, {QStringLiteral("A")});
        m_form->SpeedButton5->click();
        selectOperator(QStringLiteral("smena"));
        QCOMPARE(ticked(), QStringList{QStringLiteral("A")});

        m_dialogs->clear();
        m_form->Edit13->setText(QStringLiteral("n'e\\w"));
        m_form->RzCheckList1->item(1)->setCheckState(Qt::Checked);
        m_form->SpeedButton7->click();
        QVERIFY(m_dialogs->messages.isEmpty());
        QVERIFY(canLogIn(QStringLiteral("smena"), QStringLiteral("n'e\\w")));
        QVERIFY(!canLogIn(QStringLiteral("smena"), QStringLiteral("one")));
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT Groups FROM orvex_base.users WHERE Login='smena'")),
                 QStringLiteral("A\nB\n"));
        QVERIFY(ticked().isEmpty());

        // A new host renames the account; the administrator box grants and
        // takes back the editors' writes.
        selectOperator(QStringLiteral("smena"));
        m_form->Edit14->setText(QStringLiteral("127.0.0.1"));
        m_form->RzCheckBox1->setChecked(true);
        m_form->SpeedButton7->click();
        QVERIFY(m_dialogs->messages.isEmpty());
        QCOMPARE(accounts(QStringLiteral("smena")), QStringList{QStringLiteral("127.0.0.1")});
        {
            Session session(QStringLiteral("smena"), QStringLiteral("n'e\\w"));
            QVERIFY2(session.isOpen(), qPrintable(session.error()));
            QVERIFY(session.run(QStringLiteral("UPDATE orvex_base.users SET Number='1' WHERE Login='smena'")));
        }
        selectOperator(QStringLiteral("smena"));
        QVERIFY(m_form->RzCheckBox1->isChecked());
        m_form->RzCheckBox1->setChecked(false);
        m_form->SpeedButton7->click();
        {
            Session session(QStringLiteral("smena"), QStringLiteral("n'e\\w"));
            QVERIFY(!session.run(QStringLiteral("UPDATE orvex_base.users SET Admin='1' WHERE Login='smena'")));
            QVERIFY(session.run(QStringLiteral("SELECT * FROM orvex_base.users")));
        }
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT Admin FROM orvex_base.users WHERE Login='smena'")),
                 QStringLiteral("0"));

        // A login that names no row changes nothing and says nothing.
        m_form->Edit12->setText(QStringLiteral("nobody"));
        m_form->SpeedButton7->click();
        QVERIFY(m_dialogs->messages.isEmpty());
        QVERIFY(accounts(QStringLiteral("nobody")).isEmpty());
    }

    void refusedRewriteLeavesRowAndAccount()
    {
        QString error;
        QVERIFY2(TestDatabase::addOperator(QStringLiteral("smena"), QStringLiteral("one"), false, QString(), {}, &error),
                 qPrintable(error));
        QVERIFY2(TestDatabase::addOperator(QStringLiteral("Anna"), QStringLiteral("a"), true, QString(), {}, &error),
                 qPrintable(error));
        logIn(QStringLiteral("Anna"), QStringLiteral("a"));
        openTab(2);
        selectOperator(QStringLiteral("smena"));
        m_form->Edit13->setText(QStringLiteral("two"));
        m_form->SpeedButton7->click();
        QCOMPARE(m_dialogs->messages.size(), 1);
        QVERIFY(m_dialogs->messages.first().contains(QStringLiteral("denied"), Qt::CaseInsensitive));
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT Pass FROM orvex_base.users WHERE Login='smena'")),
                 QStringLiteral("one"));
        QVERIFY(canLogIn(QStringLiteral("smena"), QStringLiteral("one")));
    }

    void groupsTextAndFlagOfAStoredRow()
    {
        seed(QStringLiteral("INSERT INTO orvex_base.groups VALUES ('A'),('B'),('a');"
                            "INSERT INTO orvex_base.users VALUES ('x','p','%',' 1','','A\\r\\nGone\\nB'),"
                            "('y','p','%','1','','')"));
        openTab(2);
        QCOMPARE(m_form->StringGrid3->horizontalHeaderItem(5)->text(), QStringLiteral("Группы"));
        selectOperator(QStringLiteral("y"));
        QVERIFY(m_form->RzCheckBox1->isChecked());
        QVERIFY(ticked().isEmpty());
        selectOperator(QStringLiteral("x"));
        QCOMPARE(ticked(), QStringList({QStringLiteral("A"), QStringLiteral("B")}));
        QVERIFY(!m_form->RzCheckBox1->isChecked());
        QCOMPARE(m_form->Edit13->text(), QStringLiteral("p"));
        // Rewriting drops the name of the group that is gone.
        m_form->SpeedButton7->click();
        QCOMPARE(TestDatabase::rows(QStringLiteral("SELECT Admin,Groups FROM orvex_base.users WHERE Login='x'")),
                 QList<QStringList>({{QStringLiteral("0"), QStringLiteral("A\nB\n")}}));
    }

    void deleteRemovesRowAndAccount()
    {
        openTab(2);
        typeOperator(QStringLiteral("smena"), QStringLiteral("one"), QStringLiteral("%"), false);
        m_form->SpeedButton5->click();
        selectOperator(QStringLiteral("smena"));
        // The row's account goes, whatever the field says by now.
        m_form->Edit12->setText(QStringLiteral("Pilot"));
        m_dialogs->clear();
        m_form->SpeedButton6->click();
        QCOMPARE(m_dialogs->messages, QStringList{QStringLiteral("Пользователь удален")});
        QVERIFY(!canLogIn(QStringLiteral("smena"), QStringLiteral("one")));
        QCOMPARE(column(m_form->StringGrid3, 0), QStringList{QStringLiteral("Pilot")});
        QVERIFY(canLogIn(QStringLiteral("Pilot"), QStringLiteral("Pilot")));
    }

    void cannedTexts()
    {
        openTab(3);
        QCOMPARE(column(m_form->StringGrid4, 0), QStringList{QString()});
        QTest::keyClick(m_form->Edit9, Qt::Key_Return);
        QCOMPARE(m_dialogs->messages, QStringList{QStringLiteral("Введите сообщение")});
        m_dialogs->clear();
        m_form->Edit9->setText(QStringLiteral("Выезд 'ГБР'"));
        QTest::keyClick(m_form->Edit9, Qt::Key_Return);
        QCOMPARE(column(m_form->StringGrid4, 0), QStringList{QStringLiteral("Выезд 'ГБР'")});
        m_form->SpeedButton8->click();
        QCOMPARE(m_dialogs->messages, QStringList{QStringLiteral("Ошибка при добавлении данных")});
        m_dialogs->clear();
        m_form->StringGrid4->setCurrentCell(0, 0);
        m_form->SpeedButton9->click();
        QVERIFY(m_dialogs->messages.isEmpty());
        QCOMPARE(column(m_form->StringGrid4, 0), QStringList{QString()});
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT COUNT(*) FROM orvex_base.text_mes")), QStringLiteral("0"));
    }

    void keys()
    {
        openTab(4);
        QCOMPARE(m_form->StringGrid5->horizontalHeaderItem(0)->text(), QStringLiteral("Код ключа"));
        QCOMPARE(m_form->StringGrid5->rowCount(), 1);
        m_form->Edit10->setText(QStringLiteral("A1B2"));
        m_form->SpeedButton10->click();
        m_form->Edit10->clear();
        m_form->Edit11->setText(QStringLiteral("Петров"));
        QTest::keyClick(m_form->Edit11, Qt::Key_Return);
        QCOMPARE(m_dialogs->messages, QStringList(2, QStringLiteral("Введите данные")));
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT COUNT(*) FROM orvex_base.key_owner")), QStringLiteral("0"));

        m_dialogs->clear();
        m_form->Edit10->setText(QStringLiteral("A1B2"));
        QTest::keyClick(m_form->Edit11, Qt::Key_Return);
        m_form->Edit10->setText(QStringLiteral("C'3"));
        m_form->Edit11->setText(QStringLiteral("О'Нил"));
        QTest::keyClick(m_form->Edit10, Qt::Key_Return);
        QVERIFY(m_dialogs->messages.isEmpty());
        QCOMPARE(m_form->StringGrid5->rowCount(), 2);
        const int row = rowOf(m_form->StringGrid5, QStringLiteral("C'3"));
        QCOMPARE(m_form->StringGrid5->item(row, 1)->text(), QStringLiteral("О'Нил"));
        m_form->StringGrid5->setCurrentCell(row, 1);
        m_form->SpeedButton11->click();
        QCOMPARE(column(m_form->StringGrid5, 0), QStringList{QStringLiteral("A1B2")});
    }

    void eventRules()
    {
        seed(QStringLiteral("INSERT INTO orvex_base.groups VALUES ('Север');"
                            "INSERT INTO orvex_base.objects(IMEI) VALUES ('351234567890123')"));
        openTab(5);
        QVERIFY(m_form->ComboBox2->isVisibleTo(m_form.get()));
        QVERIFY(!m_form->ComboBox3->isVisibleTo(m_form.get()));
        QCOMPARE(m_form->ComboBox4->currentText(), QStringLiteral("TIME"));
        QCOMPARE(m_form->ComboBox5->currentText(), QStringLiteral("ARM"));
        QCOMPARE(m_form->ComboBox4->count(), 17);
        QCOMPARE(m_form->ComboBox5->count(), 16);
        QCOMPARE(m_form->ComboBox2->currentIndex(), -1);

        // Neither mode chosen: the group branch, with no group: "G_"; the
        // untouched time field.
        m_form->SpeedButton12->click();
        // A time rule at 07:30 on an object.
        QTest::mouseClick(m_form->RzRadioButton1, Qt::LeftButton);
        m_form->ComboBox2->setCurrentIndex(0);
        m_form->MaskEdit1->setFocus();
        m_form->MaskEdit1->setText(QStringLiteral("07:30"));
        m_form->ComboBox5->setCurrentText(QStringLiteral("SIREN ON"));
        m_form->SpeedButton12->click();
        // Another source ignores the time; a group rule.
        QTest::mouseClick(m_form->RzRadioButton2, Qt::LeftButton);
        QVERIFY(m_form->ComboBox3->isVisibleTo(m_form.get()));
        QVERIFY(!m_form->ComboBox2->isVisibleTo(m_form.get()));
        m_form->ComboBox3->setCurrentIndex(0);
        m_form->ComboBox4->setCurrentText(QStringLiteral("VIBRA"));
        m_form->MaskEdit1->setText(QStringLiteral("08:00"));
        m_form->Edit16->setText(QStringLiteral("Вибрация 'сейф'"));
        m_form->SpeedButton12->click();
        QVERIFY2(m_dialogs->messages.isEmpty(), qPrintable(m_dialogs->messages.join(QLatin1Char('|'))));

        QCOMPARE(TestDatabase::rows(QStringLiteral("SELECT Name,Object,Source_,Action_ FROM orvex_base.events")),
                 QList<QStringList>({{QStringLiteral("Название"), QStringLiteral("G_"), QStringLiteral("  :  "), QStringLiteral("ARM")},
                                     {QStringLiteral("Название"), QStringLiteral("351234567890123"), QStringLiteral("07:30"),
                                      QStringLiteral("SIREN ON")},
                                     {QStringLiteral("Вибрация 'сейф'"), QStringLiteral("G_Север"), QStringLiteral("VIBRA"),
                                      QStringLiteral("SIREN ON")}}));
        QCOMPARE(m_form->StringGrid6->rowCount(), 3);
        QCOMPARE(m_form->ComboBox3->currentIndex(), -1);

        // Rules are known by object, source and action: two names go together,
        // another action stays.
        seed(QStringLiteral("INSERT INTO orvex_base.events VALUES ('другое','G_Север','VIBRA','SIREN ON'),"
                            "('третье','G_Север','VIBRA','SIREN OFF')"));
        openTab(5);
        m_form->StringGrid6->setCurrentCell(rowOf(m_form->StringGrid6, QStringLiteral("Вибрация 'сейф'")), 0);
        m_form->SpeedButton13->click();
        QVERIFY(m_dialogs->messages.isEmpty());
        QCOMPARE(column(m_form->StringGrid6, 0),
                 QStringList({QStringLiteral("Название"), QStringLiteral("Название"), QStringLiteral("третье")}));
    }
};

QTEST_MAIN(TestAdminWindow)
#include "test_admin_window.moc"
