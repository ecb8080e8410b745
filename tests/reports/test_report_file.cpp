#include "ReportFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

// Where a report goes, and how it takes the place of one there.
class TestReportFile final : public QObject
{
    Q_OBJECT

private:
    static void write(const QString &path, const QByteArray &bytes)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    static QByteArray read(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir m_tmp;

private slots:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        qputenv("TMPDIR", QFile::encodeName(m_tmp.path()));
    }

    // The report is written under a hidden name of its own and takes a
    // report's name only when finished: its own, or beside yesterday's the
    // first free one, and yesterday's place only when told to, in one step.
    void aNewReportGoesBesideTheOldOne()
    {
        QTemporaryDir documents;
        const QDir dir(documents.path());
        ReportFile first(documents.path());
        QVERIFY(first.isUsable());
        QVERIFY(QFileInfo(first.work()).fileName().startsWith(QLatin1Char('.')));
        QCOMPARE(QFileInfo(first.work()).absolutePath(), documents.path());
        write(first.work(), "first");
        QVERIFY(first.publish());
        QCOMPARE(first.written(), dir.filePath(QStringLiteral("ORVEX_Report.xlsx")));
        QVERIFY(!first.besideAnother());
        QVERIFY(first.isWhereExpected(first.written()));
        QVERIFY(!QFile::exists(first.work()));

        write(dir.filePath(QStringLiteral("ORVEX_Report (2).xlsx")), "the day before");
        ReportFile second(documents.path());
        write(second.work(), "today");
        QVERIFY(second.publish());
        QCOMPARE(second.written(), dir.filePath(QStringLiteral("ORVEX_Report (3).xlsx")));
        QVERIFY(second.besideAnother());
        QVERIFY(!second.isWhereExpected(second.written()));
        QVERIFY(second.replace());
        QCOMPARE(read(second.target()), QByteArray("today"));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("ORVEX_Report (3).xlsx"))));
        QCOMPARE(read(dir.filePath(QStringLiteral("ORVEX_Report (2).xlsx"))), QByteArray("the day before"));
    }

    // Another station sharing the folder finished its report under the name
    // meanwhile: it is never written over; a report not kept leaves nothing.
    void aNameTakenMeanwhileIsNeverWrittenOver()
    {
        QTemporaryDir documents;
        const QDir dir(documents.path());
        ReportFile mine(documents.path());
        ReportFile theirs(documents.path());
        QVERIFY(mine.work() != theirs.work());
        write(theirs.work(), "theirs");
        QVERIFY(theirs.publish());
        write(mine.work(), "mine");
        QVERIFY(mine.publish());
        QCOMPARE(read(dir.filePath(QStringLiteral("ORVEX_Report.xlsx"))), QByteArray("theirs"));
        QCOMPARE(read(mine.written()), QByteArray("mine"));
        QCOMPARE(mine.written(), dir.filePath(QStringLiteral("ORVEX_Report (2).xlsx")));

        ReportFile dropped(documents.path());
        write(dropped.work(), "cancelled");
        dropped.discard();
        QCOMPARE(dir.entryList(QDir::Files | QDir::Hidden).size(), 2);
    }

    // A documents folder that cannot be made goes to a folder of the user's
    // own in the temporary one, which nobody else may enter, and a report
    // there is its owner's alone.
    void anUnwritableFolderGoesToAPrivateOne()
    {
        QTemporaryDir scratch;
        write(QDir(scratch.path()).filePath(QStringLiteral("file")), "not a folder");
        ReportFile file(QDir(scratch.path()).filePath(QStringLiteral("file/Documents")));
        QVERIFY(file.isUsable());
        QVERIFY(file.isPrivate());
        const QString folder = QFileInfo(file.work()).absolutePath();
        QVERIFY(folder.startsWith(m_tmp.path()));
        QCOMPARE(QFile::permissions(folder) & (QFile::ReadGroup | QFile::ReadOther | QFile::ExeGroup | QFile::ExeOther),
                 QFile::Permissions());
        write(file.work(), "report");
        QVERIFY(file.publish());
        file.restrict(file.written());
        QCOMPARE(QFile::permissions(file.written()) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
        QVERIFY(!file.isWhereExpected(file.written()));
    }
};

QTEST_GUILESS_MAIN(TestReportFile)
#include "test_report_file.moc"
