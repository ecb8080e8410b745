#pragma once

#include "Database.h"

#include <QString>
#include <QStringList>

#include <optional>

class QAbstractButton;
class QWidget;
struct StationState;

// The toolbar buttons that the operator's rights unlock.
struct RightsButtons
{
    QAbstractButton *SpeedButton2 = nullptr; // local user editor
    QAbstractButton *SpeedButton3 = nullptr; // report
    QAbstractButton *SpeedButton8 = nullptr; // database administration
};

// What the logged-in operator may see and do, as the users table says.
class OperatorRights
{
public:
    OperatorRights(StationState &state, Database &database);

    // The buttons to unlock, and the window message boxes belong to.
    void setButtons(RightsButtons buttons, QWidget *window)
    {
        m_buttons = buttons;
        m_window = window;
    }

    // The items of the group selector: "Все" followed by the operator's
    // groups. No value (and a message) when they cannot be read.
    std::optional<QStringList> Load_User_Groups();
    // The operator's phone number, "0" when it cannot be read.
    QString Load_User_Number();
    // The same, telling a number that cannot be read (Failed) and an operator
    // without a users row (Missing) from a number that was read.
    Database::Lookup User_Number(QString *number);
    void ButtonEnable();
    void ButtonDisable();
    // No operator holds rights any more (a login replaced or refused): no
    // administrator buttons, Full_rights false; the local user editor stays
    // open only to the local login made with the password "Pilot".
    void dropRights();

    // A text split into lines at CR, LF or CRLF; a break at the very end adds
    // no line, an empty line in the middle is kept.
    static QStringList splitLines(const QString &text);

private:
    StationState &m_state;
    Database &m_database;
    RightsButtons m_buttons;
    QWidget *m_window = nullptr;
};
