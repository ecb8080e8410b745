// orvex-server run as a process against the private database, driven over TCP
// the way a station drives it.

#include "Bytes.h"
#include "DbProxy.h"
#include "OperatorSession.h"
#include "Sql.h"
#include "TestDatabase.h"

#include <QDateTime>
#include <QHostAddress>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <vector>

#include <errmsg.h>
#include <mysql.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

const QByteArray Centre = "356000000000001";  // group "Центр", armed, Status 0x0A0B0C
const QByteArray North = "356000000000002";   // group "Север", disarmed, Status 0
const QByteArray Unknown = "356999999999999"; // no objects row

constexpr int Timeout = 10000;

QByteArray cp1251(const QString &text)
{
    QStringEncoder encoder("windows-1251");
    return encoder.encode(text);
}

QByteArray field16(const QByteArray &bytes)
{
    return bytes.left(16).leftJustified(16, '\0');
}

QByteArray authPacket(const QString &login, const QString &password)
{
    return QByteArray(1, '\x01') + field16(cp1251(login)) + field16(cp1251(password));
}

QByteArray command(const QByteArray &imei, quint8 code, const QByteArray &data = {})
{
    return QByteArray(1, '\x0a') + imei + QByteArray(1, char(code)) + data;
}

QByteArray statePacket(const QByteArray &imei, quint8 code)
{
    return QByteArray(1, '\x14') + imei + QByteArray(1, char(code));
}

QByteArray statusReport(const QByteArray &imei, quint32 word)
{
    return QByteArray(1, '\x19') + imei
        + bytes({int(word & 0xFF), int((word >> 8) & 0xFF), int((word >> 16) & 0xFF), 0});
}

// One station's link: raw bytes out, exact byte counts in.
class Link
{
public:
    explicit Link(quint16 port) { m_socket.connectToHost(QHostAddress::LocalHost, port); }

    bool connected() { return m_socket.waitForConnected(Timeout); }

    void send(const QByteArray &packet)
    {
        m_socket.write(packet);
        m_socket.flush();
    }

    // The next count bytes, or fewer if they do not come in time.
    QByteArray read(qint64 count)
    {
        const bool complete = QTest::qWaitFor([&] { return m_socket.bytesAvailable() >= count; }, Timeout);
        return complete ? m_socket.read(count) : m_socket.readAll();
    }

    int login(const QString &login, const QString &password)
    {
        send(authPacket(login, password));
        const QByteArray answer = read(2);
        return answer.size() == 2 && quint8(answer.at(0)) == 255 ? quint8(answer.at(1)) : -1;
    }

    qint64 pending() const { return m_socket.bytesAvailable(); }
    quint16 localPort() const { return m_socket.localPort(); }
    void close() { m_socket.disconnectFromHost(); }
    bool waitForClosedByServer()
    {
        return QTest::qWaitFor([&] { return m_socket.state() == QAbstractSocket::UnconnectedState; }, Timeout);
    }
    // Sends everything, however much the server leaves unread for a while.
    void sendAll(const QByteArray &bytes)
    {
        m_socket.write(bytes);
        const bool sent = QTest::qWaitFor(
            [&] { return m_socket.bytesToWrite() == 0 || m_socket.state() != QAbstractSocket::ConnectedState; }, Timeout);
        QVERIFY2(sent, "the bytes were not sent");
    }

private:
    QTcpSocket m_socket;
};

// A duplicate of process pid's socket whose peer is 127.0.0.1:peerPort, or -1.
int socketOf(qint64 pid, quint16 peerPort)
{
    // Called through syscall(): glibc 2.36 declares the wrappers without C linkage.
    const int process = int(syscall(SYS_pidfd_open, pid_t(pid), 0));
    if (process < 0)
        return -1;
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    int found = -1;
    for (const QString &name : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        if (!QFile::symLinkTarget(fds.filePath(name)).contains(QLatin1String("socket:")))
            continue;
        const int fd = int(syscall(SYS_pidfd_getfd, process, name.toInt(), 0));
        if (fd < 0)
            continue;
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        if (getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &length) == 0 && peer.sin_family == AF_INET
            && ntohs(peer.sin_port) == peerPort) {
            found = fd;
            break;
        }
        close(fd);
    }
    close(process);
    return found;
}

} // namespace

class TestServer final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void authentication();
    void loginWithoutDatabase();
    void loginsLongerThanTheirField();
    void commandsBeforeLoginAreIgnored();
    void statusRequest();
    void stateRelayedToOtherStationsOnly();
    void consoleSendsToStations();
    void consoleAlarm();
    void randomAlarms();
    void armAndDisarm();
    void outputs_data();
    void outputs();
    void cameraFrames();
    void cameraBurstIsBounded();
    void cameraWithoutFrames();
    void voiceCall();
    void unknownObjectIsNotAnswered();
    void logShowsStationTextAsSent();
    void framing();
    void floodFromOneStation();
    void garbageIsSummedUp();
    void reconnectsToDatabase();
    void keepsRunningWhenStandardInputEnds();
    void startupFailures();
    void lostDatabaseAnswer_data();
    void lostDatabaseAnswer();
    void acceptsAgainAfterDescriptorsRunOut();
    void connectionLimit();
    void silentConnectionsAreClosed();
    void keepAliveOnStationSockets();
    void proxyServesBlockingClients();

private:
    bool startServer(const QStringList &extra = {});
    void stopServer();
    QString log();
    int logCount(const QString &text) { return int(log().count(text)); }
    bool waitForLog(const QString &text, int before)
    {
        return QTest::qWaitFor([&] { return logCount(text) > before; }, Timeout);
    }
    void console(const QString &line) { m_server->write(line.toUtf8() + '\n'); }
    std::unique_ptr<Link> loggedIn(const QString &login, const QString &password);
    QList<QStringList> journal(const QByteArray &imei);

    std::unique_ptr<QTemporaryDir> m_frames;
    // Set before startServer(): the database port it is given (0: the
    // private MariaDB's own), and a descriptor limit for it (0: none).
    quint16 m_databasePort = 0;
    int m_fileLimit = 0;
    std::unique_ptr<DbProxy> m_proxy;
    std::unique_ptr<QProcess> m_server;
    QString m_log;
    QByteArray m_stdout;
    quint16 m_port = 0;
};

