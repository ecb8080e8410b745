#include "Sql.h"

#include <mysql.h>

#include <vector>

namespace Sql {

QString value(const QString &text)
{
    // The client library sets up its character sets on first use.
    static const bool libraryReady = mysql_library_init(0, nullptr, nullptr) == 0;
    Q_ASSERT(libraryReady);
    // Without a connection the escaping cannot depend on the server's
    // character set; for utf8 it is the same as the connection's, since no
    // byte of a multi-byte UTF-8 character looks like a quote or backslash.
    const QByteArray utf8 = text.toUtf8();
    std::vector<char> escaped(size_t(utf8.size()) * 2 + 1);
    const unsigned long length = mysql_escape_string(escaped.data(), utf8.constData(), static_cast<unsigned long>(utf8.size()));
    return QString::fromUtf8(escaped.data(), qsizetype(length));
}

QString quoted(const QString &text)
{
    return QLatin1Char('\'') + value(text) + QLatin1Char('\'');
}

QString userGroups(const QString &login)
{
    return QStringLiteral("SELECT Groups FROM orvex_base.users WHERE Login=") + quoted(login);
}

QString userNumber(const QString &login)
{
    return QStringLiteral("SELECT Number FROM orvex_base.users WHERE Login=") + quoted(login);
}

QString userAdmin(const QString &login)
{
    return QStringLiteral("SELECT Admin FROM orvex_base.users WHERE Login=") + quoted(login);
}

} // namespace Sql
