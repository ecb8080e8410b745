#include "ConsoleCommands.h"

#include "MonitoringServer.h"
#include "PacketCodec.h"
#include "ServerLog.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr int DefaultAlarm = 101;

bool parseImei(const QString &text, QString *imei)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,15}$"));
    if (!digits.match(text).hasMatch())
        return false;
    *imei = text;
    return true;
}

bool parseNumber(const QString &text, quint32 limit, quint32 *value)
{
    bool ok = false;
    const qulonglong number = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
        ? text.mid(2).toULongLong(&ok, 16)
        : text.toULongLong(&ok, 10);
    if (!ok || number > limit)
        return false;
    *value = static_cast<quint32>(number);
    return true;
}

} // namespace

ConsoleCommands::ConsoleCommands(MonitoringServer &server, QObject *parent)
    : QObject(parent)
    , m_server(server)
{
}

QString ConsoleCommands::help()
{
    return QStringLiteral(
        "commands on standard input, one per line:\n"
        "  notify IMEI CODE    state notification (type 20) to every logged-in station\n"
        "  status IMEI WORD    status report (type 25) to every logged-in station; WORD decimal or 0x hex\n"
        "  alarm IMEI [CODE]   raise an alarm as the unit would (CODE 100-255, default 101):\n"
        "                      objects.State, a \"Тревога\" journal row, a notification to every station\n"
        "  raw HEX             send these bytes to every logged-in station (e.g. raw ff 01)\n"
        "  clients             list the connections\n"
        "  quit                stop the server\n");
}

void ConsoleCommands::start()
{
    m_notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ConsoleCommands::readInput);
}

void ConsoleCommands::readInput()
{
    char chunk[4096];
    const ssize_t count = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (count < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (count <= 0) {
        // End of input (or an unreadable stdin): the server keeps running.
        m_notifier->setEnabled(false);
        ServerLog::write(QStringLiteral("standard input closed; console commands are off, the server keeps running"));
        if (!m_pending.trimmed().isEmpty())
            execute(QString::fromUtf8(m_pending));
        m_pending.clear();
        return;
    }
    m_pending.append(chunk, count);
    qsizetype end;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        const QByteArray line = m_pending.left(end);
        m_pending.remove(0, end + 1);
        execute(QString::fromUtf8(line));
    }
}

void ConsoleCommands::print(const QString &text)
{
    const QByteArray bytes = text.toUtf8() + (text.endsWith(QLatin1Char('\n')) ? "" : "\n");
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

void ConsoleCommands::execute(const QString &line)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    const QStringList words = line.split(blanks, Qt::SkipEmptyParts);
    if (words.isEmpty())
        return;
    const QString command = words.first().toLower();
    QString imei;

    if (command == QLatin1String("notify") && words.size() == 3) {
        quint32 code = 0;
        if (!parseImei(words.at(1), &imei) || !parseNumber(words.at(2), 255, &code)) {
            print(QStringLiteral("usage: notify IMEI CODE (IMEI up to 15 digits, CODE 0-255)"));
            return;
        }
        const int count = m_server.sendToStations(
            PacketCodec::stateNotification(PacketCodec::imeiField(imei), static_cast<quint8>(code)));
        print(QStringLiteral("notification sent to %1 station(s)").arg(count));
    } else if (command == QLatin1String("status") && words.size() == 3) {
        quint32 word = 0;
        if (!parseImei(words.at(1), &imei) || !parseNumber(words.at(2), 0xFFFFFF, &word)) {
            print(QStringLiteral("usage: status IMEI WORD (WORD 0-16777215 or 0x000000-0xffffff)"));
            return;
        }
        const int count = m_server.sendToStations(PacketCodec::statusReport(PacketCodec::imeiField(imei), word));
        print(QStringLiteral("status report sent to %1 station(s)").arg(count));
    } else if (command == QLatin1String("alarm") && (words.size() == 2 || words.size() == 3)) {
        quint32 code = DefaultAlarm;
        if (!parseImei(words.at(1), &imei) || (words.size() == 3 && !parseNumber(words.at(2), 255, &code))
            || code < 100) {
            print(QStringLiteral("usage: alarm IMEI [CODE] (CODE 100-255, default 101)"));
            return;
        }
        QString error;
        if (m_server.raiseAlarm(imei, static_cast<int>(code), &error))
            print(QStringLiteral("alarm %1 raised for %2").arg(QString::number(code), imei));
        else
            print(QStringLiteral("alarm not raised: ") + error);
    } else if (command == QLatin1String("raw") && words.size() >= 2) {
        const QByteArray hex = words.mid(1).join(QString()).toLatin1();
        static const QRegularExpression hexDigits(QStringLiteral("^([0-9A-Fa-f]{2})+$"));
        if (!hexDigits.match(QString::fromLatin1(hex)).hasMatch()) {
            print(QStringLiteral("usage: raw HEX (pairs of hex digits, blanks allowed between bytes)"));
            return;
        }
        const int count = m_server.sendToStations(QByteArray::fromHex(hex));
        print(QStringLiteral("%1 bytes sent to %2 station(s)").arg(QString::number(hex.size() / 2), QString::number(count)));
    } else if (command == QLatin1String("clients") && words.size() == 1) {
        const QStringList clients = m_server.describeClients();
        print(clients.isEmpty() ? QStringLiteral("no connections") : clients.join(QLatin1Char('\n')));
    } else if (command == QLatin1String("quit") && words.size() == 1) {
        print(QStringLiteral("stopping"));
        QCoreApplication::quit();
    } else {
        print(help());
    }
}
