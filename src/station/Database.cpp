#include "Database.h"

#include "Dialogs.h"
#include "Sql.h"
#include "StationState.h"

#include <QDeadlineTimer>

#include <errmsg.h>
#include <mysql.h>

#include <vector>

namespace {

// The client library sets up its character sets and globals once, before any
// thread opens a connection of its own.
void initLibrary()
{
    static const bool ready = mysql_library_init(0, nullptr, nullptr) == 0;
    (void)ready;
}

bool isLostConnection(unsigned int error)
{
    // 1927: MariaDB's "Connection was killed"; 4031: the server closed an idle
    // connection.
    return error == CR_SERVER_GONE_ERROR || error == CR_SERVER_LOST || error == CR_CONN_HOST_ERROR
        || error == CR_CONNECTION_ERROR || error == 1927 || error == 4031;
}

} // namespace

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

QString SqlEscaper::value(const QString &text) const
{
    initLibrary();
    const QByteArray utf8 = text.toUtf8();
    std::vector<char> escaped(size_t(utf8.size()) * 2 + 1);
    const auto size = static_cast<unsigned long>(utf8.size());
    // Without a connection the escaping cannot depend on the server's mode or
    // character set; for utf8 the bytes are the same, since no byte of a
    // multi-byte UTF-8 character looks like a quote or backslash.
    st_mysql *connection = m_connection ? *m_connection : nullptr;
    const unsigned long length = connection
        ? mysql_real_escape_string(connection, escaped.data(), utf8.constData(), size)
        : mysql_escape_string(escaped.data(), utf8.constData(), size);
    if (length == static_cast<unsigned long>(-1))
        return {};
    return QString::fromUtf8(escaped.data(), qsizetype(length));
}

QString SqlEscaper::quoted(const QString &text) const
{
    return QLatin1Char('\'') + value(text) + QLatin1Char('\'');
}

Database::Database(StationState &state)
    : m_state(&state)
{
    initLibrary();
}

Database::Database()
{
    initLibrary();
}

Database::~Database()
{
    close();
}

bool Database::Connect_Base(const QString &name)
{
    return open({m_state->Base_address, m_state->Base_port, m_state->Login, m_state->Password, name, Sql::FramesRole});
}

bool Database::open(const DbAccount &account)
{
    close();
    m_account = account;
    m_lost = false;
    const bool connected = connectNow();
    setConnected(connected);
    return connected;
}

bool Database::connectNow()
{
    if (m_connection) {
        mysql_close(m_connection);
        m_connection = nullptr;
    }
    MYSQL *connection = mysql_init(nullptr);
    if (!connection) {
        m_error = QStringLiteral("Недостаточно памяти для соединения с базой данных");
        m_errno = CR_OUT_OF_MEMORY;
        return false;
    }
    const unsigned int protocol = MYSQL_PROTOCOL_TCP;
    mysql_options(connection, MYSQL_OPT_PROTOCOL, &protocol);
    mysql_options(connection, MYSQL_SET_CHARSET_NAME, "utf8mb4");
    mysql_options(connection, MYSQL_OPT_CONNECT_TIMEOUT, &ConnectTimeoutSeconds);
    mysql_options(connection, MYSQL_OPT_READ_TIMEOUT, &m_readTimeout);
    mysql_options(connection, MYSQL_OPT_WRITE_TIMEOUT, &ReadWriteTimeoutSeconds);
    // The station's own writes get a definite answer within the read
    // timeout; a report's reads wait on a held table as long as they must
    // (its operator cancels it if he will not wait).
    const QByteArray lockWaits = QStringLiteral("SET SESSION innodb_lock_wait_timeout=%1, lock_wait_timeout=%1")
                                     .arg(LockWaitSeconds)
                                     .toLatin1();
    if (m_state)
        mysql_options(connection, MYSQL_INIT_COMMAND, lockWaits.constData());

    // An empty address means this machine, as the client takes it; it is
    // spelled out so that TCP is used.
    const QString address = m_account.host.trimmed().isEmpty() ? QStringLiteral("localhost") : m_account.host.trimmed();
    const QByteArray host = address.toUtf8();
    const QByteArray user = m_account.login.toUtf8();
    const QByteArray password = m_account.password.toUtf8();
    const QByteArray database = m_account.database.toUtf8();
    if (!mysql_real_connect(connection, host.constData(), user.constData(), password.constData(),
                            database.isEmpty() ? nullptr : database.constData(), m_account.port, nullptr, 0)) {
        m_error = QString::fromUtf8(mysql_error(connection));
        m_errno = mysql_errno(connection);
        mysql_close(connection);
        return false;
    }
    // An account that does not hold the role (an administrator's, who reads
    // everything anyway) goes on without it.
    if (!m_account.role.isEmpty()) {
        const QByteArray role = Sql::takeRole(m_account.role).toUtf8();
        mysql_real_query(connection, role.constData(), static_cast<unsigned long>(role.size()));
    }
    m_connection = connection;
    m_openedAtMs = QDeadlineTimer::current().deadline();
    m_error.clear();
    m_errno = 0;
    m_lost = false;
    return true;
}

