#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The private MariaDB server of the test run (scripts/db, started by the
// db_start fixture in $ORVEX_TEST_DB_DIR), reached as root over TCP on
// 127.0.0.1. Every call opens its own connection (utf8mb4, orvex_base as the
// default database when it exists) and closes it again.
class TestDatabase
{
public:
    // The server's port, from $ORVEX_TEST_DB_DIR/port; 0 when there is none.
    static quint16 port();

    // Drops every account but root and the server's own, then orvex_base, and
    // creates it again from src/admin/schema.sql: empty tables.
    static bool reset(QString *error = nullptr);
    // reset(), then the rows sql puts in.
    static bool seed(const QString &sql, QString *error = nullptr) { return reset(error) && exec(sql, error); }
    // reset(), then the demo rows and accounts of data/make_demo_sql.py, as
    // scripts/db demo leaves them.
    static bool loadDemo(QString *error = nullptr);

    // One or several ';'-separated statements; false at the first that fails.
    static bool exec(const QString &sql, QString *error = nullptr);
    // The first column of the first row as text; empty for no row, NULL or a
    // failure (which is also printed as a warning).
    static QString value(const QString &sql);
    // Every row, NULL as the empty text.
    static QList<QStringList> rows(const QString &sql);

    // A server account with the grants the account editor gives (host '%'),
    // and its users row; Groups holds each name followed by a line feed.
    static bool addOperator(const QString &login, const QString &password, bool admin, const QString &number,
                            const QStringList &groups, QString *error = nullptr);
    // What a database administrator gives the administrator who runs the
    // account editor: creating accounts and passing the station's grants on.
    static bool allowAccountAdministration(const QString &login, QString *error = nullptr);
};
