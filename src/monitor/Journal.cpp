#include "Journal.h"

#include "Database.h"
#include "Dialogs.h"
#include "JournalModel.h"
#include "MonitoringSession.h"
#include "StationState.h"
#include "WidgetFactory.h"

#include <QDateTimeEdit>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QSet>
#include <QTableView>
#include <QVBoxLayout>

namespace {

QString pickerText(const QDateTimeEdit *picker)
{
    return picker->dateTime().toString(Journal::DateFormat);
}

// IMEI, Type, User and most events repeat from row to row; sharing one copy
// of each keeps a long journal small, and a reload does not have to free
// every one of them again. Texts are looked up by their bytes as the
// database hands them over, so a repeated one costs no conversion and no
// allocation.
class Interner
{
public:
    QString operator()(QByteArrayView bytes)
    {
        // A key over the row's own bytes, not copied, just for the lookup.
        const auto known = m_texts.constFind(QByteArray::fromRawData(bytes.data(), bytes.size()));
        if (known != m_texts.constEnd())
            return *known;
        const QString text = QString::fromUtf8(bytes);
        m_texts.insert(bytes.toByteArray(), text);
        return text;
    }

private:
    QHash<QByteArray, QString> m_texts;
};

// Fitting looks at this many of the newest rows: those an operator reads,
// and a long journal is not measured row by row after every selection.
constexpr int FitRows = 300;

// Rows cut off midway are told once until a load or top-up succeeds: the
// station tries again by itself while the database is back but failing.
const QString JournalCut = QStringLiteral("journal-cut");

QList<JournalRow> fetch(Database &database, Dialogs *dialogs, const QString &sql, QWidget *window, bool *accepted)
{
    QList<JournalRow> rows;
    Interner shared;
    // Streamed: the rows are taken while the server is still sending them.
    const auto outcome = database.forEach(
        sql,
        [&rows, &shared](const DbRow &row) {
            rows.append(JournalRow{shared(row.view(0)), row.text(1), shared(row.view(2)), shared(row.view(3)),
                                   shared(row.view(4))});
            return true;
        },
        Database::Fetch::Streamed);
    // Rows cut off by a lost connection are not the journal: shown, they
    // would pass for all there is.
    if (outcome == Database::Rows::Cut && dialogs)
        dialogs->notice(window, JournalCut, database.errorMessage());
    *accepted = outcome == Database::Rows::Ok;
    return rows;
}

} // namespace

