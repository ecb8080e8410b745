#include "ObjectList.h"

#include "Clock.h"
#include "Database.h"
#include "Dialogs.h"
#include "MonitoringSession.h"
#include "ObjectFilterModel.h"
#include "ObjectListModel.h"
#include "ObjectSql.h"
#include "Packets.h"
#include "ServerLink.h"
#include "StateIcons.h"
#include "StateModel.h"
#include "StationState.h"
#include "WidgetFactory.h"

#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMouseEvent>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>

#include <array>
#include <utility>

namespace {

struct Particulars
{
    bool found = false;
    QString address;
    QString refinement;
    QString owner;
    QString ownerPhone;
    QString model;
    QString terminalState;
};

QString hintText(const Particulars &p, const QString &more)
{
    // An object without a row gets the labels alone rather than made-up values.
    if (!p.found)
        return QStringLiteral("Адрес:\nУточнение:\nКонтакт:\nМодель:\nСостояние:")
            + (more.isEmpty() ? QString() : QLatin1Char('\n') + more);
    QString hint = QStringLiteral("Адрес: ") + p.address + QStringLiteral("\nУточнение: ") + p.refinement
        + QStringLiteral("\nКонтакт: ") + p.owner + QStringLiteral(", тел.") + p.ownerPhone
        + QStringLiteral("\nМодель: ") + p.model + QStringLiteral("\nСостояние: ")
        + (StateModel::stateCode(p.terminalState) != 0 ? QStringLiteral("Включен") : QStringLiteral("Выключен"));
    if (!more.isEmpty())
        hint += QLatin1Char('\n') + more;
    // A tag typed into an address must show as typed, not be rendered.
    if (Qt::mightBeRichText(hint))
        hint = QStringLiteral("<p style=\"white-space:pre\">") + hint.toHtmlEscaped() + QStringLiteral("</p>");
    return hint;
}

} // namespace

ObjectList::ObjectList(StationState &state, Database &database, ServerLink &link, MonitoringSession &session,
                       QWidget *parent)
    : QFrame(parent)
    , OTable(new QListView(this))
    , m_state(state)
    , m_database(database)
    , m_link(link)
    , m_session(session)
    , m_table(OTable)
    , m_model(new ObjectListModel(this))
    , m_filter(new ObjectFilterModel(m_model, this))
{
    setObjectName(QStringLiteral("Panel3"));
    setFrameShape(QFrame::StyledPanel);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    auto *header = new QHBoxLayout;
    header->setContentsMargins(0, 0, 0, 0);
    header->addWidget(captionLabel(QStringLiteral("  Объекты"), this));
    header->addStretch(1);
    buildSearch();
    header->addWidget(SearchEdit);
    layout->addLayout(header);
    ListNotice = new QLabel(this);
    ListNotice->setObjectName(QStringLiteral("ListNotice"));
    ListNotice->setTextFormat(Qt::PlainText);
    ListNotice->setWordWrap(true);
    ListNotice->setMargin(4);
    ListNotice->setAutoFillBackground(true);
    QPalette noticeColours = ListNotice->palette();
    noticeColours.setColor(QPalette::Window, QColor(0xff, 0xf0, 0xc8));
    noticeColours.setColor(QPalette::WindowText, QColor(0x7a, 0x40, 0x00));
    ListNotice->setPalette(noticeColours);
    ListNotice->hide();
    layout->addWidget(ListNotice);
    OTable->setObjectName(QStringLiteral("OTable"));
    layout->addWidget(OTable, 1);

    m_model->setIcons(StateIcons::ImageList1());
    configureView();
    buildMenu();

    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection &selected, const QItemSelection &deselected) {
                for (const QModelIndex &index : deselected.indexes())
                    OTableSelectItem(modelRow(index), false);
                for (const QModelIndex &index : selected.indexes())
                    OTableSelectItem(modelRow(index), true);
                if (!hasSelection())
                    m_session.setSelectionCleared();
            });
    connect(m_table, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex &index) { OTableDblClick(modelRow(index)); });
    connect(m_table, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        const bool selected = hasSelection();
        for (QAction *action : {N1, N2, N4, N5})
            action->setEnabled(selected);
        PopupMenu2->popup(m_table->viewport()->mapToGlobal(pos));
    });
    connect(&m_session, &MonitoringSession::groupChoiceChanged, this, [this](bool byOperator) {
        if (byOperator)
            ComboBox1Change();
    });
    m_viewport = m_table->viewport();
    m_viewport->installEventFilter(this);
}

