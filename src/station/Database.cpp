#include "Database.h"

#include "Dialogs.h"
#include "StationState.h"

QString DbRow::text(unsigned int column) const
{
    if (isNull(column))
        return {};
    return QString::fromUtf8(m_row[column], qsizetype(m_lengths[column]));
}

QByteArray DbRow::bytes(unsigned int column) const
{
    if (isNull(column))
        return {};
    return QByteArray(m_row[column], qsizetype(m_lengths[column]));
}

QByteArrayView DbRow::view(unsigned int column) const
{
    if (isNull(column))
        return {};
    return QByteArrayView(m_row[column], qsizetype(m_lengths[column]));
}

Database::Database(StationState &state)
    : m_state(state)
{
}

bool Database::Connect_Base(const QString &name)
{
    close();
    m_state.Connection = mysql_init(nullptr);
    if (!m_state.Connection)
        return m_state.Base_connected = false;
    mysql_options(m_state.Connection, MYSQL_SET_CHARSET_NAME, "utf8mb4");
    mysql_options(m_state.Connection, MYSQL_OPT_CONNECT_TIMEOUT, &ConnectTimeoutSeconds);
    mysql_options(m_state.Connection, MYSQL_OPT_READ_TIMEOUT, &ReadWriteTimeoutSeconds);
    mysql_options(m_state.Connection, MYSQL_OPT_WRITE_TIMEOUT, &ReadWriteTimeoutSeconds);

    const QByteArray host = m_state.Base_address.toUtf8();
    const QByteArray user = m_state.Login.toUtf8();
    const QByteArray password = m_state.Password.toUtf8();
    const QByteArray database = name.toUtf8();
    m_state.Base_connected = mysql_real_connect(m_state.Connection, host.constData(), user.constData(),
                                                password.constData(), database.constData(), m_state.Base_port,
                                                nullptr, 0)
        != nullptr;
    return m_state.Base_connected;
}

void Database::ping()
{
    if (m_state.Base_connected)
        mysql_ping(m_state.Connection);
}

void Database::close()
{
    if (m_state.Connection)
        mysql_close(m_state.Connection);
    m_state.Connection = nullptr;
    m_state.Result = nullptr;
    m_state.Row = nullptr;
}

bool Database::exec(const QString &sql)
{
    if (!m_state.Connection)
        return false;
    const QByteArray text = sql.toUtf8();
    return mysql_real_query(m_state.Connection, text.constData(), static_cast<unsigned long>(text.size())) == 0;
}

Database::Outcome Database::select(const QString &sql, const std::function<void(const DbRow &)> &onRow, QWidget *parent)
{
    if (!exec(sql))
        return Outcome::Failed;
    MYSQL_RES *result = mysql_store_result(m_state.Connection);
    m_state.Result = result;
    if (!result) {
        // No result set at all: an error, or a statement that has no rows.
        return mysql_errno(m_state.Connection) ? Outcome::Failed : Outcome::Ok;
    }
    const unsigned int fields = mysql_num_fields(result);
    while ((m_state.Row = mysql_fetch_row(result))) {
        onRow(DbRow(m_state.Row, mysql_fetch_lengths(result), fields));
    }
    const bool rowsFailed = mysql_errno(m_state.Connection) != 0;
    const QString error = rowsFailed ? errorText() : QString();
    // Freed before any box is shown: the box keeps the event loop running,
    // and a query run meanwhile (the keep-alive) replaces the current result.
    mysql_free_result(result);
    m_state.Result = nullptr;
    m_state.Row = nullptr;
    if (rowsFailed && m_state.dialogs)
        m_state.dialogs->message(parent, error);
    return Outcome::Ok;
}

QString Database::errorText() const
{
    if (!m_state.Connection)
        return {};
    return QString::fromUtf8(mysql_error(m_state.Connection));
}