void TestServer::init()
{
    m_databasePort = 0;
    m_fileLimit = 0;
    QString error;
    QVERIFY2(TestDatabase::seed(QStringLiteral(
                 "INSERT INTO orvex_base.objects(IMEI,Name,Number1,Number2,Owner,Num_owner,Address,Addr_,Timeout,"
                 "Group_,State,Ohrana,TState,Status) VALUES "
                 "('356000000000001','NCR 6622','89160000011','89160000012','Иванов','89160000013','Ленина 1','',"
                 "'5','Центр','2','1','1','658188'),"
                 "('356000000000002','Wincor 2050','89160000021','89160000022','Петров','89160000023','Мира 2','',"
                 "'5','Север','1','0','1','0')"),
                                     &error),
             qPrintable(error));
    QVERIFY2(TestDatabase::addOperator(QStringLiteral("Pilot"), QStringLiteral("Pilot"), true,
                                       QStringLiteral("89160000001"), {QStringLiteral("Центр")}, &error),
             qPrintable(error));
    QVERIFY2(TestDatabase::addOperator(QStringLiteral("Operator"), QStringLiteral("operator1"), false,
                                       QStringLiteral("89160000002"), {QStringLiteral("Север")}, &error),
             qPrintable(error));

    m_frames = std::make_unique<QTemporaryDir>();
    QVERIFY(m_frames->isValid());
    QImage red(32, 24, QImage::Format_RGB32);
    red.fill(Qt::red);
    QVERIFY(red.save(m_frames->filePath(QStringLiteral("a.jpg")), "JPG"));
    QImage blue(40, 30, QImage::Format_RGB32);
    blue.fill(Qt::blue);
    QVERIFY(blue.save(m_frames->filePath(QStringLiteral("b.jpg")), "JPG"));

    QVERIFY(startServer({QStringLiteral("--frames"), m_frames->path()}));
}

void TestServer::cleanup()
{
    if (QTest::currentTestFailed() && m_server)
        qWarning().noquote() << "orvex-server log:\n" << log();
    stopServer();
    m_proxy.reset();
    m_frames.reset();
}

bool TestServer::startServer(const QStringList &extra)
{
    const QString program = qEnvironmentVariable("ORVEX_SERVER");
    if (program.isEmpty()) {
        qWarning("ORVEX_SERVER is not set");
        return false;
    }
    m_log.clear();
    m_stdout.clear();
    m_server = std::make_unique<QProcess>();
    if (m_fileLimit > 0) {
        m_server->setChildProcessModifier([limit = rlim_t(m_fileLimit)] {
            const rlimit files{limit, limit};
            setrlimit(RLIMIT_NOFILE, &files);
        });
    }
    const quint16 databasePort = m_databasePort ? m_databasePort : TestDatabase::port();
    m_server->start(program, QStringList{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--db-port"),
                                         QString::number(databasePort)}
                                 + extra);
    static const QRegularExpression listening(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)\n"));
    QRegularExpressionMatch match;
    const bool ended = QTest::qWaitFor(
        [&] {
            m_stdout += m_server->readAllStandardOutput();
            match = listening.match(QString::fromUtf8(m_stdout));
            return match.hasMatch() || m_server->state() == QProcess::NotRunning;
        },
        Timeout);
    if (!ended || !match.hasMatch()) {
        qWarning().noquote() << "orvex-server did not start:" << m_server->readAllStandardError();
        return false;
    }
    m_port = quint16(match.captured(1).toUInt());
    return true;
}

void TestServer::stopServer()
{
    if (!m_server)
        return;
    if (m_server->state() != QProcess::NotRunning) {
        console(QStringLiteral("quit"));
        if (!m_server->waitForFinished(Timeout)) {
            m_server->kill();
            m_server->waitForFinished();
            QFAIL("orvex-server did not stop on quit");
        }
        QCOMPARE(m_server->exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_server->exitCode(), 0);
    }
    m_server.reset();
}

QString TestServer::log()
{
    if (m_server)
        m_log += QString::fromUtf8(m_server->readAllStandardError());
    return m_log;
}

std::unique_ptr<Link> TestServer::loggedIn(const QString &login, const QString &password)
{
    auto link = std::make_unique<Link>(m_port);
    if (!link->connected() || link->login(login, password) != 1)
        return nullptr;
    return link;
}

QList<QStringList> TestServer::journal(const QByteArray &imei)
{
    return TestDatabase::rows(QStringLiteral("SELECT Type, Event, Group_, User, Date FROM orvex_base.messages "
                                             "WHERE IMEI='%1'")
                                  .arg(QString::fromLatin1(imei)));
}

void TestServer::authentication()
{
    QString error;
    QVERIFY2(TestDatabase::addOperator(QStringLiteral("Дежурный"), QStringLiteral("пароль"), false,
                                       QStringLiteral("8916"), {}, &error),
             qPrintable(error));
    // Sixteen bytes fill the field; no terminator follows.
    QVERIFY2(TestDatabase::addOperator(QStringLiteral("SixteenCharLogin"), QStringLiteral("SixteenCharPassw"), false,
                                       QStringLiteral("8916"), {}, &error),
             qPrintable(error));

    Link stranger(m_port);
    QVERIFY(stranger.connected());
    QCOMPARE(stranger.login(QStringLiteral("Nobody"), QStringLiteral("Pilot")), 2);
    QCOMPARE(stranger.login(QStringLiteral("Pilot"), QStringLiteral("pilot")), 2);
    QCOMPARE(stranger.login(QStringLiteral("pilot"), QStringLiteral("Pilot")), 2);
    QCOMPARE(stranger.login(QStringLiteral("Pilot"), QStringLiteral("Pilot ")), 2);

    Link first(m_port);
    QVERIFY(first.connected());
    QCOMPARE(first.login(QStringLiteral("Pilot"), QStringLiteral("Pilot")), 1);
    Link second(m_port);
    QVERIFY(second.connected());
    QCOMPARE(second.login(QStringLiteral("Pilot"), QStringLiteral("Pilot")), 3);
    // A refused connection stays open and may log in as someone else.
    QCOMPARE(second.login(QStringLiteral("Дежурный"), QStringLiteral("пароль")), 1);
    QCOMPARE(stranger.login(QStringLiteral("SixteenCharLogin"), QStringLiteral("SixteenCharPassw")), 1);

    // The login is free again once its connection is gone.
    const int gone = logCount(QStringLiteral("disconnected (Pilot logged out)"));
    first.close();
    QVERIFY(waitForLog(QStringLiteral("disconnected (Pilot logged out)"), gone));
    Link third(m_port);
    QVERIFY(third.connected());
    QCOMPARE(third.login(QStringLiteral("Pilot"), QStringLiteral("Pilot")), 1);
}

void TestServer::loginsLongerThanTheirField()
{
    // The station sends the first 16 bytes of a longer login; they name the
    // account as long as no other shares them with the same password.
    QString error;
    QVERIFY2(TestDatabase::addOperator(QStringLiteral("ДежурныйОператор1"), QStringLiteral("alpha"), false,
                                       QStringLiteral("8916"), {}, &error),
             qPrintable(error));
    QVERIFY2(TestDatabase::addOperator(QStringLiteral("ДежурныйОператор2"), QStringLiteral("beta"), false,
                                       QStringLiteral("8916"), {}, &error),
             qPrintable(error));
    QVERIFY2(TestDatabase::addOperator(QStringLiteral("ДежурныйОператор3"), QStringLiteral("beta"), false,
                                       QStringLiteral("8916"), {}, &error),
             qPrintable(error));

    Link link(m_port);
    QVERIFY(link.connected());
    QCOMPARE(link.login(QStringLiteral("ДежурныйОператор1"), QStringLiteral("wrong")), 2);
    QCOMPARE(link.login(QStringLiteral("ДежурныйОператор2"), QStringLiteral("beta")), 2);
    QVERIFY2(log().contains(QStringLiteral("share the first 16 bytes")), qPrintable(log()));
    QCOMPARE(link.login(QStringLiteral("ДежурныйОператор1"), QStringLiteral("alpha")), 1);

    // The session is the whole account's: its journal rows carry the whole login.
    link.send(command(North, 1, bytes({1})));
    QCOMPARE(link.read(17), statePacket(North, 2));
    const QList<QStringList> rows = journal(North);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.at(0).at(3), QStringLiteral("ДежурныйОператор1"));
    Link second(m_port);
    QVERIFY(second.connected());
    QCOMPARE(second.login(QStringLiteral("ДежурныйОператор1"), QStringLiteral("alpha")), 3);
}