Journal::Journal(StationState &state, Database &database, MonitoringSession &session, QWidget *parent)
    : QFrame(parent)
    , m_state(state)
    , m_database(database)
    , m_session(session)
    , m_model(new JournalModel(this))
{
    setObjectName(QStringLiteral("Panel2"));
    setFrameShape(QFrame::StyledPanel);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    Label2 = captionLabel(QStringLiteral("  Сообщения от объекта"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    layout->addWidget(Label2);
    Panel7 = new QFrame(this);
    Panel7->setObjectName(QStringLiteral("Panel7"));
    auto *period = new QHBoxLayout(Panel7);
    period->setContentsMargins(0, 0, 0, 0);
    const auto picker = [this](const char *name) {
        auto *edit = new QDateTimeEdit(Panel7);
        edit->setObjectName(QLatin1String(name));
        edit->setDisplayFormat(DateFormat);
        edit->setCalendarPopup(true);
        // A typed date reloads once it is complete, not at every digit.
        edit->setKeyboardTracking(false);
        return edit;
    };
    StartDate = picker("StartDate");
    EndDate = picker("EndDate");
    period->addWidget(new QLabel(QStringLiteral("Период с"), Panel7));
    period->addWidget(StartDate);
    period->addWidget(new QLabel(QStringLiteral("до"), Panel7));
    period->addWidget(EndDate);
    period->addStretch(1);
    layout->addWidget(Panel7);
    StringGrid1 = new QTableView(this);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    layout->addWidget(StringGrid1, 1);

    // The view does not delete the selection model of a model it lets go of.
    QItemSelectionModel *oldSelection = StringGrid1->selectionModel();
    StringGrid1->setModel(m_model);
    delete oldSelection;

    StringGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    StringGrid1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->setShowGrid(true);
    StringGrid1->setWordWrap(false);
    StringGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    // Each column at least as wide as its heading, the IMEI and the time at
    // least as wide as their texts in the desktop's font; the last one takes
    // what is left.
    const QFontMetrics metrics = StringGrid1->fontMetrics();
    const int padding = 2 * metrics.averageCharWidth();
    const int fits[5] = {metrics.horizontalAdvance(QStringLiteral("000000000000000")) + padding,
                         metrics.horizontalAdvance(QStringLiteral("0000-00-00 00:00:00")) + padding, 0, 0, 0};
    for (int column = 0; column < 5; ++column) {
        const int heading = StringGrid1->horizontalHeader()->sectionSizeHint(column);
        m_minWidths[column] = qMax(qMax(ColumnWidths[column], heading), fits[column]);
        StringGrid1->setColumnWidth(column, m_minWidths[column]);
    }
    // The message column, not the user's, takes the width left: the text
    // is what the operator reads.
    StringGrid1->horizontalHeader()->setStretchLastSection(false);
    m_messageFit = StringGrid1->columnWidth(JournalModel::EventColumn);
    m_gridViewport = StringGrid1->viewport();
    m_gridViewport->installEventFilter(this);
    QHeaderView *rows = StringGrid1->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setMinimumSectionSize(RowHeight);
    // Sixteen pixels, unless the desktop's font would not fit into them.
    rows->setDefaultSectionSize(qMax(RowHeight, StringGrid1->fontMetrics().height() + 2));
    connect(StringGrid1, &QAbstractItemView::doubleClicked, this, &Journal::StringGrid1DblClick);

    showPeriod();
    const auto edited = [this] {
        if (!m_settingPeriod)
            m_session.setPeriod(StartDate->dateTime(), EndDate->dateTime(), true);
    };
    connect(StartDate, &QDateTimeEdit::dateTimeChanged, this, edited);
    connect(EndDate, &QDateTimeEdit::dateTimeChanged, this, edited);
    connect(&m_session, &MonitoringSession::periodChanged, this, [this](bool byOperator) {
        showPeriod();
        if (byOperator)
            StartDateChange();
    });
}

void Journal::Load_Messages(const QString &key, bool useEnd)
{
    const GroupChoice &groups = m_session.groupChoice();
    QString title;
    if (key != AllKey)
        title = QStringLiteral("Сообщения от объекта ") + key;
    else if (groups.text == AllGroups)
        title = QStringLiteral("Сообщения от объектов группы Все");
    else
        title = QStringLiteral("Сообщения от объектов группы ") + groups.text;

    const QString sql = JournalSql::loadMessages(m_database.escaper(), key, groups, m_state.Full_rights,
                                                 pickerText(StartDate),
                                                 useEnd ? std::optional<QString>(pickerText(EndDate)) : std::nullopt);
    bool accepted = false;
    QList<JournalRow> rows;
    if (m_state.Base_connected)
        rows = fetch(m_database, m_state.dialogs, sql, this, &accepted);
    noteOutcome(accepted, Pending::Load, key, useEnd);
    // A refused statement leaves the rows shown as they are, and with them
    // the title that says what they are.
    if (!accepted)
        return;
    Label2->setText(title);
    m_model->load(std::move(rows));
    m_shown = Shown{key, groups, m_state.Full_rights};
    fitColumns();
}

int Journal::columnCap() const
{
    return 32 * StringGrid1->fontMetrics().averageCharWidth();
}

int Journal::messageCap() const
{
    return 100 * StringGrid1->fontMetrics().averageCharWidth();
}

void Journal::fitColumns()
{
    const QFontMetrics metrics = StringGrid1->fontMetrics();
    // As the grid's own cells pad their text, with a little to spare.
    const int padding = 2 * metrics.averageCharWidth();
    const int rows = qMin(m_model->shownCount(), FitRows);
    for (int column = 0; column < JournalModel::ColumnCount; ++column) {
        // Never narrower than designed: a short text leaves the column as
        // the operator knows it.
        int width = m_minWidths[column];
        for (int row = 0; row < rows; ++row) {
            const QString text = m_model->index(row, column).data().toString();
            width = qMax(width, metrics.horizontalAdvance(text) + padding);
        }
        const int cap = qMax(m_minWidths[column], column == JournalModel::EventColumn ? messageCap() : columnCap());
        if (column == JournalModel::EventColumn)
            m_messageFit = qMin(width, cap);
        else
            StringGrid1->setColumnWidth(column, qMin(width, cap));
    }
    fillWithMessages();
}

void Journal::fillWithMessages()
{
    int others = 0;
    for (int column = 0; column < JournalModel::ColumnCount; ++column) {
        if (column != JournalModel::EventColumn)
            others += StringGrid1->columnWidth(column);
    }
    const int room = StringGrid1->viewport()->width() - others;
    StringGrid1->setColumnWidth(JournalModel::EventColumn, qMax(m_messageFit, room));
}

bool Journal::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_gridViewport && event->type() == QEvent::Resize)
        fillWithMessages();
    return QFrame::eventFilter(watched, event);
}

