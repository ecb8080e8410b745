#include "TForm1.h"

#include "AlarmMarkDelegate.h"
#include "AlarmPanel.h"
#include "AlarmWatch.h"
#include "Clock.h"
#include "ConfigIni.h"
#include "Database.h"
#include "DatabaseWatcher.h"
#include "Dialogs.h"
#include "FrameStore.h"
#include "Glyphs.h"
#include "Journal.h"
#include "JournalModel.h"
#include "MonitoringSession.h"
#include "ObjectList.h"
#include "ObjectListModel.h"
#include "OperatorRights.h"
#include "RightColumn.h"
#include "ServerLink.h"
#include "StateReports.h"
#include "StationState.h"
#include "TForm3.h"
#include "WidgetFactory.h"
#include "WindowPlacement.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// The faults a timer finds again and again while they last: each is told
// once until it ends.
const QString LinkLost = QStringLiteral("link-lost");
const QString BaseAway = QStringLiteral("base-away");
const QString StillConnected = QStringLiteral("still-connected");

// A relink answered "already connected" this many times in a row is no
// longer the server letting go of a dead connection: another station may
// be logged in under this login, and the operator is told.
constexpr int StillConnectedAnswers = 12;
// A link back for this many relink intervals is back for good: a loss after
// that is a new outage, told anew. A link that comes and goes is one outage.
constexpr int SteadyLinkIntervals = 6;

} // namespace

TForm1::TForm1(StationState &state, Database &database, DatabaseWatcher &watcher, ServerLink &link,
               OperatorRights &rights, SoundPlayer &sounds, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_state(state)
    , m_database(database)
    , m_watcher(watcher)
    , m_link(link)
    , m_rights(rights)
    , m_session(new MonitoringSession(state, this))
{
    setObjectName(QStringLiteral("TForm1"));
    setWindowTitle(QStringLiteral("Монитор ORVEX"));
    resize(796, 649);
    ImageList2 = Glyphs::imageList2();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    buildToolbar();
    layout->addWidget(Panel1);

    m_objects = new ObjectList(m_state, m_database, m_link, *m_session, this);
    m_reports = new StateReports(m_state, m_database, m_link, *m_objects, sounds, this);
    m_journal = new Journal(m_state, m_database, *m_session, this);
    m_column = new RightColumn(m_state, m_database, *m_reports, *m_session, this);
    m_column->frames()->setEnlargeArea(m_objects->OTable);
    buildParts();
    auto *body = new QHBoxLayout;
    body->setSpacing(0);
    layout->addLayout(body, 1);
    body->addWidget(Splitter2, 1);
    body->addWidget(m_column);

    // The parts meet here: what one of them asks for, another does.
    const auto loadMessages = [this](const QString &key) { m_journal->Load_Messages(key, false); };
    connect(m_objects, &ObjectList::messagesRequested, this, loadMessages);
    connect(m_reports, &StateReports::messagesRequested, this, loadMessages);
    connect(m_reports, &StateReports::messagesRefreshRequested, m_journal, &Journal::Refresh_Messages);
    connect(m_reports, &StateReports::statesUncertain, m_objects, &ObjectList::statesOutOfDate);
    connect(m_objects, &ObjectList::alarmSelected, m_column->alarms(), &AlarmPanel::Add_Alarm);
    connect(m_objects, &ObjectList::imageRequested, m_column->frames(), &FrameStore::OpenImage);
    connect(m_journal, &Journal::frameRequested, m_column->frames(), &FrameStore::Image_From_Table);

    m_watch = new AlarmWatch(m_state, m_database, *m_objects->model(), *m_reports, this);
    m_watch->setObjectName(QStringLiteral("alarmWatch"));
    m_watch->watchPanel(m_column->alarms());
    m_objects->OTable->setItemDelegate(new AlarmMarkDelegate(*m_watch, m_objects->OTable));
    m_objects->setHintLines([this](const QString &imei, int code) { return m_watch->hintLines(imei, code); });
    connect(m_watch, &AlarmWatch::marksChanged, m_objects->OTable->viewport(), qOverload<>(&QWidget::update));

    m_rights.setButtons({SpeedButton2, SpeedButton3, SpeedButton8}, this);
    connect(ComboBox1, &QComboBox::currentIndexChanged, this, [this](int index) {
        // Filling the selector at login is silent: the login loads the list itself.
        if (index >= 0)
            groupChosen();
    });

    m_relink = new QTimer(this);
    m_relink->setObjectName(QStringLiteral("relink"));
    m_relink->setInterval(ConfigIni::DefaultRelinkSeconds * 1000);
    connect(m_relink, &QTimer::timeout, &m_link, &ServerLink::relink);
    m_linkSteady = new QTimer(this);
    m_linkSteady->setObjectName(QStringLiteral("linkSteady"));
    m_linkSteady->setSingleShot(true);
    m_linkSteady->setInterval(ConfigIni::DefaultRelinkSeconds * 1000 * SteadyLinkIntervals);
    connect(m_linkSteady, &QTimer::timeout, this, [this] { m_state.dialogs->settle(LinkLost); });

    connect(&m_watcher, &DatabaseWatcher::available, this, &TForm1::baseAvailable);
    connect(m_journal, &Journal::behindChanged, this, &TForm1::Show_Base_State);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);

    FormCreate();
    Timer1->start();
}

