#include "AdminSql.h"

#include "Sql.h"

namespace AdminSql {

namespace {

QString list(const SqlEscaper &q, const QStringList &values)
{
    QString text;
    for (const QString &value : values) {
        if (!text.isEmpty())
            text += QLatin1Char(',');
        text += q.quoted(value);
    }
    return text;
}

} // namespace

QString groupNames()
{
    return QStringLiteral("SELECT Name FROM orvex_base.groups");
}

QString addGroup(const SqlEscaper &q, const QString &name)
{
    return QStringLiteral("INSERT INTO orvex_base.groups SET Name=") + q.quoted(name);
}

QString deleteGroup(const SqlEscaper &q, const QString &name)
{
    return QStringLiteral("DELETE FROM orvex_base.groups WHERE Name=") + q.quoted(name);
}

QString objectImeis()
{
    return QStringLiteral("SELECT IMEI FROM orvex_base.objects");
}

QString objectFields(const SqlEscaper &q, const QString &imei)
{
    return QStringLiteral("SELECT Name,Number1,Number2,Owner,Num_owner,Address,Addr_,Timeout,Group_ FROM "
                          "orvex_base.objects WHERE IMEI=")
        + q.quoted(imei);
}

QString saveObject(const SqlEscaper &q, const QList<QPair<QString, QString>> &columns, const QString &imei)
{
    QString set;
    for (const auto &[column, value] : columns) {
        if (!set.isEmpty())
            set += QStringLiteral(", ");
        set += column + QLatin1Char('=') + q.quoted(value);
    }
    return QStringLiteral("UPDATE orvex_base.objects SET ") + set + QStringLiteral(" WHERE IMEI=") + q.quoted(imei);
}

QString objectExists(const SqlEscaper &q, const QString &imei)
{
    return QStringLiteral("SELECT IMEI FROM orvex_base.objects WHERE IMEI=") + q.quoted(imei);
}

QString users()
{
    return QStringLiteral("SELECT * FROM orvex_base.users");
}

QString storedUser(const SqlEscaper &q, const QString &login)
{
    return QStringLiteral("SELECT Pass,Host,Admin,Number,Groups FROM orvex_base.users WHERE Login=") + q.quoted(login);
}

QString insertUser(const SqlEscaper &q, const QString &login, const QString &password, const QString &host,
                   const QString &flag, const QString &number, const QString &groups)
{
    return QStringLiteral("INSERT INTO orvex_base.users(Login,Pass,Host,Admin,Number,Groups)  VALUES(")
        + list(q, {login, password, host, flag, number, groups}) + QLatin1Char(')');
}

QString deleteUser(const SqlEscaper &q, const QString &login)
{
    return QStringLiteral("DELETE FROM orvex_base.users WHERE Login=") + q.quoted(login);
}

QString updateUser(const SqlEscaper &q, const QString &password, const QString &host, const QString &flag,
                   const QString &number, const QString &groups, const QString &login)
{
    return QStringLiteral("UPDATE orvex_base.users SET Pass=%1,Host=%2,Admin=%3,Number=%4,Groups=%5 WHERE Login=%6")
        .arg(q.quoted(password), q.quoted(host), q.quoted(flag), q.quoted(number), q.quoted(groups), q.quoted(login));
}

QString account(const SqlEscaper &q, const QString &login, const QString &host)
{
    return q.quoted(login) + QLatin1Char('@') + q.quoted(host);
}

QString createAccount(const SqlEscaper &q, const QString &login, const QString &host, const QString &password)
{
    return QStringLiteral("CREATE USER ") + account(q, login, host) + QStringLiteral(" IDENTIFIED BY ")
        + q.quoted(password);
}

QString dropAccount(const SqlEscaper &q, const QString &login, const QString &host)
{
    return QStringLiteral("DROP USER ") + account(q, login, host);
}

QString setPassword(const SqlEscaper &q, const QString &login, const QString &host, const QString &password)
{
    return QStringLiteral("ALTER USER ") + account(q, login, host) + QStringLiteral(" IDENTIFIED BY ")
        + q.quoted(password);
}

QString renameAccount(const SqlEscaper &q, const QString &login, const QString &fromHost, const QString &toHost)
{
    return QStringLiteral("RENAME USER ") + account(q, login, fromHost) + QStringLiteral(" TO ")
        + account(q, login, toHost);
}

QStringList operatorGrants(const SqlEscaper &q, const QString &login, const QString &host)
{
    const QString to = QStringLiteral(" TO ") + account(q, login, host);
    return {
        QStringLiteral("GRANT SELECT ON orvex_base.objects") + to,
        QStringLiteral("GRANT UPDATE (State) ON orvex_base.objects") + to,
        QStringLiteral("GRANT SELECT,INSERT ON orvex_base.messages") + to,
        QStringLiteral("GRANT SELECT (Login,Admin,Number,Groups) ON orvex_base.users") + to,
        QStringLiteral("GRANT SELECT ON orvex_base.text_mes") + to,
        QStringLiteral("GRANT ") + Sql::FramesRole + to,
    };
}

QString grantAdministrator(const SqlEscaper &q, const QString &login, const QString &host)
{
    return QStringLiteral("GRANT SELECT,INSERT,UPDATE,DELETE ON `orvex\\_base`.* TO ") + account(q, login, host);
}

QString revokeAdministrator(const SqlEscaper &q, const QString &login, const QString &host)
{
    // The table grants every operator holds are separate and stay.
    return QStringLiteral("REVOKE SELECT,INSERT,UPDATE,DELETE ON `orvex\\_base`.* FROM ") + account(q, login, host);
}

QString frameTables()
{
    return QStringLiteral("SELECT TABLE_NAME FROM information_schema.TABLES WHERE TABLE_SCHEMA='orvex_base' "
                          "AND TABLE_NAME REGEXP '^o_[0-9]{15}$'");
}

QString grantFrames(const QString &table)
{
    QString name = table;
    name.replace(QLatin1Char('`'), QLatin1String("``"));
    return QStringLiteral("GRANT SELECT ON orvex_base.`") + name + QStringLiteral("` TO ") + Sql::FramesRole;
}

QString texts()
{
    return QStringLiteral("SELECT Text FROM orvex_base.text_mes");
}

QString addText(const SqlEscaper &q, const QString &text)
{
    return QStringLiteral("INSERT INTO orvex_base.text_mes SET Text=") + q.quoted(text);
}

QString deleteText(const SqlEscaper &q, const QString &text)
{
    return QStringLiteral("DELETE FROM orvex_base.text_mes WHERE Text=") + q.quoted(text);
}

QString keys()
{
    return QStringLiteral("SELECT Keycod,Owner FROM orvex_base.key_owner");
}

QString addKey(const SqlEscaper &q, const QString &code, const QString &owner)
{
    return QStringLiteral("INSERT INTO orvex_base.key_owner(Keycod,Owner) VALUES(") + list(q, {code, owner})
        + QLatin1Char(')');
}

QString deleteKey(const SqlEscaper &q, const QString &code)
{
    return QStringLiteral("DELETE FROM orvex_base.key_owner WHERE Keycod=") + q.quoted(code);
}

QString rules()
{
    return QStringLiteral("SELECT * FROM orvex_base.events");
}

QString addRule(const SqlEscaper &q, const QString &name, const QString &object, const QString &source,
                const QString &action)
{
    return QStringLiteral("INSERT INTO orvex_base.events(Name,Object,Source_,Action_) VALUES(")
        + list(q, {name, object, source, action}) + QLatin1Char(')');
}

QString deleteRule(const SqlEscaper &q, const QString &object, const QString &source, const QString &action)
{
    return QStringLiteral("DELETE FROM orvex_base.events WHERE Object=%1 AND Source_=%2 AND Action_=%3")
        .arg(q.quoted(object), q.quoted(source), q.quoted(action));
}

QString groupsText(const QStringList &names)
{
    QString text;
    for (const QString &name : names)
        text += name + QLatin1Char('\n');
    return text;
}

QStringList groupLines(const QString &text)
{
    QStringList lines;
    QString line;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            lines << line;
            line.clear();
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
        } else {
            line += c;
        }
    }
    if (!line.isEmpty())
        lines << line;
    return lines;
}

} // namespace AdminSql
