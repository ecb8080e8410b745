// orvex-ini-bench: what Config.ini and Images.txt cost the station when they
// are large, with the kept copy of ProfileFile ("now") against reading and
// parsing the whole file for every key as the station did before ("per key",
// the old reader and writer copied below), in one run on the same files.
// No database; see bench/README.md.

#include "ConfigIni.h"
#include "Cp1251.h"
#include "ProfileFile.h"
#include "StationState.h"

#define SI_NO_CONVERSION
#include <SimpleIni.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <malloc.h>
#include <sys/time.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <random>
#include <vector>

namespace {

// The reader and writer as they were: every key loads and parses the whole file.
class PerKeyProfile
{
public:
    explicit PerKeyProfile(QString path)
        : m_path(std::move(path))
    {
    }

    QString readString(const QString &section, const QString &key, const QString &defaultValue) const
    {
        CSimpleIniA ini;
        load(ini);
        const char *value = ini.GetValue(Cp1251::encode(section).constData(), Cp1251::encode(key).constData(), nullptr);
        return value ? Cp1251::decode(QByteArray(value)) : defaultValue;
    }
    int readInt(const QString &section, const QString &key, int defaultValue) const
    {
        int result = 0;
        const QString text = readString(section, key, QString());
        return !text.isNull() && ProfileFile::parseInt(text, &result) ? result : defaultValue;
    }
    bool writeString(const QString &section, const QString &key, const QString &value)
    {
        CSimpleIniA ini;
        if (!load(ini))
            return false;
        ini.SetValue(Cp1251::encode(section).constData(), Cp1251::encode(key).constData(), Cp1251::encode(value).constData());
        return ini.SaveFile(QFile::encodeName(m_path).constData()) == SI_OK;
    }

private:
    bool load(CSimpleIniA &ini) const
    {
        ini.SetUnicode(false);
        ini.SetMultiKey(false);
        ini.SetMultiLine(false);
        ini.SetSpaces(false);
        QFile file(m_path);
        if (!file.exists())
            return true;
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const QByteArray bytes = file.readAll();
        ini.LoadData(bytes.constData(), size_t(bytes.size()));
        return !bytes.contains('\0');
    }

    QString m_path;
};

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(2);
    }
    file.close();
    // Dated an hour back, as a file that has been lying there: a file written
    // just now is also compared by content until its time stamp is old enough.
    const QByteArray local = QFile::encodeName(path);
    timeval times[2];
    gettimeofday(&times[0], nullptr);
    times[0].tv_sec -= 3600;
    times[1] = times[0];
    utimes(local.constData(), times);
}

QString imei(int n)
{
    return QStringLiteral("35%1").arg(n, 13, 10, QLatin1Char('0'));
}

QString frameTime(int n)
{
    return QStringLiteral("2026-%1-%2 %3:%4:%5")
        .arg(1 + n % 12, 2, 10, QLatin1Char('0'))
        .arg(1 + n % 28, 2, 10, QLatin1Char('0'))
        .arg(n % 24, 2, 10, QLatin1Char('0'))
        .arg(n % 60, 2, 10, QLatin1Char('0'))
        .arg((n / 60) % 60, 2, 10, QLatin1Char('0'));
}

// Images.txt of the given size: one key per object.
int makeImages(const QString &path, qint64 bytes)
{
    QByteArray content = "[Images]\r\n";
    content.reserve(bytes + 64);
    int n = 0;
    while (content.size() < bytes) {
        content += imei(n).toLatin1() + '=' + frameTime(n).toLatin1() + "\r\n";
        ++n;
    }
    writeFile(path, content);
    return n;
}

QByteArray configHead(int users)
{
    QByteArray content = "[Connections]\r\nServer_address=10.0.0.1\r\nServer_port=10000\r\nBase_address=10.0.0.2\r\n"
                         "Base_port=3306\r\n[Users]\r\nCount="
        + QByteArray::number(users) + "\r\nIndex=0\r\n";
    for (int n = 0; n < users; ++n)
        content += "[User" + QByteArray::number(n) + "]\r\nLogin=operator" + QByteArray::number(n) + "\r\nPass=pass"
            + QByteArray::number(n) + "\r\n";
    return content;
}

// Config.ini of 255 users padded to the given size with a section of notes
// that the station does not read.
void makeBigConfig(const QString &path, qint64 bytes)
{
    QByteArray content = configHead(255) + "[Notes]\r\n";
    for (int n = 0; content.size() < bytes; ++n)
        content += "Note" + QByteArray::number(n) + "=the station does not read this line, it only makes the file large\r\n";
    writeFile(path, content);
}

void makeManySections(const QString &path, int sections)
{
    QByteArray content = configHead(1);
    for (int n = 0; n < sections; ++n)
        content += "[Extra" + QByteArray::number(n) + "]\r\nKey=value " + QByteArray::number(n) + "\r\n";
    writeFile(path, content);
}

struct Figure
{
    QString what;
    double perKey;
    double now;
};
std::vector<Figure> figures;