void TestServer::loginWithoutDatabase()
{
    // The users table cannot be read, as with the database down: the login
    // is neither accepted nor refused as unknown; the link is closed.
    QVERIFY(TestDatabase::exec(QStringLiteral("RENAME TABLE orvex_base.users TO orvex_base.users_away")));
    Link link(m_port);
    QVERIFY(link.connected());
    link.send(authPacket(QStringLiteral("Pilot"), QStringLiteral("Pilot")));
    QVERIFY(link.waitForClosedByServer());
    QCOMPARE(link.pending(), 0);
    QVERIFY2(log().contains(QStringLiteral("login \"Pilot\" not checked")), qPrintable(log()));

    QVERIFY(TestDatabase::exec(QStringLiteral("RENAME TABLE orvex_base.users_away TO orvex_base.users")));
    auto pilot = loggedIn(QStringLiteral("Pilot"), QStringLiteral("Pilot"));
    QVERIFY(pilot);
}

void TestServer::commandsBeforeLoginAreIgnored()
{
    auto operatorLink = loggedIn(QStringLiteral("Operator"), QStringLiteral("operator1"));
    QVERIFY(operatorLink);

    Link link(m_port);
    QVERIFY(link.connected());
    link.send(command(Centre, 0));
    link.send(command(North, 1, bytes({1})));
    link.send(statePacket(North, 90));
    // Answered in order: had anything above been served, it would come first.
    QCOMPARE(link.login(QStringLiteral("Pilot"), QStringLiteral("Pilot")), 1);
    QCOMPARE(TestDatabase::value(QStringLiteral("SELECT Ohrana FROM orvex_base.objects WHERE IMEI='%1'")
                                     .arg(QString::fromLatin1(North))),
             QStringLiteral("0"));
    operatorLink->send(command(North, 0));
    QCOMPARE(operatorLink->read(20), statusReport(North, 0));

    // A failed login takes the session away.
    QCOMPARE(link.login(QStringLiteral("Pilot"), QStringLiteral("wrong")), 2);
    link.send(command(Centre, 0));
    QCOMPARE(link.login(QStringLiteral("Pilot"), QStringLiteral("Pilot")), 1);
}

void TestServer::statusRequest()
{
    QVERIFY(TestDatabase::exec(QStringLiteral("UPDATE orvex_base.objects SET Status='2130706433' WHERE IMEI='%1'")
                                   .arg(QString::fromLatin1(North))));
    auto link = loggedIn(QStringLiteral("Pilot"), QStringLiteral("Pilot"));
    QVERIFY(link);

    link->send(command(Centre, 0));
    QCOMPARE(link->read(20), statusReport(Centre, 0x0A0B0C));
    // Only the 24 bits of the status word travel (0x7F000001 here); byte 19 is zero.
    link->send(command(North, 0));
    QCOMPARE(link->read(20), statusReport(North, 0x000001));
    // The IMEI travels in code page 1251 like every other text of the network.
    const QByteArray cyrillic = cp1251(QStringLiteral("35600000000000Ж"));
    QVERIFY(TestDatabase::exec(QStringLiteral("INSERT INTO orvex_base.objects(IMEI, Group_, Status) "
                                              "VALUES('35600000000000Ж', 'Центр', 7)")));
    link->send(command(cyrillic, 0));
    QCOMPARE(link->read(20), statusReport(cyrillic, 7));

    // An unknown IMEI gets no answer at all, as for every other command: the
    // next answer on the link is the one to the following request.
    link->send(command(Unknown, 0));
    link->send(command(Centre, 0));
    QCOMPARE(link->read(20), statusReport(Centre, 0x0A0B0C));
    QCOMPARE(link->pending(), 0);
}

void TestServer::stateRelayedToOtherStationsOnly()
{
    auto pilot = loggedIn(QStringLiteral("Pilot"), QStringLiteral("Pilot"));
    auto operatorLink = loggedIn(QStringLiteral("Operator"), QStringLiteral("operator1"));
    QVERIFY(pilot && operatorLink);
    Link anonymous(m_port);
    QVERIFY(anonymous.connected());
    QVERIFY(QTest::qWaitFor([&] { return logCount(QStringLiteral(" connected")) >= 3; }, Timeout));

    pilot->send(statePacket(Centre, 90));
    QCOMPARE(operatorLink->read(17), statePacket(Centre, 90));

    // Not echoed: the sender's next bytes are the answer to its next request.
    pilot->send(command(Centre, 0));
    QCOMPARE(pilot->read(20), statusReport(Centre, 0x0A0B0C));
    // Nor sent to a connection that has not logged in.
    QCOMPARE(anonymous.login(QStringLiteral("Дежурный"), QStringLiteral("x")), 2);
    // The station stores its states itself; the server only passes them on.
    QCOMPARE(TestDatabase::value(QStringLiteral("SELECT State FROM orvex_base.objects WHERE IMEI='%1'")
                                     .arg(QString::fromLatin1(Centre))),
             QStringLiteral("2"));
}

void TestServer::consoleSendsToStations()
{
    auto pilot = loggedIn(QStringLiteral("Pilot"), QStringLiteral("Pilot"));
    auto operatorLink = loggedIn(QStringLiteral("Operator"), QStringLiteral("operator1"));
    QVERIFY(pilot && operatorLink);

    console(QStringLiteral("notify 356000000000002 101"));
    QCOMPARE(pilot->read(17), statePacket(North, 101));
    QCOMPARE(operatorLink->read(17), statePacket(North, 101));

    console(QStringLiteral("status 356000000000002 0x0a0b0c"));
    QCOMPARE(pilot->read(20), statusReport(North, 0x0A0B0C));
    console(QStringLiteral("status 356000000000002 65536"));
    QCOMPARE(pilot->read(20), statusReport(North, 0x010000));

    // Malformed lines send nothing; the next good one arrives first.
    console(QStringLiteral("notify 35600000000000X 1"));
    console(QStringLiteral("notify 356000000000002 256"));
    console(QStringLiteral("status 356000000000002 16777216"));
    console(QStringLiteral("raw 1"));
    console(QStringLiteral("frobnicate"));
    console(QStringLiteral("raw ff 04"));
    QCOMPARE(pilot->read(2), bytes({255, 4}));
    QCOMPARE(operatorLink->read(20 + 20 + 2),
             statusReport(North, 0x0A0B0C) + statusReport(North, 0x010000) + bytes({255, 4}));
}

