#pragma once

#include "Database.h"

#include <QDateTime>
#include <QList>
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
    // One step of the operator: the object's new state (none: unchanged)
    // and a journal row by him (empty: none), stored in one transaction,
    // then announced: the list, the server and the journal follow only what
    // the database holds. A step whose answer was lost with the connection
    // is read back from the database, so that it is neither called unsaved
    // when it was stored nor stored twice. False when it is not stored (the
    // operator is told, once per Step).
    bool Save_Step(const QString &imei, std::optional<quint8> code, const QString &event);
    // The object's guard flag (Ohrana): 0 disarmed, 1 armed; none when it
    // cannot be read (no database, a refused query, no row, NULL or another
    // value): a guess would announce an armed object as disarmed.
    std::optional<int> Get_Guard_State(const QString &imei);
    // A journal row of type "Событие" by the operator, dated by the clock.
    // Returns whether the row was written (a failure is reported).
    bool Save_Event(const QString &imei, const QString &text);

    // How a step's writes ended.
    enum class Stored { Yes, No, Unknown };
    // The database answers again: the steps whose outcome could not be read
    // back are read back now, announced when stored, and told either way.
    void settleOpenSteps();
    int openSteps() const { return int(m_openSteps.size()); }

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
    // A step's outcome could not be read back: the states shown may be out
    // of date until they are read again.
    void statesUncertain();

private:
    // The database's error, now or at the end of the open step.
    void reportError(const QString &prefix = {});
    void report(const QString &text);
    // One step's writes, and what reading them back needs.
    struct StepWrites
    {
        QString imei;
        std::optional<quint8> code;
        QString event;
        QDateTime when;
        qint64 rowsBefore = 0;
        Database::LostCommit lost;
        // Why the step ended without an answer.
        QString why;
        // The object's state as read back; -1 when none.
        int settledState = -1;
    };
    // Unknown: the COMMIT went unanswered.
    Stored storeStep(StepWrites &step);
    Stored readBack(StepWrites &step);
    void announce(const QString &imei, quint8 code);

    StationState &m_state;
    Database &m_database;
    ServerLink &m_link;
    ObjectList &m_objects;
    SoundPlayer *m_player;
    int m_steps = 0;
    QStringList m_errors;
    QList<StepWrites> m_openSteps;
};
