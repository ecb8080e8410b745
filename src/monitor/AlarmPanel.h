#pragma once

#include "AlarmEntry.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class Database;
class QMenu;
class QScrollArea;
class QVBoxLayout;
class QWidget;
class StateReports;
struct StationState;

// The alarm column: a stack of alarm entries, one per object in processing,
// and the menu through which the operator comments and closes them.
class AlarmPanel : public QObject
{
    Q_OBJECT

public:
    static constexpr int OpenWidth = 300;

    // stateText gives the current state code text of an object's list entry.
    AlarmPanel(StationState &state, Database &database, StateReports &reports, QScrollArea *RzGroupBar1,
               QWidget *Panel4, std::function<QString(const QString &)> stateText, QWidget *window);

    void Add_Alarm(const QString &imei);
    void Load_PopupMenu();
    void PMSelect(const QString &caption, AlarmEntry *entry);
    void CloseGroup(AlarmEntry *entry);

    AlarmEntry *entry(const QString &imei) const;
    QList<AlarmEntry *> entries() const;
    QMenu *PopupMenu1 = nullptr;
    // The entry the menu was last opened on.
    AlarmEntry *popupComponent() const { return m_popupComponent; }

private:
    void showMenu(AlarmEntry *entry, const QPoint &globalPos);

    StationState &m_state;
    Database &m_database;
    StateReports &m_reports;
    QScrollArea *m_bar;
    QWidget *m_column;
    QWidget *m_stack;
    QVBoxLayout *m_stackLayout;
    std::function<QString(const QString &)> m_stateText;
    QWidget *m_window;
    QPointer<AlarmEntry> m_popupComponent;
};