void TestServer::consoleAlarm()
{
    auto pilot = loggedIn(QStringLiteral("Pilot"), QStringLiteral("Pilot"));
    QVERIFY(pilot);

    console(QStringLiteral("alarm 356000000000001 114"));
    QCOMPARE(pilot->read(17), statePacket(Centre, 114));
    QCOMPARE(TestDatabase::value(QStringLiteral("SELECT State FROM orvex_base.objects WHERE IMEI='%1'")
                                     .arg(QString::fromLatin1(Centre))),
             QStringLiteral("114"));
    QList<QStringList> rows = journal(Centre);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.at(0).at(0), QStringLiteral("Тревога"));
    QVERIFY2(rows.at(0).at(1).contains(QStringLiteral("Вскрытие корпуса прибора")), qPrintable(rows.at(0).at(1)));
    QCOMPARE(rows.at(0).at(2), QStringLiteral("Центр"));

    // Unknown objects and codes below the alarms raise nothing; the default is 101.
    console(QStringLiteral("alarm 356999999999999 110"));
    console(QStringLiteral("alarm 356000000000002 90"));
    console(QStringLiteral("alarm 356000000000002"));
    QCOMPARE(pilot->read(17), statePacket(North, 101));
    QCOMPARE(TestDatabase::value(QStringLiteral("SELECT COUNT(*) FROM orvex_base.messages")), QStringLiteral("2"));
    rows = journal(North);
    QCOMPARE(rows.size(), 1);
    QVERIFY2(rows.at(0).at(1).contains(QStringLiteral("Открыт сейф")), qPrintable(rows.at(0).at(1)));
    QCOMPARE(rows.at(0).at(2), QStringLiteral("Север"));
}

void TestServer::randomAlarms()
{
    stopServer();
    QVERIFY(startServer({QStringLiteral("--random-alarms"), QStringLiteral("1")}));
    auto pilot = loggedIn(QStringLiteral("Pilot"), QStringLiteral("Pilot"));
    QVERIFY(pilot);

    const QByteArray notification = pilot->read(17);
    QCOMPARE(notification.size(), 17);
    QCOMPARE(quint8(notification.at(0)), quint8(20));
    const QByteArray imei = notification.mid(1, 15);
    QVERIFY2(imei == Centre || imei == North, imei.constData());
    const int code = quint8(notification.at(16));
    QVERIFY2(code >= 100 && code <= 115, qPrintable(QString::number(code)));
    QCOMPARE(TestDatabase::value(QStringLiteral("SELECT State FROM orvex_base.objects WHERE IMEI='%1'")
                                     .arg(QString::fromLatin1(imei))),
             QString::number(code));
    QVERIFY(!journal(imei).isEmpty());
    QCOMPARE(journal(imei).first().first(), QStringLiteral("Тревога"));
}

void TestServer::armAndDisarm()
{
    auto pilot = loggedIn(QStringLiteral("Pilot"), QStringLiteral("Pilot"));
    auto operatorLink = loggedIn(QStringLiteral("Operator"), QStringLiteral("operator1"));
    QVERIFY(pilot && operatorLink);
    const QString objectRow = QStringLiteral("SELECT CONCAT(Ohrana, '/', State) FROM orvex_base.objects WHERE IMEI='%1'")
                                  .arg(QString::fromLatin1(North));

    operatorLink->send(command(North, 1, bytes({1})));
    QCOMPARE(operatorLink->read(17), statePacket(North, 2));
    QCOMPARE(pilot->read(17), statePacket(North, 2));
    QCOMPARE(TestDatabase::value(objectRow), QStringLiteral("1/2"));

    pilot->send(command(North, 1, bytes({0})));
    QCOMPARE(pilot->read(17), statePacket(North, 1));
    QCOMPARE(operatorLink->read(17), statePacket(North, 1));
    QCOMPARE(TestDatabase::value(objectRow), QStringLiteral("0/1"));

    // Disarming a disarmed object is journaled but notifies nobody: the next
    // bytes are the answer to the next request.
    pilot->send(command(North, 1, bytes({0})));
    pilot->send(command(North, 0));
    QCOMPARE(pilot->read(20), statusReport(North, 0));
    operatorLink->send(command(Centre, 0));
    QCOMPARE(operatorLink->read(20), statusReport(Centre, 0x0A0B0C));

    const QList<QStringList> rows = journal(North);
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows.at(0).mid(0, 4), (QStringList{QStringLiteral("Охрана"), QStringLiteral("Взят под охрану"),
                                                QStringLiteral("Север"), QStringLiteral("Operator")}));
    QCOMPARE(rows.at(1).mid(0, 4), (QStringList{QStringLiteral("Охрана"), QStringLiteral("Снят с охраны"),
                                                QStringLiteral("Север"), QStringLiteral("Pilot")}));
    const QDateTime written = QDateTime::fromString(rows.at(1).at(4), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    QVERIFY2(written.isValid(), qPrintable(rows.at(1).at(4)));
    QVERIFY(qAbs(written.secsTo(QDateTime::currentDateTime())) < 60);
}

void TestServer::outputs_data()
{
    QTest::addColumn<int>("output");
    QTest::addColumn<int>("value");
    QTest::addColumn<quint32>("before");
    QTest::addColumn<quint32>("after");
    QTest::addColumn<QString>("event");

    QTest::newRow("external siren on") << 0 << 1 << 0x000401u << 0x008401u << QStringLiteral("Внешняя сирена: включить");
    QTest::newRow("external siren off") << 0 << 0 << 0xFFFFFFu << 0xFF7FFFu << QStringLiteral("Внешняя сирена: выключить");
    QTest::newRow("lock output on") << 1 << 1 << 0u << 0x010000u << QStringLiteral("Выход блокировки: включить");
    QTest::newRow("universal output on") << 2 << 1 << 0u << 0x020000u << QStringLiteral("Универсальный выход: включить");
    QTest::newRow("reset output off") << 3 << 0 << 0x040000u << 0u << QStringLiteral("Выход сброса: выключить");
    // Value 1 on output 4 switches the cash machine off: bit 19 set.
    QTest::newRow("cash machine power off") << 4 << 1 << 0u << 0x080000u << QStringLiteral("Питание банкомата: выключить");
    QTest::newRow("cash machine power on") << 4 << 0 << 0x080001u << 0x000001u << QStringLiteral("Питание банкомата: включить");
    QTest::newRow("internal siren on") << 5 << 1 << 0u << 0x004000u << QStringLiteral("Внутренняя сирена: включить");
    QTest::newRow("already on stays on") << 5 << 1 << 0x004000u << 0x004000u << QStringLiteral("Внутренняя сирена: включить");
}

