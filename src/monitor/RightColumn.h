#pragma once

#include <QFrame>

class AlarmPanel;
class Database;
class FrameStore;
class MonitoringSession;
class StateReports;
struct StationState;

// The right-hand column Panel4 of the main window: the alarm group bar over
// the camera picture. It is open, MonitoringSession::ColumnWidth wide, while
// the session has a reason for it (an alarm entry or a picture shown), and
// one pixel wide otherwise.
class RightColumn final : public QFrame
{
    Q_OBJECT

public:
    RightColumn(StationState &state, Database &database, StateReports &reports, MonitoringSession &session,
                QWidget *parent = nullptr);

    AlarmPanel *alarms() const { return m_alarms; }
    FrameStore *frames() const { return m_frames; }

private:
    void follow(bool open);

    AlarmPanel *m_alarms;
    FrameStore *m_frames;
};