void ObjectList::configureView()
{
    m_table->setModel(m_filter);
    m_table->setViewMode(QListView::IconMode);
    // Static icons laid out in a uniform grid: a list of many thousand
    // objects re-sorts without a noticeable pause.
    m_table->setMovement(QListView::Static);
    m_table->setFlow(QListView::LeftToRight);
    m_table->setWrapping(true);
    m_table->setResizeMode(QListView::Adjust);
    m_table->setUniformItemSizes(true);
    m_table->setLayoutMode(QListView::Batched);
    m_table->setBatchSize(2000);
    m_table->setIconSize(QSize(StateIcons::Size, StateIcons::Size));
    m_table->setWordWrap(false);
    m_table->setTextElideMode(Qt::ElideMiddle);
    const QFontMetrics metrics(m_table->font());
    const int captionWidth = metrics.horizontalAdvance(QString(Packets::ImeiSize, QLatin1Char('0')));
    m_table->setGridSize(QSize(std::max(captionWidth + 16, 64), StateIcons::Size + metrics.height() + 14));
    m_table->setSpacing(2);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setDragEnabled(false);
    m_table->setDragDropMode(QAbstractItemView::NoDragDrop);
    m_table->setContextMenuPolicy(Qt::CustomContextMenu);
}

void ObjectList::buildSearch()
{
    SearchEdit = new QLineEdit(this);
    SearchEdit->setObjectName(QStringLiteral("SearchEdit"));
    SearchEdit->setPlaceholderText(QStringLiteral("Поиск: IMEI, модель, адрес, владелец"));
    SearchEdit->setClearButtonEnabled(true);
    const QFontMetrics metrics(SearchEdit->font());
    SearchEdit->setMinimumWidth(metrics.horizontalAdvance(SearchEdit->placeholderText()) + 48);
    connect(SearchEdit, &QLineEdit::textChanged, this, &ObjectList::SearchEditChange);
    SearchEdit->installEventFilter(this);
    // Anywhere in the main window, as in every program that finds things.
    auto *find = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), this);
    find->setContext(Qt::WindowShortcut);
    connect(find, &QShortcut::activated, this, [this] {
        SearchEdit->setFocus(Qt::ShortcutFocusReason);
        SearchEdit->selectAll();
    });
}

void ObjectList::buildMenu()
{
    PopupMenu2 = new QMenu(m_table);
    PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    const auto item = [this](QAction *&member, const char *name, const QString &caption, void (ObjectList::*click)()) {
        member = PopupMenu2->addAction(caption);
        member->setObjectName(QLatin1String(name));
        connect(member, &QAction::triggered, this, click);
    };
    item(N1, "N1", QStringLiteral("Снять с охраны"), &ObjectList::N1Click);
    item(N2, "N2", QStringLiteral("Взять под охрану"), &ObjectList::N2Click);
    N3 = PopupMenu2->addSeparator();
    N3->setObjectName(QStringLiteral("N3"));
    item(N4, "N4", QStringLiteral("Выключить терминал"), &ObjectList::N4Click);
    item(N5, "N5", QStringLiteral("Включить терминал"), &ObjectList::N5Click);
}


void ObjectList::Load_Objects(const QString &group)
{
    const std::optional<QString> sql = ObjectSql::loadObjects(m_database.escaper(), group, m_state.Full_rights, m_session.groupChoice().items);
    if (!sql) {
        // Nothing may be listed: whatever was listed before (another
        // operator's objects) goes too.
        m_model->clear();
        m_session.setSelectionCleared();
        m_listedGroup = group;
        m_objectsBehind = false;
        showNotice();
        return;
    }
    // Until the database answers the entries stay, so that the server's
    // notifications for them still show; the notice says whose they are.
    m_objectsBehind = true;
    if (!m_state.Base_connected) {
        showNotice();
        return;
    }
    // Streamed: the entries are built while the server is still sending.
    m_model->beginCaptions();
    const auto outcome = m_database.forEach(
        *sql,
        [this](const DbRow &row) {
            m_model->addCaption(row.view(0));
            return true;
        },
        Database::Fetch::Streamed);
    if (outcome != Database::Rows::Ok) {
        if (outcome == Database::Rows::Cut)
            reportCut();
        showNotice();
        return;
    }
    m_model->endCaptions();
    m_listedGroup = group;
    m_objectsBehind = false;
    showNotice();
    // The view lets go of its selection with the old entries, silently.
    m_session.setSelectionCleared();
    // A search under way goes on over the new entries.
    if (m_filter->isFiltering())
        loadSearchTexts(group);
}

