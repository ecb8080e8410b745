#include "DbProxy.h"

#include <QtDebug>

#include <chrono>
#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// A side with this much not yet taken by its peer is not read from until it
// is: a client that does not read its rows must not make the proxy hoard them.
constexpr qsizetype MaxPending = 1024 * 1024;
// Kept of each client's last bytes, so that a marker split over two reads is
// still found.
constexpr qsizetype RecentBytes = 4096;

sockaddr_in loopback(quint16 port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

void setNoDelay(int fd)
{
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

int connectToDatabase(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const sockaddr_in address = loopback(port);
    // A blocking connect on the loopback is answered at once.
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0
        || ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK) != 0) {
        ::close(fd);
        return -1;
    }
    setNoDelay(fd);
    return fd;
}

enum class Received { Data, Nothing, Closed };

Received receive(int fd, QByteArray *bytes)
{
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t count = ::recv(fd, buffer, sizeof buffer, 0);
        if (count > 0) {
            *bytes = QByteArray(buffer, static_cast<qsizetype>(count));
            return Received::Data;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return Received::Nothing;
        return Received::Closed;
    }
}

// Sends what the peer takes now; false when the peer is gone.
bool flush(int fd, QByteArray &pending)
{
    while (!pending.isEmpty()) {
        const ssize_t sent = ::send(fd, pending.constData(), static_cast<size_t>(pending.size()), MSG_NOSIGNAL);
        if (sent > 0) {
            pending.remove(0, static_cast<qsizetype>(sent));
            continue;
        }
        if (sent < 0 && errno == EINTR)
            continue;
        return sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
    return true;
}

struct Relay {
    int client = -1;
    int server = -1;
    QByteArray toServer;
    QByteArray toClient;
    QByteArray recent;
    bool awaitingAnswer = false;
    Clock::time_point answerDeadline;

    bool open() const { return client >= 0; }
    void close()
    {
        if (client >= 0)
            ::close(client);
        if (server >= 0)
            ::close(server);
        client = server = -1;
    }
};

} // namespace

DbProxy::DbProxy(quint16 databasePort)
    : m_databasePort(databasePort)
{
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0
        || ::listen(m_listener, 64) != 0
        || ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0
        || ::pipe2(m_wake, O_NONBLOCK | O_CLOEXEC) != 0) {
        qWarning("DbProxy: cannot listen on 127.0.0.1: %s", std::strerror(errno));
        if (m_listener >= 0)
            ::close(m_listener);
        m_listener = -1;
        return;
    }
    m_port = ntohs(address.sin_port);
    m_running = true;
    m_thread = std::thread([this] { run(); });
}

DbProxy::~DbProxy()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    wake();
    if (m_thread.joinable())
        m_thread.join();
    for (const int fd : {m_listener, m_wake[0], m_wake[1]}) {
        if (fd >= 0)
            ::close(fd);
    }
}

void DbProxy::wake()
{
    if (m_wake[1] < 0)
        return;
    const char byte = 1;
    // A full pipe wakes the thread as well.
    if (::write(m_wake[1], &byte, 1) < 0) {
    }
}

void DbProxy::cutNext(const QByteArray &marker, Cut how)
{
    const std::lock_guard lock(m_mutex);
    if (marker.isEmpty())
        return;
    if (m_cuts.empty())
        m_cut = false;
    m_cuts.emplace_back(marker, how);
}

void DbProxy::countFrom(const QByteArray &marker)
{
    const std::lock_guard lock(m_mutex);
    m_counted = marker;
    m_count = 0;
}

int DbProxy::counted() const
{
    const std::lock_guard lock(m_mutex);
    return m_count;
}

int DbProxy::cutsWaiting() const
{
    const std::lock_guard lock(m_mutex);
    return int(m_cuts.size());
}

bool DbProxy::hasCut() const
{
    const std::lock_guard lock(m_mutex);
    return m_cut;
}

int DbProxy::connectionCount() const
{
    const std::lock_guard lock(m_mutex);
    return m_connections;
}

void DbProxy::closeAll()
{
    std::unique_lock lock(m_mutex);
    if (!m_running)
        return;
    const quint64 request = ++m_closeRequests;
    lock.unlock();
    wake();
    lock.lock();
    m_closed.wait(lock, [&] { return m_closesDone >= request || !m_running; });
}

