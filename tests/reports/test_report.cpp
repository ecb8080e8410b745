#include "Database.h"
#include "RecordingDialogs.h"
#include "ReportJob.h"
#include "ReportSql.h"
#include "StationState.h"
#include "TestConnections.h"
#include "TForm7.h"
#include "TestDatabase.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <memory>

#include <csignal>
#include <signal.h>
#include <sys/resource.h>

namespace {

const QString Login = QStringLiteral("Rep");
const QString Password = QStringLiteral("rep-1");
const QString ImeiA = QStringLiteral("351111111111111");
const QString ImeiB = QStringLiteral("352222222222222");
const QString ImeiC = QStringLiteral("353333333333333");
const QString TextFormat = QStringLiteral("0");
const QString DateFormat = QStringLiteral("dd.mm.yyyy hh:mm:ss");

// One sheet as openpyxl reads it: (row, column) -> [kind, value, number format].
struct Sheet
{
    QString name;
    QMap<QPair<int, int>, QStringList> cells;

    QStringList at(int row, int column) const { return cells.value({row, column}); }
    QString text(int row, int column) const { return at(row, column).value(1); }
    int lastRow() const
    {
        int last = 0;
        for (auto it = cells.cbegin(); it != cells.cend(); ++it)
            last = std::max(last, it.key().first);
        return last;
    }
};

QList<Sheet> readBack(const QString &path)
{
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {qEnvironmentVariable("ORVEX_READ_WORKBOOK"), path});
    if (!python.waitForFinished(120000) || python.exitCode() != 0) {
        qWarning() << "openpyxl could not read" << path << python.readAllStandardError();
        return {};
    }
    QList<Sheet> sheets;
    for (const QJsonValue &s : QJsonDocument::fromJson(python.readAllStandardOutput()).array()) {
        Sheet sheet;
        sheet.name = s[QStringLiteral("name")].toString();
        for (const QJsonValue &c : s[QStringLiteral("cells")].toArray()) {
            const QJsonArray a = c.toArray();
            sheet.cells.insert({a[0].toInt(), a[1].toInt()}, {a[2].toString(), a[3].toString(), a[4].toString()});
        }
        sheets << sheet;
    }
    return sheets;
}

} // namespace

class TestReport final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_tmp;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<StationState> m_state;
    RecordingDialogs m_dialogs;
    std::unique_ptr<Database> m_database;
    std::unique_ptr<TForm7> m_form;
    QList<QUrl> m_opened;

    QString reportPath() const { return QDir(m_dir->path()).filePath(QStringLiteral("ORVEX_Report.xlsx")); }

    void login(const QString &login, const QString &password)
    {
        m_state->Login = login;
        m_state->Password = password;
        QVERIFY(m_database->Connect_Base(QStringLiteral("orvex_base")));
    }

    // A limited account: SELECT on the named tables only.
    static void addLimited(const QStringList &tables)
    {
        QVERIFY(TestDatabase::exec(QStringLiteral("CREATE USER 'Limited'@'%' IDENTIFIED BY 'lim'")));
        for (const QString &t : tables)
            QVERIFY(TestDatabase::exec(QStringLiteral("GRANT SELECT ON orvex_base.%1 TO 'Limited'@'%'").arg(t)));
    }

    void select(QComboBox *combo, const QString &text)
    {
        const int i = combo->findText(text);
        QVERIFY2(i > 0, qPrintable(text));
        combo->setCurrentIndex(i);
    }

    void runReport(ReportJob::Outcome expected)
    {
        QSignalSpy done(m_form.get(), &TForm7::reportFinished);
        m_form->SpeedButton1->click();
        QVERIFY(m_form->isRunning());
        QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 120000);
        QCOMPARE(done.first().first().value<ReportJob::Outcome>(), expected);
        QVERIFY(!m_form->isRunning());
    }

    // The heading as it must stand in column A, and the column headings in row 8.
    static void checkHeading(const Sheet &sheet, const ReportHeading &h, const QString &count)
    {
        const QStringList lines{h.title, h.period, h.group, h.user, count, h.content};
        for (int row = 1; row <= 6; ++row) {
            if (lines.at(row - 1).isEmpty()) {
                QVERIFY2(sheet.at(row, 1).isEmpty(), qPrintable(sheet.text(row, 1)));
                continue;
            }
            QCOMPARE(sheet.at(row, 1), (QStringList{QStringLiteral("text"), lines.at(row - 1), TextFormat}));
        }
        QVERIFY(sheet.at(7, 1).isEmpty());
        for (int c = 0; c < h.columns.size(); ++c)
            QCOMPARE(sheet.at(8, c + 1), (QStringList{QStringLiteral("text"), h.columns.at(c), TextFormat}));
        QVERIFY(sheet.at(9, 1).isEmpty());
    }

    // The rows from firstRow on against the statement's rows, as root reads
    // them; names maps an IMEI to the object name the sheet must show.
    static void checkRows(const Sheet &sheet, int firstRow, const QList<QStringList> &rows, bool allObjects,
                          const QMap<QString, QString> &names)
    {
        for (int k = 0; k < rows.size(); ++k) {
            const QStringList &db = rows.at(k);
            const int row = firstRow + k;
            QCOMPARE(sheet.at(row, 1), (QStringList{QStringLiteral("date"), db.at(0), DateFormat}));
            QStringList texts = db.mid(1);
            if (allObjects) {
                const QString name = names.value(texts.takeFirst());
                if (name.isEmpty())
                    QVERIFY2(sheet.at(row, 2).isEmpty(), qPrintable(sheet.text(row, 2)));
                else
                    QCOMPARE(sheet.at(row, 2), (QStringList{QStringLiteral("text"), name, TextFormat}));
            }
            const int first = allObjects ? 3 : 2;
            // An empty text leaves a formatted empty cell, as setting an empty value does.
            for (int i = 0; i < texts.size(); ++i)
                QCOMPARE(sheet.at(row, first + i),
                         (QStringList{texts.at(i).isEmpty() ? QStringLiteral("empty") : QStringLiteral("text"), texts.at(i),
                                      TextFormat}));
        }
        QCOMPARE(sheet.lastRow(), rows.isEmpty() ? 8 : firstRow + int(rows.size()) - 1);
    }

    // "Отмена" in the progress window, as the operator presses it.
    bool pressCancel() const
    {
        for (QPushButton *button : m_form->progressDialog()->findChildren<QPushButton *>()) {
            if (button->text() == QStringLiteral("Отмена") && button->isVisible()) {
                button->click();
                return true;
            }
        }
        return false;
    }

