#pragma once

#include "GroupChoice.h"

#include <QDateTime>
#include <QObject>
#include <QString>

struct StationState;

// The operator's monitoring work at this moment, without any widget: the
// group choice of the toolbar, the object selected in the list, the journal's
// period and why the right-hand column is open. The parts of the main window
// each keep their own widgets and meet here: one sets a value, the others
// follow its signal.
class MonitoringSession final : public QObject
{
    Q_OBJECT

public:
    // The right-hand column: open for alarm entries or a picture, else one
    // pixel wide.
    static constexpr int ColumnWidth = 300;
    static constexpr int ColumnClosedWidth = 1;

    explicit MonitoringSession(StationState &state, QObject *parent = nullptr);

    StationState &state() const { return m_state; }

    const GroupChoice &groupChoice() const { return m_groups; }
    // byOperator: chosen in the selector (the list and the journal reload);
    // otherwise set by the login, which loads what it needs itself.
    void setGroupChoice(const GroupChoice &choice, bool byOperator);

    // The object selected in the list: Selected_IMEI and Selected_index of
    // the station's state, and whether an entry is selected right now (a
    // reloaded list has none, while Selected_IMEI keeps the last one).
    bool hasSelection() const { return m_selected; }
    void select(const QString &imei, int row);
    void setSelectionCleared();

    QDateTime periodStart() const { return m_start; }
    QDateTime periodEnd() const { return m_end; }
    // byOperator: edited in the pickers (the journal reloads with both
    // bounds); otherwise moved by the station without a reload.
    void setPeriod(const QDateTime &start, const QDateTime &end, bool byOperator);

    bool alarmsOpen() const { return m_alarmsOpen; }
    bool pictureOpen() const { return m_pictureOpen; }
    void setAlarmsOpen(bool open);
    void setPictureOpen(bool open);
    bool columnOpen() const { return m_alarmsOpen || m_pictureOpen; }

    // Back to the state of a station nobody is logged into.
    void reset();

signals:
    void groupChoiceChanged(bool byOperator);
    void selectionChanged(const QString &imei);
    void periodChanged(bool byOperator);
    void columnOpenChanged(bool open);

private:
    void updateColumn(bool wasOpen);

    StationState &m_state;
    GroupChoice m_groups;
    bool m_selected = false;
    QDateTime m_start;
    QDateTime m_end;
    bool m_alarmsOpen = false;
    bool m_pictureOpen = false;
};