void TestServer::outputs()
{
    QFETCH(int, output);
    QFETCH(int, value);
    QFETCH(quint32, before);
    QFETCH(quint32, after);
    QFETCH(QString, event);

    QVERIFY(TestDatabase::exec(QStringLiteral("UPDATE orvex_base.objects SET Status='%1' WHERE IMEI='%2'")
                                   .arg(before)
                                   .arg(QString::fromLatin1(Centre))));
    auto pilot = loggedIn(QStringLiteral("Pilot"), QStringLiteral("Pilot"));
    auto operatorLink = loggedIn(QStringLiteral("Operator"), QStringLiteral("operator1"));
    QVERIFY(pilot && operatorLink);

    pilot->send(command(Centre, 10, bytes({output, value})));
    QCOMPARE(pilot->read(20), statusReport(Centre, after));
    QCOMPARE(TestDatabase::value(QStringLiteral("SELECT Status FROM orvex_base.objects WHERE IMEI='%1'")
                                     .arg(QString::fromLatin1(Centre))),
             QString::number(after));
    const QList<QStringList> rows = journal(Centre);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.at(0).mid(0, 4),
             (QStringList{QStringLiteral("Команда"), event, QStringLiteral("Центр"), QStringLiteral("Pilot")}));

    // The report goes to the commanding station only.
    operatorLink->send(command(North, 0));
    QCOMPARE(operatorLink->read(20), statusReport(North, 0));
}

void TestServer::cameraFrames()
{
    auto pilot = loggedIn(QStringLiteral("Pilot"), QStringLiteral("Pilot"));
    auto operatorLink = loggedIn(QStringLiteral("Operator"), QStringLiteral("operator1"));
    QVERIFY(pilot && operatorLink);

    // Three requests within one second.
    for (int i = 0; i < 3; ++i)
        pilot->send(command(Centre, 15, bytes({3})));
    // A frame leaves the state alone, so no station hears of it: the next
    // bytes on both links are the answers to their own requests.
    pilot->send(command(Centre, 0));
    QCOMPARE(pilot->read(20), statusReport(Centre, 0x0A0B0C));
    operatorLink->send(command(North, 0));
    QCOMPARE(operatorLink->read(20), statusReport(North, 0));

    // No row is ever dated ahead: the stations ask only for rows newer than
    // their newest, and would skip everything written before that date.
    const auto newestAhead = [this] {
        const QDateTime now = QDateTime::currentDateTime();
        QStringList dates;
        for (const QStringList &row : journal(Centre))
            dates.append(row.at(4));
        for (const QStringList &row : TestDatabase::rows(QStringLiteral("SELECT Date FROM orvex_base.o_356000000000001")))
            dates.append(row.at(0));
        for (const QString &date : std::as_const(dates)) {
            if (QDateTime::fromString(date, QStringLiteral("yyyy-MM-dd HH:mm:ss")) > now)
                return date;
        }
        return QString();
    };
    QCOMPARE(newestAhead(), QString());
    QTRY_COMPARE_WITH_TIMEOUT(journal(Centre).size(), 3, Timeout);
    QCOMPARE(newestAhead(), QString());

    const auto fileHex = [this](const QString &name) {
        QFile file(m_frames->filePath(name));
        return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll().toHex().toUpper()) : QString();
    };
    const QList<QStringList> frames = TestDatabase::rows(
        QStringLiteral("SELECT Date, Event, HEX(Image) FROM orvex_base.o_356000000000001 ORDER BY Date"));
    QCOMPARE(frames.size(), 3);
    QCOMPARE(frames.at(0).at(2), fileHex(QStringLiteral("a.jpg")));
    QCOMPARE(frames.at(1).at(2), fileHex(QStringLiteral("b.jpg")));
    QCOMPARE(frames.at(2).at(2), fileHex(QStringLiteral("a.jpg")));

    const QList<QStringList> rows = TestDatabase::rows(
        QStringLiteral("SELECT Type, Event, Group_, User, Date FROM orvex_base.messages WHERE IMEI='%1' ORDER BY Date")
            .arg(QString::fromLatin1(Centre)));
    QCOMPARE(rows.size(), 3);
    for (int i = 0; i < rows.size(); ++i) {
        const QStringList &row = rows.at(i);
        QCOMPARE(row.at(0), QStringLiteral("Событие"));
        QCOMPARE(row.at(1), QStringLiteral("Кадр с камеры"));
        QCOMPARE(row.at(2), QStringLiteral("Центр"));
        QCOMPARE(row.at(3), QStringLiteral("Pilot"));
        // The station's fetch by the row's Date finds this row's frame and
        // no other.
        const QList<QStringList> found = TestDatabase::rows(
            QStringLiteral("SELECT HEX(Image) FROM orvex_base.o_356000000000001 WHERE Date='%1' AND Event='Кадр с камеры'")
                .arg(row.at(4)));
        QCOMPARE(found.size(), 1);
        QCOMPARE(found.at(0).at(0), frames.at(i).at(2));
    }
    QVERIFY(QImage::fromData(QByteArray::fromHex(frames.at(1).at(2).toLatin1()), "JPG").size() == QSize(40, 30));
    // The frame table made here is opened to the operators' role: an
    // operator's station reads the frame, as it reads no password.
    OperatorSession session(QStringLiteral("Operator"), QStringLiteral("operator1"));
    QVERIFY(session.run(QStringLiteral("SET ROLE ") + Sql::FramesRole));
    QVERIFY(session.run(QStringLiteral("SELECT Image FROM orvex_base.o_356000000000001")));
}

void TestServer::cameraBurstIsBounded()
{
    auto pilot = loggedIn(QStringLiteral("Pilot"), QStringLiteral("Pilot"));
    auto operatorLink = loggedIn(QStringLiteral("Operator"), QStringLiteral("operator1"));
    QVERIFY(pilot && operatorLink);

    // A burst cannot queue up frames for minutes: one is stored, four wait
    // for a second of their own, the rest are dropped.
    pilot->send(command(Centre, 15, bytes({3})).repeated(20));
    pilot->send(command(Centre, 0));
    QCOMPARE(pilot->read(20), statusReport(Centre, 0x0A0B0C));
    const auto framesBy = [](const QString &user) {
        return TestDatabase::value(QStringLiteral("SELECT COUNT(*) FROM orvex_base.messages WHERE User='%1'").arg(user));
    };
    QTRY_COMPARE_WITH_TIMEOUT(framesBy(QStringLiteral("Pilot")), QStringLiteral("5"), 2 * Timeout);
    QVERIFY(logCount(QStringLiteral("request of Pilot dropped")) > 0);

    // Had the dropped requests only been delayed, they would come before
    // a request made now.
    operatorLink->send(command(Centre, 15, bytes({3})));
    QTRY_COMPARE_WITH_TIMEOUT(framesBy(QStringLiteral("Operator")), QStringLiteral("1"), Timeout);
    QCOMPARE(framesBy(QStringLiteral("Pilot")), QStringLiteral("5"));
    QCOMPARE(TestDatabase::value(QStringLiteral("SELECT COUNT(DISTINCT Date) FROM orvex_base.o_356000000000001")),
             QStringLiteral("6"));
}

void TestServer::cameraWithoutFrames()
{
    stopServer();
    QTemporaryDir empty;
    QVERIFY(startServer({QStringLiteral("--frames"), empty.path()}));
    auto pilot = loggedIn(QStringLiteral("Pilot"), QStringLiteral("Pilot"));
    QVERIFY(pilot);

    pilot->send(command(Centre, 15, bytes({3})));
    pilot->send(command(Centre, 0));
    QCOMPARE(pilot->read(20), statusReport(Centre, 0x0A0B0C));
    QVERIFY(journal(Centre).isEmpty());
    QVERIFY(TestDatabase::rows(QStringLiteral("SHOW TABLES FROM orvex_base LIKE 'o\\_%'")).isEmpty());
}

