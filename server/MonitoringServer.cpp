#include "MonitoringServer.h"

#include "PacketCodec.h"
#include "ServerDatabase.h"
#include "ServerLog.h"

#include <QHostAddress>
#include <QPointer>
#include <QSocketNotifier>
#include <QStringEncoder>
#include <QTcpSocket>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QByteArray untilZero(const QByteArray &field)
{
    const qsizetype zero = field.indexOf('\0');
    return zero < 0 ? field : field.left(zero);
}

// What a station would put into a 16-byte field for this text.
QByteArray fieldBytes(const QString &text)
{
    QStringEncoder encoder("windows-1251", QStringConverter::Flag::Stateless);
    const QByteArray bytes = encoder.encode(text);
    return bytes.left(PacketCodec::TextFieldLength);
}

QString hexBytes(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' '));
}

// Packets handled for one connection before the others get their turn, so a
// station sending thousands at once does not keep the rest waiting.
constexpr qsizetype PacketsPerTurn = 64;
// A station sends a packet now and then; one with more than this waiting to
// be handled, or to be sent to it, is flooding the server or not reading
// its answers, and holding it all would let it take the server's memory.
constexpr qsizetype MaxWaitingBytes = 256 * 1024;
constexpr qint64 MaxUnsentBytes = 1024 * 1024;
// Connections taken from the backlog in one turn; a storm of them must not
// keep the stations already connected waiting.
constexpr int AcceptsPerTurn = 64;

// A station whose machine died or lost its network never closes its
// connection, and its login stays taken ("already connected") until TCP gives
// up: by default two hours when idle, a quarter of an hour with data unsent.
// Probes after 10 s of silence, 5 s apart, 4 unanswered: gone after about 30 s;
// data unacknowledged for 30 s ends the connection as well.
constexpr int KeepAliveIdleSeconds = 10;
constexpr int KeepAliveIntervalSeconds = 5;
constexpr int KeepAliveProbes = 4;
constexpr unsigned int UnacknowledgedMs = 30000;

// Empty, or what could not be set.
QString watchForDeadPeer(qintptr descriptor)
{
    const int fd = static_cast<int>(descriptor);
    const int on = 1;
    const struct {
        int level;
        int option;
        int value;
        const char *name;
    } options[] = {
        {SOL_SOCKET, SO_KEEPALIVE, on, "SO_KEEPALIVE"},
        {IPPROTO_TCP, TCP_KEEPIDLE, KeepAliveIdleSeconds, "TCP_KEEPIDLE"},
        {IPPROTO_TCP, TCP_KEEPINTVL, KeepAliveIntervalSeconds, "TCP_KEEPINTVL"},
        {IPPROTO_TCP, TCP_KEEPCNT, KeepAliveProbes, "TCP_KEEPCNT"},
        {IPPROTO_TCP, TCP_USER_TIMEOUT, static_cast<int>(UnacknowledgedMs), "TCP_USER_TIMEOUT"},
    };
    for (const auto &option : options) {
        if (setsockopt(fd, option.level, option.option, &option.value, sizeof option.value) != 0)
            return QStringLiteral("%1: %2").arg(QLatin1String(option.name), QString::fromLocal8Bit(std::strerror(errno)));
    }
    return {};
}

} // namespace

MonitoringServer::MonitoringServer(ServerDatabase &database, UnitSimulator &units, QObject *parent)
    : QObject(parent)
    , m_database(database)
    , m_units(units)
{
}

MonitoringServer::~MonitoringServer()
{
    delete m_acceptNotifier;
    if (m_listener >= 0)
        ::close(m_listener);
    releaseReserve();
}

bool MonitoringServer::takeReserve()
{
    while (m_reserve.size() < ReservedDescriptors) {
        const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            releaseReserve();
            return false;
        }
        m_reserve.append(fd);
    }
    return true;
}

void MonitoringServer::releaseReserve()
{
    for (const int fd : std::as_const(m_reserve))
        ::close(fd);
    m_reserve.clear();
}

