#include "RightColumn.h"

#include "AlarmPanel.h"
#include "FrameStore.h"
#include "MonitoringSession.h"

#include <QVBoxLayout>

RightColumn::RightColumn(StationState &state, Database &database, StateReports &reports, MonitoringSession &session,
                         QWidget *parent)
    : QFrame(parent)
    , m_alarms(new AlarmPanel(state, database, reports, session, this))
    , m_frames(new FrameStore(state, database, session, this))
{
    setObjectName(QStringLiteral("Panel4"));
    setFrameShape(QFrame::StyledPanel);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_alarms, 1);
    layout->addWidget(m_frames);
    follow(session.columnOpen());
    connect(&session, &MonitoringSession::columnOpenChanged, this, &RightColumn::follow);
}

void RightColumn::follow(bool open)
{
    setFixedWidth(open ? MonitoringSession::ColumnWidth : MonitoringSession::ColumnClosedWidth);
}
