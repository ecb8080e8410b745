#include "AccountTab.h"
#include "AdminSql.h"
#include "Database.h"
#include "DbProxy.h"
#include "ListEditorTab.h"
#include "ObjectTab.h"
#include "RecordingDialogs.h"
#include "RuleTab.h"
#include "StationState.h"
#include "TForm5.h"
#include "OperatorSession.h"
#include "TestDatabase.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextCursor>
#include <QtTest>


#include <memory>

namespace {

const QString Added = QStringLiteral("Пользователь добавлен");
const QString Exists = QStringLiteral("Пользователь с таким логином уже существует");

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

    void logIn(const QString &login, const QString &password, quint16 port = 0)
    {
        m_state->Login = login;
        m_state->Password = password;
        m_state->Base_address = QStringLiteral("127.0.0.1");
        m_state->Base_port = port ? port : TestDatabase::port();
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
        m_form->TabSheet3->Edit12->setText(login);
        m_form->TabSheet3->Edit13->setText(password);
        m_form->TabSheet3->Edit14->setText(host);
        m_form->TabSheet3->Edit15->setText(QStringLiteral("89160000002"));
        m_form->TabSheet3->RzCheckBox1->setChecked(admin);
        for (int i = 0; i < m_form->TabSheet3->RzCheckList1->count(); ++i) {
            QListWidgetItem *item = m_form->TabSheet3->RzCheckList1->item(i);
            item->setCheckState(groups.contains(item->text()) ? Qt::Checked : Qt::Unchecked);
        }
    }

    QStringList ticked() const
    {
        QStringList names;
        for (int i = 0; i < m_form->TabSheet3->RzCheckList1->count(); ++i) {
            if (m_form->TabSheet3->RzCheckList1->item(i)->checkState() == Qt::Checked)
                names << m_form->TabSheet3->RzCheckList1->item(i)->text();
        }
        return names;
    }

    void selectOperator(const QString &login)
    {
        const int row = rowOf(m_form->TabSheet3->StringGrid3, login);
        QVERIFY2(row >= 0, qPrintable(login));
        // A reload may leave the same cell current; selecting it again is a click.
        m_form->TabSheet3->StringGrid3->setCurrentCell(-1, -1);
        m_form->TabSheet3->StringGrid3->setCurrentCell(row, 0);
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
        QCOMPARE(m_form->TabSheet1->count->text(), QStringLiteral("0"));
        seed(QStringLiteral("INSERT INTO orvex_base.groups VALUES ('Север'),('Юг')"));
        m_form->show();
        QCOMPARE(m_form->PageControl1->currentIndex(), 0);
        QCOMPARE(m_form->TabSheet1->count->text(), QStringLiteral("2"));
        // Another station's change shows at the next showing, not before.
        seed(QStringLiteral("INSERT INTO orvex_base.groups VALUES ('Центр')"));
        QCOMPARE(m_form->TabSheet1->count->text(), QStringLiteral("2"));
        m_form->close();
        QVERIFY(!m_form->isVisible());
        m_form->show();
        QCOMPARE(m_form->TabSheet1->count->text(), QStringLiteral("3"));
        QVERIFY(m_dialogs->messages.isEmpty());
    }

