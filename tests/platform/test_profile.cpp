#include "Cp1251.h"
#include "ProfileFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestProfile final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_path;

    void writeFile(const QByteArray &content) const
    {
        QFile file(m_path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }
    QByteArray readFile() const
    {
        QFile file(m_path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void init()
    {
        m_path = m_dir.filePath(QStringLiteral("Config.ini"));
        QFile::remove(m_path);
    }

    void missingFileGivesDefaultsAndCreatesNothing()
    {
        const ProfileFile ini(m_path);
        QCOMPARE(ini.readString(QStringLiteral("Connections"), QStringLiteral("Server_address"), QStringLiteral("0.0.0.0")),
                 QStringLiteral("0.0.0.0"));
        QCOMPARE(ini.readInt(QStringLiteral("Users"), QStringLiteral("Count"), 1), 1);
        QVERIFY(!QFile::exists(m_path));
    }

    void integers_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("expected");
        QTest::newRow("decimal") << QByteArray("10000") << 10000;
        QTest::newRow("negative") << QByteArray("-5") << -5;
        QTest::newRow("hex") << QByteArray("0x1F") << 31;
        QTest::newRow("hex upper prefix") << QByteArray("0XfF") << 255;
        QTest::newRow("blanks around") << QByteArray("  42  ") << 42;
        QTest::newRow("garbage") << QByteArray("abc") << 77;
        QTest::newRow("digits then garbage") << QByteArray("12ab") << 77;
        QTest::newRow("lone minus") << QByteArray("-") << 77;
        QTest::newRow("bare hex prefix") << QByteArray("0x") << 77;
        QTest::newRow("empty") << QByteArray("") << 77;
        QTest::newRow("beyond int") << QByteArray("99999999999") << 77;
        QTest::newRow("decimal point") << QByteArray("1.5") << 77;
    }

    void integers()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, expected);
        writeFile("[Users]\nCount=" + text + "\n");
        QCOMPARE(ProfileFile(m_path).readInt(QStringLiteral("Users"), QStringLiteral("Count"), 77), expected);
    }

    void namesCompareWithoutCase()
    {
        writeFile("[CONNECTIONS]\nserver_ADDRESS=10.1.2.3\n");
        ProfileFile ini(m_path);
        QCOMPARE(ini.readString(QStringLiteral("Connections"), QStringLiteral("Server_address"), QString()),
                 QStringLiteral("10.1.2.3"));
        // A write to the same key in other case replaces it rather than adding a twin.
        QVERIFY(ini.writeString(QStringLiteral("connections"), QStringLiteral("Server_Address"), QStringLiteral("10.9.9.9")));
        QCOMPARE(readFile().count("10."), 1);
        QCOMPARE(ini.readString(QStringLiteral("CONNECTIONS"), QStringLiteral("SERVER_ADDRESS"), QString()),
                 QStringLiteral("10.9.9.9"));
    }

    // The reader stops at a NUL byte: a file rewritten from that read would
    // lose every key after it. Such a file is read as far as it goes and
    // never written.
    void fileWithANulByteIsNeverRewritten()
    {
        const QByteArray content("[Connections]\r\nServer_address=10.1.1.1\r\nBad=x\0y\r\nServer_port=10000\r\n"
                                 "[User0]\r\nLogin=Pilot\r\n", 90);
        writeFile(content);
        ProfileFile ini(m_path);
        QCOMPARE(ini.readString(QStringLiteral("Connections"), QStringLiteral("Server_address"), QString()),
                 QStringLiteral("10.1.1.1"));
        QVERIFY(!ini.writeString(QStringLiteral("Connections"), QStringLiteral("Server_address"), QStringLiteral("10.2.2.2")));
        QVERIFY(!ini.writeInt(QStringLiteral("Users"), QStringLiteral("Index"), 1));
        QCOMPARE(readFile(), content);
    }

    void textsAreCodePage1251()
    {
        ProfileFile ini(m_path);
        const QString login = QStringLiteral("Оператор №1");
        QVERIFY(ini.writeString(QStringLiteral("User0"), QStringLiteral("Login"), login));
        QVERIFY(readFile().contains(Cp1251::encode(login)));
        QCOMPARE(ini.readString(QStringLiteral("User0"), QStringLiteral("Login"), QString()), login);
        // A value with an equals sign and blanks inside survives.
        QVERIFY(ini.writeString(QStringLiteral("User0"), QStringLiteral("Pass"), QStringLiteral("a = b c")));
        QCOMPARE(ini.readString(QStringLiteral("User0"), QStringLiteral("Pass"), QString()), QStringLiteral("a = b c"));
    }

    void textOutsideTheCodePageBecomesQuestionMarks()
    {
        // Latin letters with accents exist in 1251 only partly; CJK and emoji not at all.
        QCOMPARE(Cp1251::encode(QStringLiteral("Jos\u00e9")), QByteArray("Jos?"));
        QCOMPARE(Cp1251::encode(QStringLiteral("p\u00e4ss")), QByteArray("p?ss"));
        QCOMPARE(Cp1251::encode(QStringLiteral("\u6771\u4eac-1")), QByteArray("?" "?-1"));
        // A surrogate pair is one character, so one mark.
        QCOMPARE(Cp1251::encode(QStringLiteral("a\U0001F600b")), QByteArray("a?b"));
        QCOMPARE(Cp1251::encode(QStringLiteral("Анна")), QByteArray("\xc0\xed\xed\xe0"));
        QCOMPARE(Cp1251::firstUnencodable(QStringLiteral("Анна José")), 8);
        QCOMPARE(Cp1251::firstUnencodable(QStringLiteral("Анна")), -1);
        QCOMPARE(Cp1251::firstUnencodableCharacter(QStringLiteral("ab\U0001F600")), QStringLiteral("\U0001F600"));
        QCOMPARE(Cp1251::firstUnencodableCharacter(QStringLiteral("Анна")), QString());
    }

    void writesKeepTheRestOfTheFile()
    {
        writeFile("; kept\n[Other]\nKey=value\n[Users]\nCount=3\n");
        ProfileFile ini(m_path);
        QVERIFY(ini.writeInt(QStringLiteral("Users"), QStringLiteral("Index"), 2));
        const QByteArray content = readFile();
        QVERIFY(content.contains("; kept"));
        QVERIFY(content.contains("Key=value"));
        QVERIFY(content.contains("Count=3"));
        QCOMPARE(ini.readInt(QStringLiteral("Users"), QStringLiteral("Index"), -1), 2);
    }

    void unwritableFileIsReported()
    {
        ProfileFile ini(m_dir.filePath(QStringLiteral("no/such/folder/Config.ini")));
        QVERIFY(!ini.writeInt(QStringLiteral("Users"), QStringLiteral("Count"), 1));
    }
};

QTEST_GUILESS_MAIN(TestProfile)
#include "test_profile.moc"
