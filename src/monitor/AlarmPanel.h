#pragma once

#include "AlarmEntry.h"

#include <QPointer>
#include <QScrollArea>
#include <QString>

class Database;
class MonitoringSession;
class QMenu;
class QVBoxLayout;
class StateReports;
struct StationState;

// The alarm group bar RzGroupBar1 of the right-hand column: a stack of alarm
// entries, one per object in processing, and the menu through which the
// operator comments and closes them. While it holds an entry the session
// keeps the column open.
class AlarmPanel : public QScrollArea
{
    Q_OBJECT

public:
    AlarmPanel(StationState &state, Database &database, StateReports &reports, MonitoringSession &session,
               QWidget *parent = nullptr);

    // stateText: the state of the object's list entry when it was selected.
    void Add_Alarm(const QString &imei, const QString &stateText);
    void Load_PopupMenu();
    void PMSelect(const QString &caption, AlarmEntry *entry);
    void CloseGroup(AlarmEntry *entry);

    AlarmEntry *entry(const QString &imei) const;
    QList<AlarmEntry *> entries() const;
    QMenu *PopupMenu1 = nullptr;
    // The entry the menu was last opened on.
    AlarmEntry *popupComponent() const { return m_popupComponent; }

signals:
    // A new entry stands and its alarm is taken into processing.
    void entryOpened(AlarmEntry *entry);

private:
    void showMenu(AlarmEntry *entry, const QPoint &globalPos);

    StationState &m_state;
    Database &m_database;
    StateReports &m_reports;
    MonitoringSession &m_session;
    QWidget *m_stack;
    QVBoxLayout *m_stackLayout;
    QPointer<AlarmEntry> m_popupComponent;
};
