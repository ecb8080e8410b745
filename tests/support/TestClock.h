#pragma once

#include "Clock.h"

#include <QDateTime>
#include <QMetaObject>
#include <QTimer>

// The station's clock held by the test, from a fixed moment on: ages and
// "today" do not depend on when the test runs. It moves only when told, and
// the system clock is back when it goes.
class TestClock
{
public:
    explicit TestClock(const QDateTime &start)
        : m_now(start)
    {
        Clock::setSource([this] { return m_now; });
    }
    ~TestClock() { Clock::setSource({}); }
    TestClock(const TestClock &) = delete;
    TestClock &operator=(const TestClock &) = delete;

    QDateTime now() const { return m_now; }
    void advance(qint64 seconds) { m_now = m_now.addSecs(seconds); }

    // One tick of a product timer, as its interval ending gives it: through
    // its timeout signal and whatever the product connected to that, and
    // only while the product keeps it running.
    static bool fire(QTimer *timer)
    {
        if (!timer || !timer->isActive())
            return false;
        return QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection);
    }

private:
    QDateTime m_now;
};
