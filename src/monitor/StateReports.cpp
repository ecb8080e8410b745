#include "StateReports.h"

#include "Clock.h"
#include "Database.h"
#include "Dialogs.h"
#include "ObjectList.h"
#include "ObjectSql.h"
#include "ServerLink.h"
#include "SoundPlayer.h"
#include "StateModel.h"
#include "StationState.h"

#include <utility>

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
    return Save_Step(imei, code, {});
}

namespace {

const QString StateNotStored = QStringLiteral("Действие не сохранено: состояние объекта не записано в базу данных.");
const QString RowNotStored = QStringLiteral("Ошибка при добавлении данных");

} // namespace

bool StateReports::Save_Step(const QString &imei, std::optional<quint8> code, const QString &event)
{
    StepWrites step;
    step.imei = imei;
    step.code = code;
    step.event = event;
    // The clock has not ticked yet only in the first second after start;
    // a row dated 0000-00-00 would never show in any period.
    step.when = m_state.Clock.isValid() ? m_state.Clock : Clock::now();
    Stored stored = storeStep(step);
    if (stored == Stored::Unknown)
        stored = readBack(step);
    switch (stored) {
    case Stored::Yes:
        if (code)
            announce(imei, *code);
        break;
    case Stored::No:
        // A change the database does not hold would show here and at every
        // station, and be gone at the next reload: it is not made at all.
        if (step.why.isEmpty())
            reportError(code ? StateNotStored : RowNotStored);
        else
            report((code ? StateNotStored : RowNotStored) + QLatin1Char('\n') + step.why);
        break;
    case Stored::Unknown:
        report(QStringLiteral("Соединение с базой данных прервалось, и неизвестно, сохранено ли действие по объекту ")
               + imei
               + QStringLiteral(".\nДо ответа базы данных оно не показано выполненным; когда база данных ответит, "
                                "станция узнает, сохранено ли оно, и перечитает состояния объектов."));
        m_openSteps << step;
        emit statesUncertain();
        break;
    }
    if (!event.isEmpty())
        emit messagesRequested(imei);
    return stored == Stored::Yes;
}

void StateReports::settleOpenSteps()
{
    const QList<StepWrites> open = std::exchange(m_openSteps, {});
    for (StepWrites step : open) {
        switch (readBack(step)) {
        case Stored::Unknown:
            m_openSteps << step;
            break;
        case Stored::Yes:
            // What the database holds now, which a later step may have
            // changed again.
            if (step.code && step.settledState >= 0)
                announce(step.imei, quint8(step.settledState));
            report(QStringLiteral("Ответ базы данных получен: действие по объекту %1 сохранено.").arg(step.imei));
            break;
        case Stored::No:
            report(QStringLiteral("Ответ базы данных получен: действие по объекту %1 не сохранено.").arg(step.imei));
            break;
        }
    }
    if (open.size() != m_openSteps.size())
        emit messagesRefreshRequested(m_objects.hasSelection() ? m_state.Selected_IMEI : AllKey);
}

void StateReports::announce(const QString &imei, quint8 code)
{
    const int row = m_objects.findEntry(imei);
    if (row >= 0)
        m_objects.setEntryState(row, code);
    m_objects.Sort_Objects();
    m_link.Send_State(imei, code);
}

StateReports::Stored StateReports::storeStep(StepWrites &step)
{
    if (!m_database.begin())
        return Stored::No;
    const SqlEscaper q = m_database.escaper();
    // The object's row is held for the step: the group its row is filed
    // under, and the count of twins of the row, are those the step commits
    // with.
    QString group;
    if (m_database.value(ObjectSql::lockObjectGroup(q, step.imei), &group) == Database::Lookup::Failed) {
        m_database.rollback();
        return Stored::No;
    }
    if (!step.event.isEmpty()) {
        QString count;
        if (m_database.value(ObjectSql::countEvents(q, step.imei, step.when, step.event, m_state.Login), &count)
            != Database::Lookup::Found) {
            m_database.rollback();
            return Stored::No;
        }
        step.rowsBefore = count.toLongLong();
    }
    // An object whose row has gone is still journaled, without a group: the
    // operator's handling of it must not vanish.
    if ((step.code && !m_database.exec(ObjectSql::saveState(q, step.imei, *step.code)))
        || (!step.event.isEmpty()
            && !m_database.exec(ObjectSql::insertEvent(q, step.imei, step.when, step.event, group, m_state.Login)))) {
        m_database.rollback();
        return Stored::No;
    }
    switch (m_database.commit()) {
    case Database::Commit::Done:
        return Stored::Yes;
    case Database::Commit::Refused:
        return Stored::No;
    case Database::Commit::AnswerLost:
        break;
    }
    step.lost = m_database.lostCommit();
    step.why = m_database.errorText();
    return Stored::Unknown;
}

StateReports::Stored StateReports::readBack(StepWrites &step)
{
    if (!m_database.settleLostCommit(step.lost))
        return Stored::Unknown;
    // Waits for the old session's transaction to end, if it has not yet.
    QString state;
    const Database::Lookup row = m_database.value(ObjectSql::settledState(m_database.escaper(), step.imei), &state);
    if (row == Database::Lookup::Failed)
        return Stored::Unknown;
    bool number = false;
    step.settledState = row == Database::Lookup::Found ? state.toInt(&number) : -1;
    if (!number || step.settledState < 0 || step.settledState > 255)
        step.settledState = -1;
    if (!step.event.isEmpty()) {
        // The row and the state went in together, or neither did.
        QString count;
        if (m_database.value(ObjectSql::countEvents(m_database.escaper(), step.imei, step.when, step.event,
                                                    m_state.Login),
                             &count)
            != Database::Lookup::Found)
            return Stored::Unknown;
        return count.toLongLong() > step.rowsBefore ? Stored::Yes : Stored::No;
    }
    // Without a row of its own, the step is done when the database holds
    // its state, whoever stored it.
    return row == Database::Lookup::Missing || step.settledState == *step.code ? Stored::Yes : Stored::No;
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
    report(m_database.errorMessage(prefix));
}

void StateReports::report(const QString &text)
{
    if (m_steps > 0) {
        m_errors << text;
        return;
    }
    if (m_state.dialogs)
        m_state.dialogs->message(m_objects.window(), text);
}

bool StateReports::Save_Event(const QString &imei, const QString &text)
{
    return Save_Step(imei, std::nullopt, text);
}

void StateReports::Play_Sound(const QString &name)
{
    if (name == StateModel::NoSound || !m_state.Sound_on)
        return;
    m_player->play(m_state.homeFile(name + QStringLiteral(".wav")));
}
