#pragma once

#include "AccountPlan.h"
#include "AdminTab.h"

class KeptField;
class QCheckBox;
class QListWidget;

// "Пользователи": the operators, each a users row and an account of the
// database server under the same login, host and password. The changes are
// AccountPlan's; this tab shows the rows and says how a change ended.
class AccountTab final : public AdminTab
{
    Q_OBJECT

public:
    AccountTab(StationState &state, Database &database, QWidget *parent = nullptr);

    void reload() override;
    // StringGrid3SelectCell: the row into the fields, the box and the list.
    void showOperator(int row);

    QLabel *Label14 = nullptr;
    QLabel *Label15 = nullptr;
    QTableWidget *StringGrid3 = nullptr;
    QLineEdit *Edit12 = nullptr;
    QLineEdit *Edit13 = nullptr;
    QLineEdit *Edit14 = nullptr;
    QLineEdit *Edit15 = nullptr;
    QCheckBox *RzCheckBox1 = nullptr;
    QListWidget *RzCheckList1 = nullptr;
    QPushButton *SpeedButton5 = nullptr;
    QPushButton *SpeedButton6 = nullptr;
    QPushButton *SpeedButton7 = nullptr;
    // Lets the operators read the frame tables there are now.
    QPushButton *FramesButton = nullptr;

private:
    void create();
    void remove();
    void rewrite();
    void openFrames();
    // Load_Group_Checklist; false when the groups could not be read.
    bool loadGroupChecklist();
    // The fields as typed checked: none (and a message) when one is longer
    // than it takes or holds a character the table cannot, or the groups
    // could not be read to tick.
    bool typedOk();
    QStringList tickedGroups() const;
    // The row the fields describe. Over a stored row, what the administrator
    // did not touch is the row's as stored now, not as read with the list:
    // another administrator's change meanwhile is not undone, and groups
    // the list does not offer (deleted from it, still naming objects) stay.
    OperatorRow typedRow(const OperatorRow *stored) const;
    // The users row of a login as stored now.
    Database::Lookup storedRow(const QString &login, OperatorRow *row);
    // Shows no operator: empty fields, nothing ticked, no row current.
    void showNobody();

    KeptField *m_login = nullptr;
    KeptField *m_password = nullptr;
    KeptField *m_host = nullptr;
    KeptField *m_number = nullptr;
    bool m_groupsRead = false;
    // The box and the ticks as the operator shown left them.
    bool m_shownAdministrator = false;
    QStringList m_shownGroups;
};
