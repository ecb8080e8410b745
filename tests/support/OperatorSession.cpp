#include "OperatorSession.h"

#include "TestDatabase.h"

#include <mysql.h>

OperatorSession::OperatorSession(const QString &login, const QString &password)
{
    m_mysql = mysql_init(nullptr);
    const unsigned int timeout = 10;
    mysql_options(m_mysql, MYSQL_SET_CHARSET_NAME, "utf8mb4");
    mysql_options(m_mysql, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
    m_open = mysql_real_connect(m_mysql, "127.0.0.1", login.toUtf8().constData(), password.toUtf8().constData(),
                                "orvex_base", TestDatabase::port(), nullptr, 0)
        != nullptr;
}

OperatorSession::~OperatorSession()
{
    mysql_close(m_mysql);
}

QString OperatorSession::error() const
{
    return QString::fromUtf8(mysql_error(m_mysql));
}

bool OperatorSession::run(const QString &sql)
{
    const QByteArray text = sql.toUtf8();
    if (mysql_real_query(m_mysql, text.constData(), static_cast<unsigned long>(text.size())) != 0)
        return false;
    if (MYSQL_RES *result = mysql_store_result(m_mysql))
        mysql_free_result(result);
    return mysql_errno(m_mysql) == 0;
}
