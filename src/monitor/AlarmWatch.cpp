#include "AlarmWatch.h"

#include "AlarmEntry.h"
#include "AlarmPanel.h"
#include "CaptionIndex.h"
#include "Clock.h"
#include "Database.h"
#include "JournalSql.h"
#include "ObjectListModel.h"
#include "StateModel.h"
#include "StateReports.h"
#include "StationState.h"

#include <QTimer>

#include <vector>

namespace {

// Stations date their rows by their own clocks: a taker's row may look a
// little older than the alarm this station saw begin.
constexpr qint64 ClockSlackSeconds = 60;
const QString JournalDate = QStringLiteral("yyyy-MM-dd HH:mm:ss");

} // namespace

AlarmWatch::AlarmWatch(StationState &state, Database &database, ObjectListModel &model, StateReports &reports,
                       QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_database(database)
    , m_model(model)
    , m_reports(reports)
    , m_repeat(new QTimer(this))
{
    m_repeat->setObjectName(QStringLiteral("alarmRepeat"));
    m_repeat->setInterval(m_repeatSeconds * 1000);
    connect(m_repeat, &QTimer::timeout, this, &AlarmWatch::repeatTick);
    connect(&m_model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &first, const QModelIndex &last) { rowsChanged(first.row(), last.row()); });
    connect(&m_model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int first, int last) { rowsChanged(first, last); });
    connect(&m_model, &QAbstractItemModel::modelReset, this, &AlarmWatch::forgetUnlisted);
    connect(&m_model, &QAbstractItemModel::rowsRemoved, this, &AlarmWatch::forgetUnlisted);
}

AlarmWatch::Key::Key(const QString &imei)
    : Key(CaptionIndex::numberKey(QStringView(imei)), imei)
{
}

AlarmWatch::Key::Key(quint64 key, const QString &imei)
    : number(key)
{
    if (number == 0)
        text = imei;
}

int AlarmWatch::rowOf(const Alarm &alarm) const
{
    // The entry noted at the last reload is the object's own while every
    // caption is listed once; otherwise the first of its caption is.
    if (alarm.entry >= 0 && !m_model.hasRepeatedCaptions())
        return m_model.rowOfSerial(alarm.entry);
    return m_model.findFirst(alarm.imei);
}

QDateTime AlarmWatch::now() const
{
    // Kept in UTC: ages of local times go through the time zone rules
    // (mktime, a stat of the zone file) each time, and a list reload looks
    // at the age of every alarm.
    return Clock::nowUtc();
}

void AlarmWatch::setRepeatSeconds(int seconds)
{
    m_repeatSeconds = qMax(0, seconds);
    if (m_repeatSeconds > 0)
        m_repeat->setInterval(m_repeatSeconds * 1000);
    followTimer();
}

void AlarmWatch::setOverdueSeconds(int seconds)
{
    m_overdueSeconds = qMax(0, seconds);
    if (updateOverdue())
        emit marksChanged();
}

bool AlarmWatch::isWaitingCode(int code)
{
    return StateModel::isAlarm(code) && code != StateModel::InProcessing;
}

bool AlarmWatch::isWaiting(const QString &imei) const
{
    const auto it = m_alarms.constFind(Key(imei));
    return it != m_alarms.constEnd() && !it->taken.isValid();
}

int AlarmWatch::waitingCount() const
{
    return m_waiting;
}

std::optional<qint64> AlarmWatch::waitingFor(const QString &imei) const
{
    const auto it = m_alarms.constFind(Key(imei));
    if (it == m_alarms.constEnd() || it->taken.isValid())
        return std::nullopt;
    return qMax<qint64>(0, it->since.secsTo(now()));
}

std::optional<qint64> AlarmWatch::waitedFor(const QString &imei) const
{
    const auto it = m_alarms.constFind(Key(imei));
    if (it == m_alarms.constEnd() || !it->taken.isValid())
        return std::nullopt;
    return qMax<qint64>(0, it->since.secsTo(it->taken));
}

