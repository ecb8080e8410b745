#include "ReportFile.h"

#include <QDir>
#include <QFile>
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

private slots:
    // Beside yesterday's report the new one is written under the first free
    // name, and takes its place only when told to, in one step.
    void aNewReportGoesBesideTheOldOne()
    {
        QTemporaryDir documents;
        const QDir dir(documents.path());
        ReportFile first(documents.path());
        QCOMPARE(first.written(), dir.filePath(QStringLiteral("ORVEX_Report.xlsx")));
        QVERIFY(!first.besideAnother());
        QVERIFY(first.isWhereExpected(first.written()));

        write(dir.filePath(QStringLiteral("ORVEX_Report.xlsx")), "yesterday");
        write(dir.filePath(QStringLiteral("ORVEX_Report (2).xlsx")), "the day before");
        ReportFile second(documents.path());
        QCOMPARE(second.written(), dir.filePath(QStringLiteral("ORVEX_Report (3).xlsx")));
        QVERIFY(second.besideAnother());
        write(second.written(), "today");
        QVERIFY(!second.isWhereExpected(second.written()));
        QVERIFY(second.replace());
        QCOMPARE(read(second.target()), QByteArray("today"));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("ORVEX_Report (3).xlsx"))));
        QCOMPARE(read(dir.filePath(QStringLiteral("ORVEX_Report (2).xlsx"))), QByteArray("the day before"));
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
        const QString folder = QFileInfo(file.written()).absolutePath();
        QVERIFY(folder.startsWith(QStandardPaths::writableLocation(QStandardPaths::TempLocation)));
        QCOMPARE(QFile::permissions(folder) & (QFile::ReadGroup | QFile::ReadOther | QFile::ExeGroup | QFile::ExeOther),
                 QFile::Permissions());
        write(file.written(), "report");
        file.restrict(file.written());
        QCOMPARE(QFile::permissions(file.written()) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
        QVERIFY(!file.isWhereExpected(file.written()));
        QFile::remove(file.written());
    }
};

QTEST_GUILESS_MAIN(TestReportFile)
#include "test_report_file.moc"
