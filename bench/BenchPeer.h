#pragma once

#include <QByteArray>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

// The monitoring server as the bench plays it: listens on 127.0.0.1 in a
// thread of its own, answers the station's login packet with "authenticated"
// and writes what it is given as fast as the socket takes it, without
// waiting for the station's event loop.
class BenchPeer
{
public:
    BenchPeer();
    ~BenchPeer();
    BenchPeer(const BenchPeer &) = delete;
    BenchPeer &operator=(const BenchPeer &) = delete;

    bool isListening() const { return m_listen >= 0; }
    quint16 port() const { return m_port; }
    bool authReceived() const { return m_auth.load(); }
    // Moment (ns of the steady clock) the last queued bytes left for the socket.
    qint64 lastSendDoneNs() const { return m_sendDone.load(); }

    void send(QByteArray bytes);

private:
    void run();
    bool sendAll(int fd, const QByteArray &bytes);

    int m_listen = -1;
    quint16 m_port = 0;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<QByteArray> m_out;
    bool m_stop = false;
    std::atomic<bool> m_auth{false};
    std::atomic<qint64> m_sendDone{0};
};