void AlarmWatch::note(int row, const QDateTime &at, bool *seenNew, bool *changed)
{
    const ObjectListModel::Entry &entry = m_model.entry(row);
    const bool waiting = isWaitingCode(entry.code);
    const Key key(m_model.captionKeyAt(row), entry.caption);
    auto it = m_alarms.find(key);
    if (it == m_alarms.end() && !waiting)
        return;
    // Only the first entry of a caption stands for the object.
    if (!m_model.isFirstOfCaption(row))
        return;
    if (it == m_alarms.end()) {
        m_alarms.insert(key, Alarm{entry.caption, at, {}, entry.serial});
        ++m_waiting;
        *seenNew = true;
    } else if (waiting) {
        if (it->taken.isValid()) {
            // A new alarm after the last one was taken: it waits afresh.
            *it = Alarm{entry.caption, at, {}, entry.serial};
            ++m_waiting;
            *seenNew = true;
        }
    } else if (entry.code == StateModel::InProcessing) {
        if (!it->taken.isValid()) {
            it->taken = at;
            --m_waiting;
            *changed |= m_overdue.remove(entry.caption);
        }
    } else {
        // Processed, disarmed or gone from the link: this alarm is over.
        if (!it->taken.isValid())
            --m_waiting;
        *changed |= m_overdue.remove(entry.caption);
        m_alarms.erase(it);
    }
}

void AlarmWatch::rowsChanged(int first, int last)
{
    if (first < 0 || last >= m_model.rowCount() || first > last)
        return;
    const QDateTime at = now();
    bool seenNew = false;
    bool changed = false;
    if (qsizetype(last - first + 1) <= m_alarms.size() + 1) {
        // A notification changes one entry: a burst of them must not go
        // through every alarm each time.
        for (int row = first; row <= last; ++row)
            note(row, at, &seenNew, &changed);
    } else {
        // A load of the states reports the whole list: codes are looked at
        // row by row, the hash only for the alarms.
        for (int row = first; row <= last; ++row) {
            if (isWaitingCode(m_model.entry(row).code))
                note(row, at, &seenNew, &changed);
        }
        // Alarms whose entries no longer wait are noted after the walk:
        // noting may end them, which takes them out of the hash.
        std::vector<int> over;
        for (auto it = m_alarms.cbegin(); it != m_alarms.cend(); ++it) {
            const int row = rowOf(*it);
            if (row >= first && row <= last && !isWaitingCode(m_model.entry(row).code))
                over.push_back(row);
        }
        for (const int row : over)
            note(row, at, &seenNew, &changed);
    }
    if (seenNew && m_repeat->isActive())
        m_repeat->stop(); // the notification has just sounded: a full pause before the repeat
    followTimer();
    if (changed)
        emit marksChanged();
}

void AlarmWatch::forgetUnlisted()
{
    // An object no longer listed is no longer seen by this station.
    for (auto it = m_alarms.begin(); it != m_alarms.end();) {
        const int row = m_model.findFirst(it->imei);
        if (row >= 0) {
            it->entry = m_model.entry(row).serial;
            ++it;
            continue;
        }
        if (!it->taken.isValid())
            --m_waiting;
        it = m_alarms.erase(it);
    }
    followTimer();
    if (updateOverdue())
        emit marksChanged();
}

void AlarmWatch::followTimer()
{
    const bool wanted = m_repeatSeconds > 0 && waitingCount() > 0;
    if (!wanted)
        m_repeat->stop();
    else if (!m_repeat->isActive())
        m_repeat->start();
}

void AlarmWatch::repeatTick()
{
    if (m_repeatSeconds <= 0 || waitingCount() == 0) {
        m_repeat->stop();
        return;
    }
    // The sound of the most serious alarm waiting; codes without a sound of
    // their own remind with the alarm sound.
    int highest = -1;
    for (auto it = m_alarms.constBegin(); it != m_alarms.constEnd(); ++it) {
        const int row = m_model.findFirst(it->imei);
        if (!it->taken.isValid() && row >= 0)
            highest = qMax(highest, m_model.entry(row).code);
    }
    if (highest < 0)
        return;
    QString name = StateModel::Sound_Name(quint8(highest));
    if (name == StateModel::NoSound)
        name = StateModel::Sound_Name(quint8(StateModel::FirstAlarm));
    // Play_Sound keeps to the operator's sound switch.
    m_reports.Play_Sound(name);
}

