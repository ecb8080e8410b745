#pragma once

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <optional>

class AlarmEntry;
class AlarmPanel;
class Database;
class ObjectListModel;
class QTimer;
class StateReports;
struct StationState;

// Keeps an alarm nobody has taken from being forgotten: it notes when the
// station first saw each listed object waiting in alarm (by a notification
// or a load of the states), repeats the alarm sound while any alarm waits,
// marks those that waited too long, and tells who took an alarm into
// processing and when, from the journal row every station writes for it.
class AlarmWatch final : public QObject
{
    Q_OBJECT

public:
    AlarmWatch(StationState &state, Database &database, ObjectListModel &model, StateReports &reports,
               QObject *parent = nullptr);

    // In UTC, from the station's clock.
    QDateTime now() const;

    // 0 switches the repeats off.
    void setRepeatSeconds(int seconds);
    int repeatSeconds() const { return m_repeatSeconds; }
    void setOverdueSeconds(int seconds);
    int overdueSeconds() const { return m_overdueSeconds; }

    // Runs while an alarm waits and repeats are on; each tick is repeatTick().
    QTimer *repeatTimer() const { return m_repeat; }
    void repeatTick();
    // Once a second: the ages move on, the marks and the open entries follow.
    void refresh();

    // The open alarm entries show who took their alarm and how long it waited.
    void watchPanel(AlarmPanel *panel);

    // In alarm (a code of 90 or more) and not taken into processing (90).
    static bool isWaitingCode(int code);
    bool isWaiting(const QString &imei) const;
    int waitingCount() const;
    // Seconds since the station first saw the alarm, while it waits.
    std::optional<qint64> waitingFor(const QString &imei) const;
    // Seconds the alarm waited before it was taken into processing.
    std::optional<qint64> waitedFor(const QString &imei) const;
    // Waited longer than overdueSeconds() at the last refresh.
    bool isOverdue(const QString &imei) const { return m_overdue.contains(imei); }
    // Flips at every refresh while an alarm is overdue: its mark blinks.
    bool blinkPhase() const { return m_blink; }

    struct Taker
    {
        QString user;
        QDateTime when;
    };
    // Who took the object's alarm last, from the journal; none when it
    // cannot be read, or when the row found is older than the alarm this
    // station saw begin (it belongs to an earlier alarm).
    std::optional<Taker> takenBy(const QString &imei);
    // "В обработке: Pilot с 14:03" (with the date when not today), or empty.
    QString takenByText(const QString &imei);
    // The hint's extra lines for a listed object with this state code.
    QString hintLines(const QString &imei, int code);
    // The age line of an alarm entry, or empty.
    QString entryAge(const QString &imei) const;

    // "40 с", "3 мин", "1 ч 5 мин".
    static QString ageText(qint64 seconds);
    static QString takerText(const Taker &taker, const QDate &today);

signals:
    // The overdue marks (or their blink) changed: the list repaints.
    void marksChanged();

private:
    struct Alarm
    {
        QString imei;
        QDateTime since;
        // Valid once the alarm was taken into processing.
        QDateTime taken;
        // The object's entry (its serial) in the list as last loaded.
        int entry = -1;
    };
    // An object's IMEI as the alarms are kept by: its number when it is all
    // digits. A reload of the states looks up every alarm, and hashing and
    // comparing 15-character texts cost more than the reload's own lookups.
    struct Key
    {
        explicit Key(const QString &imei);
        // With the caption's key as the list holds it (0: no number).
        Key(quint64 key, const QString &imei);
        bool operator==(const Key &other) const { return number == other.number && text == other.text; }
        friend size_t qHash(const Key &key, size_t seed = 0)
        {
            return key.number != 0 ? qHash(key.number, seed) : qHash(key.text, seed);
        }

        quint64 number = 0;
        // Only for an IMEI that is no number.
        QString text;
    };

    void rowsChanged(int first, int last);
    // Follows one entry's code: a new wait, a taking, or the end.
    void note(int row, const QDateTime &at, bool *seenNew, bool *changed);
    void forgetUnlisted();
    int rowOf(const Alarm &alarm) const;
    void followTimer();
    void fillEntry(AlarmEntry *entry);
    bool updateOverdue();

    StationState &m_state;
    Database &m_database;
    ObjectListModel &m_model;
    StateReports &m_reports;
    QTimer *m_repeat;
    int m_repeatSeconds = 10;
    int m_overdueSeconds = 120;
    QHash<Key, Alarm> m_alarms;
    QSet<QString> m_overdue;
    // Alarms in m_alarms not taken yet.
    int m_waiting = 0;
    bool m_blink = false;
    AlarmPanel *m_panel = nullptr;
};