void ObjectList::loadSearchTexts(const QString &group)
{
    const std::optional<QString> sql =
        ObjectSql::searchTexts(m_database.escaper(), group, m_state.Full_rights, m_session.groupChoice().items);
    if (!sql || !m_state.Base_connected)
        return;
    // Serials run from 0 in the order the entries were listed.
    std::vector<QString> texts(size_t(m_model->rowCount()));
    QByteArray buffer;
    const auto outcome = m_database.forEach(
        *sql,
        [this, &texts, &buffer](const DbRow &row) {
            const int serial = m_model->findFirstSerialUtf8(row.view(0));
            if (serial >= 0 && size_t(serial) < texts.size())
                texts[size_t(serial)] =
                    ObjectFilterModel::joinUtf8({row.view(1), row.view(2), row.view(3), row.view(4)}, &buffer);
            return true;
        },
        Database::Fetch::Streamed);
    // Texts that could not be read, or only in part: the search finds
    // objects by IMEI until the next refill, without a message, as the
    // list's hint does.
    if (outcome != Database::Rows::Ok)
        texts.assign(texts.size(), QString());
    m_filter->setTexts(std::move(texts));
}

void ObjectList::SearchEditChange(const QString &text)
{
    if (!ObjectFilterModel::searchKey(text).isEmpty() && !m_filter->hasTexts())
        loadSearchTexts(m_session.groupChoice().text);
    const bool selected = hasSelection();
    m_filter->setFilterText(text);
    // An object the search hides is no longer selected: a command of the
    // context menu must not go to an object the operator cannot see.
    if (selected && !hasSelection()) {
        m_table->clearSelection();
        m_session.setSelectionCleared();
    }
    if (!m_filter->isFiltering() && m_table->currentIndex().isValid())
        m_table->scrollTo(m_table->currentIndex());
}

int ObjectList::modelRow(const QModelIndex &viewIndex) const
{
    const QModelIndex index = m_filter->mapToSource(viewIndex);
    return index.isValid() ? index.row() : -1;
}

QModelIndex ObjectList::viewIndex(int row) const
{
    if (row < 0 || row >= m_model->rowCount())
        return {};
    return m_filter->mapFromSource(m_model->index(row));
}

namespace {

// A state is almost always a plain decimal byte: its text is taken from a
// table, one shared copy for all the objects in that state, instead of being
// converted row by row. Anything else is kept as the database has it.
QString stateTextOf(QByteArrayView value)
{
    static const auto table = [] {
        std::array<QString, 256> texts;
        for (int code = 0; code < 256; ++code)
            texts[size_t(code)] = QString::number(code);
        return texts;
    }();
    const qsizetype size = value.size();
    if (size >= 1 && size <= 3 && (size == 1 || value[0] != '0')) {
        int code = 0;
        for (const char c : value) {
            if (c < '0' || c > '9')
                return QString::fromUtf8(value);
            code = code * 10 + (c - '0');
        }
        if (code < 256)
            return table[size_t(code)];
    }
    return QString::fromUtf8(value);
}

} // namespace

void ObjectList::Load_States()
{
    const std::optional<QString> sql =
        ObjectSql::loadStates(m_database.escaper(), m_session.groupChoice().text, m_state.Full_rights, m_session.groupChoice().items);
    m_statesBehind = sql.has_value();
    if (sql && m_state.Base_connected) {
        m_model->beginStates();
        const auto outcome = m_database.forEach(
            *sql,
            [this](const DbRow &row) {
                m_model->addState(row.view(0), stateTextOf(row.view(1)));
                return true;
            },
            Database::Fetch::Streamed);
        if (outcome == Database::Rows::Cut)
            reportCut();
        if (outcome == Database::Rows::Ok) {
            m_statesBehind = false;
            m_model->endStates();
            emit statesLoaded();
        }
    }
    showNotice();
    Sort_Objects();
}

void ObjectList::catchUp()
{
    if (m_objectsBehind) {
        Load_Objects(m_session.groupChoice().text);
        if (m_objectsBehind)
            return;
        Load_States();
    } else if (m_statesBehind) {
        Load_States();
    }
}

void ObjectList::statesOutOfDate()
{
    m_statesBehind = true;
    showNotice();
}

void ObjectList::clear()
{
    SearchEdit->clear();
    m_model->clear();
    m_listedGroup.clear();
    m_objectsBehind = false;
    m_statesBehind = false;
    showNotice();
}

void ObjectList::reportCut()
{
    if (m_state.dialogs)
        m_state.dialogs->notice(window(), QStringLiteral("object-list"), m_database.errorMessage());
}