TForm1::~TForm1() = default;

AlarmPanel &TForm1::alarms() const
{
    return *m_column->alarms();
}

FrameStore &TForm1::frames() const
{
    return *m_column->frames();
}

void TForm1::buildParts()
{
    Splitter2 = new QSplitter(Qt::Vertical, this);
    Splitter2->setObjectName(QStringLiteral("Splitter2"));
    Splitter2->setChildrenCollapsible(false);
    Splitter2->addWidget(m_objects);
    Splitter2->addWidget(m_journal);
    Splitter2->setStretchFactor(0, 1);
    Splitter2->setStretchFactor(1, 0);
    Splitter2->setSizes({649 - 41 - 126, 126});
    Panel3 = m_objects;
    Panel2 = m_journal;
    Panel4 = m_column;
}

GroupChoice TForm1::selectorChoice() const
{
    GroupChoice choice;
    choice.text = ComboBox1->currentText();
    for (int i = 0; i < ComboBox1->count(); ++i)
        choice.items << ComboBox1->itemText(i);
    return choice;
}

void TForm1::groupChosen()
{
    m_session->setGroupChoice(selectorChoice(), true);
}

void TForm1::buildToolbar()
{
    Panel1 = panelFrame(this, QStringLiteral("Panel1"));
    Panel1->setFixedHeight(45);
    auto *bar = new QHBoxLayout(Panel1);
    bar->setContentsMargins(2, 1, 8, 1);
    bar->setSpacing(0);

    const auto button = [this, bar](QToolButton *&member, const char *name, const QString &hint, const QIcon &glyph,
                                    bool enabled, void (TForm1::*click)()) {
        member = new QToolButton(Panel1);
        member->setObjectName(QLatin1String(name));
        member->setAutoRaise(true);
        member->setFixedSize(41, 41);
        member->setIconSize(QSize(24, 24));
        member->setIcon(glyph);
        member->setToolTip(hint);
        member->setEnabled(enabled);
        connect(member, &QToolButton::clicked, this, click);
        bar->addWidget(member);
    };
    button(SpeedButton6, "SpeedButton6", QStringLiteral("Нет соединения"), ImageList2.at(Glyphs::NotConnected), true,
           &TForm1::SpeedButton6Click);
    button(SpeedButton4, "SpeedButton4", QStringLiteral("Настройка соединения"), Glyphs::settings(), true,
           &TForm1::SpeedButton4Click);
    button(SpeedButton1, "SpeedButton1", QStringLiteral("Звук"), ImageList2.at(Glyphs::SoundOn), true,
           &TForm1::SpeedButton1Click);
    button(SpeedButton7, "SpeedButton7", QStringLiteral("Сменить пользователя"), Glyphs::changeUser(), true,
           &TForm1::SpeedButton7Click);
    button(SpeedButton2, "SpeedButton2", QStringLiteral("Настройка локальных пользователей"), Glyphs::localUsers(),
           false, &TForm1::SpeedButton2Click);
    button(SpeedButton8, "SpeedButton8", QStringLiteral("Настройка базы данных"), Glyphs::database(), false,
           &TForm1::SpeedButton8Click);
    button(SpeedButton3, "SpeedButton3", QStringLiteral("Сформировать отчет"), Glyphs::report(), false,
           &TForm1::SpeedButton3Click);
    button(SpeedButton5, "SpeedButton5", QStringLiteral("Выход"), Glyphs::exit(), true, &TForm1::SpeedButton5Click);

    // The database's state beside the server link's: an operator must see
    // that what he does cannot be stored before he does it.
    LBASE = new QLabel(Panel1);
    LBASE->setObjectName(QStringLiteral("LBASE"));
    LBASE->setTextFormat(Qt::PlainText);
    LBASE->setAlignment(Qt::AlignCenter);
    LBASE->setMinimumWidth(41);
    QFont baseFont = LBASE->font();
    baseFont.setBold(true);
    LBASE->setFont(baseFont);
    bar->insertWidget(1, LBASE);
    Show_Base_State();

    bar->addSpacing(16);
    auto *group = new QVBoxLayout;
    group->setSpacing(1);
    group->addWidget(new QLabel(QStringLiteral("Группа объектов"), Panel1));
    ComboBox1 = new QComboBox(Panel1);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setFixedWidth(121);
    group->addWidget(ComboBox1);
    bar->addLayout(group);
    bar->addStretch(1);

    LTIME = new QLabel(Panel1);
    LTIME->setObjectName(QStringLiteral("LTIME"));
    QFont clockFont(QStringLiteral("Times New Roman"));
    clockFont.setBold(true);
    clockFont.setPixelSize(30);
    LTIME->setFont(clockFont);
    LTIME->setFixedHeight(40);
    LTIME->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QPalette palette = LTIME->palette();
    palette.setColor(QPalette::WindowText, QColor(0x00, 0x66, 0xcc));
    LTIME->setPalette(palette);
    bar->addWidget(LTIME);
}

