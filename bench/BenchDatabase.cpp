#include "BenchDatabase.h"

#include <vector>

BenchDatabase::~BenchDatabase()
{
    if (m_mysql)
        mysql_close(m_mysql);
}

bool BenchDatabase::connect(quint16 port, const QString &user, const QString &password, bool multiStatements)
{
    m_mysql = mysql_init(nullptr);
    if (!m_mysql) {
        m_error = QStringLiteral("mysql_init failed");
        return false;
    }
    const unsigned int timeout = 10;
    mysql_options(m_mysql, MYSQL_SET_CHARSET_NAME, "utf8mb4");
    mysql_options(m_mysql, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
    const QByteArray u = user.toUtf8();
    const QByteArray p = password.toUtf8();
    if (!mysql_real_connect(m_mysql, "127.0.0.1", u.constData(), p.constData(), nullptr, port, nullptr,
                            multiStatements ? CLIENT_MULTI_STATEMENTS : 0))
        return fail();
    return true;
}

bool BenchDatabase::fail()
{
    m_error = m_mysql ? QString::fromUtf8(mysql_error(m_mysql)) : QStringLiteral("not connected");
    return false;
}

bool BenchDatabase::exec(const QByteArray &sql)
{
    if (mysql_real_query(m_mysql, sql.constData(), static_cast<unsigned long>(sql.size())) != 0)
        return fail();
    for (;;) {
        if (MYSQL_RES *result = mysql_store_result(m_mysql))
            mysql_free_result(result);
        else if (mysql_errno(m_mysql))
            return fail();
        const int next = mysql_next_result(m_mysql);
        if (next > 0)
            return fail();
        if (next < 0)
            return true;
    }
}

qint64 BenchDatabase::fetchAll(const QByteArray &sql)
{
    if (mysql_real_query(m_mysql, sql.constData(), static_cast<unsigned long>(sql.size())) != 0) {
        fail();
        return -1;
    }
    MYSQL_RES *result = mysql_store_result(m_mysql);
    if (!result) {
        fail();
        return -1;
    }
    qint64 count = 0;
    while (mysql_fetch_row(result))
        ++count;
    const bool complete = mysql_errno(m_mysql) == 0;
    mysql_free_result(result);
    if (!complete) {
        fail();
        return -1;
    }
    return count;
}

qint64 BenchDatabase::streamAll(const QByteArray &sql)
{
    return streamRows(sql, [](char **, unsigned long *) {});
}

qint64 BenchDatabase::streamRows(const QByteArray &sql, const std::function<void(char **, unsigned long *)> &onRow)
{
    if (mysql_real_query(m_mysql, sql.constData(), static_cast<unsigned long>(sql.size())) != 0) {
        fail();
        return -1;
    }
    MYSQL_RES *result = mysql_use_result(m_mysql);
    if (!result) {
        fail();
        return -1;
    }
    qint64 count = 0;
    while (MYSQL_ROW row = mysql_fetch_row(result)) {
        onRow(row, mysql_fetch_lengths(result));
        ++count;
    }
    const bool complete = mysql_errno(m_mysql) == 0;
    mysql_free_result(result);
    if (!complete) {
        fail();
        return -1;
    }
    return count;
}

QList<QStringList> BenchDatabase::rows(const QByteArray &sql)
{
    QList<QStringList> out;
    if (mysql_real_query(m_mysql, sql.constData(), static_cast<unsigned long>(sql.size())) != 0) {
        fail();
        return out;
    }
    MYSQL_RES *result = mysql_store_result(m_mysql);
    if (!result) {
        fail();
        return out;
    }
    const unsigned int fields = mysql_num_fields(result);
    while (MYSQL_ROW row = mysql_fetch_row(result)) {
        const unsigned long *lengths = mysql_fetch_lengths(result);
        QStringList texts;
        for (unsigned int i = 0; i < fields; ++i)
            texts << (row[i] ? QString::fromUtf8(row[i], qsizetype(lengths[i])) : QString());
        out << texts;
    }
    mysql_free_result(result);
    return out;
}

QString BenchDatabase::escape(const QString &value) const
{
    const QByteArray utf8 = value.toUtf8();
    std::vector<char> out(size_t(utf8.size()) * 2 + 1);
    const unsigned long length =
        mysql_real_escape_string(m_mysql, out.data(), utf8.constData(), static_cast<unsigned long>(utf8.size()));
    return QString::fromUtf8(out.data(), qsizetype(length));
}

QString BenchDatabase::serverVersion() const
{
    return m_mysql ? QString::fromUtf8(mysql_get_server_info(m_mysql)) : QString();
}