private slots:
    // The temporary folder, where a report goes when the documents folder
    // cannot be written, is the test's own.
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        qputenv("TMPDIR", QFile::encodeName(m_tmp.path()));
    }

    void init()
    {
        QString error;
        QVERIFY2(TestDatabase::seed(QStringLiteral(
            "INSERT INTO orvex_base.groups(Name) VALUES('Север'),('Юг');"
            "INSERT INTO orvex_base.objects(IMEI,Name,Group_) VALUES('%1','NCR 1','Север'),('%2','00123','Север'),"
            "('%3','Wincor','Юг');"
            // C was in Север when its guard message was written, and is in Юг now.
            "INSERT INTO orvex_base.messages(IMEI,Date,Type,Event,Group_,User) VALUES"
            "('%1','2011-07-31 23:59:59','Событие','Накануне','Север','Pilot'),"
            "('%1','2011-08-01 00:00:00','Тревога','Вскрытие сейфа','Север',''),"
            "('%2','2011-08-15 12:30:05','Событие','007','Север','Pilot'),"
            "('%3','2011-08-31 23:59:59','Охрана','Взят под охрану','Север','Operator'),"
            "('%3','2011-08-20 08:00:00','Команда','Запрос состояния','Юг','Rep'),"
            "('%1','2011-09-01 00:00:00','Команда','Запрос кадра','Север','Rep')")
                                       .arg(ImeiA, ImeiB, ImeiC),
                                   &error),
                 qPrintable(error));
        QVERIFY2(TestDatabase::addOperator(Login, Password, true, {}, {QStringLiteral("Север")}, &error),
                 qPrintable(error));
        m_dir = std::make_unique<QTemporaryDir>();
        m_state = std::make_unique<StationState>();
        m_state->Base_address = QStringLiteral("127.0.0.1");
        m_state->Base_port = TestDatabase::port();
        m_state->dialogs = &m_dialogs;
        m_dialogs.clear();
        m_dialogs.nextAnswer = true;
        m_database = std::make_unique<Database>(*m_state);
        login(Login, Password);
        m_form = std::make_unique<TForm7>(*m_state, *m_database);
        m_form->setReportFolder(m_dir->path());
        m_opened.clear();
        m_form->setOpener([this](const QUrl &url) {
            m_opened << url;
            return true;
        });
    }

    void cleanup()
    {
        m_form.reset();
        m_database.reset();
        TestDatabase::exec(QStringLiteral("DROP USER IF EXISTS 'Limited'@'%';"
                                          "SET GLOBAL sql_mode=DEFAULT; SET GLOBAL tx_isolation=DEFAULT"));
    }

    void listsAtEveryShowing()
    {
        const QDate today = QDate::currentDate();
        QCOMPARE(m_form->DTP1->date(), today.addDays(-30));
        QCOMPARE(m_form->DTP2->date(), today);
        m_form->show();
        const auto items = [](QComboBox *c) {
            QStringList out;
            for (int i = 0; i < c->count(); ++i)
                out << c->itemText(i);
            return out;
        };
        const auto column = [](const QString &sql, int i) {
            QStringList out{QStringLiteral("Все")};
            for (const QStringList &row : TestDatabase::rows(sql))
                out << row.at(i);
            return out;
        };
        QCOMPARE(items(m_form->ComboBox3), column(ReportSql::groups(), 0));
        QCOMPARE(items(m_form->ComboBox2), column(ReportSql::users(), 0));
        const QString objects = ReportSql::objects(SqlEscaper(), {}, false);
        QCOMPARE(items(m_form->ComboBox1), column(objects, 0));
        QCOMPARE(items(m_form->ComboBox4), column(objects, 1));
        QCOMPARE(m_form->ComboBox1->count(), 4);

        select(m_form->ComboBox3, QStringLiteral("Юг"));
        QCOMPARE(items(m_form->ComboBox1), (QStringList{QStringLiteral("Все"), QStringLiteral("Wincor")}));
        QCOMPARE(items(m_form->ComboBox4), (QStringList{QStringLiteral("Все"), ImeiC}));
        select(m_form->ComboBox1, QStringLiteral("Wincor"));
        QCOMPARE(m_form->ComboBox4->currentText(), ImeiC);
        QVERIFY(m_form->selection().objectChosen);

        // Shown again: the lists start over on "Все", ticks and dates stay.
        m_form->RzCheckBox3->setChecked(true);
        m_form->DTP1->setDate(QDate(2011, 8, 1));
        m_form->hide();
        TestDatabase::exec(QStringLiteral("INSERT INTO orvex_base.groups(Name) VALUES('Запад')"));
        m_form->show();
        QCOMPARE(m_form->ComboBox3->currentIndex(), 0);
        QVERIFY(items(m_form->ComboBox3).contains(QStringLiteral("Запад")));
        QCOMPARE(m_form->ComboBox1->count(), 4);
        QCOMPARE(m_form->ComboBox4->currentText(), QStringLiteral("Все"));
        QVERIFY(m_form->RzCheckBox3->isChecked());
        QCOMPARE(m_form->DTP1->date(), QDate(2011, 8, 1));
        QVERIFY(m_dialogs.messages.isEmpty());
    }

    void listRefusedByServer()
    {
        addLimited({QStringLiteral("users")});
        login(QStringLiteral("Limited"), QStringLiteral("lim"));
        m_form->show();
        // The refused group list does not stop the user list.
        QCOMPARE(m_dialogs.messages, (QStringList{QStringLiteral("Нет доступа к таблице групп"),
                                                  QStringLiteral("Нет доступа к таблице объектов")}));
        QCOMPARE(m_form->ComboBox3->count(), 1);
        QCOMPARE(m_form->ComboBox1->count(), 1);
        QVERIFY(m_form->ComboBox2->count() > 1);
    }

    void groupReportReadBack()
    {
        m_form->show();
        select(m_form->ComboBox3, QStringLiteral("Север"));
        m_form->DTP1->setDate(QDate(2011, 8, 1));
        m_form->DTP2->setDate(QDate(2011, 8, 31));
        const ReportSelection s = m_form->selection();
        const QString sql = ReportSql::report(SqlEscaper(), s);
        QCOMPARE(sql, QStringLiteral("SELECT Date,IMEI,Type,Event,User FROM orvex_base.messages WHERE Date >= "
                                     "'2011-08-01 00:00:00' AND Date <= '2011-08-31 23:59:59' AND Group_='Север'"));
        runReport(ReportJob::Outcome::Written);
        QCOMPARE(m_form->lastReport(), reportPath());
        QCOMPARE(m_opened, (QList<QUrl>{QUrl::fromLocalFile(reportPath())}));
        QVERIFY(m_dialogs.messages.isEmpty());

        const QList<Sheet> sheets = readBack(reportPath());
        QCOMPARE(sheets.size(), 1);
        const QList<QStringList> rows = TestDatabase::rows(sql);
        // Both days whole, and the message of C under the group it had then.
        QCOMPARE(rows.size(), 3);
        checkHeading(sheets.first(), ReportSql::heading(s), QStringLiteral("Записей в отчете: 3"));
        // C is no longer listed in Север: its name cell stays empty; "00123"
        // and "007" stay texts.
        checkRows(sheets.first(), 10, rows, true, {{ImeiA, QStringLiteral("NCR 1")}, {ImeiB, QStringLiteral("00123")}});
    }

    void oneObjectAndEmptyReports()
    {
        m_form->show();
        select(m_form->ComboBox1, QStringLiteral("Wincor"));
        m_form->RzCheckBox1->setChecked(true);
        ReportSelection s = m_form->selection();
        runReport(ReportJob::Outcome::Written);
        QList<Sheet> sheets = readBack(reportPath());
        QCOMPARE(sheets.size(), 1);
        checkHeading(sheets.first(), ReportSql::heading(s), QStringLiteral("Записей в отчете: 2"));
        checkRows(sheets.first(), 10, TestDatabase::rows(ReportSql::report(SqlEscaper(), s)), false, {});

        // Nothing of that kind: the count reads 0 and nothing follows row 8.
        m_form->RzCheckBox2->setChecked(true);
        s = m_form->selection();
        QVERIFY(QFile::remove(reportPath()));
        runReport(ReportJob::Outcome::Written);
        sheets = readBack(reportPath());
        QCOMPARE(sheets.size(), 1);
        checkHeading(sheets.first(), ReportSql::heading(s), QStringLiteral("Записей в отчете: 0"));
        checkRows(sheets.first(), 10, {}, false, {});
    }

    void rowsGoOnInFurtherSheets()
    {
        QString values;
        for (int i = 0; i < 30; ++i)
            values += QStringLiteral("%1('%2','2012-01-01 10:00:%3','Событие','Строка %4','Юг','Pilot')")
                          .arg(i ? QStringLiteral(",") : QString(), ImeiC)
                          .arg(i, 2, 10, QLatin1Char('0'))
                          .arg(i);
        QVERIFY(TestDatabase::exec(QStringLiteral("INSERT INTO orvex_base.messages(IMEI,Date,Type,Event,Group_,User) VALUES ")
                                   + values));
        // 12 rows a sheet: 3 under the heading of the first, 11 on each next.
        m_form->setSheetRows(12);
        m_form->show();
        select(m_form->ComboBox3, QStringLiteral("Юг"));
        m_form->DTP1->setDate(QDate(2012, 1, 1));
        m_form->DTP2->setDate(QDate(2012, 1, 1));
        const ReportSelection s = m_form->selection();
        runReport(ReportJob::Outcome::Written);
        const QList<Sheet> sheets = readBack(reportPath());
        QCOMPARE(sheets.size(), 4);
        const QList<QStringList> rows = TestDatabase::rows(ReportSql::report(SqlEscaper(), s));
        QCOMPARE(rows.size(), 30);
        const QMap<QString, QString> names{{ImeiC, QStringLiteral("Wincor")}};
        const ReportHeading h = ReportSql::heading(s);
        checkHeading(sheets.at(0), h, QStringLiteral("Записей в отчете: 30"));
        checkRows(sheets.at(0), 10, rows.mid(0, 3), true, names);
        qsizetype next = 3;
        for (int i = 1; i < 4; ++i) {
            const Sheet &sheet = sheets.at(i);
            for (int c = 0; c < h.columns.size(); ++c)
                QCOMPARE(sheet.at(1, c + 1), (QStringList{QStringLiteral("text"), h.columns.at(c), TextFormat}));
            const QList<QStringList> part = rows.mid(next, 11);
            checkRows(sheet, 2, part, true, names);
            next += part.size();
        }
        QCOMPARE(next, 30);
    }

    void existingReport_data()
    {
        QTest::addColumn<bool>("replace");
        QTest::newRow("replaced") << true;
        QTest::newRow("kept beside") << false;
    }

    void existingReport()
    {
        QFETCH(bool, replace);
        {
            QFile old(reportPath());
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("the report of yesterday");
        }
        m_dialogs.nextAnswer = replace;
        m_form->show();
        m_form->RzCheckBox1->setChecked(true);
        runReport(ReportJob::Outcome::Written);
        QCOMPARE(m_dialogs.confirmations.size(), 1);
        QVERIFY(m_dialogs.confirmations.first().contains(QDir::toNativeSeparators(reportPath())));
        const QString kept = QDir(m_dir->path()).filePath(QStringLiteral("ORVEX_Report (2).xlsx"));
        QFile old(reportPath());
        QVERIFY(old.open(QIODevice::ReadOnly));
        if (replace) {
            QVERIFY(m_dialogs.messages.isEmpty());
            QCOMPARE(m_form->lastReport(), reportPath());
            QVERIFY(old.readAll() != "the report of yesterday");
            QVERIFY(!QFile::exists(kept));
        } else {
            QCOMPARE(old.readAll(), QByteArray("the report of yesterday"));
            QCOMPARE(m_form->lastReport(), kept);
            QCOMPARE(m_dialogs.messages.size(), 1);
            QVERIFY(m_dialogs.messages.first().startsWith(QStringLiteral("Не забудьте сохранить сделанные изменения !")));
            QVERIFY(m_dialogs.messages.first().contains(QDir::toNativeSeparators(kept)));
        }
        QCOMPARE(readBack(m_form->lastReport()).value(0).text(5, 1), QStringLiteral("Записей в отчете: 6"));
        QCOMPARE(m_opened, (QList<QUrl>{QUrl::fromLocalFile(m_form->lastReport())}));
    }

    // A refused report says why, and never takes the place of one there.
    void refusedReportSaysWhy()
    {
        {
            QFile old(reportPath());
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("the report of yesterday");
        }
        addLimited({QStringLiteral("users"), QStringLiteral("`groups`"), QStringLiteral("objects")});
        login(QStringLiteral("Limited"), QStringLiteral("lim"));
        m_form->show();
        QVERIFY(m_dialogs.messages.isEmpty());
        const ReportSelection s = m_form->selection();
        runReport(ReportJob::Outcome::Rejected);
        // Heading without count and rows, and the server's reason besides.
        QCOMPARE(m_dialogs.messages.size(), 1);
        QVERIFY2(m_dialogs.messages.first().contains(QStringLiteral("Limited")), qPrintable(m_dialogs.messages.first()));
        QVERIFY(m_dialogs.confirmations.isEmpty());
        QFile old(reportPath());
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("the report of yesterday"));
        const QList<Sheet> sheets = readBack(m_form->lastReport());
        QCOMPARE(sheets.size(), 1);
        const Sheet &sheet = sheets.first();
        checkHeading(sheet, ReportSql::heading(s), QString());
        // The file says of itself, in its last row, that it holds nothing
        // and why: passed on, it does not read as a quiet period.
        const QString note = sheet.text(sheet.lastRow(), 1);
        QVERIFY2(note.startsWith(QStringLiteral("Отчет не содержит записей: сервер не выполнил запрос отчета")), qPrintable(note));
        QVERIFY2(note.contains(QStringLiteral("Limited")), qPrintable(note));
        QCOMPARE(m_opened.size(), 1);
    }

    // A cut report never replaces a whole one, says so before anything is
    // asked, and says inside, in its last row, how many of how many rows it
    // holds.
    void cutRowsSayTheReportIsIncomplete()
    {
        {
            QFile old(reportPath());
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("the report of yesterday");
        }
        QVERIFY(TestDatabase::exec(QStringLiteral(
            "INSERT INTO orvex_base.messages(IMEI,Date,Type,Event,Group_,User) SELECT '%1',"
            "'2013-01-01 00:00:00' + INTERVAL seq SECOND,'Событие',REPEAT('x',400),'Юг','Pilot' FROM seq_1_to_150000")
                                       .arg(ImeiC)));
        m_form->show();
        m_form->RzCheckBox1->setChecked(true);
        // The session is killed from the worker's own thread once rows have
        // been written, so that rows are certainly still on their way.
        bool killed = false;
        connect(m_form.get(), &TForm7::reportStarted, this, [&killed](ReportJob *job) {
            connect(job, &ReportJob::progress, job, [&killed](qint64 rows, qint64 total) {
                if (killed || rows == 0 || rows >= total)
                    return;
                killed = true;
                const QString id = TestDatabase::value(QStringLiteral(
                    "SELECT ID FROM information_schema.PROCESSLIST WHERE USER='Rep' AND INFO LIKE 'SELECT Date%'"));
                TestDatabase::exec(QStringLiteral("KILL CONNECTION ") + id);
            }, Qt::DirectConnection);
        });
        runReport(ReportJob::Outcome::Cut);
        QVERIFY(killed);
        QVERIFY(m_dialogs.confirmations.isEmpty());
        QCOMPARE(m_dialogs.messages.size(), 1);
        QVERIFY2(m_dialogs.messages.first().startsWith(QStringLiteral("Отчет неполный")), qPrintable(m_dialogs.messages.first()));
        QVERIFY2(m_dialogs.messages.first().contains(QStringLiteral("connection"), Qt::CaseInsensitive),
                 qPrintable(m_dialogs.messages.first()));
        QFile old(reportPath());
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("the report of yesterday"));
        const QString kept = QDir(m_dir->path()).filePath(QStringLiteral("ORVEX_Report (2).xlsx"));
        QVERIFY2(m_dialogs.messages.first().contains(QDir::toNativeSeparators(kept)), qPrintable(m_dialogs.messages.first()));
        QCOMPARE(m_opened, (QList<QUrl>{QUrl::fromLocalFile(kept)}));
        const QList<Sheet> sheets = readBack(kept);
        const Sheet &last = sheets.last();
        QVERIFY2(last.text(last.lastRow(), 1).startsWith(QStringLiteral("Отчет неполный")),
                 qPrintable(last.text(last.lastRow(), 1)));
        QVERIFY2(last.text(last.lastRow(), 1).contains(QStringLiteral(" из 150006")), qPrintable(last.text(last.lastRow(), 1)));
    }

    // Cancelled by the operator, or left by him for another who logs in at
    // the station: the report stops, leaves no file and opens for nobody.
    void cancelLeavesNoFile_data()
    {
        QTest::addColumn<bool>("newLogin");
        QTest::newRow("cancelled") << false;
        QTest::newRow("another operator logs in") << true;
    }

    void cancelLeavesNoFile()
    {
        QFETCH(bool, newLogin);
        // The journal is locked, so the report waits at its first statement
        // until the operator has cancelled it.
        Database root;
        QVERIFY(root.open(rootAccount()));
        QVERIFY(root.exec(QStringLiteral("LOCK TABLES orvex_base.messages WRITE")));
        m_form->show();
        m_form->RzCheckBox1->setChecked(true);
        QSignalSpy done(m_form.get(), &TForm7::reportFinished);
        m_form->SpeedButton1->click();
        QVERIFY(m_form->isRunning());
        QVERIFY(m_form->progressDialog()->isVisible());
        QVERIFY(!m_form->SpeedButton1->isEnabled());
        QVERIFY(!m_form->ComboBox3->isEnabled());
        // A second press while one runs starts nothing.
        QVERIFY(!m_form->Make_Report());
        if (newLogin) {
            m_form->abandon();
        } else {
            QVERIFY(pressCancel());
        }
        QVERIFY(root.exec(QStringLiteral("UNLOCK TABLES")));
        QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 60000);
        QCOMPARE(done.first().first().value<ReportJob::Outcome>(), ReportJob::Outcome::Cancelled);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList());
        QVERIFY(m_opened.isEmpty());
        QVERIFY(m_dialogs.messages.isEmpty());
        QVERIFY(m_form->SpeedButton1->isEnabled());
        QVERIFY(!m_form->progressDialog()->isVisible());
    }

    // "Отмена" pressed after the job's last look at it, while its finished
    // report is on its way to the window: cancel still wins.
    void aCancelAfterTheLastLookStillWins()
    {
        m_form->show();
        std::atomic<bool> ended{false};
        connect(m_form.get(), &TForm7::reportStarted, this, [&ended](ReportJob *job) {
            connect(job, &ReportJob::finished, job, [&ended] { ended = true; }, Qt::DirectConnection);
        });
        QSignalSpy done(m_form.get(), &TForm7::reportFinished);
        m_form->SpeedButton1->click();
        // No events meanwhile: the outcome waits in the window's queue.
        QElapsedTimer waited;
        waited.start();
        while (!ended && waited.elapsed() < 60000)
            QThread::msleep(5);
        QVERIFY(ended);
        QVERIFY(pressCancel());
        QTRY_COMPARE(done.count(), 1);
        QCOMPARE(done.first().first().value<ReportJob::Outcome>(), ReportJob::Outcome::Cancelled);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList());
        QVERIFY(m_opened.isEmpty());
        QVERIFY(m_dialogs.messages.isEmpty());
        QVERIFY(m_dialogs.confirmations.isEmpty());
    }

    // "Отмена" while the count waits on a table another session holds: the
    // statement is stopped at once, the window says so until it has
    // stopped, and nothing is kept, told or opened. So too when the database
    // server does not answer at all (stopped, or the network gone without a
    // word) when "Отмена" is pressed.
    void cancelStopsAWaitingCount_data()
    {
        QTest::addColumn<bool>("serverStopped");
        QTest::newRow("server answering") << false;
        QTest::newRow("server not answering") << true;
    }

    void cancelStopsAWaitingCount()
    {
        QFETCH(bool, serverStopped);
        Database root;
        QVERIFY(root.open(rootAccount()));
        QVERIFY(root.exec(QStringLiteral("LOCK TABLES orvex_base.messages WRITE")));
        m_form->show();
        QSignalSpy done(m_form.get(), &TForm7::reportFinished);
        m_form->SpeedButton1->click();
        QTRY_VERIFY(!TestDatabase::value(QStringLiteral(
                         "SELECT ID FROM information_schema.PROCESSLIST WHERE USER='Rep' AND INFO LIKE 'SELECT COUNT%'"))
                         .isEmpty());
        qint64 server = 0;
        if (serverStopped) {
            QFile pidFile(QDir(qEnvironmentVariable("ORVEX_TEST_DB_DIR")).filePath(QStringLiteral("mariadbd.pid")));
            QVERIFY(pidFile.open(QIODevice::ReadOnly));
            server = pidFile.readAll().trimmed().toLongLong();
            QVERIFY(server > 0);
            QVERIFY(::kill(pid_t(server), SIGSTOP) == 0);
        }
        const auto resume = qScopeGuard([server] {
            if (server)
                ::kill(pid_t(server), SIGCONT);
        });
        QVERIFY(pressCancel());
        QVERIFY(m_form->progressDialog()->isVisible());
        QVERIFY2(m_form->progressDialog()->labelText().contains(QStringLiteral("останавливается")),
                 qPrintable(m_form->progressDialog()->labelText()));
        QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 10000);
        QCOMPARE(done.first().first().value<ReportJob::Outcome>(), ReportJob::Outcome::Cancelled);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList());
        QVERIFY(m_opened.isEmpty());
        QVERIFY2(m_dialogs.messages.isEmpty(), qPrintable(m_dialogs.messages.join(u'|')));
        QVERIFY(!m_form->progressDialog()->isVisible());
        if (serverStopped)
            ::kill(pid_t(server), SIGCONT);
        // The server stops working for it too, while the table is still held.
        QTRY_VERIFY(TestDatabase::value(QStringLiteral(
                        "SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE USER='Rep' AND INFO LIKE 'SELECT COUNT%'"))
                    == QStringLiteral("0"));
        QVERIFY(root.exec(QStringLiteral("UNLOCK TABLES")));
    }

    // The station closes while a report waits: the window goes at once (the
    // table is still held when it is gone) and leaves no file.
    void closingDuringAReportLeavesNothing()
    {
        Database root;
        QVERIFY(root.open(rootAccount()));
        QVERIFY(root.exec(QStringLiteral("LOCK TABLES orvex_base.messages WRITE")));
        m_form->show();
        m_form->SpeedButton1->click();
        QTRY_VERIFY(!TestDatabase::value(QStringLiteral(
                         "SELECT ID FROM information_schema.PROCESSLIST WHERE USER='Rep' AND INFO LIKE 'SELECT COUNT%'"))
                         .isEmpty());
        m_form.reset();
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList());
        QVERIFY(root.exec(QStringLiteral("UNLOCK TABLES")));
        QVERIFY(m_opened.isEmpty());
    }

    // The disk fills while the report is written: it is no report, and it
    // says so; nothing of it is kept.
    void aFullDiskIsNoReport()
    {
        QVERIFY(TestDatabase::exec(QStringLiteral(
            "INSERT INTO orvex_base.messages(IMEI,Date,Type,Event,Group_,User) SELECT '%1',"
            "'2013-01-01 00:00:00' + INTERVAL seq SECOND,'Событие',REPEAT('x',400),'Юг','Pilot' FROM seq_1_to_40000")
                                       .arg(ImeiC)));
        m_form->show();
        m_form->RzCheckBox1->setChecked(true);
        // A file-size limit of the process plays the full disk; the signal
        // it sends is left aside, so that a write just fails.
        struct rlimit before{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &before), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit capped = before;
        capped.rlim_cur = 2 * 1024 * 1024;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &capped), 0);
        QSignalSpy done(m_form.get(), &TForm7::reportFinished);
        m_form->SpeedButton1->click();
        const bool finished = QTest::qWaitFor([&done] { return done.count() == 1; }, 120000);
        setrlimit(RLIMIT_FSIZE, &before);
        std::signal(SIGXFSZ, oldHandler);
        QVERIFY(finished);
        QCOMPARE(done.first().first().value<ReportJob::Outcome>(), ReportJob::Outcome::Failed);
        QCOMPARE(m_dialogs.messages.size(), 1);
        QVERIFY2(m_dialogs.messages.first().startsWith(QStringLiteral("Отчет не записан")),
                 qPrintable(m_dialogs.messages.first()));
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList());
        QVERIFY(m_opened.isEmpty());
    }

    // The documents folder cannot be written: the report goes elsewhere, is
    // readable by its owner only, and the operator is told where.
    void theOperatorIsToldWhereTheReportWent()
    {
        QFile blocker(QDir(m_dir->path()).filePath(QStringLiteral("not-a-folder")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        m_form->setReportFolder(QDir(blocker.fileName()).filePath(QStringLiteral("Documents")));
        m_form->show();
        runReport(ReportJob::Outcome::Written);
        QCOMPARE(m_dialogs.messages.size(), 1);
        QVERIFY2(m_dialogs.messages.first().contains(QDir::toNativeSeparators(m_form->lastReport())),
                 qPrintable(m_dialogs.messages.first()));
        QVERIFY(!m_form->lastReport().startsWith(m_dir->path()));
        QCOMPARE(QFile::permissions(m_form->lastReport()) & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteOther),
                 QFile::Permissions());
        QFile::remove(m_form->lastReport());

        // Where it is expected, but nothing opens it: he is told where it is.
        m_form->setReportFolder(m_dir->path());
        m_form->setOpener([](const QUrl &) { return false; });
        m_dialogs.clear();
        runReport(ReportJob::Outcome::Written);
        QCOMPARE(m_dialogs.messages.size(), 1);
        QVERIFY2(m_dialogs.messages.first().contains(QDir::toNativeSeparators(reportPath())),
                 qPrintable(m_dialogs.messages.first()));
    }

    // The report's statement is escaped as its own connection reads it, in
    // the server's mode, also when the station's connection is down.
    void theStatementFollowsTheReportsConnection()
    {
        QVERIFY(TestDatabase::exec(QStringLiteral(
            "INSERT INTO orvex_base.groups(Name) VALUES('O''Brien');"
            "UPDATE orvex_base.objects SET Group_='O''Brien' WHERE IMEI='%1';"
            "UPDATE orvex_base.messages SET Group_='O''Brien' WHERE IMEI='%1';"
            "SET GLOBAL sql_mode=CONCAT(@@GLOBAL.sql_mode, ',NO_BACKSLASH_ESCAPES')")
                                       .arg(ImeiA)));
        m_form->show();
        m_form->RzCheckBox1->setChecked(true);
        select(m_form->ComboBox3, QStringLiteral("O'Brien"));
        m_database->close();
        runReport(ReportJob::Outcome::Written);
        QVERIFY2(m_dialogs.messages.isEmpty(), qPrintable(m_dialogs.messages.join(u'|')));
        QCOMPARE(readBack(reportPath()).value(0).text(5, 1), QStringLiteral("Записей в отчете: 3"));
    }

    // Rows written after the count and before the rows are read, on a
    // server whose transactions read what others committed meanwhile: the
    // count line and the rows still agree.
    void countAndRowsAgree()
    {
        QVERIFY(TestDatabase::exec(QStringLiteral("SET GLOBAL tx_isolation='READ-COMMITTED'")));
        m_form->show();
        m_form->RzCheckBox1->setChecked(true);
        connect(m_form.get(), &TForm7::reportStarted, this, [](ReportJob *job) {
            connect(job, &ReportJob::progress, job, [](qint64 rows, qint64) {
                if (rows == 0)
                    TestDatabase::exec(QStringLiteral(
                        "INSERT INTO orvex_base.messages(IMEI,Date,Type,Event,Group_,User) VALUES"
                        "('%1','2011-08-02 10:00:00','Событие','позже','Север','Pilot')").arg(ImeiA));
            }, Qt::DirectConnection);
        });
        runReport(ReportJob::Outcome::Written);
        const QList<Sheet> sheets = readBack(reportPath());
        QCOMPARE(sheets.value(0).text(5, 1), QStringLiteral("Записей в отчете: %1").arg(sheets.value(0).lastRow() - 9));
    }
};

QTEST_MAIN(TestReport)
#include "test_report.moc"
