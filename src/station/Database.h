#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <mysql.h>

#include <functional>

struct StationState;
class QWidget;

// One row of the current result, its values as texts.
class DbRow
{
public:
    DbRow(MYSQL_ROW row, const unsigned long *lengths, unsigned int fields)
        : m_row(row), m_lengths(lengths), m_fields(fields) {}

    unsigned int fields() const { return m_fields; }
    bool isNull(unsigned int column) const { return column >= m_fields || !m_row[column]; }
    QString text(unsigned int column) const;
    QByteArray bytes(unsigned int column) const;
    // The value's bytes as the client holds them, valid until the next row.
    QByteArrayView view(unsigned int column) const;

private:
    MYSQL_ROW m_row;
    const unsigned long *m_lengths;
    unsigned int m_fields;
};

// The station's one database connection, kept in StationState, and the query
// pattern that every window uses with it.
class Database
{
public:
    // How long a connect may take before it counts as failed: an unreachable
    // server must not freeze the window for long.
    static constexpr unsigned int ConnectTimeoutSeconds = 3;
    static constexpr unsigned int ReadWriteTimeoutSeconds = 30;

    explicit Database(StationState &state);

    // Closes whatever was open and connects with the logged-in operator's
    // login and password. Returns and records whether that succeeded.
    bool Connect_Base(const QString &name);
    void ping();
    void close();

    // A statement without rows. False when the server refused it.
    bool exec(const QString &sql);

    enum class Outcome { Ok, Failed };
    // Runs a statement with rows and hands each row to onRow, which must not
    // run another query. Returns Failed when the statement was refused (the
    // caller tells the operator in its own words). Rows that end with an error
    // show the client's error text, like every query of the station.
    Outcome select(const QString &sql, const std::function<void(const DbRow &)> &onRow, QWidget *parent = nullptr);

    QString errorText() const;

private:
    StationState &m_state;
};
