#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <optional>

struct st_mysql;

// The server's one connection to orvex_base. Every call checks the connection
// first and opens it again when the database server dropped it, so a restart
// of the database does not need a restart of this server.
class ServerDatabase
{
public:
    struct Settings {
        QString host = QStringLiteral("127.0.0.1");
        quint16 port = 3306;
        QString user = QStringLiteral("root");
        QString password;
        QString name = QStringLiteral("orvex_base");
    };

    struct ObjectRow {
        QString imei;
        QString group;
        QString state;
        QString status;
    };

    struct JournalRow {
        QString imei;
        QString date;
        QString type;
        QString event;
        QString group;
        QString user;
    };

    enum class Lookup { Found, Missing, Failed };

    explicit ServerDatabase(const Settings &settings);
    ~ServerDatabase();
    ServerDatabase(const ServerDatabase &) = delete;
    ServerDatabase &operator=(const ServerDatabase &) = delete;

    bool open(QString *error);
    QString lastError() const { return m_lastError; }

    // (Login, Pass) of every users row with this login; with prefixLength,
    // of every row whose login starts with it in its first prefixLength
    // characters (one byte each in the table's code page).
    std::optional<QList<QPair<QString, QString>>> operatorsNamed(const QString &login, int prefixLength = 0);
    Lookup findObject(const QString &imei, ObjectRow *row);
    std::optional<QStringList> objectImeis();

    bool setGuard(const QString &imei, bool armed);
    bool setState(const QString &imei, int state);
    bool setStatus(const QString &imei, quint32 word);
    bool addMessage(const JournalRow &row);
    // Creates the object's frame table when it is missing and tells whether
    // it holds a frame dated date ("yyyy-MM-dd HH:mm:ss") already; one look
    // at the table's Date key.
    std::optional<bool> hasFrameAt(const QString &imei, const QString &date);
    bool storeFrame(const QString &imei, const QString &date, const QString &event, const QByteArray &jpeg);

private:
    bool connectNow(QString *error);
    bool ensureConnected();
    // Safe: running the statement twice changes nothing (a read, a CREATE
    // TABLE IF NOT EXISTS). Never: a write, sent once only.
    enum class Repeat { Safe, Never };
    bool run(const QByteArray &statement, Repeat repeat = Repeat::Never);
    std::optional<QList<QStringList>> select(const QString &statement);
    QString literal(const QString &value) const;
    QString table(const QString &name) const;
    void fail(const QString &what);

    Settings m_settings;
    st_mysql *m_mysql = nullptr;
    QString m_lastError;
};
