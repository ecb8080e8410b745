#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <mysql.h>

#include <functional>

// A plain MySQL C API connection of the bench: sets up the data as root, and
// is the bare fetch that the station's figures are measured against.
class BenchDatabase
{
public:
    BenchDatabase() = default;
    ~BenchDatabase();
    BenchDatabase(const BenchDatabase &) = delete;
    BenchDatabase &operator=(const BenchDatabase &) = delete;

    // utf8mb4 over TCP to 127.0.0.1, like the station's own connection.
    bool connect(quint16 port, const QString &user, const QString &password, bool multiStatements);

    // One or several ';'-separated statements; every result is consumed.
    bool exec(const QByteArray &sql);
    // mysql_real_query + mysql_store_result + every row fetched + free: the
    // bare fetch. Returns the number of rows, -1 on failure.
    qint64 fetchAll(const QByteArray &sql);
    // The same with mysql_use_result: rows as they arrive, as a report reads
    // them.
    qint64 streamAll(const QByteArray &sql);
    // Every row's fields handed to onRow (pointers valid for the call only).
    qint64 streamRows(const QByteArray &sql, const std::function<void(char **row, unsigned long *lengths)> &onRow);
    // Every row as texts, NULL as the empty text; for checks, not timed.
    QList<QStringList> rows(const QByteArray &sql);

    QString escape(const QString &value) const;
    QString error() const { return m_error; }
    QString serverVersion() const;

private:
    bool fail();

    MYSQL *m_mysql = nullptr;
    QString m_error;
};
