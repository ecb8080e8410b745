#include "TestDatabase.h"

#include "AccountPlan.h"
#include "AdminSql.h"
#include "Sql.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QDebug>

#include <mysql.h>

#include <vector>

namespace {

QString sourceDir()
{
    QString dir = qEnvironmentVariable("ORVEX_SOURCE_DIR");
    // Run by hand outside CTest: this file lives in tests/support.
    if (dir.isEmpty())
        dir = QFileInfo(QStringLiteral(__FILE__)).absoluteDir().filePath(QStringLiteral("../.."));
    return QDir::cleanPath(dir);
}

bool fail(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

// A root connection for the span of one call.
class RootConnection
{
public:
    RootConnection()
    {
        const quint16 port = TestDatabase::port();
        if (port == 0) {
            m_error = QStringLiteral("no test database server: %1/port is missing (the db_start fixture starts it)")
                          .arg(qEnvironmentVariable("ORVEX_TEST_DB_DIR"));
            return;
        }
        m_mysql = mysql_init(nullptr);
        if (!m_mysql) {
            m_error = QStringLiteral("mysql_init failed");
            return;
        }
        const unsigned int timeout = 10;
        mysql_options(m_mysql, MYSQL_SET_CHARSET_NAME, "utf8mb4");
        mysql_options(m_mysql, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
        if (!mysql_real_connect(m_mysql, "127.0.0.1", "root", "", nullptr, port, nullptr, CLIENT_MULTI_STATEMENTS)) {
            m_error = QStringLiteral("cannot connect as root to 127.0.0.1:%1: %2").arg(port).arg(lastError());
            mysql_close(m_mysql);
            m_mysql = nullptr;
            return;
        }
        // Convenient for tests that name tables without the prefix; absent
        // between a reset's DROP and CREATE.
        mysql_select_db(m_mysql, "orvex_base");
    }

    ~RootConnection()
    {
        if (m_mysql)
            mysql_close(m_mysql);
    }

    RootConnection(const RootConnection &) = delete;
    RootConnection &operator=(const RootConnection &) = delete;

    bool isOpen(QString *error) const { return m_mysql ? true : fail(error, m_error); }

    QString lastError() const { return QString::fromUtf8(mysql_error(m_mysql)); }

    QString escape(const QString &value) const
    {
        const QByteArray utf8 = value.toUtf8();
        std::vector<char> out(size_t(utf8.size()) * 2 + 1);
        const unsigned long length =
            mysql_real_escape_string(m_mysql, out.data(), utf8.constData(), static_cast<unsigned long>(utf8.size()));
        return QString::fromUtf8(out.data(), qsizetype(length));
    }

    // Runs every statement of the text, consuming each result.
    bool execAll(const QByteArray &sql, QString *error)
    {
        if (!isOpen(error))
            return false;
        if (mysql_real_query(m_mysql, sql.constData(), static_cast<unsigned long>(sql.size())) != 0)
            return fail(error, QStringLiteral("statement 1: %1").arg(lastError()));
        int statement = 1;
        for (;;) {
            if (MYSQL_RES *result = mysql_store_result(m_mysql))
                mysql_free_result(result);
            else if (mysql_field_count(m_mysql) != 0)
                return fail(error, QStringLiteral("statement %1: %2").arg(statement).arg(lastError()));
            const int next = mysql_next_result(m_mysql);
            if (next < 0)
                return true;
            ++statement;
            if (next > 0)
                return fail(error, QStringLiteral("statement %1: %2").arg(statement).arg(lastError()));
        }
    }

    bool query(const QString &sql, QList<QStringList> *rows, QString *error)
    {
        if (!isOpen(error))
            return false;
        const QByteArray text = sql.toUtf8();
        if (mysql_real_query(m_mysql, text.constData(), static_cast<unsigned long>(text.size())) != 0)
            return fail(error, lastError());
        MYSQL_RES *result = mysql_store_result(m_mysql);
        if (!result)
            return mysql_field_count(m_mysql) == 0 ? true : fail(error, lastError());
        const unsigned int fields = mysql_num_fields(result);
        while (MYSQL_ROW row = mysql_fetch_row(result)) {
            const unsigned long *lengths = mysql_fetch_lengths(result);
            QStringList texts;
            texts.reserve(fields);
            for (unsigned int i = 0; i < fields; ++i)
                texts.append(row[i] ? QString::fromUtf8(row[i], qsizetype(lengths[i])) : QString());
            rows->append(texts);
        }
        const bool complete = mysql_errno(m_mysql) == 0;
        mysql_free_result(result);
        return complete ? true : fail(error, lastError());
    }

    bool exec(const QString &sql, QString *error)
    {
        QList<QStringList> ignored;
        return query(sql, &ignored, error);
    }

private:
    MYSQL *m_mysql = nullptr;
    QString m_error;
};

bool readFile(const QString &path, QByteArray *content, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    *content = file.readAll();
    return true;
}

} // namespace

quint16 TestDatabase::port()
{
    const QString dir = qEnvironmentVariable("ORVEX_TEST_DB_DIR");
    if (dir.isEmpty())
        return 0;
    QFile file(QDir(dir).filePath(QStringLiteral("port")));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    bool ok = false;
    const quint16 number = QString::fromLatin1(file.readAll()).trimmed().toUShort(&ok);
    return ok ? number : 0;
}

bool TestDatabase::reset(QString *error)
{
    QByteArray schema;
    if (!readFile(sourceDir() + QStringLiteral("/src/admin/schema.sql"), &schema, error))
        return false;
    RootConnection db;
    QList<QStringList> accounts;
    // The server's own accounts stay.
    if (!db.query(QStringLiteral("SELECT User, Host FROM mysql.user WHERE is_role <> 'Y' "
                                 "AND User NOT IN ('root', 'mariadb.sys', 'mysql')"),
                  &accounts, error))
        return false;
    for (const QStringList &account : std::as_const(accounts)) {
        const QString drop = QStringLiteral("DROP USER '%1'@'%2'").arg(db.escape(account[0]), db.escape(account[1]));
        if (!db.exec(drop, error))
            return false;
    }
    // The frames role anew, with no table granted to it yet.
    return db.exec(QStringLiteral("DROP ROLE IF EXISTS ") + Sql::FramesRole, error)
        && db.exec(QStringLiteral("CREATE ROLE ") + Sql::FramesRole, error)
        && db.exec(QStringLiteral("DROP DATABASE IF EXISTS orvex_base"), error) && db.execAll(schema, error);
}

bool TestDatabase::loadDemo(QString *error)
{
    if (!reset(error))
        return false;

    const QString generator = sourceDir() + QStringLiteral("/data/make_demo_sql.py");
    // The rows, then the server accounts as the demo sets them up.
    for (const QStringList &arguments : {QStringList{generator}, QStringList{generator, QStringLiteral("--accounts")}}) {
        QProcess python;
        python.start(QStringLiteral("/usr/bin/python3"), arguments);
        if (!python.waitForFinished(60000) || python.exitStatus() != QProcess::NormalExit || python.exitCode() != 0) {
            return fail(error, QStringLiteral("%1 failed: %2 %3")
                                   .arg(generator, python.errorString(), QString::fromUtf8(python.readAllStandardError())));
        }
        RootConnection db;
        if (!db.execAll(python.readAllStandardOutput(), error))
            return false;
    }
    return true;
}

bool TestDatabase::allowAccountAdministration(const QString &login, QString *error)
{
    RootConnection db;
    const QString user = QStringLiteral("'%1'@'%'").arg(db.escape(login));
    return db.exec(QStringLiteral("GRANT CREATE USER ON *.* TO %1").arg(user), error)
        && db.exec(QStringLiteral("GRANT SELECT,INSERT,UPDATE,DELETE ON `orvex\\_base`.* TO %1 WITH GRANT OPTION").arg(user),
                   error)
        && db.exec(QStringLiteral("GRANT %1 TO %2 WITH ADMIN OPTION").arg(Sql::FramesRole, user), error);
}

bool TestDatabase::exec(const QString &sql, QString *error)
{
    RootConnection db;
    return db.execAll(sql.toUtf8(), error);
}

QString TestDatabase::value(const QString &sql)
{
    const QList<QStringList> all = rows(sql);
    return all.isEmpty() || all.first().isEmpty() ? QString() : all.first().first();
}

QList<QStringList> TestDatabase::rows(const QString &sql)
{
    RootConnection db;
    QList<QStringList> result;
    QString error;
    if (!db.query(sql, &result, &error))
        qWarning().noquote() << "TestDatabase:" << error << "in" << sql;
    return result;
}

bool TestDatabase::addOperator(const QString &login, const QString &password, bool admin, const QString &number,
                               const QStringList &groups, QString *error)
{
    // As the account editor makes them, statement for statement.
    RootConnection db;
    const OperatorRow row{login, password, QStringLiteral("%"), admin ? QStringLiteral("1") : QStringLiteral("0"),
                          number, AdminSql::groupsText(groups)};
    for (const AccountPlan::Step &step : AccountPlan::create(SqlEscaper(), row)) {
        if (!db.exec(step.statement, error))
            return false;
    }
    return true;
}