// QTcpServer is not used: its socket engine keeps the first error it ever
// met. An "out of descriptors" met first stops accepting at every later
// empty backlog; a "nothing waiting" met first makes a later "out of
// descriptors" look passing, and the server spins on the backlog.
bool MonitoringServer::listen(quint16 port, QString *error)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    const int on = 1;
    if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0
        || ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0
        || ::listen(fd, SOMAXCONN) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    m_listener = fd;
    m_port = ntohs(address.sin_port);
    takeReserve();
    m_acceptNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_acceptNotifier, &QSocketNotifier::activated, this, &MonitoringServer::acceptConnections);
    return true;
}

quint16 MonitoringServer::port() const
{
    return m_port;
}

void MonitoringServer::log(const QString &peer, const QString &text) const
{
    ServerLog::write(peer + QLatin1Char(' ') + text);
}

void MonitoringServer::acceptConnections()
{
    for (int i = 0; i < AcceptsPerTurn; ++i) {
        const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            switch (errno) {
            case EAGAIN:
#if EWOULDBLOCK != EAGAIN
            case EWOULDBLOCK:
#endif
                return;
            // Interrupted, or a connection that failed before it was taken
            // (Linux passes the new socket's pending network errors on).
            case EINTR:
            case ECONNABORTED:
            case EPROTO:
            case ENETDOWN:
            case ENOPROTOOPT:
            case EHOSTDOWN:
            case ENONET:
            case EHOSTUNREACH:
            case EOPNOTSUPP:
            case ENETUNREACH:
                continue;
            default:
                acceptFailed(errno);
                return;
            }
        }
        if (m_failedAccepts > 0) {
            ServerLog::write(QStringLiteral("accepting connections again (%1 attempts failed)").arg(m_failedAccepts));
            m_failedAccepts = 0;
        }
        auto *socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(fd)) {
            ServerLog::write(QStringLiteral("a connection could not be taken over: ") + socket->errorString());
            delete socket;
            ::close(fd);
            continue;
        }
        addClient(socket);
    }
}

void MonitoringServer::addClient(QTcpSocket *socket)
{
    const QString peer = socket->peerAddress().toString() + QLatin1Char(':') + QString::number(socket->peerPort());
    if (m_clients.size() >= m_maxConnections) {
        ++m_refused;
        if (!m_refusalLog)
            m_refusalLog = std::make_unique<ServerLog::Throttle>(QStringLiteral("connections over the limit:"));
        {
            const ServerLog::Scope scope(m_refusalLog.get());
            log(peer, QStringLiteral("refused: %1 connections already, the most allowed (--max-connections); "
                                     "%2 refused so far; connection closed")
                          .arg(QString::number(m_clients.size()), QString::number(m_refused)));
        }
        socket->abort();
        socket->deleteLater();
        return;
    }
    Client client;
    client.socket = socket;
    client.peer = peer;
    client.throttle = std::make_shared<ServerLog::Throttle>(client.peer);
    m_clients.append(client);
    log(client.peer, QStringLiteral("connected"));
    if (const QString problem = watchForDeadPeer(socket->socketDescriptor()); !problem.isEmpty())
        log(client.peer, QStringLiteral("a dead station will not be noticed early (%1)").arg(problem));
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { disconnected(socket); });
    QTimer::singleShot(m_authDeadlineMs, this, [this, guard = QPointer<QTcpSocket>(socket)] {
        if (guard)
            authDeadlinePassed(guard);
    });
}

void MonitoringServer::acceptFailed(int error)
{
    // Out of descriptors or memory: the connection stays in the backlog and
    // the listening socket stays readable, so accepting pauses (rather than
    // spinning) and is tried again once others may have closed. The reserve
    // is given up meanwhile, so that the server can still open what a logged-
    // in station's request needs (a camera frame's file).
    releaseReserve();
    m_acceptNotifier->setEnabled(false);
    if (m_failedAccepts++ == 0)
        ServerLog::write(QStringLiteral("cannot accept a connection (%1); trying again every %2 ms")
                             .arg(QString::fromLocal8Bit(std::strerror(error)), QString::number(AcceptRetryMs)));
    QTimer::singleShot(AcceptRetryMs, this, &MonitoringServer::acceptAgain);
}

