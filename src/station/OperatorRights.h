#pragma once

#include <QString>
#include <QStringList>

class Database;
class QAbstractButton;
class QComboBox;
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
    OperatorRights(StationState &state, Database &database, QWidget *window);

    void setButtons(RightsButtons buttons) { m_buttons = buttons; }

    // "Все" followed by the operator's groups; "Все" selected.
    void Load_User_Groups(QComboBox *selector);
    // The operator's phone number, "0" when it cannot be read.
    QString Load_User_Number();
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
    QWidget *m_window;
};
