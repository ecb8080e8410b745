#include "Clock.h"

namespace {

Clock::Source &source()
{
    static Clock::Source s;
    return s;
}

} // namespace

QDateTime Clock::nowUtc()
{
    const Source &s = source();
    return s ? s().toUTC() : QDateTime::currentDateTimeUtc();
}

QDateTime Clock::now()
{
    const Source &s = source();
    return s ? s().toLocalTime() : QDateTime::currentDateTime();
}

void Clock::setSource(Source source_)
{
    source() = std::move(source_);
}
