#include "MonitoringServer.h"

#include "PacketCodec.h"
#include "ServerDatabase.h"
#include "ServerLog.h"

#include <QHostAddress>
#include <QPointer>
#include <QStringEncoder>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

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

} // namespace

MonitoringServer::MonitoringServer(ServerDatabase &database, UnitSimulator &units, QObject *parent)
    : QObject(parent)
    , m_database(database)
    , m_units(units)
    , m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &MonitoringServer::acceptConnections);
}

bool MonitoringServer::listen(quint16 port, QString *error)
{
    if (m_server->listen(QHostAddress::LocalHost, port))
        return true;
    *error = m_server->errorString();
    return false;
}

quint16 MonitoringServer::port() const
{
    return m_server->serverPort();
}

void MonitoringServer::log(const QString &peer, const QString &text) const
{
    ServerLog::write(peer + QLatin1Char(' ') + text);
}

void MonitoringServer::acceptConnections()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        Client client;
        client.socket = socket;
        client.peer = socket->peerAddress().toString() + QLatin1Char(':') + QString::number(socket->peerPort());
        client.throttle = std::make_shared<ServerLog::Throttle>(client.peer);
        m_clients.append(client);
        log(client.peer, QStringLiteral("connected"));
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { disconnected(socket); });
    }
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
