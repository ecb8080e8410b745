#include "OperatorRights.h"

#include "GroupChoice.h"

#include "Database.h"
#include "Dialogs.h"
#include "Sql.h"
#include "StationState.h"

#include <QAbstractButton>

namespace {

// A rights object without a toolbar (a test, a worker) has no buttons.
void enable(QAbstractButton *button, bool on)
{
    if (button)
        button->setEnabled(on);
}

} // namespace

OperatorRights::OperatorRights(StationState &state, Database &database)
    : m_state(state)
    , m_database(database)
{
}

QStringList OperatorRights::splitLines(const QString &text)
{
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        lines << text.mid(start, i - start);
        if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines << text.mid(start);
    return lines;
}

std::optional<QStringList> OperatorRights::Load_User_Groups()
{
    QString groups;
    const auto found = m_database.value(Sql::userGroups(m_database.escaper(), m_state.Login), &groups);
    if (found == Database::Lookup::Failed) {
        if (m_state.dialogs)
            m_state.dialogs->message(m_window, QStringLiteral("Нет доступа к группе объектов"));
        return std::nullopt;
    }
    // An operator without a users row controls no group: "Все" alone.
    return splitLines(AllGroups + QLatin1Char('\n') + groups);
}

QString OperatorRights::Load_User_Number()
{
    QString number;
    if (User_Number(&number) != Database::Lookup::Found)
        return QStringLiteral("0");
    return number;
}

Database::Lookup OperatorRights::User_Number(QString *number)
{
    return m_database.value(Sql::userNumber(m_database.escaper(), m_state.Login), number);
}

void OperatorRights::ButtonEnable()
{
    QString admin;
    if (m_state.Base_connected)
        m_database.value(Sql::userAdmin(m_database.escaper(), m_state.Login), &admin);
    if (admin == QLatin1String("1")) {
        enable(m_buttons.SpeedButton2, true);
        enable(m_buttons.SpeedButton3, true);
        enable(m_buttons.SpeedButton8, true);
        m_state.Full_rights = true;
        return;
    }
    enable(m_buttons.SpeedButton3, false);
    enable(m_buttons.SpeedButton8, false);
    m_state.Full_rights = false;
    enable(m_buttons.SpeedButton2, m_state.Login == QLatin1String("Pilot") && m_state.User_index == 0);
}

void OperatorRights::ButtonDisable()
{
    if (m_state.Login != QLatin1String("Pilot"))
        enable(m_buttons.SpeedButton2, false);
    enable(m_buttons.SpeedButton3, false);
    enable(m_buttons.SpeedButton8, false);
}

void OperatorRights::dropRights()
{
    m_state.Full_rights = false;
    m_buttons.SpeedButton2->setEnabled(m_state.Password == QLatin1String("Pilot"));
    m_buttons.SpeedButton3->setEnabled(false);
    m_buttons.SpeedButton8->setEnabled(false);
}
