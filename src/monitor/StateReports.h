#pragma once

#include <QObject>
#include <QString>

class Database;
class ObjectList;
class ServerLink;
class SoundPlayer;
struct StationState;

// The server's state notifications and the station's own state changes and
// journal rows: what the operator then sees in the list, hears, and finds in
// the database and the journal.
class StateReports final : public QObject
{
    Q_OBJECT

public:
    StateReports(StationState &state, Database &database, ServerLink &link, ObjectList &objects, SoundPlayer &player,
                 QObject *parent = nullptr);

    // A state notification of the server (packet type 20).
    // Where the sounds go from now on.
    void setSoundPlayer(SoundPlayer *player) { m_player = player; }

    void On_State_Report(const QString &imei, quint8 code);
    // The station's own change of an object's state: list, database, server.
    void Save_State(const QString &imei, quint8 code);
    // The object's guard flag (Ohrana): 0 disarmed, 1 armed; 0 when unknown.
    int Get_Guard_State(const QString &imei);
    // A journal row of type "Событие" by the operator, dated by the clock.
    void Save_Event(const QString &imei, const QString &text);

    // The state's sound, unless the operator switched sounds off (Sound_on).
    void Play_Sound(const QString &name);

signals:
    // Load_Messages with this key, period end unused.
    void messagesRequested(const QString &key);
    // Refresh_Messages of the journal: the rows newer than the newest shown,
    // for an IMEI or "All".
    void messagesRefreshRequested(const QString &key);

private:
    StationState &m_state;
    Database &m_database;
    ServerLink &m_link;
    ObjectList &m_objects;
    SoundPlayer *m_player;
};
