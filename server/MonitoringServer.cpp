#include "MonitoringServer.h"

#include "PacketCodec.h"
#include "ServerDatabase.h"
#include "ServerLog.h"

#include <QHostAddress>
#include <QStringEncoder>
#include <QTcpServer>
#include <QTcpSocket>

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
        m_clients.append(client);
        log(client.peer, QStringLiteral("connected"));
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { drop(socket); });
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

void MonitoringServer::drop(QTcpSocket *socket)
{
    for (qsizetype i = 0; i < m_clients.size(); ++i) {
        if (m_clients.at(i).socket != socket)
            continue;
        const Client &client = m_clients.at(i);
        log(client.peer, client.loggedIn ? QStringLiteral("disconnected (%1 logged out)").arg(client.login)
                                         : QStringLiteral("disconnected"));
        m_clients.removeAt(i);
        break;
    }
    socket->deleteLater();
}

void MonitoringServer::readFrom(QTcpSocket *socket)
{
    Client *client = find(socket);
    if (!client)
        return;
    client->buffer.append(socket->readAll());
    const PacketCodec::Cut cut = PacketCodec::cutStationPackets(client->buffer);
    const QString peer = client->peer;
    const qsizetype waiting = client->buffer.size();

    // Handling a packet may touch the client list, so no pointer is kept.
    for (const QByteArray &packet : cut.packets)
        handlePacket(socket, packet);
    if (!cut.discarded.isEmpty()) {
        const quint8 type = static_cast<quint8>(cut.discarded.at(0));
        const QString what = type == PacketCodec::Command && cut.discarded.size() > 16
            ? QStringLiteral("command code %1").arg(static_cast<quint8>(cut.discarded.at(16)))
            : QStringLiteral("type %1").arg(type);
        log(peer, QStringLiteral("<- unknown %1: discarded %2 bytes [%3]")
                      .arg(what, QString::number(cut.discarded.size()), hexBytes(cut.discarded)));
    }
    if (waiting > 0)
        log(peer, QStringLiteral("<- %1 bytes buffered, waiting for the rest of the packet").arg(waiting));
}

void MonitoringServer::handlePacket(QTcpSocket *socket, const QByteArray &packet)
{
    Client *client = find(socket);
    if (!client)
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
            if (other.loggedIn && other.socket != socket) {
                send(other.socket, packet);
                ++relayed;
            }
        }
        if (relayed == 0)
            log(client->peer, QStringLiteral("no other station to pass the state on to"));
        return;
    }
    const QString login = client->login;
    deliver(socket, m_units.handleCommand(packet, login));
}

bool MonitoringServer::checkPassword(const QByteArray &login, const QByteArray &password, QString *failure)
{
    const auto operators = m_database.operatorsNamed(PacketCodec::fieldText(login));
    if (!operators) {
        *failure = QStringLiteral("database error: ") + m_database.lastError();
        return false;
    }
    // Compared byte for byte as the station sends them: the database's
    // collation would let "pilot" or a trailing blank pass.
    for (const auto &[rowLogin, rowPassword] : *operators) {
        if (fieldBytes(rowLogin) == login && fieldBytes(rowPassword) == password)
            return true;
    }
    *failure = operators->isEmpty() ? QStringLiteral("no such login") : QStringLiteral("wrong password");
    return false;
}

void MonitoringServer::authenticate(QTcpSocket *socket, const QByteArray &packet)
{
    const QByteArray login = untilZero(packet.mid(1, PacketCodec::TextFieldLength));
    const QByteArray password = untilZero(packet.mid(17, PacketCodec::TextFieldLength));
    const QString loginText = PacketCodec::fieldText(login);

    QString failure;
    const bool accepted = checkPassword(login, password, &failure);
    Client *client = find(socket);
    if (!client)
        return;
    // A new attempt replaces whatever this connection was logged in as.
    client->loggedIn = false;
    client->login.clear();
    if (!accepted) {
        log(client->peer, QStringLiteral("login \"%1\" refused: %2").arg(loginText, failure));
        send(socket, PacketCodec::authenticationAnswer(PacketCodec::NoSuchUser));
        return;
    }
    for (const Client &other : std::as_const(m_clients)) {
        if (other.loggedIn && other.socket != socket && other.login == loginText) {
            log(client->peer, QStringLiteral("login \"%1\" refused: already connected from %2").arg(loginText, other.peer));
            send(socket, PacketCodec::authenticationAnswer(PacketCodec::AlreadyConnected));
            return;
        }
    }
    client->loggedIn = true;
    client->login = loginText;
    send(socket, PacketCodec::authenticationAnswer(PacketCodec::LoginAccepted));
}

void MonitoringServer::send(QTcpSocket *socket, const QByteArray &packet)
{
    const Client *client = find(socket);
    if (!client)
        return;
    log(client->peer, QStringLiteral("-> ") + PacketCodec::describeServerPacket(packet));
    socket->write(packet);
}

int MonitoringServer::sendToStations(const QByteArray &packet)
{
    int count = 0;
    for (const Client &client : std::as_const(m_clients)) {
        if (client.loggedIn) {
            send(client.socket, packet);
            ++count;
        }
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