    void groupsAreAddedAndDeleted()
    {
        openTab(0);
        QCOMPARE(column(m_form->TabSheet1->rows, 0), QStringList{QString()});
        QCOMPARE(m_form->TabSheet1->count->text(), QStringLiteral("0"));

        // Enter in the empty field acts as the button does.
        QTest::keyClick(m_form->TabSheet1->fields[0], Qt::Key_Return);
        QCOMPARE(m_dialogs->messages, QStringList{QStringLiteral("Введите название группы")});

        m_form->TabSheet1->fields[0]->setText(QStringLiteral("Север"));
        m_form->TabSheet1->add->click();
        m_form->TabSheet1->fields[0]->setText(QStringLiteral("O'Brien \\ & <b>"));
        QTest::keyClick(m_form->TabSheet1->fields[0], Qt::Key_Return);
        QCOMPARE(m_form->TabSheet1->fields[0]->text(), QStringLiteral("O'Brien \\ & <b>"));
        QCOMPARE(TestDatabase::rows(QStringLiteral("SELECT Name FROM orvex_base.groups WHERE Name='O''Brien \\\\ & <b>'")).size(), 1);
        QCOMPARE(m_form->TabSheet1->count->text(), QStringLiteral("2"));
        QVERIFY(column(m_form->TabSheet1->rows, 0).contains(QStringLiteral("O'Brien \\ & <b>")));

        m_dialogs->clear();
        m_form->TabSheet1->fields[0]->setText(QStringLiteral("Север"));
        m_form->TabSheet1->add->click();
        QCOMPARE(m_dialogs->messages, QStringList{QStringLiteral("Ошибка при добавлении данных")});
        QCOMPARE(m_form->TabSheet1->count->text(), QStringLiteral("2"));

        // A line break pasted in would make one group name two in an
        // operator's list of groups.
        m_dialogs->clear();
        m_form->TabSheet1->fields[0]->setText(QStringLiteral("Север\nЮг"));
        m_form->TabSheet1->add->click();
        QCOMPARE(m_dialogs->messages.size(), 1);
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT COUNT(*) FROM orvex_base.groups")), QStringLiteral("2"));

        // A character the tables cannot hold is named, and nothing is sent.
        m_dialogs->clear();
        m_form->TabSheet1->fields[0]->setText(QStringLiteral("Зона \U0001F512"));
        m_form->TabSheet1->add->click();
        QCOMPARE(m_dialogs->messages.size(), 1);
        QVERIFY(m_dialogs->messages.first().contains(QStringLiteral("\U0001F512")));
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT COUNT(*) FROM orvex_base.groups")), QStringLiteral("2"));

        // Deleting a group leaves the objects that name it as they are.
        seed(QStringLiteral("INSERT INTO orvex_base.objects(IMEI,Group_) VALUES ('351234567890123','Север')"));
        m_dialogs->clear();
        m_form->TabSheet1->rows->setCurrentCell(rowOf(m_form->TabSheet1->rows, QStringLiteral("Север")), 0);
        m_form->TabSheet1->remove->click();
        m_form->TabSheet1->rows->setCurrentCell(0, 0);
        m_form->TabSheet1->remove->click();
        QCOMPARE(m_form->TabSheet1->count->text(), QStringLiteral("0"));
        QCOMPARE(column(m_form->TabSheet1->rows, 0), QStringList{QString()});
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT Group_ FROM orvex_base.objects")), QStringLiteral("Север"));
        // The empty list's row deletes nothing and says nothing.
        m_form->TabSheet1->remove->click();
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
        QCOMPARE(m_form->TabSheet2->Label4->text(), QStringLiteral("2"));
        // In the server's order, whatever it is.
        QStringList imeis;
        for (const QStringList &row : TestDatabase::rows(QStringLiteral("SELECT IMEI FROM orvex_base.objects")))
            imeis << row.value(0);
        QCOMPARE(column(m_form->TabSheet2->StringGrid2, 0), imeis);
        const int first = rowOf(m_form->TabSheet2->StringGrid2, QStringLiteral("351234567890123"));
        const int second = 1 - first;
        // The first row's object is in the fields without a click, its group too.
        m_form->TabSheet2->StringGrid2->setCurrentCell(first, 0);
        m_form->TabSheet2->StringGrid2->setCurrentCell(second, 0);
        const QStringList shown = {m_form->TabSheet2->Edit2->text(), m_form->TabSheet2->Memo1->toPlainText(), m_form->TabSheet2->Edit8->text(),
                                   m_form->TabSheet2->GroupBox->currentText()};
        openTab(1);
        const QStringList ncr = {QStringLiteral("NCR 22"), QStringLiteral("Тверская, 1"), QStringLiteral("15"),
                                 QStringLiteral("Юг")};
        // A group that is not in the list is shown as stored.
        const QStringList wincor = {QStringLiteral("Wincor"), QStringLiteral("Арбат, 2"), QStringLiteral("30"),
                                    QStringLiteral("Удалённая")};
        QCOMPARE(shown, wincor);
        QCOMPARE(QStringList({m_form->TabSheet2->Edit2->text(), m_form->TabSheet2->Memo1->toPlainText(), m_form->TabSheet2->Edit8->text(),
                              m_form->TabSheet2->GroupBox->currentText()}),
                 first == 0 ? ncr : wincor);
        QCOMPARE(m_form->TabSheet2->GroupBox->count(), 2);

        m_form->TabSheet2->StringGrid2->setCurrentCell(-1, -1);
        m_form->TabSheet2->StringGrid2->setCurrentCell(second, 0);
        QCOMPARE(m_form->TabSheet2->Edit5->text(), QStringLiteral("Петров"));

        m_form->TabSheet2->Edit5->setText(QStringLiteral("О'Нил \\ \"Ко\""));
        m_form->TabSheet2->Memo1->setPlainText(QStringLiteral("Арбат, 2\nвход со двора"));
        m_form->TabSheet2->GroupBox->setEditText(QString());
        m_form->TabSheet2->SpeedButton3->click();
        QCOMPARE(m_dialogs->messages, QStringList{QStringLiteral("Данные обновлены")});
        QCOMPARE(TestDatabase::rows(QStringLiteral("SELECT Owner,Address,Group_,Timeout FROM orvex_base.objects "
                                                   "WHERE IMEI='351234567890124'")),
                 QList<QStringList>({{QStringLiteral("О'Нил \\ \"Ко\""), QStringLiteral("Арбат, 2\nвход со двора"),
                                      QString(), QStringLiteral("30")}}));

        // The memo has no limit of its own; the column's is kept: an edit
        // past it is not made, and what stood after a paste stays.
        QPlainTextEdit *memo = m_form->TabSheet2->Memo1;
        const QString address = memo->toPlainText();
        memo->setPlainText(QString(120, QLatin1Char('a')));
        QCOMPARE(memo->toPlainText(), address);
        const QString full = QString(96, QLatin1Char('a')) + QStringLiteral("-END");
        memo->setPlainText(full);
        QTextCursor cursor = memo->textCursor();
        cursor.setPosition(10);
        memo->setTextCursor(cursor);
        memo->insertPlainText(QStringLiteral("вставка"));
        QCOMPARE(memo->toPlainText(), full);
        memo->setPlainText(address);

        // A polling period the column cannot take: the server refuses, nothing changes.
        m_dialogs->clear();
        m_form->TabSheet2->Edit8->setText(QStringLiteral("полчаса"));
        m_form->TabSheet2->Edit5->setText(QStringLiteral("Сидоров"));
        m_form->TabSheet2->SpeedButton3->click();
        QCOMPARE(m_dialogs->messages, QStringList{QStringLiteral("Некорректные данные, проверьте правильность ввода")});
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT Owner FROM orvex_base.objects WHERE IMEI='351234567890124'")),
                 QStringLiteral("О'Нил \\ \"Ко\""));

        // An object removed by another writer since the list was read shows
        // empty fields, not the previous object's values.
        seed(QStringLiteral("DELETE FROM orvex_base.objects WHERE IMEI='351234567890123'"));
        m_dialogs->clear();
        m_form->TabSheet2->StringGrid2->setCurrentCell(first, 0);
        QVERIFY(m_dialogs->messages.isEmpty());
        QCOMPARE(m_form->TabSheet2->Edit2->text(), QString());
        QCOMPARE(m_form->TabSheet2->Edit5->text(), QString());
        QCOMPARE(m_form->TabSheet2->GroupBox->currentText(), QString());
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
        QCOMPARE(m_form->TabSheet3->Label15->text(), QStringLiteral("1"));
        typeOperator(login, password, QStringLiteral("%"), admin, {QStringLiteral("A"), QStringLiteral("B")});
        m_form->TabSheet3->SpeedButton5->click();
        QCOMPARE(m_dialogs->messages, QStringList{Added});
        QCOMPARE(m_form->TabSheet3->Label15->text(), QStringLiteral("2"));
        // The new operator is the one shown, as stored.
        QCOMPARE(m_form->TabSheet3->StringGrid3->item(m_form->TabSheet3->StringGrid3->currentRow(), 0)->text(), login);
        QCOMPARE(ticked(), QStringList({QStringLiteral("A"), QStringLiteral("B")}));

        // Ticked groups in the list's order, each ended by a line feed.
        QCOMPARE(TestDatabase::rows(QStringLiteral("SELECT Pass,Host,Admin,Number,Groups FROM orvex_base.users WHERE Login<>'Pilot'")),
                 QList<QStringList>({{password, QStringLiteral("%"), admin ? QStringLiteral("1") : QStringLiteral("0"),
                                      QStringLiteral("89160000002"), QStringLiteral("A\nB\n")}}));
        QVERIFY(!canLogIn(login, password + QLatin1Char('x')));
        OperatorSession session(login, password);
        QVERIFY2(session.isOpen(), qPrintable(session.error()));

        // What every station needs.
        QVERIFY(session.run(QStringLiteral("SELECT Groups,Number,Admin FROM orvex_base.users WHERE Login='%1'")
                                .arg(QString(login).replace(QLatin1Char('\''), QStringLiteral("''")))));
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
        m_form->TabSheet3->SpeedButton5->click();
        QCOMPARE(m_dialogs->messages, QStringList{Added});

