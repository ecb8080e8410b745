#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

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
    // The station's own change of an object's state: stored in the database
    // first; only then shown in the list and sent to the server. False (and
    // the operator told) when the database did not take it.
    bool Save_State(const QString &imei, quint8 code);
    // The two halves, for a step that journals in between.
    bool storeState(const QString &imei, quint8 code);
    void announceState(const QString &imei, quint8 code);
    // The object's guard flag (Ohrana): 0 disarmed, 1 armed; none when it
    // cannot be read (no database, a refused query, no row, NULL or another
    // value): a guess would announce an armed object as disarmed.
    std::optional<int> Get_Guard_State(const QString &imei);
    // A journal row of type "Событие" by the operator, dated by the clock.
    // Returns whether the row was written (a failure is reported).
    bool Save_Event(const QString &imei, const QString &text);

    // The state's sound, unless the operator switched sounds off (Sound_on).
    void Play_Sound(const QString &name);

    // One step of the operator writes a journal row and changes a state; with
    // the database down each would show its box, and the first box's event
    // loop would run between them. While a Step lives the boxes wait and come
    // as one when it ends.
    class Step
    {
    public:
        explicit Step(StateReports &reports);
        ~Step();
        Step(const Step &) = delete;
        Step &operator=(const Step &) = delete;

    private:
        StateReports &m_reports;
    };

signals:
    // Load_Messages with this key, period end unused.
    void messagesRequested(const QString &key);
    // Refresh_Messages of the journal: the rows not shown yet; key is the
    // selected IMEI or "All".
    void messagesRefreshRequested(const QString &key);

private:
    // The database's error, now or at the end of the open step.
    void reportError(const QString &prefix = {});

    StationState &m_state;
    Database &m_database;
    ServerLink &m_link;
    ObjectList &m_objects;
    SoundPlayer *m_player;
    int m_steps = 0;
    QStringList m_errors;
};
