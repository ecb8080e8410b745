#include "AlarmPanel.h"

#include "AlarmEntry.h"

#include "Database.h"
#include "Dialogs.h"
#include "JournalSql.h"
#include "MonitoringSession.h"
#include "ObjectSql.h"
#include "StateIcons.h"
#include "StateModel.h"
#include "StateReports.h"
#include "StationState.h"

#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QString Processed = QStringLiteral("Обработана");
const QString CloseEntry = QStringLiteral("Закрыть");
const QString LineLabels[4] = {QStringLiteral("Адрес:"), QStringLiteral("Уточнение:"), QStringLiteral("Контакт:"),
                               QStringLiteral("Тел.:")};

} // namespace

AlarmPanel::AlarmPanel(StationState &state, Database &database, StateReports &reports, MonitoringSession &session,
                       QWidget *parent)
    : QScrollArea(parent)
    , m_state(state)
    , m_database(database)
    , m_reports(reports)
    , m_session(session)
    , m_stack(new QWidget)
{
    setObjectName(QStringLiteral("RzGroupBar1"));
    setWidgetResizable(true);
    m_stack->setObjectName(QStringLiteral("alarmStack"));
    m_stackLayout = new QVBoxLayout(m_stack);
    m_stackLayout->setContentsMargins(0, 0, 0, 0);
    m_stackLayout->setSpacing(2);
    m_stackLayout->addStretch(1);
    setWidget(m_stack);
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    Load_PopupMenu();
}

AlarmEntry *AlarmPanel::entry(const QString &imei) const
{
    for (AlarmEntry *e : entries()) {
        if (e->imei() == imei)
            return e;
    }
    return nullptr;
}

QList<AlarmEntry *> AlarmPanel::entries() const
{
    QList<AlarmEntry *> out;
    for (int i = 0; i < m_stackLayout->count(); ++i) {
        if (auto *e = qobject_cast<AlarmEntry *>(m_stackLayout->itemAt(i)->widget()))
            out << e;
    }
    return out;
}

void AlarmPanel::Add_Alarm(const QString &imei, const QString &stateText)
{
    if (entry(imei))
        return;
    auto *e = new AlarmEntry(imei, StateIcons::ImageList1().at(StateModel::AlarmImage), m_stack);
    connect(e, &AlarmEntry::menuRequested, this, &AlarmPanel::showMenu);

    QStringList values;
    const auto found = m_database.selectOne(ObjectSql::alarmAddress(m_database.escaper(), imei), [&](const DbRow &row) {
        for (unsigned int c = 0; c < 4; ++c)
            values << row.text(c);
    });
    for (int n = 0; n < 4; ++n) {
        // A rejected query, or no row for the object, leaves the bare labels.
        if (found == Database::Lookup::Found)
            e->setLine(n, LineLabels[n] + QLatin1Char(' ') + values.at(n));
        else
            e->setLine(n, LineLabels[n]);
    }
    e->setLine(4, QStringLiteral("Тревога: ") + StateModel::Event_Text(StateModel::stateCode(stateText)));

    m_stackLayout->insertWidget(m_stackLayout->count() - 1, e);
    m_session.setAlarmsOpen(true);

    const StateReports::Step step(m_reports);
    // Taken into processing only when the database holds the state and the
    // row; otherwise the alarm stays as it was, without an entry, to be
    // taken again.
    const QString taken =
        StateModel::stateCode(stateText) != StateModel::InProcessing ? JournalSql::TakenEvent : QString();
    if (!m_reports.Save_Step(imei, StateModel::InProcessing, taken)) {
        CloseGroup(e);
        return;
    }
    emit entryOpened(e);
}

void AlarmPanel::Load_PopupMenu()
{
    PopupMenu1->clear();
    const auto add = [this](const QString &caption) {
        // A canned text is text: its "&" is no mnemonic. The action keeps
        // the text itself for the comment.
        QAction *action = PopupMenu1->addAction(QString(caption).replace(QLatin1Char('&'), QLatin1String("&&")));
        action->setData(caption);
        connect(action, &QAction::triggered, this, [this, action] {
            if (!m_popupComponent)
                return;
            // The fixed item "Закрыть" closes; a canned text of the same
            // name is a comment like any other.
            if (action->property("closes").toBool())
                CloseGroup(m_popupComponent);
            else
                PMSelect(action->data().toString(), m_popupComponent);
        });
        return action;
    };
    add(Processed);
    add(CloseEntry)->setProperty("closes", true);
    if (!m_state.Base_connected)
        return;
    QStringList texts;
    const auto rows = m_database.forEach(ObjectSql::cannedTexts(), [&](const DbRow &row) {
        texts << row.text(0);
        return true;
    });
    if (rows != Database::Rows::Ok)
        m_database.showError(m_state.dialogs, window());
    for (const QString &text : texts)
        add(text);
}

void AlarmPanel::showMenu(AlarmEntry *e, const QPoint &globalPos)
{
    m_popupComponent = e;
    PopupMenu1->popup(globalPos);
}

void AlarmPanel::PMSelect(const QString &caption, AlarmEntry *e)
{
    const QString imei = e->imei();
    const StateReports::Step step(m_reports);
    if (caption == Processed) {
        // The guard flag decides between disarmed and armed; without it the
        // alarm stays in processing and the operator is told, rather than
        // every station hearing a guess.
        const std::optional<int> guard = m_reports.Get_Guard_State(imei);
        if (!guard) {
            if (m_state.dialogs)
                m_state.dialogs->message(window(), QStringLiteral("Не удается прочитать состояние охраны объекта ") + imei
                                                       + QStringLiteral(": тревога остается в обработке"));
            return;
        }
        // An alarm the database still holds in processing is not called
        // processed anywhere, its entry included.
        const auto code = static_cast<quint8>(*guard + 1);
        if (m_reports.Save_Step(imei, code, QStringLiteral("Тревога обработана")))
            e->setLine(4, caption);
        return;
    }
    // A comment shows in the entry once the journal holds it.
    if (caption == CloseEntry || m_reports.Save_Event(imei, caption))
        e->setLine(4, caption);
}

void AlarmPanel::CloseGroup(AlarmEntry *e)
{
    m_stackLayout->removeWidget(e);
    e->hide();
    e->deleteLater();
    if (entries().isEmpty())
        m_session.setAlarmsOpen(false);
}