        // The same account again.
        m_dialogs->clear();
        m_form->TabSheet3->Edit13->setText(QStringLiteral("two"));
        m_form->TabSheet3->SpeedButton5->click();
        QCOMPARE(m_dialogs->messages, QStringList{Exists});
        QVERIFY(canLogIn(QStringLiteral("smena"), QStringLiteral("one")));
        QCOMPARE(m_form->TabSheet3->Label15->text(), QStringLiteral("2"));

        // Another host is another account, but the login already has its row:
        // the account made for it goes again.
        m_dialogs->clear();
        m_form->TabSheet3->Edit14->setText(QStringLiteral("127.0.0.1"));
        m_form->TabSheet3->SpeedButton5->click();
        QCOMPARE(m_dialogs->messages, QStringList{QStringLiteral("Не удалось создать пользователя")});
        QCOMPARE(accounts(QStringLiteral("smena")), QStringList{QStringLiteral("%")});
        QCOMPARE(m_form->TabSheet3->Edit12->text(), QStringLiteral("smena"));

        // No anonymous account (the server drops a name's blanks): it would
        // let anyone in under any name; no login whose account is named
        // otherwise than its row.
        for (const QString &login : {QString(), QStringLiteral("   "), QStringLiteral("petrov ")}) {
            m_dialogs->clear();
            m_form->TabSheet3->Edit12->setText(login);
            m_form->TabSheet3->Edit14->setText(QStringLiteral("localhost"));
            m_form->TabSheet3->SpeedButton5->click();
            QCOMPARE(m_dialogs->messages.size(), 1);
            QVERIFY2(m_dialogs->messages.first() != Added, qPrintable(login));
        }
        QVERIFY(accounts(QString()).isEmpty());
        QVERIFY(accounts(QStringLiteral("petrov")).isEmpty());

        // A character the users table cannot hold is named before any account exists.
        m_dialogs->clear();
        m_form->TabSheet3->Edit12->setText(QStringLiteral("smena2"));
        m_form->TabSheet3->Edit13->setText(QStringLiteral("pw€中"));
        m_form->TabSheet3->SpeedButton5->click();
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
        m_form->TabSheet3->SpeedButton5->click();
        QCOMPARE(m_dialogs->messages.size(), 1);
        QVERIFY2(m_dialogs->messages.first() != Exists, qPrintable(m_dialogs->messages.first()));
        QVERIFY2(m_dialogs->messages.first().contains(QStringLiteral("CREATE USER")), qPrintable(m_dialogs->messages.first()));
        QVERIFY(accounts(QStringLiteral("smena")).isEmpty());

        // May create accounts but not pass the grants on: the account goes
        // again and the server's reason is shown, not "added".
        QVERIFY2(TestDatabase::exec(QStringLiteral("GRANT CREATE USER ON *.* TO 'Anna'@'%'"), &error), qPrintable(error));
        logIn(QStringLiteral("Anna"), QStringLiteral("a"));
        m_dialogs->clear();
        m_form->TabSheet3->SpeedButton5->click();
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
        m_form->TabSheet3->SpeedButton5->click();
        selectOperator(QStringLiteral("smena"));
        QCOMPARE(ticked(), QStringList{QStringLiteral("A")});