void TForm1::setSoundPlayer(SoundPlayer *player)
{
    m_reports->setSoundPlayer(player);
}

void TForm1::FormCreate()
{
    const ConfigIni config(m_state);
    config.readConnections(m_state);
    setRelinkInterval(config.relinkSeconds() * 1000);
    const ConfigIni::AlarmSettings alarms = config.readAlarms();
    m_watch->setRepeatSeconds(alarms.repeatSeconds);
    m_watch->setOverdueSeconds(alarms.overdueSeconds);
    restoreLayout();
}

void TForm1::restoreLayout()
{
    const std::optional<ConfigIni::WindowLayout> saved = ConfigIni(m_state).readWindow();
    // A geometry of a screen that is gone would open the window out of reach.
    const std::optional<QRect> place = saved ? WindowPlacement::reachable(saved->geometry) : std::nullopt;
    if (!place) {
        WindowPlacement::centreOver(this, nullptr);
        return;
    }
    setGeometry(*place);
    if (saved->journalHeight > 0)
        Splitter2->setSizes({saved->listHeight, saved->journalHeight});
    if (saved->maximized)
        setWindowState(windowState() | Qt::WindowMaximized);
}

void TForm1::saveLayout()
{
    ConfigIni::WindowLayout layout;
    layout.maximized = isMaximized();
    // A maximised window comes back maximised over the size it had before.
    layout.geometry = layout.maximized && normalGeometry().isValid() ? normalGeometry() : geometry();
    const QList<int> sizes = Splitter2->sizes();
    layout.listHeight = sizes.value(0);
    layout.journalHeight = sizes.value(1);
    ConfigIni(m_state).writeWindow(layout);
}

void TForm1::Timer1Timer()
{
    const QDateTime now = Clock::now();
    m_state.Clock = now;
    LTIME->setText(now.time().toString(QStringLiteral("HH:mm:ss")));
    m_watcher.tick();
    Show_Base_State();
    m_watch->refresh();
}

void TForm1::baseAvailable()
{
    m_state.dialogs->settle(BaseAway);
    m_reports->settleOpenSteps();
    // A login accepted while the database was away (on the link of the
    // moment) is finished now; its list and states are read as a login
    // reads them.
    if (m_sessionPending)
        openSession(false);
    else
        m_objects->catchUp();
    if (m_journal->isBehind())
        m_journal->catchUp();
    Show_Base_State();
}

void TForm1::Show_Base_State()
{
    enum Look { Connected, Behind, Away };
    const bool connected = m_state.Base_connected;
    // The toolbar is built before the parts.
    const bool behind = m_journal && m_journal->isBehind();
    const Look look = !connected ? Away : behind ? Behind : Connected;
    QString hint;
    switch (look) {
    case Connected:
        hint = QStringLiteral("База данных подключена");
        break;
    case Behind:
        hint = QStringLiteral("База данных подключена, журнал не обновлен:\n") + m_journal->lastError();
        break;
    case Away:
        hint = QStringLiteral("Нет соединения с базой данных");
        if (behind)
            hint += QStringLiteral("\nЖурнал будет дополнен, когда соединение восстановится");
        break;
    }
    if (LBASE->property("look").isValid() && LBASE->property("look").toInt() == look && LBASE->toolTip() == hint)
        return;
    LBASE->setProperty("look", int(look));
    LBASE->setProperty("connected", connected);
    LBASE->setText(QStringLiteral("БД"));
    QPalette palette = LBASE->palette();
    const QColor colours[] = {QColor(0x1e, 0x9e, 0x3e), QColor(0xe0, 0x8a, 0x00), QColor(0xc6, 0x28, 0x28)};
    palette.setColor(QPalette::WindowText, colours[look]);
    LBASE->setPalette(palette);
    LBASE->setToolTip(hint);
}