void Database::setConnected(bool connected)
{
    if (m_state)
        m_state->Base_connected = connected;
}

void Database::noteFailure()
{
    m_error.clear();
    m_errno = m_connection ? mysql_errno(m_connection) : 0;
    if (m_connection && isLostConnection(m_errno)) {
        // Kept for errorText(); the connection itself is of no further use.
        m_error = QString::fromUtf8(mysql_error(m_connection));
        m_lost = true;
    }
}

bool Database::ready()
{
    // A transaction lives and dies with its session: on another one its
    // remaining writes would be stored on their own.
    if (m_transactionId != 0)
        return m_connection && !m_lost && mysql_thread_id(m_connection) == m_transactionId;
    if (m_connection && !m_lost)
        return true;
    if (!m_lost || !m_reopen)
        return false;
    // Dropped: one attempt to come back under the same account. When it
    // fails the statements fail at once until ping() finds the server back.
    m_lost = false;
    const bool connected = connectNow();
    setConnected(connected);
    return connected;
}

bool Database::send(const QByteArray &text)
{
    if (mysql_real_query(m_connection, text.constData(), static_cast<unsigned long>(text.size())) == 0)
        return true;
    noteFailure();
    return false;
}

void Database::ping()
{
    if (m_connection && !m_lost) {
        if (mysql_ping(m_connection) == 0)
            return;
        noteFailure();
        if (!m_lost)
            return;
    } else if (!m_connection && m_account.login.isEmpty()) {
        return; // never opened, or closed
    }
    m_lost = true;
    ready();
}

void Database::close()
{
    if (m_connection)
        mysql_close(m_connection);
    m_connection = nullptr;
    m_lost = false;
    m_transactionId = 0;
    m_lostCommit = {};
    m_account = {};
    m_error.clear();
    m_errno = 0;
    setConnected(false);
}

bool Database::exec(const QString &sql)
{
    if (!ready())
        return false;
    // A write is never sent twice, so a dropped connection must be found
    // before it. Writes follow the operator's actions, not the traffic: one
    // round trip more for each costs nothing he could notice.
    if (mysql_ping(m_connection) != 0) {
        noteFailure();
        if (!m_lost || !ready())
            return false;
    }
    return send(sql.toUtf8());
}

bool Database::begin()
{
    rollback();
    // The server's idle timeout for this session is shortened for the
    // transaction's span and put back after it.
    if (!exec(QStringLiteral("SET SESSION wait_timeout=%1").arg(TransactionIdleSeconds)))
        return false;
    if (!exec(QStringLiteral("START TRANSACTION")))
        return false;
    m_transactionId = connectionId();
    return true;
}

bool Database::beginSnapshot()
{
    rollback();
    if (!exec(QStringLiteral("SET SESSION TRANSACTION ISOLATION LEVEL REPEATABLE READ"))
        || !exec(QStringLiteral("START TRANSACTION WITH CONSISTENT SNAPSHOT, READ ONLY")))
        return false;
    m_transactionId = connectionId();
    return true;
}

Database::Commit Database::commit()
{
    if (m_transactionId == 0)
        return Commit::Refused;
    const unsigned long session = m_transactionId;
    if (!ready()) {
        m_transactionId = 0;
        return Commit::Refused; // the session went before COMMIT: rolled back
    }
    // Sent once, whatever happens: a COMMIT sent again on a new session
    // would commit nothing, and say so.
    if (send(QByteArrayLiteral("COMMIT"))) {
        m_transactionId = 0;
        exec(QStringLiteral("SET SESSION wait_timeout=@@global.wait_timeout"));
        return Commit::Done;
    }
    if (m_lost) {
        m_transactionId = 0;
        m_lostCommit = {session, m_openedAtMs};
        return Commit::AnswerLost;
    }
    // Refused (a conflict found at commit): the server has rolled back.
    rollback();
    return Commit::Refused;
}

void Database::rollback()
{
    const bool open = m_transactionId != 0;
    m_transactionId = 0;
    if (!open || !m_connection || m_lost)
        return;
    const QString error = errorText();
    const unsigned int number = errorNumber();
    exec(QStringLiteral("ROLLBACK"));
    exec(QStringLiteral("SET SESSION wait_timeout=@@global.wait_timeout"));
    m_error = error;
    m_errno = number;
}