void ObjectList::showNotice()
{
    if (!isBehind() && m_state.dialogs)
        m_state.dialogs->settle(QStringLiteral("object-list"));
    QString text;
    const QString away = m_state.Base_connected ? QString() : QStringLiteral("Нет соединения с базой данных. ");
    const QString chosen = m_session.groupChoice().text;
    if (m_objectsBehind && m_listedGroup != chosen) {
        text = away.isEmpty() ? QStringLiteral("База данных не выдала список объектов. ") : away;
        if (!m_listedGroup.isEmpty())
            text += QStringLiteral("Показаны объекты группы «%1». ").arg(m_listedGroup);
        text += QStringLiteral("Объекты группы «%1» будут показаны, когда база данных ответит.").arg(chosen);
    } else if (isBehind()) {
        text = away + QStringLiteral("Состояния объектов могут быть устаревшими: они будут перечитаны, когда база "
                                     "данных ответит.");
    }
    if (ListNotice->text() != text)
        ListNotice->setText(text);
    ListNotice->setVisible(!text.isEmpty());
}

void ObjectList::Sort_Objects()
{
    // A release that never reached the list (a message box opened by the
    // press took the mouse) must not hold the order back for good.
    if (m_buttonHeld && QGuiApplication::mouseButtons() == Qt::NoButton && m_heldSince.elapsed() > HoldLimitMs)
        m_buttonHeld = false;
    if (m_buttonHeld) {
        m_sortPending = true;
        return;
    }
    m_sortPending = false;
    m_model->sortByState();
}

int ObjectList::findEntry(const QString &imei) const
{
    return m_model->findFirst(imei);
}

QString ObjectList::stateText(const QString &imei) const
{
    const int row = m_model->findFirst(imei);
    return row < 0 ? QString() : m_model->entry(row).state;
}

int ObjectList::stateCode(const QString &imei) const
{
    const int row = m_model->findFirst(imei);
    return row < 0 ? -1 : m_model->entry(row).code;
}

void ObjectList::setEntryState(int row, int code)
{
    m_model->setState(row, QString::number(code));
    emit guardStateShown(quint8(code), m_model->entry(row).caption);
}

int ObjectList::selectedRow() const
{
    const QModelIndexList selected = m_table->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : modelRow(selected.first());
}

void ObjectList::ComboBox1Change()
{
    Load_Objects(m_session.groupChoice().text);
    emit messagesRequested(AllKey);
    Load_States();
}

void ObjectList::OTableSelectItem(int row, bool selected)
{
    if (!selected || row < 0 || row >= m_model->rowCount())
        return;
    // Copies: what the receivers do may re-sort the list.
    const QString imei = m_model->entry(row).caption;
    const int code = m_model->entry(row).code;
    const QString stateText = m_model->entry(row).state;
    m_session.select(imei, row);
    emit messagesRequested(imei);
    if (StateModel::isAlarm(code))
        emit alarmSelected(imei, stateText);
    emit imageRequested(imei);
}

void ObjectList::OTableClick()
{
    // The press has already moved the journal's period to the last day.
    if (!hasSelection())
        emit messagesRequested(AllKey);
}

void ObjectList::OTableDblClick(int row)
{
    if (row < 0 || row >= m_model->rowCount())
        return;
    emit objectDoubleClicked(m_model->entry(row).caption);
}

void ObjectList::OTableMouseMove(const QPoint &pos)
{
    const int entry = modelRow(m_table->indexAt(pos));
    if (entry < 0) {
        m_table->setToolTip(QString());
        return;
    }
    if (!m_state.Base_connected)
        return;
    Particulars p;
    const auto found = m_database.selectOne(
        ObjectSql::objectHint(m_database.escaper(), m_model->entry(entry).caption), [&p](const DbRow &row) {
            p.found = true;
            p.address = row.text(0);
            p.refinement = row.text(1);
            p.owner = row.text(2);
            p.ownerPhone = row.text(3);
            p.model = row.text(4);
            p.terminalState = row.text(5);
        });
    if (found == Database::Lookup::Failed)
        return;
    const ObjectListModel::Entry &shown = m_model->entry(entry);
    m_table->setToolTip(hintText(p, m_hintLines ? m_hintLines(shown.caption, shown.code) : QString()));
}

void ObjectList::sendToSelected(const std::function<QByteArray(const QString &)> &packet)
{
    // Without a selected entry there is no object to command.
    const int row = selectedRow();
    if (row < 0)
        return;
    const QString imei = m_model->entry(row).caption;
    // The packet carries 15 bytes of IMEI: a longer one would be cut and
    // reach another unit.
    if (!Packets::imeiFits(imei)) {
        if (m_state.dialogs)
            m_state.dialogs->message(window(), Packets::imeiMisfitMessage());
        return;
    }
    m_link.Send_Packet(packet(imei));
}