void MonitoringServer::acceptAgain()
{
    if (!takeReserve()) {
        ++m_failedAccepts;
        QTimer::singleShot(AcceptRetryMs, this, &MonitoringServer::acceptAgain);
        return;
    }
    m_acceptNotifier->setEnabled(true);
    acceptConnections();
}

void MonitoringServer::authDeadlinePassed(QTcpSocket *socket)
{
    const Client *client = find(socket);
    if (!client || client->closing || client->everLoggedIn)
        return;
    closeClient(socket, QStringLiteral("no login within %1 ms").arg(m_authDeadlineMs));
}

MonitoringServer::Client *MonitoringServer::find(QTcpSocket *socket)
{
    for (Client &client : m_clients) {
        if (client.socket == socket)
            return &client;
    }
    return nullptr;
}

void MonitoringServer::disconnected(QTcpSocket *socket)
{
    // What the station sent before it closed is still handled, as it would
    // have been had it all come in one turn.
    Client *client = find(socket);
    if (client && client->handlingLater && !client->closing) {
        client->gone = true;
        return;
    }
    drop(socket);
}

void MonitoringServer::drop(QTcpSocket *socket)
{
    for (qsizetype i = 0; i < m_clients.size(); ++i) {
        if (m_clients.at(i).socket != socket)
            continue;
        const Client &client = m_clients.at(i);
        const ServerLog::Scope always(nullptr);
        client.throttle->flush();
        QString line = client.loggedIn ? QStringLiteral("disconnected (%1 logged out)").arg(client.login)
                                       : QStringLiteral("disconnected");
        if (client.discarded > 0)
            line += QStringLiteral("; %1 bytes of unknown packets discarded").arg(client.discarded);
        if (client.throttle->leftOutTotal() > 0)
            line += QStringLiteral("; %1 lines left out of the log").arg(client.throttle->leftOutTotal());
        log(client.peer, line);
        m_clients.removeAt(i);
        break;
    }
    socket->deleteLater();
}

void MonitoringServer::closeClient(QTcpSocket *socket, const QString &reason)
{
    Client *client = find(socket);
    if (!client || client->closing)
        return;
    client->closing = true;
    client->buffer.clear();
    {
        const ServerLog::Scope always(nullptr);
        log(client->peer, reason + QStringLiteral("; connection closed"));
    }
    // Later, on a turn of its own: the caller may be going through the
    // client list.
    QTimer::singleShot(0, this, [this, guard = QPointer<QTcpSocket>(socket)] {
        if (!guard)
            return;
        guard->abort();
        if (find(guard))
            drop(guard);
    });
}

void MonitoringServer::readFrom(QTcpSocket *socket)
{
    Client *client = find(socket);
    if (!client || client->closing) {
        socket->readAll();
        return;
    }
    client->buffer.append(socket->readAll());
    if (!client->handlingLater)
        handleSome(socket);
    // Counted after a first cut, which drops unreadable bytes at once: only
    // packets waiting for their turn take memory.
    client = find(socket);
    if (client && !client->closing && client->buffer.size() > MaxWaitingBytes)
        closeClient(socket, QStringLiteral("%1 bytes received and not handled yet, more than %2")
                                .arg(QString::number(client->buffer.size()), QString::number(MaxWaitingBytes)));
}

