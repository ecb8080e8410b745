#pragma once

#include <QElapsedTimer>
#include <QString>

// Every line of the server's log goes to stderr with the time in front, so a
// developer can follow the traffic while the station runs against it.
namespace ServerLog {

void write(const QString &text);

// Caps the lines one source (a station's connection) writes a second: a
// station flooding the server would otherwise fill the disk with a line or
// two for every packet. Lines over the cap are counted, and the count is
// written once the next second's lines are let through, or on flush().
class Throttle
{
public:
    static constexpr int LinesPerSecond = 20;

    explicit Throttle(const QString &source);

    // Counts a line; false when it is to be left out.
    bool admit();
    // Writes the count of lines left out since the last summary, if any.
    void flush();
    qint64 leftOutTotal() const { return m_leftOutTotal; }

private:
    QString m_source;
    QElapsedTimer m_window;
    int m_lines = 0;
    qint64 m_leftOut = 0;
    qint64 m_leftOutTotal = 0;
};

// While a Scope lives, write() counts against its throttle; a Scope of
// nullptr lets every line through (the server's own notes about a source).
class Scope
{
public:
    explicit Scope(Throttle *throttle);
    ~Scope();
    Scope(const Scope &) = delete;
    Scope &operator=(const Scope &) = delete;

private:
    Throttle *m_previous;
};

} // namespace ServerLog
