#pragma once

#include "Database.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// The statements of the database administration window. Every value, account
// names and passwords included, goes through q.value() inside single quotes.
namespace AdminSql {

QString groupNames();
QString addGroup(const SqlEscaper &q, const QString &name);
QString deleteGroup(const SqlEscaper &q, const QString &name);

QString objectImeis();
// The nine descriptive columns of an object, in the editor's order: Name,
// Number1, Number2, Owner, Num_owner, Address, Addr_, Timeout, Group_.
QString objectFields(const SqlEscaper &q, const QString &imei);
// The columns given, as (name, value), of one object.
QString saveObject(const SqlEscaper &q, const QList<QPair<QString, QString>> &columns, const QString &imei);
QString objectExists(const SqlEscaper &q, const QString &imei);

QString users();
// The stored row but its login: password, host, flag, number, groups.
QString storedUser(const SqlEscaper &q, const QString &login);
QString insertUser(const SqlEscaper &q, const QString &login, const QString &password, const QString &host,
                   const QString &flag, const QString &number, const QString &groups);
QString deleteUser(const SqlEscaper &q, const QString &login);
QString updateUser(const SqlEscaper &q, const QString &password, const QString &host, const QString &flag,
                   const QString &number, const QString &groups, const QString &login);

// 'login'@'host'
QString account(const SqlEscaper &q, const QString &login, const QString &host);
QString createAccount(const SqlEscaper &q, const QString &login, const QString &host, const QString &password);
QString dropAccount(const SqlEscaper &q, const QString &login, const QString &host);
QString setPassword(const SqlEscaper &q, const QString &login, const QString &host, const QString &password);
QString renameAccount(const SqlEscaper &q, const QString &login, const QString &fromHost, const QString &toHost);
// Sql::FramesRole may read the objects' frame tables: every operator holds
// it, and the frame tables that exist are granted to it (frameTables(),
// grantFrames()). The database administrator creates it and lets the
// administrators pass it on.
// What every operator's station does, and no more: read the objects and
// change their state, read and write the journal, read his own rights,
// groups and number (not the passwords), read the canned texts and, through
// the role, the frames. Nothing on the server's own schema, no table changes.
QStringList operatorGrants(const SqlEscaper &q, const QString &login, const QString &host);
// The editors' and reports' reads and writes on top of that: every table of
// the station's database (its name escaped, so that it is no pattern).
QString grantAdministrator(const SqlEscaper &q, const QString &login, const QString &host);
QString revokeAdministrator(const SqlEscaper &q, const QString &login, const QString &host);
// The frame tables there are (o_ and an IMEI's 15 digits, no other table
// whose name happens to start so), and the role's read of one of them.
QString frameTables();
QString grantFrames(const QString &table);

QString texts();
QString addText(const SqlEscaper &q, const QString &text);
QString deleteText(const SqlEscaper &q, const QString &text);

QString keys();
QString addKey(const SqlEscaper &q, const QString &code, const QString &owner);
QString deleteKey(const SqlEscaper &q, const QString &code);

QString rules();
QString addRule(const SqlEscaper &q, const QString &name, const QString &object, const QString &source,
                const QString &action);
QString deleteRule(const SqlEscaper &q, const QString &object, const QString &source, const QString &action);

// The Groups text of users: each name followed by one line feed.
QString groupsText(const QStringList &names);
// Its lines: CR, LF or CR LF end a line; a final line break adds no empty line.
QStringList groupLines(const QString &text);

} // namespace AdminSql
