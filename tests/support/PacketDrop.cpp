#include "PacketDrop.h"

#include <QProcess>
#include <QStandardPaths>

#include <unistd.h>

bool PacketDrop::start(QString *why)
{
    if (m_on)
        return true;
    if (geteuid() != 0) {
        *why = QStringLiteral("dropping packets needs root (iptables)");
        return false;
    }
    if (QStandardPaths::findExecutable(QStringLiteral("iptables"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")})
            .isEmpty()) {
        *why = QStringLiteral("iptables is not installed");
        return false;
    }
    m_on = rules(QStringLiteral("-I"), why);
    if (!m_on)
        rules(QStringLiteral("-D"), nullptr);
    return m_on;
}

void PacketDrop::stop()
{
    if (!m_on)
        return;
    m_on = false;
    rules(QStringLiteral("-D"), nullptr);
}

bool PacketDrop::rules(const QString &action, QString *why) const
{
    const QString port = QString::number(m_port);
    // Loopback packets pass INPUT once on their way in, in both directions.
    for (const QString &side : {QStringLiteral("--dport"), QStringLiteral("--sport")}) {
        QProcess iptables;
        iptables.start(QStringLiteral("iptables"), {QStringLiteral("-w"), action, QStringLiteral("INPUT"),
                                                    QStringLiteral("-i"), QStringLiteral("lo"), QStringLiteral("-p"),
                                                    QStringLiteral("tcp"), side, port, QStringLiteral("-j"),
                                                    QStringLiteral("DROP")});
        if (!iptables.waitForFinished(10000) || iptables.exitStatus() != QProcess::NormalExit
            || iptables.exitCode() != 0) {
            if (why)
                *why = QStringLiteral("iptables %1 failed: %2")
                           .arg(action, QString::fromLocal8Bit(iptables.readAllStandardError()).trimmed());
            return false;
        }
    }
    return true;
}
