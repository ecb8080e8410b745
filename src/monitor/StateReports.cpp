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
    emit messagesRefreshRequested(m_objects.hasSelection() ? imei : AllKey);
    // The journal's top-up does not touch the list, but find the entry anew
    // all the same rather than trust a row across a call into another part.
    const int entry = m_objects.findEntry(imei);
    if (entry >= 0)
        m_objects.setEntryState(entry, code);
    m_objects.Sort_Objects();
    Play_Sound(StateModel::Sound_Name(code));
}

void StateReports::Save_State(const QString &imei, quint8 code)
{
    const int row = m_objects.findEntry(imei);
    if (row >= 0)
        m_objects.setEntryState(row, code);
    if (!m_database.exec(ObjectSql::saveState(m_database.escaper(), imei, code)))
        m_database.showError(m_state.dialogs, m_objects.window());
    m_objects.Sort_Objects();
    m_link.Send_State(imei, code);
}

int StateReports::Get_Guard_State(const QString &imei)
{
    if (!m_state.Base_connected)
        return 0;
    QString guard;
    m_database.value(ObjectSql::guardState(m_database.escaper(), imei), &guard);
    return StateModel::stateCode(guard);
}

void StateReports::Save_Event(const QString &imei, const QString &text)
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
        m_database.showError(m_state.dialogs, m_objects.window(), QStringLiteral("Ошибка при добавлении данных"));
    emit messagesRequested(imei);
}

void StateReports::Play_Sound(const QString &name)
{
    if (name == StateModel::NoSound || !m_state.Sound_on)
        return;
    m_player->play(m_state.homeFile(name + QStringLiteral(".wav")));
}