void TForm1::setRelinkInterval(int milliseconds)
{
    m_relinkOn = milliseconds > 0;
    if (m_relinkOn) {
        m_relink->setInterval(milliseconds);
        m_linkSteady->setInterval(milliseconds * SteadyLinkIntervals);
    } else {
        m_relink->stop();
        // Only the operator's click connects again: each loss is his to hear of.
        m_linkSteady->setInterval(0);
    }
}

void TForm1::setBaseRetryInterval(int milliseconds)
{
    m_watcher.setRetryInterval(milliseconds);
}

void TForm1::Show_Link_State(quint8 connected)
{
    if (connected)
        m_relink->stop();
    SpeedButton6->setIcon(ImageList2.at(connected ? Glyphs::Connected : Glyphs::NotConnected));
    QString hint = connected ? QStringLiteral("Соединение установлено") : QStringLiteral("Нет соединения");
    if (!connected && !m_linkNote.isEmpty())
        hint += QLatin1Char('\n') + m_linkNote;
    SpeedButton6->setToolTip(hint);
}

// The operator whose session this was is no longer the one at the station:
// their database session, rights and lists must not serve whoever comes next.
void TForm1::endSession(bool forgetOperator)
{
    m_database.close();
    m_rights.dropRights();
    m_loginAccepted = false;
    m_relinking = false;
    m_sessionPending = false;
    m_linkNote.clear();
    m_relink->stop();
    m_linkSteady->stop();
    m_stillConnected = 0;
    m_watcher.stop();
    m_state.dialogs->settle(LinkLost);
    m_state.dialogs->settle(BaseAway);
    m_state.dialogs->settle(StillConnected);
    Show_Base_State();
    if (forgetOperator) {
        // The station never goes on in the name of an operator the server
        // does not accept.
        m_state.Login.clear();
        m_state.Password.clear();
        setWindowTitle(QStringLiteral("Монитор ORVEX"));
    }
    {
        const QSignalBlocker blocker(ComboBox1);
        ComboBox1->clear();
    }
    m_session->reset();
    // The next operator starts from the whole list, not from a search of the last one.
    m_objects->clear();
    m_journal->model()->load({});
}

void TForm1::onLoggedIn()
{
    // The new operator is not accepted yet; the previous one has left, and
    // nothing he had open (an administrator's editors and reports, a card)
    // stays open for whoever logs in next. They read their rows again when
    // they are next opened.
    for (QWidget *window : {m_windows.form5, m_windows.form6, m_windows.form7}) {
        if (window)
            window->close();
    }
    endSession();
    m_link.Connect_Server();
    Show_Link_State(0);
}

void TForm1::loginAccepted()
{
    m_linkNote.clear();
    if (!m_database.Connect_Base(QStringLiteral("orvex_base"))) {
        // The watcher looks for the database and the session opens when it
        // answers; meanwhile the list stays as it was.
        m_sessionPending = true;
        m_state.dialogs->notice(this, BaseAway, QStringLiteral("Не удается соединиться с базой данных"));
        return;
    }
    m_state.dialogs->settle(BaseAway);
    openSession(true);
}

void TForm1::openSession(bool announce)
{
    m_sessionPending = false;
    // The same operator back after a lost link keeps the group he watched.
    const bool relinked = m_relinking;
    m_relinking = false;
    const QString watched = ComboBox1->currentText();
    if (const std::optional<QStringList> items = m_rights.Load_User_Groups()) {
        const QSignalBlocker blocker(ComboBox1);
        ComboBox1->clear();
        ComboBox1->addItems(*items);
        const int kept = relinked ? ComboBox1->findText(watched, Qt::MatchExactly) : -1;
        ComboBox1->setCurrentIndex(qMax(kept, 0));
    }
    const GroupChoice choice = selectorChoice();
    m_session->setGroupChoice(choice, false);
    if (!relinked) {
        // The journal's period starts as a click into the list sets it, the
        // last day: the first notification or selection must not fetch every
        // row since the pickers' design dates.
        const QDateTime now = Clock::now();
        m_session->setPeriod(now.addDays(-1), now, false);
    }
    alarms().Load_PopupMenu();
    m_rights.ButtonEnable();
    // After a lost link the states are read again: what changed meanwhile
    // was announced to nobody here.
    m_objects->Load_Objects(choice.text);
    m_objects->Load_States();
    Show_Base_State();
    if (relinked) {
        // Rows written while the link was away.
        m_journal->Refresh_Messages(m_session->hasSelection() ? m_state.Selected_IMEI : AllKey);
        return;
    }
    if (announce)
        m_state.dialogs->message(this, QStringLiteral("Аутентификация пройдена"));
}