        m_dialogs->clear();
        m_form->TabSheet3->Edit13->setText(QStringLiteral("n'e\\w"));
        m_form->TabSheet3->RzCheckList1->item(1)->setCheckState(Qt::Checked);
        m_form->TabSheet3->SpeedButton7->click();
        QVERIFY(m_dialogs->messages.isEmpty());
        QVERIFY(canLogIn(QStringLiteral("smena"), QStringLiteral("n'e\\w")));
        QVERIFY(!canLogIn(QStringLiteral("smena"), QStringLiteral("one")));
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT Groups FROM orvex_base.users WHERE Login='smena'")),
                 QStringLiteral("A\nB\n"));
        QCOMPARE(ticked(), QStringList({QStringLiteral("A"), QStringLiteral("B")}));

        // A new host renames the account; the administrator box grants and
        // takes back the editors' writes.
        selectOperator(QStringLiteral("smena"));
        m_form->TabSheet3->Edit14->setText(QStringLiteral("127.0.0.1"));
        m_form->TabSheet3->RzCheckBox1->setChecked(true);
        m_form->TabSheet3->SpeedButton7->click();
        QVERIFY(m_dialogs->messages.isEmpty());
        QCOMPARE(accounts(QStringLiteral("smena")), QStringList{QStringLiteral("127.0.0.1")});
        {
            OperatorSession session(QStringLiteral("smena"), QStringLiteral("n'e\\w"));
            QVERIFY2(session.isOpen(), qPrintable(session.error()));
            QVERIFY(session.run(QStringLiteral("UPDATE orvex_base.users SET Number='1' WHERE Login='smena'")));
        }
        selectOperator(QStringLiteral("smena"));
        QVERIFY(m_form->TabSheet3->RzCheckBox1->isChecked());
        m_form->TabSheet3->RzCheckBox1->setChecked(false);
        m_form->TabSheet3->SpeedButton7->click();
        {
            OperatorSession session(QStringLiteral("smena"), QStringLiteral("n'e\\w"));
            QVERIFY(!session.run(QStringLiteral("UPDATE orvex_base.users SET Admin='1' WHERE Login='smena'")));
            // Back to an operator's reads: his own row's rights, no passwords.
            QVERIFY(session.run(QStringLiteral("SELECT Admin,Groups FROM orvex_base.users WHERE Login='smena'")));
            QVERIFY(!session.run(QStringLiteral("SELECT * FROM orvex_base.users")));
        }
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT Admin FROM orvex_base.users WHERE Login='smena'")),
                 QStringLiteral("0"));

        // A login that names no row changes nothing, and says so.
        m_form->TabSheet3->Edit12->setText(QStringLiteral("nobody"));
        m_form->TabSheet3->SpeedButton7->click();
        QCOMPARE(m_dialogs->messages, QStringList{QStringLiteral("Пользователь nobody не найден: изменения не сохранены")});
        QVERIFY(accounts(QStringLiteral("nobody")).isEmpty());
    }

    // An administrator whose own account may not change accounts rewrites
    // or deletes an operator: the server refuses, he is told why (never that
    // it worked), and row and account stay as they were.
    void refusalsLeaveRowAndAccount_data()
    {
        QTest::addColumn<bool>("deleting");
        QTest::newRow("rewrite") << false;
        QTest::newRow("delete") << true;
    }

    void refusalsLeaveRowAndAccount()
    {
        QFETCH(bool, deleting);
        QString error;
        QVERIFY2(TestDatabase::addOperator(QStringLiteral("smena"), QStringLiteral("one"), false, QString(), {}, &error),
                 qPrintable(error));
        QVERIFY2(TestDatabase::addOperator(QStringLiteral("Anna"), QStringLiteral("a"), true, QString(), {}, &error),
                 qPrintable(error));
        logIn(QStringLiteral("Anna"), QStringLiteral("a"));
        openTab(2);
        selectOperator(QStringLiteral("smena"));
        if (deleting) {
            m_form->TabSheet3->SpeedButton6->click();
        } else {
            m_form->TabSheet3->Edit13->setText(QStringLiteral("two"));
            m_form->TabSheet3->SpeedButton7->click();
        }
        QCOMPARE(m_dialogs->messages.size(), 1);
        QVERIFY2(m_dialogs->messages.first().contains(QStringLiteral("denied"), Qt::CaseInsensitive),
                 qPrintable(m_dialogs->messages.first()));
        QCOMPARE(TestDatabase::rows(QStringLiteral("SELECT Pass FROM orvex_base.users WHERE Login='smena'")),
                 QList<QStringList>{{QStringLiteral("one")}});
        QVERIFY(canLogIn(QStringLiteral("smena"), QStringLiteral("one")));
        QVERIFY(rowOf(m_form->TabSheet3->StringGrid3, QStringLiteral("smena")) >= 0);
    }

    void groupsTextAndFlagOfAStoredRow()
    {
        seed(QStringLiteral("INSERT INTO orvex_base.groups VALUES ('A'),('B'),('a');"
                            "INSERT INTO orvex_base.users VALUES ('x','p','%',' 1','','A\\r\\nGone\\nB'),"
                            "('y','p','%','1','','')"));
        openTab(2);
        QCOMPARE(m_form->TabSheet3->StringGrid3->horizontalHeaderItem(5)->text(), QStringLiteral("Группы"));
        selectOperator(QStringLiteral("y"));
        QVERIFY(m_form->TabSheet3->RzCheckBox1->isChecked());
        QVERIFY(ticked().isEmpty());
        selectOperator(QStringLiteral("x"));
        QCOMPARE(ticked(), QStringList({QStringLiteral("A"), QStringLiteral("B")}));
        QVERIFY(!m_form->TabSheet3->RzCheckBox1->isChecked());
        QCOMPARE(m_form->TabSheet3->Edit13->text(), QStringLiteral("p"));
        // Rewritten untouched, the row keeps what another program wrote; a
        // group that is gone from the list is no box to untick, and stays.
        m_form->TabSheet3->SpeedButton7->click();
        const QString stored = QStringLiteral("SELECT Admin,Groups FROM orvex_base.users WHERE Login='x'");
        QCOMPARE(TestDatabase::rows(stored), QList<QStringList>({{QStringLiteral(" 1"), QStringLiteral("A\r\nGone\nB")}}));
        m_form->TabSheet3->RzCheckList1->item(1)->setCheckState(Qt::Unchecked);
        m_form->TabSheet3->SpeedButton7->click();
        QCOMPARE(TestDatabase::rows(stored), QList<QStringList>({{QStringLiteral(" 1"), QStringLiteral("A\nGone\n")}}));
        QVERIFY(m_dialogs->messages.isEmpty());
    }

    void deleteRemovesRowAndAccount()
    {
        openTab(2);
        typeOperator(QStringLiteral("smena"), QStringLiteral("one"), QStringLiteral("%"), false);
        m_form->TabSheet3->SpeedButton5->click();
        selectOperator(QStringLiteral("smena"));
        // The row's account goes, whatever the field says by now.
        m_form->TabSheet3->Edit12->setText(QStringLiteral("Pilot"));
        m_dialogs->clear();
        // Asked first, naming whom; declined, nothing goes.
        m_dialogs->nextAnswer = false;
        m_form->TabSheet3->SpeedButton6->click();
        QCOMPARE(m_dialogs->confirmations, QStringList{QStringLiteral("Удалить пользователя smena?")});
        QVERIFY(canLogIn(QStringLiteral("smena"), QStringLiteral("one")));
        m_dialogs->nextAnswer = true;
        m_form->TabSheet3->SpeedButton6->click();
        QCOMPARE(m_dialogs->messages, QStringList{QStringLiteral("Пользователь удален")});
        QVERIFY(!canLogIn(QStringLiteral("smena"), QStringLiteral("one")));
        QCOMPARE(column(m_form->TabSheet3->StringGrid3, 0), QStringList{QStringLiteral("Pilot")});
        QVERIFY(canLogIn(QStringLiteral("Pilot"), QStringLiteral("Pilot")));
        // Nobody is shown now: a second click deletes nobody else.
        QVERIFY(m_form->TabSheet3->Edit12->text().isEmpty());
        m_dialogs->clear();
        m_form->TabSheet3->SpeedButton6->click();
        QCOMPARE(m_dialogs->messages, QStringList{QStringLiteral("Выберите пользователя в списке")});
        // Nor is the station's own account, nor his own rights taken.
        selectOperator(QStringLiteral("Pilot"));
        m_dialogs->clear();
        m_form->TabSheet3->SpeedButton6->click();
        m_form->TabSheet3->RzCheckBox1->setChecked(false);
        m_form->TabSheet3->SpeedButton7->click();
        QCOMPARE(m_dialogs->messages.size(), 2);
        QVERIFY(m_dialogs->confirmations.isEmpty());
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT Admin FROM orvex_base.users WHERE Login='Pilot'")),
                 QStringLiteral("1"));

        // An account renamed on the server: the row goes, and the
        // administrator is told there was no account of the row's name.
        QVERIFY(TestDatabase::addOperator(QStringLiteral("ivan"), QStringLiteral("iv"), false, QString(), {}));
        seed(QStringLiteral("RENAME USER 'ivan'@'%' TO 'ivan'@'127.0.0.1'"));
        openTab(2);
        selectOperator(QStringLiteral("ivan"));
        m_form->TabSheet3->SpeedButton6->click();
        QCOMPARE(m_dialogs->messages.size(), 1);
        QVERIFY2(m_dialogs->messages.first().contains(QStringLiteral("ivan@%")), qPrintable(m_dialogs->messages.first()));
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT COUNT(*) FROM orvex_base.users WHERE Login='ivan'")),
                 QStringLiteral("0"));
    }

    // Another administrator, or another program, changed an operator since
    // the list was read: one field's "Обновить" keeps what they wrote, and a
    // flag set elsewhere brings the rights with it, or takes them.
    void changesMadeElsewhereAreKept()
    {
        QVERIFY(TestDatabase::addOperator(QStringLiteral("smena"), QStringLiteral("one"), false, QString(), {}));
        openTab(2);
        selectOperator(QStringLiteral("smena"));
        seed(QStringLiteral("ALTER USER 'smena'@'%' IDENTIFIED BY 'two';"
                            "UPDATE orvex_base.users SET Pass='two',Admin='1' WHERE Login='smena'"));
        m_form->TabSheet3->Edit15->setText(QStringLiteral("89160000009"));
        m_form->TabSheet3->SpeedButton7->click();
        QVERIFY2(m_dialogs->messages.isEmpty(), qPrintable(m_dialogs->messages.join(u'|')));
        QCOMPARE(TestDatabase::rows(QStringLiteral("SELECT Pass,Admin,Number FROM orvex_base.users WHERE Login='smena'")),
                 QList<QStringList>({{QStringLiteral("two"), QStringLiteral("1"), QStringLiteral("89160000009")}}));
        {
            OperatorSession session(QStringLiteral("smena"), QStringLiteral("two"));
            QVERIFY2(session.isOpen(), qPrintable(session.error()));
            QVERIFY(session.run(QStringLiteral("SELECT * FROM orvex_base.users")));
        }
        // An administrator who never held the grant is demoted all the same.
        seed(QStringLiteral("REVOKE SELECT,INSERT,UPDATE,DELETE ON `orvex\\_base`.* FROM 'smena'@'%'"));
        openTab(2);
        selectOperator(QStringLiteral("smena"));
        m_form->TabSheet3->RzCheckBox1->setChecked(false);
        m_form->TabSheet3->SpeedButton7->click();
        QVERIFY2(m_dialogs->messages.isEmpty(), qPrintable(m_dialogs->messages.join(u'|')));
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT Admin FROM orvex_base.users WHERE Login='smena'")),
                 QStringLiteral("0"));
    }

    // "Сохранить" writes what the administrator changed, nothing else: a
    // column another program wrote meanwhile keeps it, nothing changed is
    // nothing written, and an object gone meanwhile is not called saved.
    void saveWritesWhatChanged()
    {
        seed(QStringLiteral("INSERT INTO orvex_base.objects(IMEI,Name,Address) VALUES ('351234567890123','NCR','Тверская, 1')"));
        openTab(1);
        seed(QStringLiteral("UPDATE orvex_base.objects SET Address='Арбат, 2'"));
        m_form->TabSheet2->Edit2->setText(QStringLiteral("NCR 22"));
        m_form->TabSheet2->SpeedButton3->click();
        m_form->TabSheet2->SpeedButton3->click();
        QCOMPARE(m_dialogs->messages, QStringList({QStringLiteral("Данные обновлены"), QStringLiteral("Данные не изменены")}));
        QCOMPARE(TestDatabase::rows(QStringLiteral("SELECT Name,Address FROM orvex_base.objects")),
                 QList<QStringList>({{QStringLiteral("NCR 22"), QStringLiteral("Арбат, 2")}}));

        m_dialogs->clear();
        seed(QStringLiteral("DELETE FROM orvex_base.objects"));
        m_form->TabSheet2->Edit2->setText(QStringLiteral("NCR 23"));
        m_form->TabSheet2->SpeedButton3->click();
        QCOMPARE(m_dialogs->messages.size(), 1);
        QVERIFY2(m_dialogs->messages.first().contains(QStringLiteral("больше нет")), qPrintable(m_dialogs->messages.first()));
        openTab(1);
        QVERIFY(!m_form->TabSheet2->SpeedButton3->isEnabled());
    }

    void cannedTexts()
    {
        openTab(3);
        QCOMPARE(column(m_form->TabSheet4->rows, 0), QStringList{QString()});
        QTest::keyClick(m_form->TabSheet4->fields[0], Qt::Key_Return);
        QCOMPARE(m_dialogs->messages, QStringList{QStringLiteral("Введите сообщение")});
        m_dialogs->clear();
        m_form->TabSheet4->fields[0]->setText(QStringLiteral("Выезд 'ГБР'"));
        QTest::keyClick(m_form->TabSheet4->fields[0], Qt::Key_Return);
        QCOMPARE(column(m_form->TabSheet4->rows, 0), QStringList{QStringLiteral("Выезд 'ГБР'")});
        m_form->TabSheet4->add->click();
        QCOMPARE(m_dialogs->messages, QStringList{QStringLiteral("Ошибка при добавлении данных")});
        m_dialogs->clear();
        m_form->TabSheet4->rows->setCurrentCell(0, 0);
        m_form->TabSheet4->remove->click();
        QVERIFY(m_dialogs->messages.isEmpty());
        QCOMPARE(column(m_form->TabSheet4->rows, 0), QStringList{QString()});
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT COUNT(*) FROM orvex_base.text_mes")), QStringLiteral("0"));
    }

    void keys()
    {
        openTab(4);
        QCOMPARE(m_form->TabSheet5->rows->horizontalHeaderItem(0)->text(), QStringLiteral("Код ключа"));
        QCOMPARE(m_form->TabSheet5->rows->rowCount(), 1);
        m_form->TabSheet5->fields[0]->setText(QStringLiteral("A1B2"));
        m_form->TabSheet5->add->click();
        m_form->TabSheet5->fields[0]->clear();
        m_form->TabSheet5->fields[1]->setText(QStringLiteral("Петров"));
        QTest::keyClick(m_form->TabSheet5->fields[1], Qt::Key_Return);
        QCOMPARE(m_dialogs->messages, QStringList(2, QStringLiteral("Введите данные")));
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT COUNT(*) FROM orvex_base.key_owner")), QStringLiteral("0"));

        m_dialogs->clear();
        m_form->TabSheet5->fields[0]->setText(QStringLiteral("A1B2"));
        QTest::keyClick(m_form->TabSheet5->fields[1], Qt::Key_Return);
        m_form->TabSheet5->fields[0]->setText(QStringLiteral("C'3"));
        m_form->TabSheet5->fields[1]->setText(QStringLiteral("О'Нил"));
        QTest::keyClick(m_form->TabSheet5->fields[0], Qt::Key_Return);
        QVERIFY(m_dialogs->messages.isEmpty());
        QCOMPARE(m_form->TabSheet5->rows->rowCount(), 2);
        const int row = rowOf(m_form->TabSheet5->rows, QStringLiteral("C'3"));
        QCOMPARE(m_form->TabSheet5->rows->item(row, 1)->text(), QStringLiteral("О'Нил"));
        m_form->TabSheet5->rows->setCurrentCell(row, 1);
        m_form->TabSheet5->remove->click();
        QCOMPARE(column(m_form->TabSheet5->rows, 0), QStringList{QStringLiteral("A1B2")});
    }

    void eventRules()
    {
        seed(QStringLiteral("INSERT INTO orvex_base.groups VALUES ('Север');"
                            "INSERT INTO orvex_base.objects(IMEI) VALUES ('351234567890123')"));
        openTab(5);
        QVERIFY(m_form->TabSheet6->ComboBox2->isVisibleTo(m_form.get()));
        QVERIFY(!m_form->TabSheet6->ComboBox3->isVisibleTo(m_form.get()));
        QCOMPARE(m_form->TabSheet6->ComboBox4->currentText(), QStringLiteral("TIME"));
        QCOMPARE(m_form->TabSheet6->ComboBox5->currentText(), QStringLiteral("ARM"));
        QCOMPARE(m_form->TabSheet6->ComboBox4->count(), 17);
        QCOMPARE(m_form->TabSheet6->ComboBox5->count(), 16);
        QCOMPARE(m_form->TabSheet6->ComboBox2->currentIndex(), -1);

        // The object's mode at first, with no object: no object; the
        // untouched time field.
        m_form->TabSheet6->SpeedButton12->click();
        // A time rule at 07:30 on an object.
        QTest::mouseClick(m_form->TabSheet6->RzRadioButton1, Qt::LeftButton);
        m_form->TabSheet6->ComboBox2->setCurrentIndex(0);
        m_form->TabSheet6->MaskEdit1->setFocus();
        m_form->TabSheet6->MaskEdit1->setText(QStringLiteral("07:30"));
        m_form->TabSheet6->ComboBox5->setCurrentText(QStringLiteral("SIREN ON"));
        m_form->TabSheet6->SpeedButton12->click();
        // Another source ignores the time; a group rule.
        QTest::mouseClick(m_form->TabSheet6->RzRadioButton2, Qt::LeftButton);
        QVERIFY(m_form->TabSheet6->ComboBox3->isVisibleTo(m_form.get()));
        QVERIFY(!m_form->TabSheet6->ComboBox2->isVisibleTo(m_form.get()));
        m_form->TabSheet6->ComboBox3->setCurrentIndex(0);
        m_form->TabSheet6->ComboBox4->setCurrentText(QStringLiteral("VIBRA"));
        m_form->TabSheet6->MaskEdit1->setText(QStringLiteral("08:00"));
        m_form->TabSheet6->Edit16->setText(QStringLiteral("Вибрация 'сейф'"));
        m_form->TabSheet6->SpeedButton12->click();
        QVERIFY2(m_dialogs->messages.isEmpty(), qPrintable(m_dialogs->messages.join(QLatin1Char('|'))));

        QCOMPARE(TestDatabase::rows(QStringLiteral("SELECT Name,Object,Source_,Action_ FROM orvex_base.events")),
                 QList<QStringList>({{QStringLiteral("Название"), QString(), QStringLiteral("  :  "), QStringLiteral("ARM")},
                                     {QStringLiteral("Название"), QStringLiteral("351234567890123"), QStringLiteral("07:30"),
                                      QStringLiteral("SIREN ON")},
                                     {QStringLiteral("Вибрация 'сейф'"), QStringLiteral("G_Север"), QStringLiteral("VIBRA"),
                                      QStringLiteral("SIREN ON")}}));
        QCOMPARE(m_form->TabSheet6->StringGrid6->rowCount(), 3);
        QCOMPARE(m_form->TabSheet6->ComboBox3->currentIndex(), -1);

        // Rules are known by object, source and action: two names go together,
        // another action stays.
        seed(QStringLiteral("INSERT INTO orvex_base.events VALUES ('другое','G_Север','VIBRA','SIREN ON'),"
                            "('третье','G_Север','VIBRA','SIREN OFF')"));
        openTab(5);
        m_form->TabSheet6->StringGrid6->setCurrentCell(rowOf(m_form->TabSheet6->StringGrid6, QStringLiteral("Вибрация 'сейф'")), 0);
        m_form->TabSheet6->SpeedButton13->click();
        QVERIFY(m_dialogs->messages.isEmpty());
        QCOMPARE(column(m_form->TabSheet6->StringGrid6, 0),
                 QStringList({QStringLiteral("Название"), QStringLiteral("Название"), QStringLiteral("третье")}));
    }

    // After any reload the row named in the login field is selected again
    // with its boxes: a second "Обновить" keeps the operator's groups; and
    // groups that cannot be read are never written as none.
    void aSecondRewriteKeepsTheGroups()
    {
        seed(QStringLiteral("INSERT INTO orvex_base.groups VALUES ('A'),('B')"));
        QVERIFY(TestDatabase::addOperator(QStringLiteral("smena"), QStringLiteral("one"), false, QString(),
                                          {QStringLiteral("A"), QStringLiteral("B")}));
        const QString groupsOf = QStringLiteral("SELECT Groups FROM orvex_base.users WHERE Login='smena'");
        openTab(2);
        selectOperator(QStringLiteral("smena"));
        m_form->TabSheet3->SpeedButton7->click();
        QCOMPARE(ticked(), QStringList({QStringLiteral("A"), QStringLiteral("B")}));
        m_form->TabSheet3->SpeedButton7->click();
        QCOMPARE(TestDatabase::value(groupsOf), QStringLiteral("A\nB\n"));
        openTab(2);
        QCOMPARE(m_form->TabSheet3->Edit12->text(), QStringLiteral("smena"));
        QCOMPARE(ticked(), QStringList({QStringLiteral("A"), QStringLiteral("B")}));
        QVERIFY(m_dialogs->messages.isEmpty());

        seed(QStringLiteral("RENAME TABLE orvex_base.groups TO orvex_base.groups_away"));
        openTab(2);
        QCOMPARE(m_dialogs->messages, QStringList{QStringLiteral("Нет доступа к таблице групп")});
        m_dialogs->clear();
        m_form->TabSheet3->Edit15->setText(QStringLiteral("89160000009"));
        m_form->TabSheet3->SpeedButton7->click();
        QCOMPARE(m_dialogs->messages.size(), 1);
        QCOMPARE(TestDatabase::rows(QStringLiteral("SELECT Number,Groups FROM orvex_base.users WHERE Login='smena'")),
                 QList<QStringList>({{QString(), QStringLiteral("A\nB\n")}}));
    }

    // Values longer than the editors' limits, and an address with CR LF,
    // written by other programs: shown whole, written back as they were
    // when untouched; the limits hold for what is typed.
    void storedValuesAreNeitherCutNorRewritten()
    {
        const QString model = QStringLiteral("Wincor Nixdorf ProCash 2100xe");
        const QString address = QString(60, QChar(0x0434)) + QStringLiteral("\r\n") + QString(58, QLatin1Char('x'));
        const QString owner = QString(45, QChar(0x0436));
        QVERIFY(TestDatabase::exec(
            QStringLiteral("INSERT INTO orvex_base.objects(IMEI,Name,Number1,Number2,Owner,Num_owner,Address,Addr_,Timeout,Group_) "
                           "VALUES ('351234567890123','%1','+79161234567','+79161234568','%2','+79161234569','%3','%2','15','Юг')")
                .arg(model, owner, address)));
        const QString stored = QStringLiteral("SELECT Name,Number1,Number2,Owner,Num_owner,Address,Addr_,Timeout,Group_ "
                                              "FROM orvex_base.objects");
        QList<QStringList> expected = TestDatabase::rows(stored);
        openTab(1);
        QCOMPARE(m_form->TabSheet2->Edit2->text(), model);
        QCOMPARE(m_form->TabSheet2->Edit3->text(), QStringLiteral("+79161234567"));
        QCOMPARE(m_form->TabSheet2->Edit5->text(), owner);
        m_form->TabSheet2->Edit8->setText(QStringLiteral("20"));
        m_form->TabSheet2->SpeedButton3->click();
        QCOMPARE(m_dialogs->messages, QStringList{QStringLiteral("Данные обновлены")});
        expected[0][7] = QStringLiteral("20");
        QCOMPARE(TestDatabase::rows(stored), expected);

        // Typed anew, a number longer than its field's limit is not stored.
        m_dialogs->clear();
        m_form->TabSheet2->Edit3->clear();
        QTest::keyClicks(m_form->TabSheet2->Edit3, QStringLiteral("+79031234567"));
        m_form->TabSheet2->SpeedButton3->click();
        QCOMPARE(m_dialogs->messages.size(), 1);
        QVERIFY2(m_dialogs->messages.first().contains(QStringLiteral("Тел. номер 1")), qPrintable(m_dialogs->messages.first()));
        QCOMPARE(TestDatabase::rows(stored), expected);

        // An account whose host and password are longer than the fields:
        // "Обновить" keeps both, and the operator keeps logging in.
        const QString password = QStringLiteral("twenty-char-password");
        const QString host = QStringLiteral("127.0.0.0/255.0.0.0");
        QVERIFY(TestDatabase::exec(QStringLiteral("CREATE USER 'smena'@'%1' IDENTIFIED BY '%2';"
                                                  "GRANT SELECT ON orvex_base.objects TO 'smena'@'%1';"
                                                  "INSERT INTO orvex_base.users VALUES ('smena','%2','%1','0','','')")
                                       .arg(host, password)));
        openTab(2);
        selectOperator(QStringLiteral("smena"));
        QCOMPARE(m_form->TabSheet3->Edit13->text(), password);
        QCOMPARE(m_form->TabSheet3->Edit14->text(), host);
        m_dialogs->clear();
        m_form->TabSheet3->Edit15->setText(QStringLiteral("89160000009"));
        m_form->TabSheet3->SpeedButton7->click();
        QVERIFY2(m_dialogs->messages.isEmpty(), qPrintable(m_dialogs->messages.join(u'|')));
        QCOMPARE(accounts(QStringLiteral("smena")), QStringList{host});
        QVERIFY(canLogIn(QStringLiteral("smena"), password));
        QCOMPARE(TestDatabase::rows(QStringLiteral("SELECT Pass,Host,Number FROM orvex_base.users WHERE Login='smena'")),
                 QList<QStringList>({{password, host, QStringLiteral("89160000009")}}));
    }

    // The clicked object cannot be read: nothing of the object shown before
    // may be saved under its IMEI.
    void anObjectThatCannotBeReadCannotBeOverwritten()
    {
        seed(QStringLiteral("INSERT INTO orvex_base.objects(IMEI,Name,Owner) VALUES "
                            "('351234567890123','NCR','Иванов'),('351234567890124','Wincor','Петров')"));
        openTab(1);
        const int other = 1 - m_form->TabSheet2->StringGrid2->currentRow();
        const QString otherImei = m_form->TabSheet2->StringGrid2->item(other, 0)->text();
        const QList<QStringList> before = TestDatabase::rows(QStringLiteral("SELECT IMEI,Name,Owner FROM orvex_base.objects"));
        seed(QStringLiteral("ALTER TABLE orvex_base.objects RENAME COLUMN Timeout TO Timeout_away"));
        m_form->TabSheet2->StringGrid2->setCurrentCell(other, 0);
        QCOMPARE(m_dialogs->messages, QStringList{QStringLiteral("Нет доступа к таблице объектов")});
        QCOMPARE(m_form->TabSheet2->Edit2->text(), QString());
        QCOMPARE(m_form->TabSheet2->Edit5->text(), QString());
        QVERIFY(!m_form->TabSheet2->SpeedButton3->isEnabled());
        seed(QStringLiteral("ALTER TABLE orvex_base.objects RENAME COLUMN Timeout_away TO Timeout"));
        m_form->TabSheet2->SpeedButton3->click();
        QCOMPARE(TestDatabase::rows(QStringLiteral("SELECT IMEI,Name,Owner FROM orvex_base.objects")), before);
        // Read again, it can be saved.
        m_form->TabSheet2->StringGrid2->setCurrentCell(-1, -1);
        m_form->TabSheet2->StringGrid2->setCurrentCell(other, 0);
        QVERIFY(m_form->TabSheet2->SpeedButton3->isEnabled());
        QCOMPARE(m_form->TabSheet2->Edit2->text(), TestDatabase::value(QStringLiteral("SELECT Name FROM orvex_base.objects WHERE IMEI='%1'").arg(otherImei)));
    }

    // A time typed into a rule is stored right-aligned, as the mask has it:
    // a one-digit hour gets its blank first, and a blank may be typed.
    void ruleTimesAreRightAligned_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::newRow("one digit") << QStringLiteral("7:30") << QStringLiteral(" 7:30");
        QTest::newRow("blank typed") << QStringLiteral(" 7:30") << QStringLiteral(" 7:30");
        QTest::newRow("two digits") << QStringLiteral("07:30") << QStringLiteral("07:30");
        QTest::newRow("evening") << QStringLiteral("19:05") << QStringLiteral("19:05");
    }

    void ruleTimesAreRightAligned()
    {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        openTab(5);
        QTest::mouseClick(m_form->TabSheet6->RzRadioButton2, Qt::LeftButton);
        m_form->TabSheet6->ComboBox4->setCurrentText(QStringLiteral("TIME"));
        m_form->TabSheet6->MaskEdit1->clear();
        m_form->TabSheet6->MaskEdit1->setFocus();
        m_form->TabSheet6->MaskEdit1->setCursorPosition(0);
        QTest::keyClicks(m_form->TabSheet6->MaskEdit1, typed);
        m_form->TabSheet6->SpeedButton12->click();
        QVERIFY2(m_dialogs->messages.isEmpty(), qPrintable(m_dialogs->messages.join(u'|')));
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT Source_ FROM orvex_base.events")), stored);
    }

    // What an operator's account made by the editor may read and write: all
    // the station needs, and no password, no other column of an object than
    // its state, no database whose name only looks like the station's.
    void anOperatorCannotReadPasswords()
    {
        seed(QStringLiteral("INSERT INTO orvex_base.objects(IMEI,Group_) VALUES ('351234567890123','A');"
                            "CREATE TABLE orvex_base.o_351234567890123 (Date DATETIME, Event VARCHAR(64), Image BLOB);"
                            "INSERT INTO orvex_base.o_351234567890123 VALUES ('2011-09-01 12:30:05','Кадр с камеры','jpeg');"
                            "CREATE DATABASE IF NOT EXISTS orvexXbase;"
                            "CREATE TABLE IF NOT EXISTS orvexXbase.t (a INT)"));
        const QString frame = QStringLiteral("SELECT Image FROM orvex_base.o_351234567890123");
        openTab(2);
        for (const bool admin : {false, true}) {
            m_dialogs->clear();
            const QString login = admin ? QStringLiteral("boss") : QStringLiteral("smena");
            typeOperator(login, QStringLiteral("one"), QStringLiteral("%"), admin);
            m_form->TabSheet3->SpeedButton5->click();
            QCOMPARE(m_dialogs->messages, QStringList{Added});
            OperatorSession session(login, QStringLiteral("one"));
            QVERIFY2(session.isOpen(), qPrintable(session.error()));
            QVERIFY(session.run(QStringLiteral("SELECT Groups,Number,Admin FROM orvex_base.users WHERE Login='%1'").arg(login)));
            QVERIFY(session.run(QStringLiteral("UPDATE orvex_base.objects SET State='2' WHERE IMEI='351234567890123'")));
            QCOMPARE(session.run(QStringLiteral("SELECT Pass FROM orvex_base.users")), admin);
            QCOMPARE(session.run(QStringLiteral("SELECT * FROM orvex_base.users")), admin);
            QCOMPARE(session.run(QStringLiteral("UPDATE orvex_base.objects SET Group_='B' WHERE IMEI='351234567890123'")), admin);
            QVERIFY(!session.run(QStringLiteral("INSERT INTO orvexXbase.t VALUES (1)")));
            QVERIFY(!session.run(QStringLiteral("SELECT * FROM orvexXbase.t")));
            // The frames through the role, once the frame tables are opened.
            QVERIFY(session.run(QStringLiteral("SET ROLE orvex_frames")));
            QCOMPARE(session.run(frame), admin);
        }
        seed(QStringLiteral("DROP DATABASE orvexXbase;"
                            "CREATE TABLE orvex_base.o_backup_users AS SELECT * FROM orvex_base.users"));
        m_dialogs->clear();
        m_form->TabSheet3->FramesButton->click();
        QCOMPARE(m_dialogs->messages.size(), 1);
        QVERIFY2(m_dialogs->messages.first().contains(QStringLiteral("1 из 1")), qPrintable(m_dialogs->messages.first()));
        {
            OperatorSession session(QStringLiteral("smena"), QStringLiteral("one"));
            QVERIFY(session.run(QStringLiteral("SET ROLE orvex_frames")));
            QVERIFY(session.run(frame));
            // A table that only looks like a frame table is not opened.
            QVERIFY(!session.run(QStringLiteral("SELECT Pass FROM orvex_base.o_backup_users")));
        }

        // An account anyone may log in to with no password is no operator's.
        m_dialogs->clear();
        typeOperator(QStringLiteral("smena2"), QString(), QStringLiteral("%"), false);
        m_form->TabSheet3->SpeedButton5->click();
        QCOMPARE(m_dialogs->messages, QStringList{QStringLiteral("Введите пароль пользователя")});
        QVERIFY(accounts(QStringLiteral("smena2")).isEmpty());
    }

    // The objects' IMEIs are read once per showing of the window, whichever
    // of the tabs that list them are visited.
    void objectsAreReadOncePerShowing()
    {
        seed(QStringLiteral("INSERT INTO orvex_base.objects(IMEI) VALUES ('351234567890123'),('351234567890124')"));
        DbProxy proxy(TestDatabase::port());
        logIn(QStringLiteral("Pilot"), QStringLiteral("Pilot"), proxy.port());
        proxy.countFrom("SELECT IMEI FROM orvex_base.objects");
        openTab(1);
        openTab(5);
        openTab(1);
        QCOMPARE(proxy.counted(), 1);
        m_form->close();
        openTab(5);
        QCOMPARE(proxy.counted(), 2);
    }

    // Among many objects one is found by any part of its IMEI as it is
    // typed, on the rule tab and on the object tab; an IMEI of no object
    // makes no rule.
    void objectsAreFoundAsOneTypes()
    {
        seed(QStringLiteral("INSERT INTO orvex_base.objects(IMEI,Name) VALUES ('351234567890123','NCR'),"
                            "('351234567890124','Wincor'),('359999000000001','Diebold')"));
        openTab(5);
        QTest::mouseClick(m_form->TabSheet6->RzRadioButton1, Qt::LeftButton);
        QCompleter *completer = m_form->TabSheet6->ComboBox2->completer();
        QTest::keyClicks(m_form->TabSheet6->ComboBox2->lineEdit(), QStringLiteral("67890"));
        QCOMPARE(completer->completionCount(), 2);
        m_form->TabSheet6->ComboBox2->setEditText(QStringLiteral("351234567890124"));
        m_form->TabSheet6->SpeedButton12->click();
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT Object FROM orvex_base.events")), QStringLiteral("351234567890124"));

        m_form->TabSheet6->ComboBox2->setEditText(QStringLiteral("351234567899999"));
        m_form->TabSheet6->SpeedButton12->click();
        QCOMPARE(m_dialogs->messages.size(), 1);
        QVERIFY(m_dialogs->messages.first().contains(QStringLiteral("351234567899999")));
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT COUNT(*) FROM orvex_base.events")), QStringLiteral("1"));
        // An object another program added since the list was read is found.
        seed(QStringLiteral("INSERT INTO orvex_base.objects(IMEI) VALUES ('351234567899999')"));
        m_form->TabSheet6->ComboBox2->setEditText(QStringLiteral("351234567899999"));
        m_form->TabSheet6->SpeedButton12->click();
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT COUNT(*) FROM orvex_base.events")), QStringLiteral("2"));

        openTab(1);
        QTest::keyClicks(m_form->TabSheet2->ObjectFind, QStringLiteral("9999"));
        QCOMPARE(m_form->TabSheet2->ObjectFind->completer()->completionCount(), 1);
        m_form->TabSheet2->ObjectFind->setText(QStringLiteral("359999000000001"));
        QTest::keyClick(m_form->TabSheet2->ObjectFind, Qt::Key_Return);
        QCOMPARE(m_form->TabSheet2->StringGrid2->item(m_form->TabSheet2->StringGrid2->currentRow(), 0)->text(), QStringLiteral("359999000000001"));
        QCOMPARE(m_form->TabSheet2->Edit2->text(), QStringLiteral("Diebold"));
    }
};

QTEST_MAIN(TestAdminWindow)
#include "test_admin_window.moc"