void TestServer::voiceCall()
{
    auto pilot = loggedIn(QStringLiteral("Pilot"), QStringLiteral("Pilot"));
    QVERIFY(pilot);

    pilot->send(command(North, 20, field16("89161234567")));
    pilot->send(command(North, 20, field16("1234567890123456")));
    pilot->send(command(North, 0));
    QCOMPARE(pilot->read(20), statusReport(North, 0));

    const QList<QStringList> rows = journal(North);
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows.at(0).at(0), QStringLiteral("Команда"));
    QVERIFY2(rows.at(0).at(1).endsWith(QStringLiteral(" 89161234567")), qPrintable(rows.at(0).at(1)));
    QCOMPARE(rows.at(0).at(3), QStringLiteral("Pilot"));
    QVERIFY2(rows.at(1).at(1).endsWith(QStringLiteral(" 1234567890123456")), qPrintable(rows.at(1).at(1)));
}

void TestServer::unknownObjectIsNotAnswered()
{
    auto pilot = loggedIn(QStringLiteral("Pilot"), QStringLiteral("Pilot"));
    QVERIFY(pilot);

    pilot->send(command(Unknown, 1, bytes({1})));
    pilot->send(command(Unknown, 10, bytes({0, 1})));
    pilot->send(command(Unknown, 15, bytes({3})));
    pilot->send(command(Unknown, 20, field16("8916")));
    // Output numbers and values a unit does not have are refused too.
    pilot->send(command(Centre, 10, bytes({6, 1})));
    pilot->send(command(Centre, 10, bytes({0, 2})));
    pilot->send(command(Centre, 0));
    QCOMPARE(pilot->read(20), statusReport(Centre, 0x0A0B0C));
    QCOMPARE(TestDatabase::value(QStringLiteral("SELECT COUNT(*) FROM orvex_base.messages")), QStringLiteral("0"));
    QVERIFY(TestDatabase::rows(QStringLiteral("SHOW TABLES FROM orvex_base LIKE 'o\\_%'")).isEmpty());
}

void TestServer::logShowsStationTextAsSent()
{
    auto pilot = loggedIn(QStringLiteral("Pilot"), QStringLiteral("Pilot"));
    QVERIFY(pilot);

    // A line feed in a login or an IMEI stays inside its line.
    Link stranger(m_port);
    QVERIFY(stranger.connected());
    QCOMPARE(stranger.login(QStringLiteral("x\n12:00:00 fake"), QStringLiteral("x")), 2);
    const QByteArray forged = QByteArray("35\r\nforged imei").left(15);
    pilot->send(command(forged, 0));
    // An IMEI that looks like a placeholder is shown as it is.
    const QByteArray placeholder = QByteArray("%1").leftJustified(15, '\0');
    pilot->send(command(placeholder, 1, bytes({5})));
    pilot->send(command(placeholder, 15, bytes({7})));
    pilot->send(command(Centre, 0));
    QCOMPARE(pilot->read(20), statusReport(Centre, 0x0A0B0C));

    QTRY_VERIFY_WITH_TIMEOUT(log().contains(QStringLiteral("camera command of %1 with value 7 ignored")), Timeout);
    const QString text = log();
    QVERIFY2(text.contains(QStringLiteral("arm/disarm of %1 with value 5 ignored")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("x\\n12:00:00 fake")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("35\\r\\nforged imei")), qPrintable(text));
    QVERIFY2(!text.contains(QLatin1Char('\r')), qPrintable(text));
    QVERIFY2(!text.contains(QStringLiteral("\n12:00:00 fake")), qPrintable(text));
    QVERIFY2(!text.contains(QStringLiteral("\nforged imei")), qPrintable(text));
}

void TestServer::framing()
{
    Link link(m_port);
    QVERIFY(link.connected());

    // Split over two writes, the first not even telling the command code.
    const QByteArray auth = authPacket(QStringLiteral("Pilot"), QStringLiteral("Pilot"));
    int buffered = logCount(QStringLiteral("bytes buffered"));
    link.send(auth.left(10));
    QVERIFY(waitForLog(QStringLiteral("bytes buffered"), buffered));
    link.send(auth.mid(10));
    QCOMPARE(link.read(2), bytes({255, 1}));

    const QByteArray request = command(Centre, 0);
    buffered = logCount(QStringLiteral("bytes buffered"));
    link.send(request.left(9));
    QVERIFY(waitForLog(QStringLiteral("bytes buffered"), buffered));
    link.send(request.mid(9));
    QCOMPARE(link.read(20), statusReport(Centre, 0x0A0B0C));

    // Several packets in one write, the last one incomplete until the next.
    const QByteArray arm = command(North, 1, bytes({1}));
    link.send(command(Centre, 0) + arm + command(North, 0).left(5));
    QCOMPARE(link.read(20 + 17), statusReport(Centre, 0x0A0B0C) + statePacket(North, 2));
    link.send(command(North, 0).mid(5));
    QCOMPARE(link.read(20), statusReport(North, 0));

    // An unknown type, or an unknown command code, loses the rest of that read
    // but not the connection.
    int discarded = logCount(QStringLiteral("discarded"));
    link.send(bytes({7, 1, 2, 3}) + command(Centre, 0));
    QVERIFY(waitForLog(QStringLiteral("discarded"), discarded));
    discarded = logCount(QStringLiteral("discarded"));
    link.send(command(Centre, 0) + command(Centre, 99, bytes({1, 2})) + command(North, 0));
    QCOMPARE(link.read(20), statusReport(Centre, 0x0A0B0C));
    QVERIFY(waitForLog(QStringLiteral("discarded"), discarded));
    link.send(command(North, 0));
    QCOMPARE(link.read(20), statusReport(North, 0));
    QCOMPARE(link.pending(), 0);
}

void TestServer::floodFromOneStation()
{
    auto flooder = loggedIn(QStringLiteral("Pilot"), QStringLiteral("Pilot"));
    QVERIFY(flooder);
    const qsizetype logBefore = log().size();

    // 4 MB of status requests at once, far more than any station sends.
    flooder->send(command(Centre, 0).repeated(4 * 1024 * 1024 / 17));
    Link other(m_port);
    QVERIFY(other.connected());
    other.send(authPacket(QStringLiteral("Operator"), QStringLiteral("operator1")));
    // The other station is answered; how soon is the bench's to measure.
    QCOMPARE(other.read(2), bytes({255, 1}));
    other.send(command(North, 0));
    QCOMPARE(other.read(20), statusReport(North, 0));

    // The flooding station is cut off rather than held in memory, and the
    // log sums the flood up instead of showing every packet.
    QVERIFY(flooder->waitForClosedByServer());
    QVERIFY(waitForLog(QStringLiteral("disconnected (Pilot logged out)"), 0));
    QVERIFY2(log().contains(QStringLiteral("connection closed")), "the reason for closing was not logged");
    const qsizetype grown = log().size() - logBefore;
    QVERIFY2(grown < 64 * 1024, qPrintable(QString::number(grown)));
}

