#pragma once

#include <QString>

// Every packet to and from a TCP port of 127.0.0.1 dropped by the firewall, as
// a machine powered off or a firewall that forgot an idle connection drops
// them: no reset, no answer, the peer's kernel acknowledges nothing. Needs
// root and iptables; start() says why it cannot. The rules go with the object.
class PacketDrop
{
public:
    explicit PacketDrop(quint16 port) : m_port(port) {}
    ~PacketDrop() { stop(); }
    PacketDrop(const PacketDrop &) = delete;
    PacketDrop &operator=(const PacketDrop &) = delete;

    bool start(QString *why);
    void stop();

private:
    bool rules(const QString &action, QString *why) const;

    quint16 m_port;
    bool m_on = false;
};
