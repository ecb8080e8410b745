#include "ServerLog.h"

#include <QTime>

#include <cstdio>

namespace ServerLog {

namespace {

Throttle *current = nullptr;

// Logins, IMEIs and numbers come from the stations as they are: a line feed
// in one would start a line of its own that looks like the server's.
QString printable(const QString &text)
{
    QString result;
    result.reserve(text.size());
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code == u'\n')
            result += QLatin1String("\\n");
        else if (code == u'\r')
            result += QLatin1String("\\r");
        else if (code == u'\t')
            result += QLatin1String("\\t");
        else if (code < 0x20 || (code >= 0x7F && code <= 0x9F) || code == 0x2028 || code == 0x2029)
            result += QStringLiteral("\\x{%1}").arg(int(code), 2, 16, QLatin1Char('0'));
        else
            result += c;
    }
    return result;
}

void writeLine(const QString &text)
{
    const QByteArray line = QTime::currentTime().toString(QStringLiteral("HH:mm:ss")).toUtf8() + ' '
        + printable(text).toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
}

} // namespace

void write(const QString &text)
{
    if (current && !current->admit())
        return;
    writeLine(text);
}

Throttle::Throttle(const QString &source)
    : m_source(source)
{
}

bool Throttle::admit()
{
    if (!m_window.isValid() || m_window.hasExpired(1000)) {
        flush();
        m_window.start();
        m_lines = 0;
    }
    if (m_lines < LinesPerSecond) {
        ++m_lines;
        return true;
    }
    ++m_leftOut;
    ++m_leftOutTotal;
    return false;
}

void Throttle::flush()
{
    if (m_leftOut == 0)
        return;
    writeLine(QStringLiteral("%1 %2 more lines left out of the log (more than %3 a second)")
                  .arg(m_source, QString::number(m_leftOut), QString::number(LinesPerSecond)));
    m_leftOut = 0;
}

Scope::Scope(Throttle *throttle)
    : m_previous(current)
{
    current = throttle;
}

Scope::~Scope()
{
    current = m_previous;
}

} // namespace ServerLog