void DbProxy::run()
{
    std::vector<Relay> relays;
    std::vector<pollfd> fds;

    // The armed cut, if these bytes of a client (after recentSize bytes seen
    // before) hold its marker.
    const auto takeCut = [this](const QByteArray &window, qsizetype recentSize) -> std::optional<Cut> {
        const std::lock_guard lock(m_mutex);
        if (m_cuts.empty())
            return std::nullopt;
        const auto [marker, how] = m_cuts.front();
        const qsizetype from = qMax<qsizetype>(0, recentSize - marker.size() + 1);
        if (window.indexOf(marker, from) < 0)
            return std::nullopt;
        m_cuts.pop_front();
        return how;
    };
    // Noted before the close, so that a client seeing its connection end
    // finds hasCut() true.
    // Server sides left open by a ClientOnly cut, closed with the proxy.
    std::vector<int> orphans;
    const auto cut = [this, &orphans](Relay &relay, bool clientOnly = false) {
        {
            const std::lock_guard lock(m_mutex);
            m_cut = true;
        }
        if (clientOnly) {
            orphans.push_back(relay.server);
            relay.server = -1;
        }
        relay.close();
    };

    for (;;) {
        {
            const std::lock_guard lock(m_mutex);
            if (m_stop)
                break;
            if (m_closesDone < m_closeRequests) {
                for (Relay &relay : relays)
                    relay.close();
                relays.clear();
                for (const int fd : orphans)
                    ::close(fd);
                orphans.clear();
                m_closesDone = m_closeRequests;
                m_closed.notify_all();
            }
        }

        fds.clear();
        fds.push_back({m_wake[0], POLLIN, 0});
        fds.push_back({m_listener, POLLIN, 0});
        int timeout = -1;
        const Clock::time_point now = Clock::now();
        for (const Relay &relay : relays) {
            short clientEvents = 0;
            short serverEvents = 0;
            if (!relay.awaitingAnswer && relay.toServer.size() < MaxPending)
                clientEvents |= POLLIN;
            if (!relay.toClient.isEmpty())
                clientEvents |= POLLOUT;
            if (relay.toClient.size() < MaxPending)
                serverEvents |= POLLIN;
            if (!relay.toServer.isEmpty())
                serverEvents |= POLLOUT;
            fds.push_back({relay.client, clientEvents, 0});
            fds.push_back({relay.server, serverEvents, 0});
            if (relay.awaitingAnswer) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(relay.answerDeadline - now).count();
                const int wait = static_cast<int>(qMax<qint64>(0, left));
                timeout = timeout < 0 ? wait : qMin(timeout, wait);
            }
        }
        if (::poll(fds.data(), fds.size(), timeout) < 0) {
            if (errno == EINTR)
                continue;
            qWarning("DbProxy: poll failed: %s", std::strerror(errno));
            break;
        }

        if (fds[0].revents & POLLIN) {
            char drain[64];
            while (::read(m_wake[0], drain, sizeof drain) > 0) {
            }
        }

        const size_t polled = relays.size();
        for (size_t i = 0; i < polled; ++i) {
            Relay &relay = relays[i];
            const short fromClient = fds[2 + 2 * i].revents;
            const short fromServer = fds[3 + 2 * i].revents;
            QByteArray bytes;

            if (relay.awaitingAnswer && (fromClient & (POLLHUP | POLLERR))) {
                // The client left first; the statement went to the server all the same.
                cut(relay);
                continue;
            }
            if (!relay.awaitingAnswer && (fromClient & (POLLIN | POLLHUP | POLLERR))) {
                switch (receive(relay.client, &bytes)) {
                case Received::Nothing:
                    break;
                case Received::Closed:
                    flush(relay.server, relay.toServer);
                    relay.close();
                    break;
                case Received::Data: {
                    const QByteArray window = relay.recent + bytes;
                    {
                        const std::lock_guard lock(m_mutex);
                        if (!m_counted.isEmpty()) {
                            const qsizetype from = qMax<qsizetype>(0, relay.recent.size() - m_counted.size() + 1);
                            for (qsizetype at = window.indexOf(m_counted, from); at >= 0;
                                 at = window.indexOf(m_counted, at + 1))
                                ++m_count;
                        }
                    }
                    const std::optional<Cut> how = takeCut(window, relay.recent.size());
                    relay.recent = window.right(RecentBytes);
                    if (how == Cut::BeforeServer || how == Cut::ClientOnly) {
                        cut(relay, how == Cut::ClientOnly);
                        break;
                    }
                    relay.toServer += bytes;
                    if (how == Cut::AfterAnswer) {
                        relay.awaitingAnswer = true;
                        relay.answerDeadline = Clock::now() + std::chrono::milliseconds(AnswerWaitMs);
                    }
                    if (!flush(relay.server, relay.toServer))
                        relay.close();
                    break;
                }
                }
            }
            if (!relay.open())
                continue;

            if (fromServer & (POLLIN | POLLHUP | POLLERR)) {
                switch (receive(relay.server, &bytes)) {
                case Received::Nothing:
                    break;
                case Received::Closed:
                    if (relay.awaitingAnswer) {
                        cut(relay);
                        break;
                    }
                    flush(relay.client, relay.toClient);
                    relay.close();
                    break;
                case Received::Data:
                    if (relay.awaitingAnswer) {
                        cut(relay);
                        break;
                    }
                    relay.toClient += bytes;
                    if (!flush(relay.client, relay.toClient))
                        relay.close();
                    break;
                }
            }
            if (!relay.open())
                continue;

            if (((fromClient & POLLOUT) && !flush(relay.client, relay.toClient))
                || ((fromServer & POLLOUT) && !flush(relay.server, relay.toServer))) {
                relay.close();
                continue;
            }
            if (relay.awaitingAnswer && Clock::now() >= relay.answerDeadline)
                cut(relay);
        }
        std::erase_if(relays, [](const Relay &relay) { return !relay.open(); });

        if (fds[1].revents & POLLIN) {
            for (;;) {
                const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                if (client < 0)
                    break;
                const int server = connectToDatabase(m_databasePort);
                if (server < 0) {
                    qWarning("DbProxy: cannot reach the database on port %u: %s", unsigned(m_databasePort),
                             std::strerror(errno));
                    ::close(client);
                    continue;
                }
                setNoDelay(client);
                Relay relay;
                relay.client = client;
                relay.server = server;
                relays.push_back(std::move(relay));
                const std::lock_guard lock(m_mutex);
                ++m_connections;
            }
        }
    }

    for (Relay &relay : relays)
        relay.close();
    for (const int fd : orphans)
        ::close(fd);
    const std::lock_guard lock(m_mutex);
    m_running = false;
    m_closed.notify_all();
}
