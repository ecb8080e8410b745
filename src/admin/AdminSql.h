#pragma once

#include "Database.h"

#include <QString>
#include <QStringList>

// The statements of the database administration window. Every value, account
// names and passwords included, goes through q.value() inside single quotes.
namespace AdminSql {

QString groupNames();
QString addGroup(const SqlEscaper &q, const QString &name);
QString deleteGroup(const SqlEscaper &q, const QString &name);

QString objectImeis();
QString objectFields(const SqlEscaper &q, const QString &imei);

// The nine descriptive columns of an object, in the editor's order.
struct ObjectFields
{
    QString name, number1, number2, owner, numOwner, address, addr, timeout, group;
};
QString saveObject(const SqlEscaper &q, const ObjectFields &fields, const QString &imei);

QString users();
// The stored row's password, host and flag, which name and describe the
// account as it was made.
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
// What every operator's station does: read the base, write its journal rows
// and object states. Nothing on the server's own schema, no table changes.
QStringList operatorGrants(const SqlEscaper &q, const QString &login, const QString &host);
// The editors' writes on top of that.
QString grantAdministrator(const SqlEscaper &q, const QString &login, const QString &host);
QString revokeAdministrator(const SqlEscaper &q, const QString &login, const QString &host);

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
