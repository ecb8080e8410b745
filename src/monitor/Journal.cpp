#include "Journal.h"

#include "Database.h"
#include "JournalModel.h"
#include "StationState.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QSet>
#include <QTableView>

namespace {

QString pickerText(const QDateTimeEdit *picker)
{
    return picker->dateTime().toString(Journal::DateFormat);
}

// IMEI, Type, User and most events repeat from row to row; sharing one copy
// of each keeps a long journal small, and a reload does not have to free
// every one of them again.
class Interner
{
public:
    QString operator()(QString text)
    {
        const auto known = m_texts.constFind(text);
        if (known != m_texts.constEnd())
            return *known;
        m_texts.insert(text);
        return text;
    }

private:
    QSet<QString> m_texts;
};

QList<JournalRow> fetch(Database &database, Dialogs *dialogs, const QString &sql, QWidget *window, bool *accepted)
{
    QList<JournalRow> rows;
    Interner shared;
    const auto outcome = database.forEach(sql, [&rows, &shared](const DbRow &row) {
        rows.append(JournalRow{shared(row.text(0)), row.text(1), shared(row.text(2)), shared(row.text(3)),
                               shared(row.text(4))});
        return true;
    });
    // Rows cut off by a lost connection are not the journal: shown, they
    // would pass for all there is.
    if (outcome == Database::Rows::Cut)
        database.showError(dialogs, window);
    *accepted = outcome == Database::Rows::Ok;
    return rows;
}

} // namespace

Journal::Journal(StationState &state, Database &database, QTableView *StringGrid1, QDateTimeEdit *StartDate,
                 QDateTimeEdit *EndDate, QLabel *title, QWidget *window)
    : QObject(window)
    , m_state(state)
    , m_database(database)
    , m_grid(StringGrid1)
    , m_start(StartDate)
    , m_end(EndDate)
    , m_title(title)
    , m_window(window)
    , m_model(new JournalModel(this))
{
    // The view does not delete the selection model of a model it lets go of.
    QItemSelectionModel *oldSelection = m_grid->selectionModel();
    m_grid->setModel(m_model);
    delete oldSelection;

    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setShowGrid(true);
    m_grid->setWordWrap(false);
    m_grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    // Each column at least as wide as its heading, the IMEI and the time at
    // least as wide as their texts in the desktop's font; the last one takes
    // what is left.
    const QFontMetrics metrics = m_grid->fontMetrics();
    const int padding = 2 * metrics.averageCharWidth();
    const int fits[5] = {metrics.horizontalAdvance(QStringLiteral("000000000000000")) + padding,
                         metrics.horizontalAdvance(QStringLiteral("0000-00-00 00:00:00")) + padding, 0, 0, 0};
    for (int column = 0; column < 5; ++column) {
        const int heading = m_grid->horizontalHeader()->sectionSizeHint(column);
        m_grid->setColumnWidth(column, qMax(qMax(ColumnWidths[column], heading), fits[column]));
    }
    m_grid->horizontalHeader()->setStretchLastSection(true);
    QHeaderView *rows = m_grid->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setMinimumSectionSize(RowHeight);
    // Sixteen pixels, unless the desktop's font would not fit into them.
    rows->setDefaultSectionSize(qMax(RowHeight, m_grid->fontMetrics().height() + 2));
    connect(m_grid, &QAbstractItemView::doubleClicked, this, &Journal::StringGrid1DblClick);

    for (QDateTimeEdit *picker : {m_start, m_end}) {
        picker->setDisplayFormat(DateFormat);
        // A typed date reloads once it is complete, not at every digit.
        picker->setKeyboardTracking(false);
    }
    setPeriod(QDateTime(QDate(2011, 9, 1), QTime(0, 0, 0)), QDateTime(QDate(2011, 9, 1), QTime(23, 59, 59)));
    const auto edited = [this] {
        if (!m_settingPeriod)
            StartDateChange();
    };
    connect(m_start, &QDateTimeEdit::dateTimeChanged, this, edited);
    connect(m_end, &QDateTimeEdit::dateTimeChanged, this, edited);
}

void Journal::setGroupSelector(const QComboBox *ComboBox1)
{
    m_groups = ComboBox1;
}

void Journal::setObjectSelected(std::function<bool()> test)
{
    m_objectSelected = std::move(test);
}

GroupChoice Journal::groupChoice() const
{
    GroupChoice choice;
    if (!m_groups)
        return choice;
    choice.text = m_groups->currentText();
    for (int i = 0; i < m_groups->count(); ++i)
        choice.items << m_groups->itemText(i);
    return choice;
}

bool Journal::objectSelected() const
{
    return m_objectSelected ? m_objectSelected() : !m_state.Selected_IMEI.isEmpty();
}

void Journal::Load_Messages(const QString &key, bool useEnd)
{
    const GroupChoice groups = groupChoice();
    if (key != AllKey)
        m_title->setText(QStringLiteral("Сообщения от объекта ") + key);
    else if (groups.text == AllGroups)
        m_title->setText(QStringLiteral("Сообщения от объектов группы Все"));
    else
        m_title->setText(QStringLiteral("Сообщения от объектов группы ") + groups.text);

    const QString sql = JournalSql::loadMessages(m_database.escaper(), key, groups, pickerText(m_start),
                                                 useEnd ? std::optional<QString>(pickerText(m_end)) : std::nullopt);
    if (!m_state.Base_connected)
        return;
    bool accepted = false;
    QList<JournalRow> rows = fetch(m_database, m_state.dialogs, sql, m_window, &accepted);
    // A refused statement leaves the rows shown as they are; rows cut off
    // midway have been reported and are shown as far as they came.
    if (accepted)
        m_model->load(std::move(rows));
}

void Journal::Refresh_Messages(const QString &key)
{
    // With nothing shown yet, "newer than the newest row" means the period.
    const QString newest = m_model->isEmpty() ? pickerText(m_start) : m_model->row(0).Date;
    const QString sql = JournalSql::refreshMessages(m_database.escaper(), key, groupChoice(), newest);
    if (!m_state.Base_connected)
        return;
    bool accepted = false;
    QList<JournalRow> rows = fetch(m_database, m_state.dialogs, sql, m_window, &accepted);
    if (accepted)
        m_model->prepend(std::move(rows));
}

void Journal::StartDateChange()
{
    if (objectSelected())
        Load_Messages(m_state.Selected_IMEI, true);
    else
        Load_Messages(AllKey, true);
}

void Journal::setLastDay(const QDateTime &now)
{
    setPeriod(now.addDays(-1), now);
}

void Journal::setPeriod(const QDateTime &start, const QDateTime &end)
{
    m_settingPeriod = true;
    m_end->setDateTime(end);
    m_start->setDateTime(start);
    m_settingPeriod = false;
}

void Journal::StringGrid1DblClick(const QModelIndex &index)
{
    if (!index.isValid() || index.model() != m_model)
        return;
    const JournalRow &row = m_model->row(index.row());
    if (!JournalModel::mentionsFrame(row.Event))
        return;
    emit frameRequested(row.IMEI, row.Date);
}