void ObjectList::N1Click()
{
    sendToSelected([](const QString &imei) { return Packets::guard(imei, false); });
}

void ObjectList::N2Click()
{
    sendToSelected([](const QString &imei) { return Packets::guard(imei, true); });
}

void ObjectList::N4Click()
{
    sendToSelected([](const QString &imei) { return Packets::output(imei, Packets::AtmPower, Packets::AtmPowerOff); });
}

void ObjectList::N5Click()
{
    sendToSelected([](const QString &imei) { return Packets::output(imei, Packets::AtmPower, Packets::AtmPowerOn); });
}

bool ObjectList::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == SearchEdit && event->type() == QEvent::FocusIn) {
        // The operator is about to search: the texts are read now rather
        // than with the first character typed.
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if ((reason == Qt::ShortcutFocusReason || reason == Qt::MouseFocusReason || reason == Qt::TabFocusReason
             || reason == Qt::BacktabFocusReason)
            && !m_filter->hasTexts())
            loadSearchTexts(m_session.groupChoice().text);
    }
    if (watched == SearchEdit && event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent *>(event)->key()) {
        case Qt::Key_Escape:
            // Esc shows every object again; once more, back to the list.
            if (SearchEdit->text().isEmpty())
                m_table->setFocus(Qt::OtherFocusReason);
            else
                SearchEdit->clear();
            return true;
        case Qt::Key_Down:
            m_table->setFocus(Qt::OtherFocusReason);
            return true;
        default:
            break;
        }
    }
    if (watched == m_viewport) {
        switch (event->type()) {
        case QEvent::ToolTip:
            // The hint is read when it is about to show, not on every move of
            // the mouse: one query per hint instead of a stream of them.
            OTableMouseMove(static_cast<QHelpEvent *>(event)->pos());
            break;
        case QEvent::MouseButtonPress: {
            const auto *mouse = static_cast<QMouseEvent *>(event);
            m_buttonHeld = true;
            m_heldSince.start();
            if (mouse->button() == Qt::LeftButton && m_lastRelease.isValid()
                && m_lastRelease.elapsed() <= QApplication::doubleClickInterval()
                && (mouse->position().toPoint() - m_lastReleasePos).manhattanLength()
                    <= QApplication::startDragDistance()) {
                // The second press of a double click selects nothing: the
                // entry under it may have moved there with the first click.
                m_swallowRelease = true;
                return true;
            }
            if (mouse->button() == Qt::LeftButton) {
                // The journal loaded by this press reads the period of the click.
                const QDateTime now = Clock::now();
                m_session.setPeriod(now.addDays(-1), now, false);
            }
            const QModelIndex index = m_table->indexAt(mouse->position().toPoint());
            // A press on empty space clears the selection, as in any list of
            // icons; the group's journal is then one click away.
            if (!index.isValid())
                m_table->clearSelection();
            // The view selects the entry under the press; nothing moves
            // until the release, so this is the object selected.
            const int row = modelRow(index);
            m_pressedImei = row >= 0 ? m_model->entry(row).caption : QString();
            break;
        }
        case QEvent::MouseMove:
            // Moving with a button held selects nothing: a shaky hand must
            // not take the alarm next to the pressed one.
            if (static_cast<QMouseEvent *>(event)->buttons() != Qt::NoButton)
                return true;
            break;
        case QEvent::MouseButtonDblClick: {
            // The second press of a double click: the entry under it may be
            // another one since the first click re-sorted the list. The card
            // is the one of the object the first press selected; nothing is
            // selected anew.
            const auto *mouse = static_cast<QMouseEvent *>(event);
            m_swallowRelease = true;
            if (mouse->button() == Qt::LeftButton) {
                const int row = selectedRow();
                const QString imei = row >= 0 ? m_model->entry(row).caption : QString();
                if (!imei.isEmpty() && imei == m_pressedImei)
                    emit objectDoubleClicked(imei);
            }
            return true;
        }
        case QEvent::MouseButtonRelease: {
            const auto *mouse = static_cast<QMouseEvent *>(event);
            if (mouse->buttons() == Qt::NoButton) {
                m_buttonHeld = false;
                // After the view has handled the release where everything
                // still stands.
                if (m_sortPending)
                    QTimer::singleShot(0, this, [this] {
                        if (m_sortPending)
                            Sort_Objects();
                    });
            }
            if (m_swallowRelease) {
                m_swallowRelease = false;
                m_lastRelease.invalidate();
                return true;
            }
            if (mouse->button() == Qt::LeftButton) {
                m_lastRelease.start();
                m_lastReleasePos = mouse->position().toPoint();
                OTableClick();
            }
            break;
        }
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}