void Journal::Refresh_Messages(const QString &key)
{
    // The journal has not been loaded since the start: a load under its own
    // title, rather than rows under the design text.
    if (!m_shown) {
        Load_Messages(key, false);
        return;
    }
    const QString from = m_model->topUpFrom();
    const QString start = pickerText(StartDate);
    // With nothing shown yet, the rows not shown are those of the period.
    const QString sql = from.isEmpty()
        ? JournalSql::loadMessages(m_database.escaper(), m_shown->key, m_shown->groups, m_shown->fullRights, start)
        : JournalSql::refreshMessages(m_database.escaper(), m_shown->key, m_shown->groups, m_shown->fullRights, start,
                                      from);
    // The load that waits covers this top-up's rows as well.
    if (m_pending == Pending::Load) {
        if (m_state.Base_connected)
            catchUp();
        return;
    }
    bool accepted = false;
    QList<JournalRow> rows;
    if (m_state.Base_connected)
        rows = fetch(m_database, m_state.dialogs, sql, this, &accepted);
    noteOutcome(accepted, Pending::TopUp, key);
    if (accepted)
        m_model->prepend(std::move(rows));
}

void Journal::noteOutcome(bool ran, Pending what, const QString &key, bool useEnd)
{
    const bool wasBehind = isBehind();
    if (ran) {
        // A top-up that ran does not do a load's work.
        if (what == Pending::Load || m_pending == Pending::TopUp)
            m_pending = Pending::None;
        if (!isBehind())
            m_lastError.clear();
        if (m_state.dialogs)
            m_state.dialogs->settle(JournalCut);
    } else {
        if (what == Pending::Load || m_pending == Pending::None) {
            m_pending = what;
            m_pendingKey = key;
            m_pendingUseEnd = useEnd;
        }
        m_lastError = m_database.errorMessage();
    }
    if (wasBehind != isBehind())
        emit behindChanged(isBehind());
}

void Journal::catchUp()
{
    const QString key = m_pendingKey;
    switch (m_pending) {
    case Pending::None:
        break;
    case Pending::TopUp:
        Refresh_Messages(key);
        break;
    case Pending::Load:
        Load_Messages(key, m_pendingUseEnd);
        break;
    }
}

void Journal::StartDateChange()
{
    if (m_session.hasSelection())
        Load_Messages(m_state.Selected_IMEI, true);
    else
        Load_Messages(AllKey, true);
}

void Journal::showPeriod()
{
    m_settingPeriod = true;
    EndDate->setDateTime(m_session.periodEnd());
    StartDate->setDateTime(m_session.periodStart());
    m_settingPeriod = false;
}

void Journal::StringGrid1DblClick(const QModelIndex &index)
{
    // The blank row of an empty journal is no row of the table.
    if (!index.isValid() || index.model() != m_model || index.row() >= m_model->shownCount())
        return;
    const JournalRow &row = m_model->row(index.row());
    if (!JournalModel::mentionsFrame(row.Event))
        return;
    emit frameRequested(row.IMEI, row.Date);
}
