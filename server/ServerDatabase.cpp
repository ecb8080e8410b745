#include "ServerDatabase.h"

#include "ServerLog.h"

#include <mysql.h>
#include <errmsg.h>

namespace {

QString identifier(const QString &name)
{
    QString quoted = name;
    quoted.replace(QLatin1Char('`'), QLatin1String("``"));
    return QLatin1Char('`') + quoted + QLatin1Char('`');
}

QString shortened(const QByteArray &statement)
{
    return QString::fromUtf8(statement.left(120));
}

} // namespace

ServerDatabase::ServerDatabase(const Settings &settings)
    : m_settings(settings)
{
}

ServerDatabase::~ServerDatabase()
{
    if (m_mysql)
        mysql_close(m_mysql);
}

bool ServerDatabase::open(QString *error)
{
    return connectNow(error);
}

bool ServerDatabase::connectNow(QString *error)
{
    if (m_mysql) {
        mysql_close(m_mysql);
        m_mysql = nullptr;
    }
    MYSQL *mysql = mysql_init(nullptr);
    if (!mysql) {
        *error = QStringLiteral("out of memory for the database client");
        return false;
    }
    // A database that does not answer must not freeze every station's link.
    const unsigned int connectTimeout = 5;
    const unsigned int ioTimeout = 30;
    mysql_options(mysql, MYSQL_OPT_CONNECT_TIMEOUT, &connectTimeout);
    mysql_options(mysql, MYSQL_OPT_READ_TIMEOUT, &ioTimeout);
    mysql_options(mysql, MYSQL_OPT_WRITE_TIMEOUT, &ioTimeout);
    mysql_options(mysql, MYSQL_SET_CHARSET_NAME, "utf8mb4");

    const QByteArray host = m_settings.host.toUtf8();
    const QByteArray user = m_settings.user.toUtf8();
    const QByteArray password = m_settings.password.toUtf8();
    const QByteArray name = m_settings.name.toUtf8();
    if (!mysql_real_connect(mysql, host.constData(), user.constData(), password.constData(), name.constData(),
                            m_settings.port, nullptr, 0)) {
        *error = QString::fromUtf8(mysql_error(mysql));
        mysql_close(mysql);
        return false;
    }
    m_mysql = mysql;
    return true;
}

bool ServerDatabase::ensureConnected()
{
    if (m_mysql && mysql_ping(m_mysql) == 0)
        return true;
    ServerLog::write(m_mysql ? QStringLiteral("database connection lost (%1), connecting again")
                                   .arg(QString::fromUtf8(mysql_error(m_mysql)))
                             : QStringLiteral("connecting to the database again"));
    QString error;
    if (!connectNow(&error)) {
        m_lastError = error;
        ServerLog::write(QStringLiteral("database unreachable: ") + error);
        return false;
    }
    ServerLog::write(QStringLiteral("database connection restored"));
    return true;
}

void ServerDatabase::fail(const QString &what)
{
    m_lastError = m_mysql ? QString::fromUtf8(mysql_error(m_mysql)) : QStringLiteral("not connected");
    ServerLog::write(QStringLiteral("database error (%1): %2").arg(what, m_lastError));
}

bool ServerDatabase::run(const QByteArray &statement, Repeat repeat)
{
    for (int attempt = 1;; ++attempt) {
        if (!ensureConnected())
            return false;
        if (mysql_real_query(m_mysql, statement.constData(), static_cast<unsigned long>(statement.size())) == 0)
            return true;
        const unsigned int error = mysql_errno(m_mysql);
        // Connector/C reports CR_SERVER_GONE_ERROR only when the link was
        // closed already or the statement could not be written whole: the
        // server has not run it. CR_SERVER_LOST comes after the statement
        // went out, so a write may have been stored before its answer was
        // lost, and sending it again could store it twice.
        if (attempt == 1 && error == CR_SERVER_GONE_ERROR) {
            ServerLog::write(QStringLiteral("database connection gone before \"%1\" was sent (%2); sending it again")
                                 .arg(shortened(statement), QString::fromUtf8(mysql_error(m_mysql))));
            continue;
        }
        if (attempt == 1 && error == CR_SERVER_LOST && repeat == Repeat::Safe) {
            ServerLog::write(QStringLiteral("database connection lost during \"%1\" (%2); asking again")
                                 .arg(shortened(statement), QString::fromUtf8(mysql_error(m_mysql))));
            continue;
        }
        if (error == CR_SERVER_LOST && repeat == Repeat::Never) {
            m_lastError = QString::fromUtf8(mysql_error(m_mysql));
            ServerLog::write(QStringLiteral("database connection lost before the answer to \"%1\" (%2): "
                                            "it may or may not have been stored")
                                 .arg(shortened(statement), m_lastError));
            return false;
        }
        fail(shortened(statement));
        return false;
    }
}

