#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

// A TCP relay on 127.0.0.1 between database clients and the private MariaDB,
// on a thread of its own: a client whose calls block its thread still gets
// its bytes through, and a test can lose the answer of one statement. Every
// method may be called from any thread.
class DbProxy
{
public:
    explicit DbProxy(quint16 databasePort); // listens on a free port of 127.0.0.1
    ~DbProxy();                             // stops the thread, closes everything
    DbProxy(const DbProxy &) = delete;
    DbProxy &operator=(const DbProxy &) = delete;

    // 0 when the proxy could not listen.
    quint16 port() const { return m_port; }

    enum class Cut { BeforeServer, AfterAnswer, ClientOnly };
    // The next client packet whose bytes contain marker: BeforeServer drops it and
    // cuts that connection (the server never sees it); AfterAnswer passes it to the
    // server, waits for the server's answer, swallows it and cuts the connection
    // (the statement ran, its client never hears so); ClientOnly drops it and cuts
    // the client's side only, so that the server's session lives on, as when the
    // client's network goes and the server has not noticed yet. Cuts asked for
    // while one waits follow it, in order, each on the next packet with its marker.
    void cutNext(const QByteArray &marker, Cut how);
    bool hasCut() const;         // a cut has happened since the queue was last empty
    int cutsWaiting() const;     // cuts asked for and not made yet
    // From now on, how many client packets hold marker: how often a client
    // sent a statement.
    void countFrom(const QByteArray &marker);
    int counted() const;
    int connectionCount() const; // connections relayed so far
    void closeAll();             // cut every relayed connection now

    // How long AfterAnswer waits for the server's answer before it cuts anyway.
    static constexpr int AnswerWaitMs = 5000;

private:
    void run();
    void wake();

    quint16 m_databasePort;
    quint16 m_port = 0;
    int m_listener = -1;
    int m_wake[2] = {-1, -1};
    std::thread m_thread;

    mutable std::mutex m_mutex;
    std::condition_variable m_closed;
    std::deque<std::pair<QByteArray, Cut>> m_cuts;
    QByteArray m_counted;
    int m_count = 0;
    bool m_cut = false;
    int m_connections = 0;
    quint64 m_closeRequests = 0;
    quint64 m_closesDone = 0;
    bool m_stop = false;
    bool m_running = false;
};