void TestServer::garbageIsSummedUp()
{
    auto pilot = loggedIn(QStringLiteral("Pilot"), QStringLiteral("Pilot"));
    QVERIFY(pilot);
    const qsizetype logBefore = log().size();

    constexpr qsizetype Garbage = 8 * 1024 * 1024;
    pilot->sendAll(QByteArray(Garbage, char(0xFF)));
    pilot->close();
    QVERIFY(waitForLog(QStringLiteral("disconnected (Pilot logged out)"), 0));
    // Every byte was read and counted, but the log holds a summary, not a
    // hex dump of megabytes.
    QVERIFY2(log().contains(QStringLiteral("%1 bytes of unknown packets discarded").arg(Garbage)),
             qPrintable(log().right(2000)));
    const qsizetype grown = log().size() - logBefore;
    QVERIFY2(grown < 64 * 1024, qPrintable(QString::number(grown)));

    // The server carries on for the others.
    auto operatorLink = loggedIn(QStringLiteral("Operator"), QStringLiteral("operator1"));
    QVERIFY(operatorLink);
    operatorLink->send(command(North, 0));
    QCOMPARE(operatorLink->read(20), statusReport(North, 0));
}

void TestServer::reconnectsToDatabase()
{
    auto pilot = loggedIn(QStringLiteral("Pilot"), QStringLiteral("Pilot"));
    QVERIFY(pilot);

    // Cut the server's idle database connection, as a database restart or an
    // idle timeout would.
    const QList<QStringList> idle = TestDatabase::rows(QStringLiteral(
        "SELECT ID FROM information_schema.PROCESSLIST WHERE USER='root' AND COMMAND='Sleep' AND ID<>CONNECTION_ID()"));
    QVERIFY(!idle.isEmpty());
    for (const QStringList &row : idle)
        TestDatabase::exec(QStringLiteral("KILL %1").arg(row.at(0)));

    pilot->send(command(North, 1, bytes({1})));
    QCOMPARE(pilot->read(17), statePacket(North, 2));
    QCOMPARE(TestDatabase::value(QStringLiteral("SELECT Ohrana FROM orvex_base.objects WHERE IMEI='%1'")
                                     .arg(QString::fromLatin1(North))),
             QStringLiteral("1"));
}

void TestServer::keepsRunningWhenStandardInputEnds()
{
    const int closed = logCount(QStringLiteral("standard input closed"));
    m_server->closeWriteChannel();
    QVERIFY(waitForLog(QStringLiteral("standard input closed"), closed));
    auto pilot = loggedIn(QStringLiteral("Pilot"), QStringLiteral("Pilot"));
    QVERIFY(pilot);
    pilot->send(command(Centre, 0));
    QCOMPARE(pilot->read(20), statusReport(Centre, 0x0A0B0C));
    QCOMPARE(m_server->state(), QProcess::Running);
    m_server->terminate();
    QVERIFY(m_server->waitForFinished(Timeout));
    m_server.reset();
}

void TestServer::startupFailures()
{
    const QString program = qEnvironmentVariable("ORVEX_SERVER");

    QProcess busy;
    busy.start(program, {QStringLiteral("--port"), QString::number(m_port), QStringLiteral("--db-port"),
                         QString::number(TestDatabase::port())});
    QVERIFY(busy.waitForFinished(Timeout));
    QVERIFY(busy.exitCode() != 0);
    QVERIFY2(busy.readAllStandardError().contains("cannot listen"), "no reason given for a taken port");

    // A port where no database listens.
    QTcpServer placeholder;
    QVERIFY(placeholder.listen(QHostAddress::LocalHost));
    const quint16 closed = placeholder.serverPort();
    placeholder.close();
    QProcess noDatabase;
    noDatabase.start(program, {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--db-port"),
                               QString::number(closed)});
    QVERIFY(noDatabase.waitForFinished(Timeout));
    QVERIFY(noDatabase.exitCode() != 0);
    QVERIFY2(noDatabase.readAllStandardError().contains("cannot connect to database"),
             "no reason given for an unreachable database");
    QVERIFY(!noDatabase.readAllStandardOutput().contains("listening"));
}

void TestServer::lostDatabaseAnswer_data()
{
    QTest::addColumn<QByteArray>("marker");
    QTest::addColumn<int>("how");
    QTest::addColumn<QString>("logged");

    // The database stored the row; sent again, it would be there twice.
    QTest::newRow("journal row, answer lost")
        << QByteArray("INSERT INTO `orvex_base`.`messages`") << int(DbProxy::Cut::AfterAnswer)
        << QStringLiteral("may or may not have been stored");
    // A read is asked again on a new connection.
    QTest::newRow("object lookup, connection lost") << QByteArray("FROM `orvex_base`.`objects` WHERE")
                                                    << int(DbProxy::Cut::BeforeServer) << QStringLiteral("asking again");
}

void TestServer::lostDatabaseAnswer()
{
    QFETCH(QByteArray, marker);
    QFETCH(int, how);
    QFETCH(QString, logged);

    stopServer();
    m_proxy = std::make_unique<DbProxy>(TestDatabase::port());
    QVERIFY(m_proxy->port() != 0);
    m_databasePort = m_proxy->port();
    QVERIFY(startServer());
    auto pilot = loggedIn(QStringLiteral("Pilot"), QStringLiteral("Pilot"));
    QVERIFY(pilot);

    m_proxy->cutNext(marker, DbProxy::Cut(how));
    console(QStringLiteral("alarm 356000000000001 114"));
    QCOMPARE(pilot->read(17), statePacket(Centre, 114));
    QVERIFY(m_proxy->hasCut());
    const QList<QStringList> rows = journal(Centre);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.at(0).at(0), QStringLiteral("Тревога"));
    QVERIFY2(log().contains(logged), qPrintable(log()));

    // The server carries on over a new connection.
    pilot->send(command(North, 1, bytes({1})));
    QCOMPARE(pilot->read(17), statePacket(North, 2));
    QCOMPARE(journal(North).size(), 1);
    QCOMPARE(m_proxy->connectionCount(), 2);
}

void TestServer::acceptsAgainAfterDescriptorsRunOut()
{
    stopServer();
    m_fileLimit = 32;
    QVERIFY(startServer({QStringLiteral("--frames"), m_frames->path()}));
    auto pilot = loggedIn(QStringLiteral("Pilot"), QStringLiteral("Pilot"));
    QVERIFY(pilot);

    // More connections than the server has descriptors for; those it cannot
    // accept wait in the listen backlog.
    std::vector<std::unique_ptr<Link>> links;
    for (int i = 0; i < 40; ++i) {
        links.push_back(std::make_unique<Link>(m_port));
        QVERIFY(links.back()->connected());
    }
    QVERIFY2(waitForLog(QStringLiteral("cannot accept"), 0), qPrintable(log().right(3000)));

    // Meanwhile the server can still open what a station's request needs.
    pilot->send(command(Centre, 15, bytes({3})));
    QTRY_COMPARE_WITH_TIMEOUT(journal(Centre).size(), 1, Timeout);

    links.clear();
    auto operatorLink = loggedIn(QStringLiteral("Operator"), QStringLiteral("operator1"));
    QVERIFY2(operatorLink, qPrintable(log().right(3000)));
    QVERIFY2(log().contains(QStringLiteral("accepting connections again")), qPrintable(log().right(3000)));

    // With descriptors to spare, an empty backlog is no failure: the next
    // connection is served at once.
    Link next(m_port);
    QVERIFY(next.connected());
    QCOMPARE(next.login(QStringLiteral("Nobody"), QStringLiteral("x")), 2);
    QCOMPARE(logCount(QStringLiteral("cannot accept")), 1);
}

