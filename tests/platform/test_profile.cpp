#include "Cp1251.h"
#include "IniDocument.h"
#include "ProfileFile.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <random>
#include <sys/fsuid.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace {

// Every sync of this process while a test watches, with what the watched file
// held at that moment: tells whether the new file's data reached the disk
// before it was put in place, and its folder after.
struct Sync
{
    bool folder = false;
    QString path; // of a folder
    qint64 size = 0; // of a file
    std::optional<QByteArray> watched;
};
std::vector<Sync> syncs;
QByteArray watchedPath;

std::optional<QByteArray> snapshot()
{
    const int fd = ::open(watchedPath.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    QByteArray bytes;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, n);
    ::close(fd);
    return bytes;
}

void note(int fd)
{
    struct stat st{};
    if (watchedPath.isEmpty() || ::fstat(fd, &st) != 0)
        return;
    Sync sync;
    sync.folder = S_ISDIR(st.st_mode);
    sync.size = st.st_size;
    if (sync.folder)
        sync.path = QFileInfo(QStringLiteral("/proc/self/fd/%1").arg(fd)).canonicalFilePath();
    sync.watched = snapshot();
    syncs.push_back(sync);
}

} // namespace

// Seen here before they reach the system: the station's own calls and Qt's.
extern "C" int fsync(int fd)
{
    note(fd);
    return int(::syscall(SYS_fsync, fd));
}

