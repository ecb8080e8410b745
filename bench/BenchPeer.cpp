#include "BenchPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace {

// The station's login packet: type 1, login and password fields.
constexpr int AuthSize = 33;

qint64 steadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

BenchPeer::BenchPeer()
{
    m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
    if (m_listen < 0)
        return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(m_listen, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::listen(m_listen, 4) != 0
        || ::getsockname(m_listen, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        ::close(m_listen);
        m_listen = -1;
        return;
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { run(); });
}

BenchPeer::~BenchPeer()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    if (m_listen >= 0)
        ::close(m_listen);
}

void BenchPeer::send(QByteArray bytes)
{
    {
        const std::lock_guard lock(m_mutex);
        m_out.push_back(std::move(bytes));
    }
    m_wake.notify_all();
}

bool BenchPeer::sendAll(int fd, const QByteArray &bytes)
{
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        sent += n;
    }
    return true;
}

void BenchPeer::run()
{
    int client = -1;
    while (client < 0) {
        {
            const std::lock_guard lock(m_mutex);
            if (m_stop)
                return;
        }
        pollfd p{m_listen, POLLIN, 0};
        if (::poll(&p, 1, 20) > 0)
            client = ::accept(m_listen, nullptr, nullptr);
    }

    qint64 received = 0;
    bool answered = false;
    char buffer[4096];
    for (;;) {
        std::deque<QByteArray> out;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait_for(lock, std::chrono::milliseconds(2), [this] { return m_stop || !m_out.empty(); });
            if (m_stop)
                break;
            out.swap(m_out);
        }
        for (const QByteArray &bytes : out) {
            if (!sendAll(client, bytes))
                break;
            m_sendDone.store(steadyNs());
        }
        // What the station sends is read and dropped, after its login.
        for (;;) {
            const ssize_t n = ::recv(client, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n <= 0)
                break;
            received += n;
        }
        if (!answered && received >= AuthSize) {
            answered = true;
            sendAll(client, QByteArray("\xff\x01", 2));
            m_auth.store(true);
        }
    }
    ::close(client);
}