void MonitoringServer::handleSome(QTcpSocket *socket)
{
    Client *client = find(socket);
    if (!client || client->closing)
        return;
    client->handlingLater = false;
    const std::shared_ptr<ServerLog::Throttle> throttle = client->throttle;
    const ServerLog::Scope scope(throttle.get());
    const PacketCodec::Cut cut = PacketCodec::cutStationPackets(client->buffer, PacketsPerTurn);
    client->discarded += cut.discarded;
    const QString peer = client->peer;

    // Handling a packet may touch the client list, so no pointer is kept.
    for (const QByteArray &packet : cut.packets)
        handlePacket(socket, packet);
    if (cut.discarded > 0) {
        const QByteArray &head = cut.discardedHead;
        const quint8 type = static_cast<quint8>(head.at(0));
        const QString what = type == PacketCodec::Command && head.size() > 16
            ? QStringLiteral("command code %1").arg(static_cast<quint8>(head.at(16)))
            : QStringLiteral("type %1").arg(type);
        // The first bytes tell what came; all of a flood would swamp the log.
        log(peer, QStringLiteral("<- unknown %1: discarded %2 bytes [%3%4]")
                      .arg(what, QString::number(cut.discarded), hexBytes(head),
                           cut.discarded > head.size() ? QStringLiteral(" ...") : QString()));
    }

    client = find(socket);
    if (!client || client->closing)
        return;
    if (client->gone && !PacketCodec::holdsWholePacket(client->buffer)) {
        drop(socket);
        return;
    }
    if (PacketCodec::holdsWholePacket(client->buffer)) {
        client->handlingLater = true;
        QTimer::singleShot(0, this, [this, guard = QPointer<QTcpSocket>(socket)] {
            if (guard)
                handleSome(guard);
        });
    } else if (!client->buffer.isEmpty()) {
        log(peer, QStringLiteral("<- %1 bytes buffered, waiting for the rest of the packet").arg(client->buffer.size()));
    }
}

void MonitoringServer::handlePacket(QTcpSocket *socket, const QByteArray &packet)
{
    Client *client = find(socket);
    if (!client || client->closing)
        return;
    log(client->peer, QStringLiteral("<- ") + PacketCodec::describeStationPacket(packet));

    const quint8 type = static_cast<quint8>(packet.at(0));
    if (type == PacketCodec::Authentication) {
        authenticate(socket, packet);
        return;
    }
    if (!client->loggedIn) {
        log(client->peer, QStringLiteral("ignored: not logged in"));
        return;
    }
    if (type == PacketCodec::State) {
        // The station has stored a new state itself; the others only hear of it.
        int relayed = 0;
        for (const Client &other : std::as_const(m_clients)) {
            if (other.loggedIn && other.socket != socket && send(other.socket, packet))
                ++relayed;
        }
        if (relayed == 0)
            log(client->peer, QStringLiteral("no other station to pass the state on to"));
        return;
    }
    const QString login = client->login;
    deliver(socket, m_units.handleCommand(packet, login));
}

MonitoringServer::Check MonitoringServer::checkPassword(const QByteArray &login, const QByteArray &password,
                                                         QString *account, QString *failure)
{
    // A login longer than its field reaches us cut to the field's 16 bytes:
    // a full field is looked up as the start of the users row's login.
    const bool fullField = login.size() == PacketCodec::TextFieldLength;
    const auto operators =
        m_database.operatorsNamed(PacketCodec::fieldText(login), fullField ? PacketCodec::TextFieldLength : 0);
    if (!operators) {
        *failure = QStringLiteral("database error: ") + m_database.lastError();
        return Check::Unchecked;
    }
    // Compared byte for byte as the station sends them: the database's
    // collation would let "pilot" or a trailing blank pass.
    QStringList matches;
    for (const auto &[rowLogin, rowPassword] : *operators) {
        if (fieldBytes(rowLogin) == login && fieldBytes(rowPassword) == password)
            matches.append(rowLogin);
    }
    if (matches.size() == 1) {
        *account = matches.first();
        return Check::Accepted;
    }
    if (matches.size() > 1) {
        // The station cannot send more of the login; which account is meant
        // cannot be told, and guessing would log in as someone else.
        *failure = QStringLiteral("the users rows \"%1\" share the first %2 bytes of login and password")
                       .arg(matches.join(QStringLiteral("\", \"")), QString::number(PacketCodec::TextFieldLength));
        return Check::Refused;
    }
    *failure = operators->isEmpty() ? QStringLiteral("no such login") : QStringLiteral("wrong password");
    return Check::Refused;
}