std::optional<QList<QStringList>> ServerDatabase::select(const QString &statement)
{
    const QByteArray text = statement.toUtf8();
    for (int attempt = 1;; ++attempt) {
        if (!run(text, Repeat::Safe))
            return std::nullopt;
        MYSQL_RES *result = mysql_store_result(m_mysql);
        if (!result) {
            // NULL is both "no result set" and a failure; the error number tells.
            const unsigned int error = mysql_errno(m_mysql);
            if (error == 0)
                return QList<QStringList>();
            if (attempt == 1 && error == CR_SERVER_LOST) {
                ServerLog::write(QStringLiteral("database connection lost while reading the rows of \"%1\" (%2); "
                                                "asking again")
                                     .arg(shortened(text), QString::fromUtf8(mysql_error(m_mysql))));
                continue;
            }
            fail(statement);
            return std::nullopt;
        }
        QList<QStringList> rows;
        const unsigned int fields = mysql_num_fields(result);
        while (MYSQL_ROW row = mysql_fetch_row(result)) {
            const unsigned long *lengths = mysql_fetch_lengths(result);
            QStringList values;
            for (unsigned int i = 0; i < fields; ++i)
                values.append(row[i] ? QString::fromUtf8(row[i], static_cast<qsizetype>(lengths[i])) : QString());
            rows.append(values);
        }
        const bool failed = mysql_errno(m_mysql) != 0;
        mysql_free_result(result);
        if (failed) {
            fail(statement);
            return std::nullopt;
        }
        return rows;
    }
}

QString ServerDatabase::literal(const QString &value) const
{
    const QByteArray text = value.toUtf8();
    QByteArray escaped(text.size() * 2 + 1, '\0');
    const unsigned long length = mysql_real_escape_string(m_mysql, escaped.data(), text.constData(),
                                                          static_cast<unsigned long>(text.size()));
    escaped.truncate(static_cast<qsizetype>(length));
    return QLatin1Char('\'') + QString::fromUtf8(escaped) + QLatin1Char('\'');
}

QString ServerDatabase::table(const QString &name) const
{
    return identifier(m_settings.name) + QLatin1Char('.') + identifier(name);
}

std::optional<QList<QPair<QString, QString>>> ServerDatabase::operatorsNamed(const QString &login, int prefixLength)
{
    if (!ensureConnected())
        return std::nullopt;
    const QString column = prefixLength > 0 ? QStringLiteral("LEFT(Login,%1)").arg(prefixLength) : QStringLiteral("Login");
    const auto rows = select(QStringLiteral("SELECT Login, Pass FROM %1 WHERE %2=%3")
                                 .arg(table(QStringLiteral("users")), column, literal(login)));
    if (!rows)
        return std::nullopt;
    QList<QPair<QString, QString>> operators;
    for (const QStringList &row : *rows)
        operators.append({row.value(0), row.value(1)});
    return operators;
}

ServerDatabase::Lookup ServerDatabase::findObject(const QString &imei, ObjectRow *row)
{
    if (!ensureConnected())
        return Lookup::Failed;
    const auto rows = select(QStringLiteral("SELECT IMEI, Group_, State, Status FROM %1 WHERE IMEI=%2")
                                 .arg(table(QStringLiteral("objects")), literal(imei)));
    if (!rows)
        return Lookup::Failed;
    if (rows->isEmpty())
        return Lookup::Missing;
    const QStringList &first = rows->first();
    *row = ObjectRow{first.value(0), first.value(1), first.value(2), first.value(3)};
    return Lookup::Found;
}

