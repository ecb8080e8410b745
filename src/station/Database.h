#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>

struct st_mysql;
struct StationState;
class Dialogs;
class QWidget;

// One row of the current result, its values as texts.
class DbRow
{
public:
    DbRow(char **row, const unsigned long *lengths, unsigned int fields)
        : m_row(row), m_lengths(lengths), m_fields(fields) {}

    unsigned int fields() const { return m_fields; }
    bool isNull(unsigned int column) const { return column >= m_fields || !m_row[column]; }
    QString text(unsigned int column) const;
    QByteArray bytes(unsigned int column) const;
    // The value's bytes as the client holds them, valid until the next row.
    QByteArrayView view(unsigned int column) const;

private:
    char **m_row;
    const unsigned long *m_lengths;
    unsigned int m_fields;
};

// Where and as whom a connection logs in.
struct DbAccount
{
    QString host;
    quint16 port = 0;
    QString login;
    QString password;
    QString database;
    // Taken up after each connect where the account holds it; an account
    // that does not (an administrator's) goes on without it.
    QString role;
};

// Puts values into statements the way the connection reads them. Made by an
// open Database it follows the server's mode (NO_BACKSLASH_ESCAPES doubles
// quotes instead of escaping them with a backslash); made empty it escapes as
// a server in the default mode expects, which is what statement-text tests use.
// It asks the Database's connection of the moment, never one the Database
// has since closed and opened again.
class SqlEscaper
{
public:
    SqlEscaper() = default;
    explicit SqlEscaper(st_mysql *const *connection) : m_connection(connection) {}

    // The value escaped for use inside a '...' literal (utf8mb4).
    QString value(const QString &text) const;
    // The same value inside its single quotes: a whole literal.
    QString quoted(const QString &text) const;

private:
    st_mysql *const *m_connection = nullptr;
};

// One connection to the database server, owned: closed when the object goes.
// Every statement of the station runs through it. It shows nothing itself;
// what failed is told by the results and errorText(), and showError() is the
// one way a window tells the operator.
//
// A connection that the server dropped (a restart, a timed-out read, a killed
// session) is opened again under the same account before the next statement,
// once; only when that fails too is the statement reported as failed. A
// statement that writes is never sent twice: a write that was cut off reports
// its failure, and the connection is opened again for the next one.
class Database
{
public:
    // How long a connect may take before it counts as failed: an unreachable
    // server must not freeze the window for long.
    static constexpr unsigned int ConnectTimeoutSeconds = 3;
    static constexpr unsigned int ReadWriteTimeoutSeconds = 30;
    // A row or table held by another session is waited for this long, then
    // the server refuses the statement and rolls it back: a definite answer
    // well within the read timeout, so that the station never gives up on a
    // write the server then stores.
    static constexpr unsigned int LockWaitSeconds = 5;
    // While a transaction is open the server waits this long for the next
    // statement: a station that died midway is let go, with its locks,
    // instead of after the server's idle timeout of hours.
    static constexpr unsigned int TransactionIdleSeconds = 10;

    // The station's connection: its state's Base_connected follows it.
    explicit Database(StationState &state);
    // A connection of its own (a report's worker), not tied to a station.
    Database();
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // Closes whatever was open and connects with the logged-in operator's
    // login and password to the station's database server. Returns and
    // records whether that succeeded.
    bool Connect_Base(const QString &name);
    // Closes whatever was open and connects as account; always over TCP to
    // its host and port, also for "localhost" (the client would otherwise
    // take its default Unix socket and ignore the port).
    bool open(const DbAccount &account);
    const DbAccount &account() const { return m_account; }
    bool isOpen() const { return m_connection != nullptr; }
    // Keeps an idle connection alive; a connection found dropped is opened
    // again at once.
    void ping();
    void close();

    // A statement without rows (or whose rows are not wanted).
    bool exec(const QString &sql);