void report(const QString &what, double perKey, double now)
{
    figures.push_back({what, perKey, now});
    out() << QStringLiteral("%1: per key %2 ms, now %3 ms, %4x\n")
                 .arg(what)
                 .arg(perKey, 0, 'f', 2)
                 .arg(now, 0, 'f', 3)
                 .arg(now > 0 ? perKey / now : 0.0, 0, 'f', 0);
    out().flush();
}

// Resident memory in MB, freed memory handed back first.
double residentMb()
{
    malloc_trim(0);
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

void fatal(const QString &text)
{
    std::fprintf(stderr, "orvex-ini-bench: %s\n", qPrintable(text));
    std::exit(2);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Large Config.ini and Images.txt: kept copy against a parse per key."));
    parser.addHelpOption();
    QCommandLineOption imagesMb(QStringLiteral("images-mb"), QStringLiteral("Size of Images.txt in MB."), QStringLiteral("n"), QStringLiteral("65"));
    QCommandLineOption configMb(QStringLiteral("config-mb"), QStringLiteral("Size of the large Config.ini in MB."), QStringLiteral("n"), QStringLiteral("5"));
    QCommandLineOption sectionsOption(QStringLiteral("sections"), QStringLiteral("Sections of the other Config.ini."), QStringLiteral("n"), QStringLiteral("300000"));
    QCommandLineOption selectionsOption(QStringLiteral("selections"), QStringLiteral("Object selections timed per key (now: 100 times as many)."), QStringLiteral("n"), QStringLiteral("3"));
    parser.addOptions({imagesMb, configMb, sectionsOption, selectionsOption});
    parser.process(app);
    const int selections = std::max(1, parser.value(selectionsOption).toInt());

    QTemporaryDir dir;
    if (!dir.isValid())
        fatal(QStringLiteral("no temporary folder"));
    std::mt19937 random(13);

    // 1. Images.txt: the one parse, then an object selection (Load_Image_Time)
    // and a fetched frame (Save_Image_Time).
    {
        const QString path = dir.filePath(QStringLiteral("Images.txt"));
        const int objects = makeImages(path, parser.value(imagesMb).toLongLong() * 1024 * 1024);
        out() << QStringLiteral("Images.txt: %1 MB, %2 objects\n").arg(QFile(path).size() / 1048576.0, 0, 'f', 1).arg(objects);
        const QString section = QStringLiteral("Images");
        std::uniform_int_distribution<int> pick(0, objects - 1);

        const double residentBefore = residentMb();
        Clock::time_point start = Clock::now();
        const std::clock_t cpuStart = std::clock();
        const quint64 parsesBefore = ProfileFile::parseCount();
        if (ProfileFile(path).readString(section, imei(0), QString()) != frameTime(0))
            fatal(QStringLiteral("Images.txt: first key wrong"));
        const double firstRead = msSince(start);
        const double firstReadCpu = double(std::clock() - cpuStart) * 1000.0 / CLOCKS_PER_SEC;
        const double keptMb = residentMb() - residentBefore;
        // The same parse by the per-key reader, for comparison.
        start = Clock::now();
        const std::clock_t cpuPerKey = std::clock();
        if (PerKeyProfile(path).readString(section, imei(0), QString()) != frameTime(0))
            fatal(QStringLiteral("Images.txt: first key wrong"));
        const double perKeyFirst = msSince(start);
        const double perKeyFirstCpu = double(std::clock() - cpuPerKey) * 1000.0 / CLOCKS_PER_SEC;

        start = Clock::now();
        for (int i = 0; i < selections; ++i) {
            const int n = pick(random);
            if (PerKeyProfile(path).readString(section, imei(n), QString()) != frameTime(n))
                fatal(QStringLiteral("Images.txt: per key read wrong"));
        }
        const double perKeySelection = msSince(start) / selections;

        const int many = selections * 100;
        start = Clock::now();
        for (int i = 0; i < many; ++i) {
            const int n = pick(random);
            if (ProfileFile(path).readString(section, imei(n), QString()) != frameTime(n))
                fatal(QStringLiteral("Images.txt: read wrong"));
        }
        const double nowSelection = msSince(start) / many;
        if (ProfileFile::parseCount() - parsesBefore != 1)
            fatal(QStringLiteral("Images.txt parsed %1 times").arg(ProfileFile::parseCount() - parsesBefore));
        out() << QStringLiteral("Images.txt: first read with the one parse %1 ms (CPU %2 ms, kept copy %5 MB resident); "
                                "one per-key read %3 ms (CPU %4 ms)\n")
                     .arg(firstRead, 0, 'f', 0)
                     .arg(firstReadCpu, 0, 'f', 0)
                     .arg(perKeyFirst, 0, 'f', 0)
                     .arg(perKeyFirstCpu, 0, 'f', 0)
                     .arg(keptMb, 0, 'f', 0);
        report(QStringLiteral("Images.txt, one object selection (Load_Image_Time)"), perKeySelection, nowSelection);

        // The kept copy's write first: the per-key write changes the file,
        // which the kept copy would then have to parse again.
        start = Clock::now();
        ProfileFile(path).writeString(section, imei(2), QStringLiteral("2026-12-09 10:00:01"));
        const double nowWrite = msSince(start);
        if (ProfileFile::parseCount() - parsesBefore != 1)
            fatal(QStringLiteral("Images.txt parsed again for a write"));
        start = Clock::now();
        PerKeyProfile(path).writeString(section, imei(1), QStringLiteral("2026-12-09 10:00:00"));
        const double perKeyWrite = msSince(start);
        report(QStringLiteral("Images.txt, one fetched frame (Save_Image_Time)"), perKeyWrite, nowWrite);
        if (ProfileFile(path).readString(section, imei(2), QString()) != QStringLiteral("2026-12-09 10:00:01"))
            fatal(QStringLiteral("Images.txt: write lost"));
    }

    // 2. Config.ini with Count=255: what the login window reads when shown
    // and on "ОК": the count, every login, the index, one password.
    {
        StationState state;
        state.Home_dir = dir.filePath(QStringLiteral("big"));
        QDir().mkpath(state.Home_dir);
        const QString path = state.homeFile(QStringLiteral("Config.ini"));
        makeBigConfig(path, parser.value(configMb).toLongLong() * 1024 * 1024);
        out() << QStringLiteral("Config.ini: %1 MB, Count=255\n").arg(QFile(path).size() / 1048576.0, 0, 'f', 1);

        const auto loginWindow = [](const auto &file) {
            const int count = std::clamp(file.readInt(QStringLiteral("Users"), QStringLiteral("Count"), 1), 0, 255);
            int sum = 0;
            for (int n = 0; n < count; ++n)
                sum += int(file.readString(QStringLiteral("User%1").arg(n), QStringLiteral("Login"), QStringLiteral("Pilot")).size());
            sum += file.readInt(QStringLiteral("Users"), QStringLiteral("Index"), 0);
            sum += int(file.readString(QStringLiteral("User0"), QStringLiteral("Pass"), QStringLiteral("Pilot")).size());
            return sum;
        };
        Clock::time_point start = Clock::now();
        const int perKeySum = loginWindow(PerKeyProfile(path));
        const double perKey = msSince(start);

        const ConfigIni config(state);
        const auto configLoginWindow = [&config] {
            const int count = config.userCount();
            int sum = 0;
            for (int n = 0; n < count; ++n)
                sum += int(config.userLogin(n).size());
            return sum + config.userIndex() + int(config.userPass(0).size());
        };
        start = Clock::now();
        const int firstSum = configLoginWindow();
        const double first = msSince(start);
        start = Clock::now();
        const int againSum = configLoginWindow();
        const double again = msSince(start);
        if (perKeySum != firstSum || firstSum != againSum)
            fatal(QStringLiteral("Config.ini: the login window read different users"));
        report(QStringLiteral("Config.ini 5 MB, login window shown the first time (the parse included)"), perKey, first);
        report(QStringLiteral("Config.ini 5 MB, login window shown again"), perKey, again);
    }

    // 3. Config.ini with many sections: the close writes five keys.
    {
        StationState state;
        state.Home_dir = dir.filePath(QStringLiteral("many"));
        QDir().mkpath(state.Home_dir);
        const QString path = state.homeFile(QStringLiteral("Config.ini"));
        const int sections = parser.value(sectionsOption).toInt();
        makeManySections(path, sections);
        out() << QStringLiteral("Config.ini: %1 sections, %2 MB\n").arg(sections).arg(QFile(path).size() / 1048576.0, 0, 'f', 1);
        state.Server_address = QStringLiteral("10.0.0.9");
        state.Server_port = 10001;
        state.Base_address = QStringLiteral("10.0.0.8");
        state.Base_port = 3307;
        state.User_index = 0;

        Clock::time_point start = Clock::now();
        PerKeyProfile old(path);
        old.writeString(QStringLiteral("Connections"), QStringLiteral("Server_address"), state.Server_address);
        old.writeString(QStringLiteral("Connections"), QStringLiteral("Server_port"), QString::number(state.Server_port));
        old.writeString(QStringLiteral("Connections"), QStringLiteral("Base_address"), state.Base_address);
        old.writeString(QStringLiteral("Connections"), QStringLiteral("Base_port"), QString::number(state.Base_port));
        old.writeString(QStringLiteral("Users"), QStringLiteral("Index"), QString::number(state.User_index));
        const double perKey = msSince(start);

        // As in the station: read at start, written at close.
        makeManySections(path, sections);
        start = Clock::now();
        ConfigIni(state).readConnections(state);
        const double startRead = msSince(start);
        state.Server_address = QStringLiteral("10.0.0.7");
        start = Clock::now();
        ConfigIni(state).writeAtClose(state);
        const double close = msSince(start);
        if (ProfileFile(path).readString(QStringLiteral("Connections"), QStringLiteral("Server_address"), QString()) != state.Server_address)
            fatal(QStringLiteral("Config.ini: close lost its write"));
        out() << QStringLiteral("Config.ini: start-up read with the one parse %1 ms\n").arg(startRead, 0, 'f', 0);
        report(QStringLiteral("Config.ini %1 sections, close (five keys)").arg(sections), perKey, close);
    }
    return 0;
}