void TForm1::onAuthAnswer(quint8 code)
{
    switch (code) {
    case 1:
        m_loginAccepted = true;
        m_stillConnected = 0;
        m_state.dialogs->settle(StillConnected);
        m_linkSteady->start();
        loginAccepted();
        break;
    case 2:
        endSession(true);
        m_state.dialogs->message(this, QStringLiteral("Данный пользователь отсутствует"));
        break;
    case 3:
        if (m_relinking) {
            // The server still holds this login's old connection (a changed
            // address, a reconnected VPN, a socket half open on its side):
            // the operator keeps his session and the station tries again
            // until the server lets the old connection go.
            m_linkNote = QStringLiteral("Сервер еще держит прежнее соединение: пользователь уже подключен");
            if (m_relinkOn)
                m_linkNote += QStringLiteral(".\nПовторная попытка каждые %1 с").arg(m_relink->interval() / 1000.0);
            m_link.Disconnect_Server();
            if (++m_stillConnected >= StillConnectedAnswers)
                m_state.dialogs->notice(this, StillConnected,
                                        QStringLiteral("Данный пользователь уже подключен.\nСервер не принимает "
                                                       "повторное подключение; станция продолжает попытки."));
            break;
        }
        endSession(true);
        m_state.dialogs->message(this, QStringLiteral("Данный пользователь уже подключен"));
        break;
    default:
        break;
    }
}

void TForm1::onLinkClosed()
{
    m_rights.ButtonDisable();
    m_linkSteady->stop();
    // A login accepted on this link and waiting for the database is no
    // longer accepted: the next answer of the server decides again.
    m_sessionPending = false;
    // The operator's login stands: the station keeps trying the server, and
    // an outage is told once however many attempts it takes.
    if (m_loginAccepted) {
        m_relinking = true;
        if (m_relinkOn)
            m_relink->start();
        m_state.dialogs->notice(this, LinkLost, QStringLiteral("Соединение закрыто"));
        return;
    }
    m_state.dialogs->message(this, QStringLiteral("Соединение закрыто"));
}

void TForm1::SpeedButton1Click()
{
    m_state.Sound_on = !m_state.Sound_on;
    Show_Sound_State(m_state.Sound_on);
}

void TForm1::Show_Sound_State(bool on)
{
    SpeedButton1->setIcon(ImageList2.at(on ? Glyphs::SoundOn : Glyphs::SoundOff));
    SpeedButton1->setToolTip(on ? QStringLiteral("Звуковое оповещение включено")
                                : QStringLiteral("Звуковое оповещение выключено"));
}

void TForm1::SpeedButton2Click()
{
    m_windows.form4->show();
    m_windows.form4->raise();
}

void TForm1::SpeedButton3Click()
{
    m_windows.form7->show();
    m_windows.form7->raise();
}

void TForm1::SpeedButton4Click()
{
    m_windows.form2->show();
    m_windows.form2->raise();
}

void TForm1::SpeedButton5Click()
{
    close();
}

void TForm1::SpeedButton6Click()
{
    if (!m_link.isActive())
        m_link.Connect_Server();
}

void TForm1::SpeedButton7Click()
{
    m_windows.form3->show();
    m_windows.form3->raise();
    m_windows.form3->activateWindow();
}

void TForm1::SpeedButton8Click()
{
    m_windows.form5->show();
    m_windows.form5->raise();
}

bool TForm1::FormCloseQuery()
{
    return m_state.dialogs->confirm(this, QStringLiteral("Вы действительно хотите закрыть программу?"));
}

void TForm1::FormClose()
{
    ConfigIni(m_state).writeAtClose(m_state);
    saveLayout();
    m_database.close();
    if (auto *login = qobject_cast<TForm3 *>(m_windows.form3))
        login->closeApplication();
}

void TForm1::closeEvent(QCloseEvent *event)
{
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    event->accept();
    FormClose();
}
