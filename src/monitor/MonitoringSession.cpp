#include "MonitoringSession.h"

#include "StationState.h"

MonitoringSession::MonitoringSession(StationState &state, QObject *parent)
    : QObject(parent)
    , m_state(state)
    // The pickers' first period, until the first click into the list.
    , m_start(QDate(2011, 9, 1), QTime(0, 0, 0))
    , m_end(QDate(2011, 9, 1), QTime(23, 59, 59))
{
}

void MonitoringSession::setGroupChoice(const GroupChoice &choice, bool byOperator)
{
    m_groups = choice;
    emit groupChoiceChanged(byOperator);
}

void MonitoringSession::select(const QString &imei, int row)
{
    m_state.Selected_IMEI = imei;
    m_state.Selected_index = row;
    m_selected = true;
    emit selectionChanged(imei);
}

void MonitoringSession::setSelectionCleared()
{
    m_selected = false;
}

void MonitoringSession::setPeriod(const QDateTime &start, const QDateTime &end, bool byOperator)
{
    m_start = start;
    m_end = end;
    emit periodChanged(byOperator);
}

void MonitoringSession::setAlarmsOpen(bool open)
{
    const bool wasOpen = columnOpen();
    m_alarmsOpen = open;
    updateColumn(wasOpen);
}

void MonitoringSession::setPictureOpen(bool open)
{
    const bool wasOpen = columnOpen();
    m_pictureOpen = open;
    updateColumn(wasOpen);
}

void MonitoringSession::updateColumn(bool wasOpen)
{
    if (columnOpen() != wasOpen)
        emit columnOpenChanged(columnOpen());
}

void MonitoringSession::reset()
{
    m_selected = false;
    m_state.Selected_IMEI.clear();
    m_state.Selected_index = 0;
    setGroupChoice({}, false);
}