void TestServer::connectionLimit()
{
    stopServer();
    QVERIFY(startServer({QStringLiteral("--max-connections"), QStringLiteral("3")}));
    auto pilot = loggedIn(QStringLiteral("Pilot"), QStringLiteral("Pilot"));
    QVERIFY(pilot);
    Link second(m_port);
    Link third(m_port);
    QVERIFY(second.connected() && third.connected());
    QVERIFY(QTest::qWaitFor([&] { return logCount(QStringLiteral(" connected")) == 3; }, Timeout));

    Link over(m_port);
    Link further(m_port);
    QVERIFY(over.connected() && further.connected());
    QVERIFY(over.waitForClosedByServer());
    QVERIFY(further.waitForClosedByServer());
    QVERIFY2(log().contains(QStringLiteral("2 refused so far")), qPrintable(log()));
    QCOMPARE(logCount(QStringLiteral(" connected")), 3);

    // Those within the limit are served, and a place given up is taken again.
    pilot->send(command(Centre, 0));
    QCOMPARE(pilot->read(20), statusReport(Centre, 0x0A0B0C));
    third.close();
    QVERIFY(waitForLog(QStringLiteral("disconnected"), 0));
    auto operatorLink = loggedIn(QStringLiteral("Operator"), QStringLiteral("operator1"));
    QVERIFY(operatorLink);
}

void TestServer::silentConnectionsAreClosed()
{
    stopServer();
    const int slowdown = qMax(1, qEnvironmentVariableIntValue("ORVEX_TEST_SLOWDOWN"));
    QVERIFY(startServer({QStringLiteral("--auth-deadline-ms"), QString::number(500 * slowdown)}));
    // Connected first, so its deadline has passed when the others are closed.
    auto pilot = loggedIn(QStringLiteral("Pilot"), QStringLiteral("Pilot"));
    QVERIFY(pilot);
    Link silent(m_port);
    Link refused(m_port);
    Link halfPacket(m_port);
    QVERIFY(silent.connected() && refused.connected() && halfPacket.connected());
    QCOMPARE(refused.login(QStringLiteral("Pilot"), QStringLiteral("wrong")), 2);
    halfPacket.send(authPacket(QStringLiteral("Operator"), QStringLiteral("operator1")).left(20));

    for (Link *link : {&silent, &refused, &halfPacket})
        QVERIFY(link->waitForClosedByServer());
    QCOMPARE(logCount(QStringLiteral("no login within")), 3);
    // A station that logged in is not held to the deadline.
    pilot->send(command(Centre, 0));
    QCOMPARE(pilot->read(20), statusReport(Centre, 0x0A0B0C));
}

void TestServer::keepAliveOnStationSockets()
{
    // A station whose machine died would hold its login (others get "already
    // connected") until TCP notices; these bound that to about half a minute.
    auto pilot = loggedIn(QStringLiteral("Pilot"), QStringLiteral("Pilot"));
    QVERIFY(pilot);
    const int fd = socketOf(m_server->processId(), pilot->localPort());
    if (fd < 0 && errno == EPERM)
        QSKIP("this system does not let the test look at the server's sockets (pidfd_getfd)");
    QVERIFY2(fd >= 0, "the server's end of the station's connection was not found");
    const struct {
        int level;
        int option;
        int expected;
        const char *name;
    } options[] = {
        {SOL_SOCKET, SO_KEEPALIVE, 1, "SO_KEEPALIVE"},   {IPPROTO_TCP, TCP_KEEPIDLE, 10, "TCP_KEEPIDLE"},
        {IPPROTO_TCP, TCP_KEEPINTVL, 5, "TCP_KEEPINTVL"}, {IPPROTO_TCP, TCP_KEEPCNT, 4, "TCP_KEEPCNT"},
        {IPPROTO_TCP, TCP_USER_TIMEOUT, 30000, "TCP_USER_TIMEOUT"},
    };
    for (const auto &option : options) {
        int value = -1;
        socklen_t length = sizeof value;
        QVERIFY2(getsockopt(fd, option.level, option.option, &value, &length) == 0, option.name);
        QVERIFY2(value == option.expected, qPrintable(QStringLiteral("%1 is %2").arg(QLatin1String(option.name)).arg(value)));
    }
    close(fd);
}

void TestServer::proxyServesBlockingClients()
{
    // A station's database calls block its thread, as these do: the proxy
    // relays without this thread's event loop.
    DbProxy proxy(TestDatabase::port());
    QVERIFY(proxy.port() != 0);
    using Connection = std::unique_ptr<MYSQL, decltype(&mysql_close)>;
    const auto connectThrough = [&] {
        Connection mysql(mysql_init(nullptr), &mysql_close);
        const unsigned int timeout = 10;
        mysql_options(mysql.get(), MYSQL_OPT_READ_TIMEOUT, &timeout);
        if (!mysql_real_connect(mysql.get(), "127.0.0.1", "root", "", "orvex_base", proxy.port(), nullptr, 0)) {
            qWarning("%s", mysql_error(mysql.get()));
            mysql.reset();
        }
        return mysql;
    };
    const char *insert = "INSERT INTO messages(IMEI,`Date`,`Type`,Event,Group_,`User`) "
                         "VALUES('356000000000001',NOW(),'x','through the proxy','','')";
    const QByteArray marker = "through the proxy";

    Connection first = connectThrough();
    QVERIFY(first);
    proxy.cutNext(marker, DbProxy::Cut::AfterAnswer);
    QVERIFY(mysql_query(first.get(), insert) != 0);
    QCOMPARE(mysql_errno(first.get()), unsigned(CR_SERVER_LOST));
    QVERIFY(proxy.hasCut());
    QCOMPARE(journal(Centre).size(), 1);

    Connection second = connectThrough();
    QVERIFY(second);
    proxy.cutNext(marker, DbProxy::Cut::BeforeServer);
    QVERIFY(mysql_query(second.get(), insert) != 0);
    QCOMPARE(mysql_errno(second.get()), unsigned(CR_SERVER_LOST));
    QVERIFY(proxy.hasCut());
    QCOMPARE(journal(Centre).size(), 1);

    Connection third = connectThrough();
    QVERIFY(third);
    QCOMPARE(mysql_query(third.get(), insert), 0);
    QCOMPARE(journal(Centre).size(), 2);
    proxy.closeAll();
    QVERIFY(mysql_query(third.get(), "SELECT 1") != 0);
    QCOMPARE(proxy.connectionCount(), 3);
}

QTEST_GUILESS_MAIN(TestServer)
#include "test_server.moc"
