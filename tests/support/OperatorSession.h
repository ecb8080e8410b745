#pragma once

#include <QString>

struct st_mysql;

// A connection to the private database under an operator's own account, as
// his station opens it: proves the account, its password and its grants.
class OperatorSession
{
public:
    OperatorSession(const QString &login, const QString &password);
    ~OperatorSession();
    OperatorSession(const OperatorSession &) = delete;
    OperatorSession &operator=(const OperatorSession &) = delete;

    bool isOpen() const { return m_open; }
    QString error() const;
    // Whether the server ran the statement (its rows are read and dropped).
    bool run(const QString &sql);

private:
    st_mysql *m_mysql = nullptr;
    bool m_open = false;
};

inline bool canLogIn(const QString &login, const QString &password)
{
    return OperatorSession(login, password).isOpen();
}