std::optional<QStringList> ServerDatabase::objectImeis()
{
    const auto rows = select(QStringLiteral("SELECT IMEI FROM %1").arg(table(QStringLiteral("objects"))));
    if (!rows)
        return std::nullopt;
    QStringList imeis;
    for (const QStringList &row : *rows)
        imeis.append(row.value(0));
    return imeis;
}

bool ServerDatabase::setGuard(const QString &imei, bool armed)
{
    if (!ensureConnected())
        return false;
    return run(QStringLiteral("UPDATE %1 SET Ohrana=%2, State=%3 WHERE IMEI=%4")
                   .arg(table(QStringLiteral("objects")), literal(armed ? QStringLiteral("1") : QStringLiteral("0")),
                        literal(armed ? QStringLiteral("2") : QStringLiteral("1")), literal(imei))
                   .toUtf8());
}

bool ServerDatabase::setState(const QString &imei, int state)
{
    if (!ensureConnected())
        return false;
    return run(QStringLiteral("UPDATE %1 SET State=%2 WHERE IMEI=%3")
                   .arg(table(QStringLiteral("objects")), literal(QString::number(state)), literal(imei))
                   .toUtf8());
}

bool ServerDatabase::setStatus(const QString &imei, quint32 word)
{
    if (!ensureConnected())
        return false;
    return run(QStringLiteral("UPDATE %1 SET Status=%2 WHERE IMEI=%3")
                   .arg(table(QStringLiteral("objects")), literal(QString::number(word)), literal(imei))
                   .toUtf8());
}

bool ServerDatabase::addMessage(const JournalRow &row)
{
    if (!ensureConnected())
        return false;
    return run(QStringLiteral("INSERT INTO %1(IMEI,`Date`,`Type`,Event,Group_,`User`) VALUES(%2,%3,%4,%5,%6,%7)")
                   .arg(table(QStringLiteral("messages")), literal(row.imei), literal(row.date), literal(row.type),
                        literal(row.event), literal(row.group), literal(row.user))
                   .toUtf8());
}

std::optional<bool> ServerDatabase::hasFrameAt(const QString &imei, const QString &date)
{
    if (!ensureConnected())
        return std::nullopt;
    const QString frames = table(QStringLiteral("o_") + imei);
    // The shape of the frame tables that registering an object creates.
    const QString create = QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (`Date` DATETIME NOT NULL, "
                                          "Event VARCHAR(64) NOT NULL DEFAULT '', Image MEDIUMBLOB NOT NULL, "
                                          "KEY (`Date`)) ENGINE=InnoDB DEFAULT CHARSET=cp1251 COLLATE=cp1251_nopad_bin")
                               .arg(frames);
    if (!run(create.toUtf8(), Repeat::Safe))
        return std::nullopt;
    // A table made just now (no "already exists" note) is opened to the
    // stations' operators, whose role reads the frame tables; a database
    // without the role only logs it.
    if (mysql_warning_count(m_mysql) == 0 && !run(QStringLiteral("GRANT SELECT ON %1 TO orvex_frames").arg(frames).toUtf8(), Repeat::Safe))
        ServerLog::write(QStringLiteral("frame table %1 made, but the operators' role cannot be given it").arg(frames));
    const auto rows = select(QStringLiteral("SELECT 1 FROM %1 WHERE `Date`=%2 LIMIT 1").arg(frames, literal(date)));
    if (!rows)
        return std::nullopt;
    return !rows->isEmpty();
}

bool ServerDatabase::storeFrame(const QString &imei, const QString &date, const QString &event, const QByteArray &jpeg)
{
    if (!ensureConnected())
        return false;
    // The picture goes as a hex literal: raw bytes inside a quoted literal would
    // be read as utf8mb4 text by the server.
    const QByteArray insert = QStringLiteral("INSERT INTO %1(`Date`,Event,Image) VALUES(%2,%3,")
                                  .arg(table(QStringLiteral("o_") + imei), literal(date), literal(event))
                                  .toUtf8()
        + "X'" + jpeg.toHex() + "')";
    return run(insert);
}