void MonitoringServer::authenticate(QTcpSocket *socket, const QByteArray &packet)
{
    const QByteArray login = untilZero(packet.mid(1, PacketCodec::TextFieldLength));
    const QByteArray password = untilZero(packet.mid(17, PacketCodec::TextFieldLength));
    const QString loginText = PacketCodec::fieldText(login);

    QString account;
    QString failure;
    const Check check = checkPassword(login, password, &account, &failure);
    Client *client = find(socket);
    if (!client)
        return;
    // A new attempt replaces whatever this connection was logged in as.
    client->loggedIn = false;
    client->login.clear();
    if (check == Check::Unchecked) {
        // Answer 2 would tell the operator the account does not exist; the
        // protocol has no "try later", so the station sees the link drop and
        // connects again.
        closeClient(socket, QStringLiteral("login \"%1\" not checked (%2)").arg(loginText, failure));
        return;
    }
    if (check == Check::Refused) {
        log(client->peer, QStringLiteral("login \"%1\" refused: %2").arg(loginText, failure));
        send(socket, PacketCodec::authenticationAnswer(PacketCodec::NoSuchUser));
        return;
    }
    for (const Client &other : std::as_const(m_clients)) {
        if (other.loggedIn && other.socket != socket && other.login == account) {
            log(client->peer, QStringLiteral("login \"%1\" refused: already connected from %2").arg(account, other.peer));
            send(socket, PacketCodec::authenticationAnswer(PacketCodec::AlreadyConnected));
            return;
        }
    }
    client->loggedIn = true;
    client->everLoggedIn = true;
    client->login = account;
    send(socket, PacketCodec::authenticationAnswer(PacketCodec::LoginAccepted));
}

bool MonitoringServer::send(QTcpSocket *socket, const QByteArray &packet)
{
    const Client *client = find(socket);
    if (!client || client->closing || socket->state() != QAbstractSocket::ConnectedState)
        return false;
    log(client->peer, QStringLiteral("-> ") + PacketCodec::describeServerPacket(packet));
    socket->write(packet);
    if (socket->bytesToWrite() > MaxUnsentBytes)
        closeClient(socket, QStringLiteral("%1 bytes not taken by the station, more than %2")
                                .arg(QString::number(socket->bytesToWrite()), QString::number(MaxUnsentBytes)));
    return true;
}

int MonitoringServer::sendToStations(const QByteArray &packet)
{
    int count = 0;
    for (const Client &client : std::as_const(m_clients)) {
        if (client.loggedIn && send(client.socket, packet))
            ++count;
    }
    if (count == 0)
        ServerLog::write(QStringLiteral("no logged-in station for ") + PacketCodec::describeServerPacket(packet));
    return count;
}

void MonitoringServer::deliver(QTcpSocket *sender, const UnitSimulator::Replies &replies)
{
    if (sender) {
        for (const QByteArray &packet : replies.toSender)
            send(sender, packet);
    }
    for (const QByteArray &packet : replies.toAll)
        sendToStations(packet);
}

bool MonitoringServer::raiseAlarm(const QString &imei, int code, QString *error)
{
    UnitSimulator::Replies replies;
    if (!m_units.raiseAlarm(imei, code, &replies, error)) {
        ServerLog::write(QStringLiteral("alarm %1 for %2 not raised: %3").arg(QString::number(code), imei, *error));
        return false;
    }
    ServerLog::write(QStringLiteral("alarm %1 raised for %2").arg(QString::number(code), imei));
    deliver(nullptr, replies);
    return true;
}

QStringList MonitoringServer::describeClients() const
{
    QStringList lines;
    for (const Client &client : m_clients) {
        QString line = client.peer + (client.loggedIn ? QStringLiteral(" logged in as \"%1\"").arg(client.login)
                                                      : QStringLiteral(" not logged in"));
        if (!client.buffer.isEmpty())
            line += QStringLiteral(", %1 bytes waiting").arg(client.buffer.size());
        lines.append(line);
    }
    return lines;
}
