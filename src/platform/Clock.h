#pragma once

#include <QDateTime>

#include <functional>

// The station's one reading of the wall clock: the main window's tick, the
// ages of waiting alarms and the times of journal rows all come from here.
// A test puts a clock of its own in its place and runs the product's timers
// through their own connections, so that it proves them wired.
class Clock
{
public:
    using Source = std::function<QDateTime()>;

    // Now, in UTC: ages taken from it skip the time zone rules.
    static QDateTime nowUtc();
    // Now, in local time, as the operator reads it.
    static QDateTime now();

    // Replaces the system clock (an empty source puts it back).
    static void setSource(Source source);
};
