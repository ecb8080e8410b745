#include "StateReports.h"

#include "Database.h"
#include "Dialogs.h"
#include "ObjectList.h"
#include "ObjectSql.h"
#include "ServerLink.h"
#include "SoundPlayer.h"
#include "StateModel.h"
#include "StationState.h"

StateReports::StateReports(StationState &state, Database &database, ServerLink &link, ObjectList &objects,
                           SoundPlayer &player, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_database(database)
    , m_link(link)
    , m_objects(objects)
    , m_player(&player)
{
}

void StateReports::On_State_Report(const QString &imei, quint8 code)
{
    // Objects outside the group choice are not this station's concern now.
    const int row = m_objects.findEntry(imei);
    if (row < 0)
        return;
    // The journal tops up what it shows; the key says what it would show,
    // the selected object or the group choice, never the notifying object.
    emit messagesRefreshRequested(m_objects.hasSelection() ? m_state.Selected_IMEI : AllKey);
    // The journal's top-up does not touch the list, but find the entry anew
    // all the same rather than trust a row across a call into another part.
    const int entry = m_objects.findEntry(imei);
    if (entry >= 0)
        m_objects.setEntryState(entry, code);
    m_objects.Sort_Objects();
    Play_Sound(StateModel::Sound_Name(code));
}

bool StateReports::Save_State(const QString &imei, quint8 code)
{
    if (!storeState(imei, code))
        return false;
    announceState(imei, code);
    return true;
}

bool StateReports::storeState(const QString &imei, quint8 code)
{
    if (m_database.exec(ObjectSql::saveState(m_database.escaper(), imei, code)))
        return true;
    // A change the database does not hold would show here and at every
    // station, and be gone at the next reload: it is not made at all.
    reportError(QStringLiteral("Действие не сохранено: состояние объекта не записано в базу данных."));
    return false;
}

void StateReports::announceState(const QString &imei, quint8 code)
{
    const int row = m_objects.findEntry(imei);
    if (row >= 0)
        m_objects.setEntryState(row, code);
    m_objects.Sort_Objects();
    m_link.Send_State(imei, code);
}

std::optional<int> StateReports::Get_Guard_State(const QString &imei)
{
    if (!m_state.Base_connected)
        return std::nullopt;
    QString guard;
    if (m_database.value(ObjectSql::guardState(m_database.escaper(), imei), &guard) != Database::Lookup::Found)
        return std::nullopt;
    if (guard == QLatin1String("0"))
        return 0;
    if (guard == QLatin1String("1"))
        return 1;
    return std::nullopt;
}

StateReports::Step::Step(StateReports &reports)
    : m_reports(reports)
{
    ++m_reports.m_steps;
}

StateReports::Step::~Step()
{
    if (--m_reports.m_steps > 0 || m_reports.m_errors.isEmpty())
        return;
    const QString text = m_reports.m_errors.join(QLatin1String("\n\n"));
    m_reports.m_errors.clear();
    if (m_reports.m_state.dialogs)
        m_reports.m_state.dialogs->message(m_reports.m_objects.window(), text);
}

void StateReports::reportError(const QString &prefix)
{
    if (m_steps == 0) {
        m_database.showError(m_state.dialogs, m_objects.window(), prefix);
        return;
    }
    m_errors << m_database.errorMessage(prefix);
}

bool StateReports::Save_Event(const QString &imei, const QString &text)
{
    QString group;
    const auto found = m_database.value(ObjectSql::objectGroup(m_database.escaper(), imei), &group);
    // An object whose row has gone is still journaled, without a group: the
    // operator's handling of it must not vanish.
    bool written = found != Database::Lookup::Failed;
    if (written) {
        // The clock has not ticked yet only in the first second after start;
        // a row dated 0000-00-00 would never show in any period.
        const QDateTime when = m_state.Clock.isValid() ? m_state.Clock : QDateTime::currentDateTime();
        written = m_database.exec(ObjectSql::insertEvent(m_database.escaper(), imei, when, text, group, m_state.Login));
    }
    if (!written)
        reportError(QStringLiteral("Ошибка при добавлении данных"));
    emit messagesRequested(imei);
    return written;
}

void StateReports::Play_Sound(const QString &name)
{
    if (name == StateModel::NoSound || !m_state.Sound_on)
        return;
    m_player->play(m_state.homeFile(name + QStringLiteral(".wav")));
}
