#include "ServerLog.h"

#include <QTime>

#include <cstdio>

namespace ServerLog {

void write(const QString &text)
{
    const QByteArray line = QTime::currentTime().toString(QStringLiteral("HH:mm:ss")).toUtf8() + ' '
        + text.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
}

} // namespace ServerLog
