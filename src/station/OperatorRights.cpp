#include "OperatorRights.h"

#include "GroupChoice.h"

#include "Database.h"
#include "Dialogs.h"
#include "Sql.h"
#include "StationState.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QSignalBlocker>

OperatorRights::OperatorRights(StationState &state, Database &database, QWidget *window)
    : m_state(state)
    , m_database(database)
    , m_window(window)
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

void OperatorRights::Load_User_Groups(QComboBox *selector)
{
    QString groups;
    const auto found = m_database.value(Sql::userGroups(m_database.escaper(), m_state.Login), &groups);
    if (found == Database::Lookup::Failed) {
        m_state.dialogs->message(m_window, QStringLiteral("Нет доступа к группе объектов"));
        return;
    }
    // An operator without a users row controls no group: "Все" alone.
    const QSignalBlocker blocker(selector);
    selector->clear();
    selector->addItems(splitLines(AllGroups + QLatin1Char('\n') + groups));
    selector->setCurrentIndex(0);
}

QString OperatorRights::Load_User_Number()
{
    QString number;
    const auto found = m_database.value(Sql::userNumber(m_database.escaper(), m_state.Login), &number);
    if (found != Database::Lookup::Found)
        return QStringLiteral("0");
    return number;
}

void OperatorRights::ButtonEnable()
{
    QString admin;
    if (m_state.Base_connected)
        m_database.value(Sql::userAdmin(m_database.escaper(), m_state.Login), &admin);
    if (admin == QLatin1String("1")) {
        m_buttons.SpeedButton2->setEnabled(true);
        m_buttons.SpeedButton3->setEnabled(true);
        m_buttons.SpeedButton8->setEnabled(true);
        m_state.Full_rights = true;
        return;
    }
    m_buttons.SpeedButton3->setEnabled(false);
    m_buttons.SpeedButton8->setEnabled(false);
    m_state.Full_rights = false;
    m_buttons.SpeedButton2->setEnabled(m_state.Login == QLatin1String("Pilot") && m_state.User_index == 0);
}

void OperatorRights::ButtonDisable()
{
    if (m_state.Login != QLatin1String("Pilot"))
        m_buttons.SpeedButton2->setEnabled(false);
    m_buttons.SpeedButton3->setEnabled(false);
    m_buttons.SpeedButton8->setEnabled(false);
}

void OperatorRights::dropRights()
{
    m_state.Full_rights = false;
    m_buttons.SpeedButton2->setEnabled(m_state.Password == QLatin1String("Pilot"));
    m_buttons.SpeedButton3->setEnabled(false);
    m_buttons.SpeedButton8->setEnabled(false);
}