bool AlarmWatch::updateOverdue()
{
    QSet<QString> overdue;
    const QDateTime at = now();
    for (auto it = m_alarms.constBegin(); it != m_alarms.constEnd(); ++it) {
        if (!it->taken.isValid() && it->since.secsTo(at) > m_overdueSeconds)
            overdue.insert(it->imei);
    }
    if (overdue == m_overdue)
        return false;
    m_overdue = overdue;
    return true;
}

void AlarmWatch::refresh()
{
    bool changed = updateOverdue();
    if (!m_overdue.isEmpty()) {
        m_blink = !m_blink;
        changed = true;
    } else if (m_blink) {
        m_blink = false;
    }
    if (changed)
        emit marksChanged();
    if (m_panel) {
        for (AlarmEntry *entry : m_panel->entries())
            entry->setAge(entryAge(entry->imei()));
    }
}

void AlarmWatch::watchPanel(AlarmPanel *panel)
{
    m_panel = panel;
    connect(panel, &AlarmPanel::entryOpened, this, &AlarmWatch::fillEntry);
}

void AlarmWatch::fillEntry(AlarmEntry *entry)
{
    entry->setTakenBy(takenByText(entry->imei()));
    entry->setAge(entryAge(entry->imei()));
}

std::optional<AlarmWatch::Taker> AlarmWatch::takenBy(const QString &imei)
{
    if (!m_state.Base_connected)
        return std::nullopt;
    Taker taker;
    QString date;
    const auto found = m_database.selectOne(JournalSql::lastTaken(m_database.escaper(), imei), [&](const DbRow &row) {
        taker.user = row.text(0);
        date = row.text(1);
    });
    if (found != Database::Lookup::Found)
        return std::nullopt;
    taker.when = QDateTime::fromString(date, JournalDate);
    if (taker.user.isEmpty() || !taker.when.isValid())
        return std::nullopt;
    const auto it = m_alarms.constFind(Key(imei));
    if (it != m_alarms.constEnd() && taker.when.secsTo(it->since) > ClockSlackSeconds)
        return std::nullopt;
    return taker;
}

QString AlarmWatch::takenByText(const QString &imei)
{
    const std::optional<Taker> taker = takenBy(imei);
    return taker ? takerText(*taker, now().toLocalTime().date()) : QString();
}

QString AlarmWatch::takerText(const Taker &taker, const QDate &today)
{
    const QString at = taker.when.date() == today ? taker.when.toString(QStringLiteral("HH:mm"))
                                                  : taker.when.toString(QStringLiteral("dd.MM.yyyy HH:mm"));
    return QStringLiteral("В обработке: ") + taker.user + QStringLiteral(" с ") + at;
}

QString AlarmWatch::hintLines(const QString &imei, int code)
{
    if (const auto waiting = waitingFor(imei))
        return QStringLiteral("Тревога ждёт ") + ageText(*waiting);
    if (code == StateModel::InProcessing)
        return takenByText(imei);
    return {};
}

QString AlarmWatch::entryAge(const QString &imei) const
{
    if (const auto waiting = waitingFor(imei))
        return QStringLiteral("Тревога ждёт ") + ageText(*waiting);
    if (const auto waited = waitedFor(imei))
        return QStringLiteral("Тревога ждала ") + ageText(*waited);
    return {};
}

QString AlarmWatch::ageText(qint64 seconds)
{
    seconds = qMax<qint64>(0, seconds);
    if (seconds < 60)
        return QString::number(seconds) + QStringLiteral(" с");
    const qint64 minutes = seconds / 60;
    if (minutes < 60)
        return QString::number(minutes) + QStringLiteral(" мин");
    return QString::number(minutes / 60) + QStringLiteral(" ч ") + QString::number(minutes % 60) + QStringLiteral(" мин");
}
