#include "ConsoleCommands.h"
#include "MonitoringServer.h"
#include "RandomAlarms.h"
#include "ServerDatabase.h"
#include "UnitSimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <memory>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr int MaxAlarmPeriod = 86400;
constexpr int MaxConnectionsLimit = 1000000;
constexpr int MaxAuthDeadlineMs = 3600000;
// Descriptors the server holds besides its connections: the standard
// streams, the listening socket, the database, the event loop's own.
constexpr rlim_t OwnDescriptors = 16;

void printLine(FILE *stream, const QString &text)
{
    const QByteArray line = text.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stream);
    std::fflush(stream);
}

// Started with stdin closed, the next socket opened would become fd 0 and the
// console would read from it; /dev/null keeps the slot taken.
void keepStandardInputOpen()
{
    if (fcntl(STDIN_FILENO, F_GETFD) == -1) {
        const int fd = open("/dev/null", O_RDONLY);
        if (fd > STDIN_FILENO) {
            dup2(fd, STDIN_FILENO);
            close(fd);
        }
    }
}

bool parseInt(const QCommandLineParser &parser, const QString &name, int low, int high, int *value)
{
    bool ok = false;
    const int number = parser.value(name).toInt(&ok);
    if (!ok || number < low || number > high) {
        printLine(stderr, QStringLiteral("orvex-server: --%1 must be a whole number from %2 to %3")
                              .arg(name, QString::number(low), QString::number(high)));
        return false;
    }
    *value = number;
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    keepStandardInputOpen();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvex-server"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Development monitoring server for ORVEX stations. Listens on 127.0.0.1 and "
                       "plays the units behind it against the orvex_base database.\n\n")
        + ConsoleCommands::help());
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("port"), QStringLiteral("TCP port for the stations on 127.0.0.1 (default 10000; 0: any free port)."), QStringLiteral("N"),
         QStringLiteral("10000")},
        {QStringLiteral("db-host"), QStringLiteral("Database server address (default 127.0.0.1)."), QStringLiteral("HOST"),
         QStringLiteral("127.0.0.1")},
        {QStringLiteral("db-port"), QStringLiteral("Database server port (default 3306)."), QStringLiteral("N"),
         QStringLiteral("3306")},
        {QStringLiteral("db-user"), QStringLiteral("Database account (default root)."), QStringLiteral("USER"),
         QStringLiteral("root")},
        {QStringLiteral("db-password"), QStringLiteral("Password of the database account (default empty)."),
         QStringLiteral("PASSWORD"), QString()},
        {QStringLiteral("db-name"), QStringLiteral("Database name (default orvex_base)."), QStringLiteral("NAME"),
         QStringLiteral("orvex_base")},
        {QStringLiteral("frames"), QStringLiteral("Folder of JPEG files sent, in turn, as camera frames (default none)."),
         QStringLiteral("DIR")},
        {QStringLiteral("max-connections"),
         QStringLiteral("Connections served at once; one more is closed at once (default %1).")
             .arg(MonitoringServer::DefaultMaxConnections),
         QStringLiteral("N"), QString::number(MonitoringServer::DefaultMaxConnections)},
        {QStringLiteral("auth-deadline-ms"),
         QStringLiteral("For tests: milliseconds a connection may stay without a login (default %1).")
             .arg(MonitoringServer::DefaultAuthDeadlineMs),
         QStringLiteral("N"), QString::number(MonitoringServer::DefaultAuthDeadlineMs)},
        {QStringLiteral("random-alarms"),
         QStringLiteral("Raise an alarm on a random object about every SECONDS, give or take half (default 0: off)."), QStringLiteral("SECONDS"),
         QStringLiteral("0")},
    });
    parser.process(app);
    if (!parser.positionalArguments().isEmpty()) {
        printLine(stderr, QStringLiteral("orvex-server: unexpected argument \"%1\"").arg(parser.positionalArguments().first()));
        return 2;
    }

    int port = 0;
    int databasePort = 0;
    int alarmPeriod = 0;
    int maxConnections = 0;
    int authDeadline = 0;
    if (!parseInt(parser, QStringLiteral("port"), 0, 65535, &port)
        || !parseInt(parser, QStringLiteral("db-port"), 1, 65535, &databasePort)
        || !parseInt(parser, QStringLiteral("random-alarms"), 0, MaxAlarmPeriod, &alarmPeriod)
        || !parseInt(parser, QStringLiteral("max-connections"), 1, MaxConnectionsLimit, &maxConnections)
        || !parseInt(parser, QStringLiteral("auth-deadline-ms"), 1, MaxAuthDeadlineMs, &authDeadline))
        return 2;

    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY
        && files.rlim_cur < rlim_t(maxConnections) + OwnDescriptors)
        printLine(stderr, QStringLiteral("orvex-server: warning: the descriptor limit (%1, ulimit -n) is below "
                                         "--max-connections (%2) and the server's own; when it runs out, new "
                                         "stations wait until others close")
                              .arg(QString::number(files.rlim_cur), QString::number(maxConnections)));

    const QString frames = parser.value(QStringLiteral("frames"));
    if (!frames.isEmpty() && !QDir(frames).exists())
        printLine(stderr, QStringLiteral("orvex-server: warning: frame folder \"%1\" does not exist; "
                                         "camera requests will go unanswered").arg(frames));

    ServerDatabase::Settings settings;
    settings.host = parser.value(QStringLiteral("db-host"));
    settings.port = static_cast<quint16>(databasePort);
    settings.user = parser.value(QStringLiteral("db-user"));
    settings.password = parser.value(QStringLiteral("db-password"));
    settings.name = parser.value(QStringLiteral("db-name"));

    ServerDatabase database(settings);
    QString error;
    if (!database.open(&error)) {
        printLine(stderr, QStringLiteral("orvex-server: cannot connect to database %1 at %2:%3 as %4: %5")
                              .arg(settings.name, settings.host, QString::number(settings.port), settings.user, error));
        return 1;
    }

    UnitSimulator units(database, frames);
    MonitoringServer server(database, units);
    server.setMaxConnections(maxConnections);
    server.setAuthDeadline(authDeadline);
    if (!server.listen(static_cast<quint16>(port), &error)) {
        printLine(stderr, QStringLiteral("orvex-server: cannot listen on 127.0.0.1:%1: %2").arg(QString::number(port), error));
        return 1;
    }
    printLine(stdout, QStringLiteral("listening on 127.0.0.1:%1").arg(server.port()));

    ConsoleCommands console(server);
    console.start();
    std::unique_ptr<RandomAlarms> alarms;
    if (alarmPeriod > 0)
        alarms = std::make_unique<RandomAlarms>(database, server, alarmPeriod);

    return app.exec();
}
