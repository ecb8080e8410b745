#include "ConfigIni.h"
#include "ProfileFile.h"
#include "RecordingDialogs.h"
#include "Sql.h"
#include "StationState.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestConfig final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    StationState m_state;
    RecordingDialogs m_dialogs;

    QString path() const { return m_state.homeFile(QStringLiteral("Config.ini")); }
    void writeFile(const QByteArray &content) const
    {
        QFile file(path());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }
    QByteArray readFile() const
    {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // Every way the station writes Config.ini.
    static void write(int writer, StationState &state)
    {
        ConfigIni config(state);
        switch (writer) {
        case 0:
            config.writeAtClose(state);
            break;
        case 1:
            config.writeWindow({QRect(10, 20, 800, 600), false, 400, 200});
            break;
        case 2:
            config.writeUsers({{QStringLiteral("Анна"), QStringLiteral("a1")}});
            break;
        case 3:
            config.writeUserCount(2);
            break;
        default:
            config.writeUser(1, QStringLiteral("Анна"), QStringLiteral("a1"));
            break;
        }
    }
    static QString unsavedText(const QString &path)
    {
        return QStringLiteral("Настройки не сохраняются: не удается записать файл ") + QDir::toNativeSeparators(path);
    }

private slots:
    void init()
    {
        m_state = StationState();
        m_state.Home_dir = m_dir.path();
        m_dialogs.clear();
        m_state.dialogs = &m_dialogs;
        QFile::remove(path());
    }

    void aFailedWriteIsTold_data()
    {
        QTest::addColumn<int>("writer");
        QTest::newRow("at close") << 0;
        QTest::newRow("window layout") << 1;
        QTest::newRow("local users") << 2;
        QTest::newRow("user count") << 3;
        QTest::newRow("one user") << 4;
    }

    // A file that was not read whole is never written: the operator is told
    // that his settings are not kept, which file and why, and the file stays.
    void aFailedWriteIsTold()
    {
        QFETCH(int, writer);
        const QByteArray content("[Users]\r\nCount=1\r\nBroken=\0\r\n[User0]\r\nLogin=Pilot\r\n", 50);
        writeFile(content);
        write(writer, m_state);
        QCOMPARE(m_dialogs.messages.size(), 1);
        const QStringList lines = m_dialogs.messages.first().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], unsavedText(path()));
        QVERIFY(lines[1].contains(QStringLiteral("NUL")));
        QCOMPARE(readFile(), content);
        // Mended, it is written again, and nothing more is shown.
        writeFile("[Users]\r\nCount=1\r\n");
        write(writer, m_state);
        QVERIFY(readFile() != "[Users]\r\nCount=1\r\n");
        QCOMPARE(m_dialogs.messages.size(), 1);
        // Broken again after a save that worked: a new fault, told anew.
        writeFile(content);
        write(writer, m_state);
        QCOMPARE(m_dialogs.messages.size(), 2);
        QCOMPARE(readFile(), content);
    }

    // Every save of the settings fails alike while the folder is away: the
    // operator hears of it once per running station, not at every save;
    // but a save he asks for himself (the local users) is answered each time.
    void unsavedSettingsAreToldOncePerStation()
    {
        m_state.Home_dir = m_dir.filePath(QStringLiteral("gone"));
        for (const int writer : {0, 1, 3, 4, 0})
            write(writer, m_state);
        QCOMPARE(m_dialogs.messages.size(), 1);
        QVERIFY(m_dialogs.messages.first().startsWith(unsavedText(path()) + QLatin1Char('\n')));
        QVERIFY(!QFileInfo::exists(m_state.Home_dir));
        write(2, m_state);
        write(2, m_state);
        QCOMPARE(m_dialogs.messages.size(), 3);
        QVERIFY(m_dialogs.messages.last().startsWith(unsavedText(path()) + QLatin1Char('\n')));
        m_dialogs.clear();

        StationState other;
        other.Home_dir = m_state.Home_dir;
        other.dialogs = &m_dialogs;
        write(3, other);
        QCOMPARE(m_dialogs.messages.size(), 1);
    }

    void defaultsWithoutFile()
    {
        ConfigIni(m_state).readConnections(m_state);
        QCOMPARE(m_state.Server_address, QStringLiteral("0.0.0.0"));
        QCOMPARE(m_state.Server_port, quint16(10000));
        QCOMPARE(m_state.Base_address, QStringLiteral("0.0.0.0"));
        QCOMPARE(m_state.Base_port, quint16(3306));
        const ConfigIni config(m_state);
        QCOMPARE(config.userCount(), 1);
        QCOMPARE(config.userIndex(), 0);
        QCOMPARE(config.userLogin(0), QStringLiteral("Pilot"));
        QCOMPARE(config.userPass(-1), QStringLiteral("Pilot"));
    }

    void portsKeepTheirLow16Bits_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<quint16>("port");
        QTest::newRow("65536") << QByteArray("65536") << quint16(0);
        QTest::newRow("-1") << QByteArray("-1") << quint16(65535);
        QTest::newRow("70000") << QByteArray("70000") << quint16(4464);
        QTest::newRow("hex") << QByteArray("0x2710") << quint16(10000);
        QTest::newRow("garbage gives the default") << QByteArray("port") << quint16(10000);
    }

    void portsKeepTheirLow16Bits()
    {
        QFETCH(QByteArray, text);
        QFETCH(quint16, port);
        writeFile("[connections]\nSERVER_PORT=" + text + "\nserver_address=127.0.0.1\n");
        ConfigIni(m_state).readConnections(m_state);
        QCOMPARE(m_state.Server_port, port);
        QCOMPARE(m_state.Server_address, QStringLiteral("127.0.0.1"));
    }

    void alarmSettings_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("repeat");
        QTest::addColumn<int>("overdue");
        QTest::newRow("no section: the defaults") << QByteArray("[Connections]\nServer_port=1\n") << 10 << 120;
        QTest::newRow("set, any case") << QByteArray("[alarms]\nREPEAT_SECONDS=30\nOverdue_seconds=0x3c\n") << 30 << 60;
        QTest::newRow("0 switches repeats off") << QByteArray("[Alarms]\nRepeat_seconds=0\nOverdue_seconds=0\n") << 0 << 0;
        QTest::newRow("negative gives the default") << QByteArray("[Alarms]\nRepeat_seconds=-5\nOverdue_seconds=-1\n") << 10 << 120;
        QTest::newRow("beyond a day gives the default") << QByteArray("[Alarms]\nRepeat_seconds=86401\nOverdue_seconds=99999999\n") << 10 << 120;
        QTest::newRow("no number gives the default") << QByteArray("[Alarms]\nRepeat_seconds=ten\nOverdue_seconds=\n") << 10 << 120;
    }

    void alarmSettings()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, repeat);
        QFETCH(int, overdue);
        writeFile(content);
        const ConfigIni::AlarmSettings settings = ConfigIni(m_state).readAlarms();
        QCOMPARE(settings.repeatSeconds, repeat);
        QCOMPARE(settings.overdueSeconds, overdue);
    }

    void windowLayoutWrittenAndReadBack()
    {
        writeFile("[Connections]\nServer_port=7\n");
        QVERIFY(!ConfigIni(m_state).readWindow());
        ConfigIni::WindowLayout layout;
        layout.geometry = QRect(-1200, 15, 1024, 700);
        layout.maximized = true;
        layout.listHeight = 410;
        layout.journalHeight = 190;
        ConfigIni(m_state).writeWindow(layout);
        const std::optional<ConfigIni::WindowLayout> back = ConfigIni(m_state).readWindow();
        QVERIFY(back);
        QCOMPARE(back->geometry, layout.geometry);
        QVERIFY(back->maximized);
        QCOMPARE(back->listHeight, 410);
        QCOMPARE(back->journalHeight, 190);
        QVERIFY(m_dialogs.messages.isEmpty());
        // The rest of the file stays.
        ConfigIni(m_state).readConnections(m_state);
        QCOMPARE(m_state.Server_port, quint16(7));
    }

    void unusableWindowLayout_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("usable");
        QTest::addColumn<int>("journal");
        QTest::newRow("no width") << QByteArray("Left=10\nTop=10\nHeight=300\n") << false << 0;
        QTest::newRow("zero size") << QByteArray("Left=10\nTop=10\nWidth=0\nHeight=300\n") << false << 0;
        QTest::newRow("absurd size") << QByteArray("Left=10\nTop=10\nWidth=900000\nHeight=300\n") << false << 0;
        QTest::newRow("absurd place") << QByteArray("Left=-90000\nTop=10\nWidth=800\nHeight=300\n") << false << 0;
        QTest::newRow("text") << QByteArray("Left=a\nTop=b\nWidth=c\nHeight=d\n") << false << 0;
        QTest::newRow("split without the list") << QByteArray("Left=1\nTop=1\nWidth=800\nHeight=600\nJournal_height=100\n")
                                                << true << 0;
        QTest::newRow("negative split") << QByteArray("Left=1\nTop=1\nWidth=800\nHeight=600\nList_height=-4\nJournal_height=100\n")
                                        << true << 0;
    }

    void unusableWindowLayout()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, usable);
        QFETCH(int, journal);
        writeFile("[Window]\n" + content);
        const std::optional<ConfigIni::WindowLayout> layout = ConfigIni(m_state).readWindow();
        QCOMPARE(bool(layout), usable);
        if (layout)
            QCOMPARE(layout->journalHeight, journal);
    }

    void writeBackAtCloseInOrder()
    {
        writeFile("[Users]\nCount=2\nIndex=300\n[User0]\nLogin=Pilot\n");
        m_state.Server_address = QStringLiteral("10.0.0.5");
        m_state.Server_port = 65531;
        m_state.Base_address = QStringLiteral("db.local");
        m_state.Base_port = 3307;
        m_state.User_index = 255;
        ConfigIni(m_state).writeAtClose(m_state);

        QFile file(path());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray content = file.readAll();
        const QList<QByteArray> expected = {"Server_address=10.0.0.5", "Server_port=65531", "Base_address=db.local",
                                            "Base_port=3307"};
        qsizetype at = 0;
        for (const QByteArray &line : expected) {
            const qsizetype found = content.indexOf(line, at);
            QVERIFY2(found >= 0, line.constData());
            at = found;
        }
        QVERIFY(content.contains("Index=255"));
        QVERIFY(!content.contains("Index=300"));
        QVERIFY(content.contains("Count=2"));
        QVERIFY(content.contains("Login=Pilot"));
        QVERIFY(m_dialogs.messages.isEmpty());
    }

    // The close writes five keys and touches nothing else of the file; the
    // login window's reads of every user parse the file once.
    void closeKeepsTheFileAndLoginParsesOnce()
    {
        QByteArray content = "; written by hand\r\n[Connections]\r\nServer_address = 10.0.0.1\r\nServer_port=10000\r\n"
                             "Base_address=db\r\nBase_port=3306\r\n\r\n[Users]\r\nCount=255\r\nIndex=3\r\n";
        for (int n = 0; n < 255; ++n)
            content += "[User" + QByteArray::number(n) + "]\r\nLogin=op" + QByteArray::number(n) + "\r\nPass=p\r\n";
        writeFile(content);

        const quint64 before = ProfileFile::parseCount();
        ConfigIni(m_state).readConnections(m_state);
        const ConfigIni config(m_state);
        QCOMPARE(config.userCount(), 255);
        for (int n = 0; n < 255; ++n)
            QCOMPARE(config.userLogin(n), QStringLiteral("op%1").arg(n));
        QCOMPARE(config.userIndex(), 3);
        QCOMPARE(ProfileFile::parseCount() - before, quint64(1));

        m_state.Server_address = QStringLiteral("10.0.0.2");
        m_state.User_index = 7;
        ConfigIni(m_state).writeAtClose(m_state);
        QFile file(path());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), content.replace("10.0.0.1", "10.0.0.2").replace("Index=3", "Index=7"));
    }

    void localUsersAreSavedWhole()
    {
        writeFile("[Connections]\nServer_port=1\n[Users]\nCount=3\n[User2]\nLogin=old\nPass=old\n");
        ConfigIni config(m_state);
        QVERIFY(config.writeUsers({{QStringLiteral("Анна"), QStringLiteral("a1")}, {QStringLiteral("Pilot"), QStringLiteral("Pilot")}}));
        QFile file(path());
        QVERIFY(file.open(QIODevice::ReadOnly));
        // The third user stays in the file; the count no longer reaches it.
        QCOMPARE(file.readAll(), QByteArray("[Connections]\nServer_port=1\n[Users]\nCount=2\n[User2]\nLogin=old\nPass=old\n"
                                            "[User0]\nLogin=\xc0\xed\xed\xe0\nPass=a1\n[User1]\nLogin=Pilot\nPass=Pilot\n"));
        QCOMPARE(config.userCount(), 2);
        QCOMPARE(config.userLogin(0), QStringLiteral("Анна"));
        QVERIFY(m_dialogs.messages.isEmpty());
    }

    void userCountIsKeptWithinBounds_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("count");
        QTest::newRow("absurd") << QByteArray("2000000000") << ConfigIni::MaxUsers;
        QTest::newRow("negative") << QByteArray("-4") << 0;
        QTest::newRow("zero") << QByteArray("0") << 0;
        QTest::newRow("ordinary") << QByteArray("5") << 5;
    }

    void userCountIsKeptWithinBounds()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, count);
        writeFile("[Users]\nCount=" + text + "\n");
        QCOMPARE(ConfigIni(m_state).userCount(), count);
    }

    void relinkPaceIsReadWithinBounds_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("seconds");
        QTest::newRow("no section") << QByteArray("[Connections]\n") << ConfigIni::DefaultRelinkSeconds;
        QTest::newRow("off") << QByteArray("[reconnect]\nserver_seconds=0\n") << 0;
        QTest::newRow("ordinary") << QByteArray("[Reconnect]\nServer_seconds=30\n") << 30;
        QTest::newRow("negative") << QByteArray("[Reconnect]\nServer_seconds=-3\n") << 0;
        QTest::newRow("absurd") << QByteArray("[Reconnect]\nServer_seconds=2000000000\n") << 86400;
        QTest::newRow("not a number") << QByteArray("[Reconnect]\nServer_seconds=often\n")
                                      << ConfigIni::DefaultRelinkSeconds;
    }

    void relinkPaceIsReadWithinBounds()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, seconds);
        writeFile(content);
        QCOMPARE(ConfigIni(m_state).relinkSeconds(), seconds);
    }

    void statementsEscapeTheirValues_data()
    {
        QTest::addColumn<QString>("login");
        QTest::addColumn<QString>("statement");
        QTest::newRow("plain") << QStringLiteral("Pilot") << QStringLiteral("SELECT Groups FROM orvex_base.users WHERE Login='Pilot'");
        QTest::newRow("quote") << QStringLiteral("O'Brien") << QStringLiteral("SELECT Groups FROM orvex_base.users WHERE Login='O\\'Brien'");
        QTest::newRow("backslash before quote") << QStringLiteral("a\\' OR '1'='1")
                                                << QStringLiteral("SELECT Groups FROM orvex_base.users WHERE Login='a\\\\\\' OR \\'1\\'=\\'1'");
        QTest::newRow("Cyrillic") << QStringLiteral("Оператор") << QStringLiteral("SELECT Groups FROM orvex_base.users WHERE Login='Оператор'");
    }

    void statementsEscapeTheirValues()
    {
        QFETCH(QString, login);
        QFETCH(QString, statement);
        QCOMPARE(Sql::userGroups(SqlEscaper(), login), statement);
        QCOMPARE(Sql::userNumber(SqlEscaper(), login), QString(statement).replace(QStringLiteral("SELECT Groups"), QStringLiteral("SELECT Number")));
        QCOMPARE(Sql::userAdmin(SqlEscaper(), login), QString(statement).replace(QStringLiteral("SELECT Groups"), QStringLiteral("SELECT Admin")));
    }
};

QTEST_GUILESS_MAIN(TestConfig)
#include "test_config.moc"