bool Database::settleLostCommit(const LostCommit &lost)
{
    if (!ready())
        return false;
    // Still running, the old session may yet commit or roll back: it is
    // ended, and a locking read then waits for its transaction's end. A
    // server started since that session opened has ended it already, and
    // may have given its number to another session: that one is left alone.
    if (lost.session == 0 || lost.session == connectionId())
        return true;
    QString uptime;
    if (selectOne(QStringLiteral("SHOW GLOBAL STATUS LIKE 'Uptime'"), [&uptime](const DbRow &row) { uptime = row.text(1); })
        != Lookup::Found)
        return ready();
    const qint64 sessionAge = (QDeadlineTimer::current().deadline() - lost.openedAtMs) / 1000;
    bool number = false;
    const qint64 serverAge = uptime.toLongLong(&number);
    if (!number || serverAge + 2 < sessionAge)
        return ready();
    const QByteArray kill = "KILL CONNECTION " + QByteArray::number(lost.session);
    if (mysql_real_query(m_connection, kill.constData(), static_cast<unsigned long>(kill.size())) != 0)
        noteFailure(); // no such session any more
    return ready();
}

Database::Rows Database::forEach(const QString &sql, const std::function<bool(const DbRow &)> &onRow, Fetch fetch)
{
    if (!ready())
        return Rows::Failed;
    const QByteArray text = sql.toUtf8();
    if (!send(text)) {
        // A read may be sent again: the connection it went out on had gone.
        if (!m_lost || !ready() || !send(text))
            return Rows::Failed;
    }
    MYSQL_RES *result = fetch == Fetch::Stored ? mysql_store_result(m_connection) : mysql_use_result(m_connection);
    if (!result) {
        // No result set at all: an error, or a statement that has no rows.
        if (mysql_errno(m_connection)) {
            noteFailure();
            return Rows::Failed;
        }
        return Rows::Ok;
    }
    const unsigned int fields = mysql_num_fields(result);
    bool stopped = false;
    while (MYSQL_ROW row = mysql_fetch_row(result)) {
        if (!onRow(DbRow(row, mysql_fetch_lengths(result), fields))) {
            stopped = true;
            break;
        }
    }
    const bool cut = !stopped && mysql_errno(m_connection) != 0;
    if (cut)
        noteFailure();
    // Freeing a streamed result that was stopped early reads its remaining
    // rows from the server; the connection is then ready for the next one.
    mysql_free_result(result);
    return cut ? Rows::Cut : Rows::Ok;
}

Database::Lookup Database::selectOne(const QString &sql, const std::function<void(const DbRow &)> &onRow)
{
    bool found = false;
    const Rows rows = forEach(sql, [&](const DbRow &row) {
        onRow(row);
        found = true;
        return false;
    });
    if (found)
        return Lookup::Found;
    return rows == Rows::Ok ? Lookup::Missing : Lookup::Failed;
}

Database::Lookup Database::value(const QString &sql, QString *out)
{
    return selectOne(sql, [out](const DbRow &row) {
        if (out)
            *out = row.text(0);
    });
}

QString Database::errorText() const
{
    if (m_connection && !m_lost && mysql_errno(m_connection))
        return QString::fromUtf8(mysql_error(m_connection));
    return m_error;
}

unsigned int Database::errorNumber() const
{
    if (m_connection && !m_lost && mysql_errno(m_connection))
        return mysql_errno(m_connection);
    return m_errno;
}

unsigned long Database::connectionId() const
{
    return m_connection ? mysql_thread_id(m_connection) : 0;
}

int Database::socketDescriptor() const
{
    return m_connection ? static_cast<int>(mysql_get_socket(m_connection)) : -1;
}

quint64 Database::affectedRows() const
{
    return m_connection ? mysql_affected_rows(m_connection) : 0;
}

qint64 Database::matchedRows() const
{
    // "Rows matched: 1  Changed: 0  Warnings: 0"
    const char *info = m_connection ? mysql_info(m_connection) : nullptr;
    if (!info)
        return -1;
    const QByteArray text(info);
    const QByteArray label("Rows matched:");
    const qsizetype at = text.indexOf(label);
    if (at < 0)
        return -1;
    bool number = false;
    const qint64 rows = text.mid(at + label.size()).trimmed().split(' ').value(0).toLongLong(&number);
    return number ? rows : -1;
}

void Database::showError(Dialogs *dialogs, QWidget *parent, const QString &prefix) const
{
    if (!dialogs)
        return;
    dialogs->message(parent, errorMessage(prefix));
}

QString Database::errorMessage(const QString &prefix) const
{
    QString error = errorText();
    if (error.isEmpty())
        error = QStringLiteral("Нет соединения с базой данных");
    return prefix.isEmpty() ? error : prefix + QLatin1Char('\n') + error;
}