    // How long an answer may take before the connection counts as lost, for
    // the connections opened from now on; 0 waits for ever (a report, which
    // the operator can always cancel).
    void setReadTimeout(unsigned int seconds) { m_readTimeout = seconds; }
    // A connection found dropped is opened again before the next statement,
    // unless this is off: a report's statements belong to its one session.
    void setReopen(bool reopen) { m_reopen = reopen; }

    // Reads that all see the database as it was at their start, whatever
    // the server's default isolation (a report's count and its rows). The
    // connection is not opened again inside it, so that no statement is
    // sent twice, the second time outside the snapshot.
    bool beginSnapshot();

    // Writes that are stored together or not at all. Inside a transaction
    // a connection found dropped is not opened again: the statements that
    // follow fail, and the server rolls back what it had.
    bool begin();
    enum class Commit { Done, Refused, AnswerLost };
    // AnswerLost: the connection went after COMMIT was sent, so the server
    // may or may not hold the writes; settleLostCommit() then tells.
    Commit commit();
    // Gives the open transaction up; nothing when none is open. The error
    // that made the caller give up stays what errorText() tells.
    void rollback();
    // The session whose COMMIT went unanswered, and when it was opened.
    struct LostCommit
    {
        unsigned long session = 0;
        qint64 openedAtMs = 0; // on the monotonic clock
    };
    const LostCommit &lostCommit() const { return m_lostCommit; }
    // After AnswerLost: a new connection, and that session's work ended
    // (killed where it still runs), so that a locking read next finds what
    // the database holds for good. False when the database cannot be
    // reached.
    bool settleLostCommit(const LostCommit &lost);

    enum class Rows { Ok, Failed, Cut };
    // Stored: the whole result is fetched before the first row is handed on
    // (the station's small lists). Streamed: rows are handed on as they
    // arrive, so memory does not grow with them (reports).
    enum class Fetch { Stored, Streamed };
    // Runs a statement with rows and hands each row to onRow until it returns
    // false. onRow must not run another statement on this connection.
    // Failed: the statement was refused (or there is no connection); Cut: the
    // rows ended with an error after some may have been handed over.
    Rows forEach(const QString &sql, const std::function<bool(const DbRow &)> &onRow, Fetch fetch = Fetch::Stored);

    enum class Lookup { Found, Missing, Failed };
    // The first row only.
    Lookup selectOne(const QString &sql, const std::function<void(const DbRow &)> &onRow);
    // The first column of the first row as text (empty for NULL).
    Lookup value(const QString &sql, QString *out);

    SqlEscaper escaper() const { return SqlEscaper(&m_connection); }
    QString errorText() const;
    unsigned int errorNumber() const;

    // The server's id of this session (for KILL); 0 when not connected.
    unsigned long connectionId() const;
    // The connection's socket, -1 when not connected. Shut down from another
    // thread, it ends a statement this one waits for at once.
    int socketDescriptor() const;
    // Rows of the last statement that wrote.
    quint64 affectedRows() const;
    // Rows the last UPDATE found, changed or not; -1 when the server did not say.
    qint64 matchedRows() const;

    // The usual box for a statement that failed: prefix (may be empty), then
    // the server's error text, or "Нет соединения с базой данных" when there
    // is no connection to tell one.
    void showError(Dialogs *dialogs, QWidget *parent, const QString &prefix = {}) const;
    // The text of that box.
    QString errorMessage(const QString &prefix = {}) const;

private:
    bool connectNow();
    // Before a statement: opens a connection again that was found dropped.
    bool ready();
    bool send(const QByteArray &text);
    void noteFailure();
    void setConnected(bool connected);

    StationState *m_state = nullptr;
    st_mysql *m_connection = nullptr;
    DbAccount m_account;
    bool m_lost = false;
    // The session of the open transaction; 0 when none is open.
    unsigned long m_transactionId = 0;
    LostCommit m_lostCommit;
    unsigned int m_readTimeout = ReadWriteTimeoutSeconds;
    bool m_reopen = true;
    // When the connection of the moment was opened (monotonic clock, ms).
    qint64 m_openedAtMs = 0;
    // Error text of a failure that left no connection to ask.
    QString m_error;
    unsigned int m_errno = 0;
};