extern "C" int fdatasync(int fd)
{
    note(fd);
    return int(::syscall(SYS_fdatasync, fd));
}

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

    // Line ends, spacing, comments, a line that is no key, a repeated section
    // and no line end at the end: all of it is to be kept by a write.
    static QByteArray settingsFile()
    {
        return "; station settings\r\n"
               "[Connections]\r\n"
               "  Server_address = 10.0.0.1 \r\n"
               "no key on this line\r\n"
               "Server_port=10000\r\n"
               "\r\n"
               "# users below\r\n"
               "[Users]\r\n"
               "Count=2\r\n"
               "[connections]\r\n"
               "Base_port=3306\r\n"
               "Server_port=1\r\n"
               "[User0]\r\n"
               "Login=Pilot";
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

    // Found by fuzzing the former writer: a section name cut by a lone CR
    // read one way before a write and another way after it, and an unrelated
    // write lost the key.
    void aLoneCarriageReturnLosesNoKeyOnAWrite()
    {
        writeFile(QByteArray("[3\r;\nn=1\n"));
        ProfileFile ini(m_path);
        const QString before = ini.readString(QStringLiteral("3"), QStringLiteral("n"), QStringLiteral("none"));
        QVERIFY(ini.writeString(QStringLiteral("Other"), QStringLiteral("Key"), QStringLiteral("v")));
        QCOMPARE(ProfileFile(m_path).readString(QStringLiteral("3"), QStringLiteral("n"), QStringLiteral("none")), before);
        QVERIFY(readFile().startsWith(QByteArray("[3\r;\nn=1\n")));
    }

    // A folder where no new file can be made, holding a Config.ini that can
    // be written: the file must not be rewritten in place (a crash midway
    // would leave half of it), so it stays as it is and the write fails.
    // Root passes by a folder's permissions, so the test drops to nobody's
    // file-system identity for the write.
    void aFolderThatCannotBeWrittenKeepsTheFile()
    {
        const QString folder = m_dir.filePath(QStringLiteral("closed"));
        QVERIFY(QDir().mkpath(folder));
        m_path = folder + QStringLiteral("/Config.ini");
        const QByteArray before = "[Connections]\r\nServer_address=10.0.0.1\r\n";
        writeFile(before);
        QVERIFY(QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                                  | QFileDevice::WriteGroup | QFileDevice::ReadOther | QFileDevice::WriteOther));
        const QFileDevice::Permissions open = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
            | QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther;
        QVERIFY(QFile::setPermissions(m_dir.path(), open));
        QVERIFY(QFile::setPermissions(folder, open & ~QFileDevice::WriteOwner));
        ProfileFile ini(m_path);
        QCOMPARE(ini.readString(QStringLiteral("Connections"), QStringLiteral("Server_address"), QString()),
                 QStringLiteral("10.0.0.1"));

        const uid_t nobody = 65534;
        const bool root = ::geteuid() == 0;
        if (root)
            ::setfsuid(nobody);
        const auto giveBack = [&] {
            if (root)
                ::setfsuid(0);
            QFile::setPermissions(folder, open);
        };
        auto guard = qScopeGuard(giveBack);
        QString unusable;
        if (root && ::setfsuid(uid_t(-1)) != int(nobody))
            unusable = QStringLiteral("cannot take the file-system identity of nobody");
        const QByteArray probe = QFile::encodeName(folder + QStringLiteral("/probe"));
        if (const int fd = ::open(probe.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600); fd >= 0) {
            ::close(fd);
            ::unlink(probe.constData());
            unusable = QStringLiteral("a file can still be made in a folder without write permission");
        }
        if (const int fd = ::open(QFile::encodeName(m_path).constData(), O_WRONLY | O_CLOEXEC); fd >= 0)
            ::close(fd);
        else
            unusable = QStringLiteral("Config.ini cannot be opened for writing: ") + QString::fromLocal8Bit(strerror(errno));
        if (!unusable.isEmpty())
            QSKIP(qPrintable(unusable));

        const bool written = ini.writeString(QStringLiteral("Connections"), QStringLiteral("Server_address"),
                                             QStringLiteral("10.0.0.2"));
        const QString error = ini.errorString();
        giveBack();
        guard.dismiss();

        QVERIFY(!written);
        QCOMPARE(readFile(), before);
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("Config.ini")});
        QVERIFY2(!error.isEmpty(), "the failure has no reason");
        QCOMPARE(ini.readString(QStringLiteral("Connections"), QStringLiteral("Server_address"), QString()),
                 QStringLiteral("10.0.0.1"));
        // Once the folder can be written again, so can the file.
        QVERIFY(ini.writeString(QStringLiteral("Connections"), QStringLiteral("Server_address"), QStringLiteral("10.0.0.3")));
        QCOMPARE(readFile(), QByteArray(before).replace("10.0.0.1", "10.0.0.3"));
        QVERIFY(ini.errorString().isEmpty());
    }

    // The disk fills up while the new file is written (played by a limit on
    // the size of files this process writes): the old file stays whole and
    // the write is reported as failed, with why.
    void aWriteCutShortKeepsTheFile()
    {
        QByteArray before = "[Users]\nCount=1\n";
        const QByteArray padding(200, 'x');
        before += "[Pad]\nText=" + padding + "\n";
        writeFile(before);
        ProfileFile ini(m_path);
        ini.keep();

        struct sigaction ignore{};
        struct sigaction previous{};
        ignore.sa_handler = SIG_IGN;
        QCOMPARE(::sigaction(SIGXFSZ, &ignore, &previous), 0);
        rlimit limit{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &limit), 0);
        const rlimit unlimited = limit;
        limit.rlim_cur = rlim_t(before.size() / 2);
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        const bool written = ini.writeInt(QStringLiteral("Users"), QStringLiteral("Count"), 2);
        ::setrlimit(RLIMIT_FSIZE, &unlimited);
        ::sigaction(SIGXFSZ, &previous, nullptr);

        QVERIFY(!written);
        QCOMPARE(readFile(), before);
        QVERIFY2(!ini.errorString().isEmpty(), "the failure has no reason");
        QCOMPARE(ini.readInt(QStringLiteral("Users"), QStringLiteral("Count"), -1), 1);
        QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral("Config.ini*")}, QDir::AllEntries | QDir::Hidden),
                 QStringList{QStringLiteral("Config.ini")});
    }

    // A power cut must leave the old file or the new one: the new file's data
    // is on the disk before it is put in place, and the folder that names it
    // is on the disk after.
    void theFileAndItsFolderAreSynced_data()
    {
        QTest::addColumn<bool>("replacing");
        QTest::newRow("replacing the file") << true;
        QTest::newRow("making the file") << false;
    }

    void theFileAndItsFolderAreSynced()
    {
        QFETCH(bool, replacing);
        const QByteArray before = "[Users]\nCount=1\n";
        if (replacing)
            writeFile(before);
        ProfileFile ini(m_path);
        ini.keep();

        syncs.clear();
        watchedPath = QFile::encodeName(m_path);
        const bool written = ini.writeInt(QStringLiteral("Users"), QStringLiteral("Count"), 2);
        watchedPath.clear();
        QVERIFY(written);
        const QByteArray after = readFile();
        QVERIFY(after.contains("Count=2"));

        const std::optional<QByteArray> old = replacing ? std::optional<QByteArray>(before) : std::nullopt;
        const auto dataSynced = std::find_if(syncs.begin(), syncs.end(), [&](const Sync &sync) {
            return !sync.folder && sync.size == after.size() && sync.watched == old;
        });
        QVERIFY2(dataSynced != syncs.end(), "the new file was not synced before it was put in place");
        const QString folder = QFileInfo(m_dir.path()).canonicalFilePath();
        const auto folderSynced = std::find_if(dataSynced, syncs.end(), [&](const Sync &sync) {
            return sync.folder && sync.path == folder && sync.watched == after;
        });
        QVERIFY2(folderSynced != syncs.end(), "the folder was not synced after the new file was put in place");
    }

    void unwritableFileIsReported()
    {
        ProfileFile ini(m_dir.filePath(QStringLiteral("no/such/folder/Config.ini")));
        QVERIFY(!ini.writeInt(QStringLiteral("Users"), QStringLiteral("Count"), 1));
        // What could not be saved is not read back either.
        QCOMPARE(ini.readInt(QStringLiteral("Users"), QStringLiteral("Count"), 7), 7);
    }

    // Every byte but the value written stays: line ends, spacing, comments,
    // lines that are no key, a repeated section.
    void writesChangeOnlyTheirOwnBytes_data()
    {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray before = settingsFile();
        QTest::newRow("value in the middle, spacing kept")
            << QStringLiteral("CONNECTIONS") << QStringLiteral("server_address") << QStringLiteral("192.168.100.200")
            << QByteArray(before).replace("10.0.0.1", "192.168.100.200");
        QTest::newRow("first occurrence of a repeated key")
            << QStringLiteral("Connections") << QStringLiteral("Server_port") << QStringLiteral("5")
            << QByteArray(before).replace("Server_port=10000", "Server_port=5");
        QTest::newRow("key found in the repeated section")
            << QStringLiteral("Connections") << QStringLiteral("Base_port") << QStringLiteral("3307")
            << QByteArray(before).replace("Base_port=3306", "Base_port=3307");
        QTest::newRow("new key after the section's last key")
            << QStringLiteral("Connections") << QStringLiteral("Base_address") << QStringLiteral("db")
            << QByteArray(before).replace("Server_port=10000\r\n", "Server_port=10000\r\nBase_address=db\r\n");
        QTest::newRow("new key in the last section, which has no line end")
            << QStringLiteral("User0") << QStringLiteral("Pass") << QStringLiteral("x")
            << QByteArray(before + "\r\nPass=x\r\n");
        QTest::newRow("new section at the end")
            << QStringLiteral("User1") << QStringLiteral("Login") << QStringLiteral("Оператор")
            << QByteArray(before + "\r\n[User1]\r\nLogin=" + Cp1251::encode(QStringLiteral("Оператор")) + "\r\n");
        QTest::newRow("empty value")
            << QStringLiteral("Users") << QStringLiteral("Count") << QString()
            << QByteArray(before).replace("Count=2", "Count=");
    }

    void writesChangeOnlyTheirOwnBytes()
    {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, expected);
        writeFile(settingsFile());
        ProfileFile ini(m_path);
        QVERIFY(ini.writeString(section, key, value));
        QCOMPARE(readFile(), expected);
        QCOMPARE(ProfileFile(m_path).readString(section, key, QStringLiteral("default")), value);
    }

    // The kept copy follows the file: other stations and the frame writer
    // write it too, and a change is seen on the next read even when it comes
    // at once and leaves the size as it was.
    void changesByAnotherWriterAreSeen()
    {
        writeFile("[Users]\nCount=3\n");
        const ProfileFile ini(m_path);
        QCOMPARE(ini.readInt(QStringLiteral("Users"), QStringLiteral("Count"), -1), 3);
        writeFile("[Users]\nCount=4\n");
        QCOMPARE(ini.readInt(QStringLiteral("Users"), QStringLiteral("Count"), -1), 4);
        writeFile("[Users]\nCount=12\nIndex=1\n");
        QCOMPARE(ini.readInt(QStringLiteral("Users"), QStringLiteral("Count"), -1), 12);
        QVERIFY(QFile::remove(m_path));
        QCOMPARE(ini.readInt(QStringLiteral("Users"), QStringLiteral("Count"), -1), -1);

        // Our own write, then another writer's of the same size at once: a
        // second write keeps the other writer's key.
        ProfileFile writer(m_path);
        QVERIFY(writer.writeInt(QStringLiteral("Users"), QStringLiteral("Count"), 5));
        writeFile("[Users]\nCount=6\n");
        QCOMPARE(ini.readInt(QStringLiteral("Users"), QStringLiteral("Count"), -1), 6);
        QVERIFY(writer.writeInt(QStringLiteral("Users"), QStringLiteral("Index"), 1));
        QCOMPARE(readFile(), QByteArray("[Users]\nCount=6\nIndex=1\n"));

        // Where file times are coarse, a second write in the same step leaves
        // size and time as they were: played here by putting the time back.
        QCOMPARE(ini.readInt(QStringLiteral("Users"), QStringLiteral("Count"), -1), 6);
        struct stat before{};
        QCOMPARE(::stat(QFile::encodeName(m_path).constData(), &before), 0);
        writeFile("[Users]\nCount=7\nIndex=1\n");
        const timespec times[2] = {before.st_atim, before.st_mtim};
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(m_path).constData(), times, 0), 0);
        QCOMPARE(ini.readInt(QStringLiteral("Users"), QStringLiteral("Count"), -1), 7);
    }

    // A file mended by someone else after a NUL made it unwritable may be written again.
    void aMendedFileIsWrittenAgain()
    {
        writeFile(QByteArray("[Users]\nCount=\0\n", 17));
        ProfileFile ini(m_path);
        QVERIFY(!ini.writeInt(QStringLiteral("Users"), QStringLiteral("Index"), 1));
        writeFile("[Users]\nCount=2\n");
        QVERIFY(ini.writeInt(QStringLiteral("Users"), QStringLiteral("Index"), 1));
        QCOMPARE(readFile(), QByteArray("[Users]\nCount=2\nIndex=1\n"));
    }

    // However many keys are read or written, and through however many
    // objects and spellings of the path, the file is parsed once.
    void manyKeysParseTheFileOnce()
    {
        QByteArray content = "[Users]\nCount=200\n";
        for (int n = 0; n < 200; ++n)
            content += "[User" + QByteArray::number(n) + "]\nLogin=L" + QByteArray::number(n) + "\nPass=P\n";
        writeFile(content);
        const QString otherSpelling = QDir(m_dir.path()).filePath(QStringLiteral("./sub/../Config.ini"));
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("sub")));

        const quint64 before = ProfileFile::parseCount();
        ProfileFile(otherSpelling).keep();
        QCOMPARE(ProfileFile::parseCount() - before, quint64(1));
        for (int n = 0; n < 200; ++n) {
            const ProfileFile ini(n % 2 ? m_path : otherSpelling);
            QCOMPARE(ini.readString(QStringLiteral("User%1").arg(n), QStringLiteral("Login"), QString()),
                     QStringLiteral("L%1").arg(n));
        }
        ProfileFile ini(m_path);
        for (int n = 0; n < 200; ++n)
            QVERIFY(ini.writeString(QStringLiteral("User%1").arg(n), QStringLiteral("Pass"), QStringLiteral("Q%1").arg(n)));
        for (int n = 0; n < 200; ++n)
            QCOMPARE(ini.readString(QStringLiteral("User%1").arg(n), QStringLiteral("Pass"), QString()), QStringLiteral("Q%1").arg(n));
        QCOMPARE(ProfileFile::parseCount() - before, quint64(1));
        QByteArray expected = "[Users]\nCount=200\n";
        for (int n = 0; n < 200; ++n)
            expected += "[User" + QByteArray::number(n) + "]\nLogin=L" + QByteArray::number(n) + "\nPass=Q" + QByteArray::number(n) + "\n";
        QCOMPARE(readFile(), expected);
    }

    void severalKeysAreSavedTogether()
    {
        writeFile("[Users]\r\nCount=1\r\n");
        ProfileFile ini(m_path);
        QVERIFY(ini.writeStrings({{QStringLiteral("Users"), QStringLiteral("Count"), QStringLiteral("2")},
                                  {QStringLiteral("User1"), QStringLiteral("Login"), QStringLiteral("Anna")},
                                  {QStringLiteral("User1"), QStringLiteral("Pass"), QStringLiteral("a1")}}));
        QCOMPARE(readFile(), QByteArray("[Users]\r\nCount=2\r\n[User1]\r\nLogin=Anna\r\nPass=a1\r\n"));
        // One value that the file could not hold stops them all.
        QVERIFY(!ini.writeStrings({{QStringLiteral("Users"), QStringLiteral("Count"), QStringLiteral("3")},
                                   {QStringLiteral("User2"), QStringLiteral("Login"), QStringLiteral("two\nlines")}}));
        QVERIFY(!ini.writeString(QStringLiteral("Users"), QStringLiteral("Bad=key"), QStringLiteral("1")));
        QCOMPARE(readFile(), QByteArray("[Users]\r\nCount=2\r\n[User1]\r\nLogin=Anna\r\nPass=a1\r\n"));
        QCOMPARE(ini.readInt(QStringLiteral("Users"), QStringLiteral("Count"), -1), 2);
    }

    // Whatever the file holds, what a document answers after writes is what
    // its saved bytes answer when parsed afresh, and a write changes no other key.
    void savedBytesReadAsTheDocument()
    {
        std::mt19937 random(1251);
        const QList<QByteArray> pieces = {"[", "]", "=", ";", "#", "\r", "\n", "\r\n", " ", "\t", "A", "a", "b", "B", "x", "1"};
        const QList<QByteArray> names = {"a", "A", "b", "ab", "Ab", "x", ""};
        for (int round = 0; round < 3000; ++round) {
            QByteArray bytes;
            const int length = int(random() % 40);
            for (int i = 0; i < length; ++i)
                bytes += pieces[int(random() % pieces.size())];
            IniDocument document(bytes);
            for (int write = 0; write < 4; ++write) {
                const QByteArray section = names[int(random() % names.size())];
                const QByteArray key = names[int(random() % (names.size() - 1))];
                const QByteArray value = QByteArray::number(round) + "v" + QByteArray::number(write);
                QVERIFY(document.setValue(section, key, value));
                const IniDocument saved(document.toBytes());
                for (const QByteArray &s : names) {
                    for (const QByteArray &k : names) {
                        const bool written = s.toLower() == section.toLower() && k.toLower() == key.toLower();
                        QVERIFY2(document.value(s, k) == saved.value(s, k),
                                 QByteArray(bytes.toPercentEncoding() + " / " + document.toBytes().toPercentEncoding()).constData());
                        if (written)
                            QCOMPARE(saved.value(s, k), std::optional<QByteArray>(value));
                    }
                }
            }
        }
    }

    void readingRules_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF[Users]\nCount=3\n") << QStringLiteral("Users") << QStringLiteral("Count") << QStringLiteral("3");
        QTest::newRow("CR alone ends lines") << QByteArray("[Users]\rCount=3\r[X]\rCount=4") << QStringLiteral("Users") << QStringLiteral("Count") << QStringLiteral("3");
        QTest::newRow("blanks in the header") << QByteArray("[ Users ] trailing\nCount=3\n") << QStringLiteral("users") << QStringLiteral("count") << QStringLiteral("3");
        QTest::newRow("tab around value") << QByteArray("[Users]\n\tCount\t=\t3\t\n") << QStringLiteral("Users") << QStringLiteral("Count") << QStringLiteral("3");
        QTest::newRow("comment is no key") << QByteArray("[Users]\n;Count=3\n") << QStringLiteral("Users") << QStringLiteral(";Count") << QStringLiteral("none");
        QTest::newRow("hash comment") << QByteArray("[Users]\n# Count=3\nCount=4\n") << QStringLiteral("Users") << QStringLiteral("Count") << QStringLiteral("4");
        QTest::newRow("unclosed header keeps the section") << QByteArray("[Users]\n[Other\nCount=3\n") << QStringLiteral("Users") << QStringLiteral("Count") << QStringLiteral("3");
        QTest::newRow("equals in the value") << QByteArray("[A]\nK=x=y\n") << QStringLiteral("A") << QStringLiteral("K") << QStringLiteral("x=y");
        QTest::newRow("first occurrence counts") << QByteArray("[A]\nK=1\nk=2\n[a]\nK=3\n") << QStringLiteral("A") << QStringLiteral("K") << QStringLiteral("1");
        QTest::newRow("empty key is no key") << QByteArray("[A]\n=1\n") << QStringLiteral("A") << QStringLiteral("") << QStringLiteral("none");
        QTest::newRow("before any section") << QByteArray("K=1\n[A]\nK=2\n") << QStringLiteral("") << QStringLiteral("K") << QStringLiteral("1");
        QTest::newRow("cp1251 value") << QByteArray("[A]\nK=\xc0\xed\xed\xe0\n") << QStringLiteral("A") << QStringLiteral("K") << QStringLiteral("Анна");
        QTest::newRow("key without a value line") << QByteArray("[A]\nK\n") << QStringLiteral("A") << QStringLiteral("K") << QStringLiteral("none");
    }

    void readingRules()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        writeFile(content);
        QCOMPARE(ProfileFile(m_path).readString(section, key, QStringLiteral("none")), expected);
    }
};

QTEST_GUILESS_MAIN(TestProfile)
#include "test_profile.moc"
