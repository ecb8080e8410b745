#include "TForm1.h"

#include "AlarmPanel.h"
#include "ConfigIni.h"
#include "Dialogs.h"
#include "FrameStore.h"
#include "Glyphs.h"
#include "Journal.h"
#include "JournalModel.h"
#include "ObjectList.h"
#include "ObjectListModel.h"
#include "ServerLink.h"
#include "StateReports.h"
#include "StationState.h"
#include "TForm2.h"
#include "TForm3.h"
#include "TForm4.h"
#include "TForm6.h"
#include "WindowPlacement.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QFrame *panel(QWidget *parent, const QString &name)
{
    auto *frame = new QFrame(parent);
    frame->setObjectName(name);
    frame->setFrameShape(QFrame::StyledPanel);
    return frame;
}

QLabel *caption(QWidget *parent, const QString &text)
{
    auto *label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

} // namespace

TForm1::TForm1(StationState &state, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_state(state)
    , m_link(new ServerLink(state, this))
    , m_database(state)
    , m_rights(state, m_database, this)
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
    auto *body = new QHBoxLayout;
    body->setSpacing(0);
    layout->addLayout(body, 1);
    buildCentre();
    buildAlarmColumn();
    body->addWidget(Splitter2, 1);
    body->addWidget(Panel4);

    m_rights.setButtons({SpeedButton2, SpeedButton3, SpeedButton8});
    buildMonitoring();

    connect(m_link, &ServerLink::linkStateChanged, this, [this](bool connected) { Show_Link_State(connected); });
    connect(m_link, &ServerLink::linkClosed, this, &TForm1::onLinkClosed);
    connect(m_link, &ServerLink::authAnswer, this, &TForm1::onAuthAnswer);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);

    FormCreate();
    Timer1->start();
}

TForm1::~TForm1()
{
    // The program normally ends through FormClose; a window torn down any
    // other way (a test) still lets go of its connection.
    m_database.close();
}

void TForm1::buildToolbar()
{
    Panel1 = panel(this, QStringLiteral("Panel1"));
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

void TForm1::buildCentre()
{
    Splitter2 = new QSplitter(Qt::Vertical, this);
    Splitter2->setObjectName(QStringLiteral("Splitter2"));
    Splitter2->setChildrenCollapsible(false);

    Panel5 = panel(Splitter2, QStringLiteral("Panel5"));
    auto *upper = new QVBoxLayout(Panel5);
    upper->setContentsMargins(0, 0, 0, 0);
    Panel3 = panel(Panel5, QStringLiteral("Panel3"));
    auto *objects = new QVBoxLayout(Panel3);
    objects->setContentsMargins(2, 2, 2, 2);
    objects->addWidget(caption(Panel3, QStringLiteral("  Объекты")));
    OTable = new QListView(Panel3);
    OTable->setObjectName(QStringLiteral("OTable"));
    OTable->setViewMode(QListView::IconMode);
    objects->addWidget(OTable, 1);
    upper->addWidget(Panel3);

    Panel2 = panel(Splitter2, QStringLiteral("Panel2"));
    auto *lower = new QVBoxLayout(Panel2);
    lower->setContentsMargins(2, 2, 2, 2);
    lower->setSpacing(2);
    Label2 = caption(Panel2, QStringLiteral("  Сообщения от объекта"));
    Label2->setObjectName(QStringLiteral("Label2"));
    lower->addWidget(Label2);
    Panel7 = new QFrame(Panel2);
    Panel7->setObjectName(QStringLiteral("Panel7"));
    auto *period = new QHBoxLayout(Panel7);
    period->setContentsMargins(0, 0, 0, 0);
    const auto picker = [this](const char *name) {
        auto *edit = new QDateTimeEdit(Panel7);
        edit->setObjectName(QLatin1String(name));
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        edit->setCalendarPopup(true);
        return edit;
    };
    StartDate = picker("StartDate");
    EndDate = picker("EndDate");
    period->addWidget(new QLabel(QStringLiteral("Период с"), Panel7));
    period->addWidget(StartDate);
    period->addWidget(new QLabel(QStringLiteral("до"), Panel7));
    period->addWidget(EndDate);
    period->addStretch(1);
    lower->addWidget(Panel7);

    StringGrid1 = new QTableView(Panel2);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    lower->addWidget(StringGrid1, 1);

    Splitter2->addWidget(Panel5);
    Splitter2->addWidget(Panel2);
    Splitter2->setStretchFactor(0, 1);
    Splitter2->setStretchFactor(1, 0);
    Splitter2->setSizes({649 - 41 - 126, 126});
}

void TForm1::buildAlarmColumn()
{
    Panel4 = panel(this, QStringLiteral("Panel4"));
    // The column is one pixel wide until an alarm is open.
    Panel4->setFixedWidth(1);
    auto *column = new QVBoxLayout(Panel4);
    column->setContentsMargins(0, 0, 0, 0);
    RzGroupBar1 = new QScrollArea(Panel4);
    RzGroupBar1->setObjectName(QStringLiteral("RzGroupBar1"));
    RzGroupBar1->setWidgetResizable(true);
    column->addWidget(RzGroupBar1, 1);
    Image1 = new QLabel(Panel4);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFixedSize(298, 224);
    Image1->setAlignment(Qt::AlignCenter);
    column->addWidget(Image1);
    Label11 = new QLabel(Panel4);
    Label11->setObjectName(QStringLiteral("Label11"));
    column->addWidget(Label11);
}

void TForm1::buildMonitoring()
{
    m_objects = new ObjectList(m_state, m_database, *m_link, OTable, ComboBox1, this, this);
    m_objects->setPeriodPickers(StartDate, EndDate);
    m_reports = new StateReports(m_state, m_database, *m_link, *m_objects, m_sounds, SpeedButton1, ImageList2, this, this);
    m_journal = new Journal(m_state, m_database, StringGrid1, StartDate, EndDate, Label2, this);
    m_journal->setGroupSelector(ComboBox1);
    m_journal->setObjectSelected([this] { return m_objects->hasSelection(); });
    m_frames = new FrameStore(m_state, m_database, Image1, Label11, Panel4, OTable, this);
    m_alarms = new AlarmPanel(m_state, m_database, *m_reports, RzGroupBar1, Panel4,
                              [this](const QString &imei) { return m_objects->stateText(imei); }, this);
    m_frames->setAlarmGroupsOpen([this] { return !m_alarms->entries().isEmpty(); });

    m_reports->setRefreshMessages([this](const QString &key) { m_journal->Refresh_Messages(key); });
    connect(m_link, &ServerLink::stateReport, m_reports, &StateReports::On_State_Report);
    const auto loadMessages = [this](const QString &key) { m_journal->Load_Messages(key, false); };
    connect(m_objects, &ObjectList::messagesRequested, this, loadMessages);
    connect(m_reports, &StateReports::messagesRequested, this, loadMessages);
    connect(m_objects, &ObjectList::alarmSelected, m_alarms, &AlarmPanel::Add_Alarm);
    connect(m_objects, &ObjectList::imageRequested, m_frames, &FrameStore::OpenImage);
    connect(m_journal, &Journal::frameRequested, m_frames, &FrameStore::Image_From_Table);
}

void TForm1::setSoundPlayer(SoundPlayer *player)
{
    m_reports->setSoundPlayer(player);
}

void TForm1::attachWindows(const Windows &windows)
{
    m_windows = windows;
    connect(m_windows.form3, &TForm3::loggedIn, this, &TForm1::onLoggedIn);
    // Every status report is shown on the card, whichever object it shows and
    // whether or not it is open.
    connect(m_link, &ServerLink::statusReport, m_windows.form6, &TForm6::StatusDecoding);
    // The card's guard text follows only the object the card shows.
    connect(m_objects, &ObjectList::guardStateShown, m_windows.form6,
            [form6 = m_windows.form6](quint8 code, const QString &imei) { form6->Show_Object_State(imei, code); });
    connect(m_objects, &ObjectList::statesLoaded, m_windows.form6, [this, form6 = m_windows.form6] {
        const int code = m_objects->stateCode(form6->shownImei());
        if (code >= 0)
            form6->Show_Object_State(form6->shownImei(), quint8(code));
    });
    connect(m_objects, &ObjectList::objectDoubleClicked, m_windows.form6, [form6 = m_windows.form6] {
        form6->show();
        form6->raise();
        form6->activateWindow();
    });
}

void TForm1::FormCreate()
{
    ConfigIni(m_state).readConnections(m_state);
    WindowPlacement::centreOver(this, nullptr);
}

void TForm1::Timer1Timer()
{
    tick(QDateTime::currentDateTime());
}

void TForm1::tick(const QDateTime &now)
{
    m_state.Clock = now;
    LTIME->setText(now.time().toString(QStringLiteral("HH:mm:ss")));
    const quint16 old = m_state.Tick_count++;
    if (old > 300) {
        m_state.Tick_count = 0;
        m_database.ping();
    }
}

void TForm1::Show_Link_State(quint8 connected)
{
    SpeedButton6->setIcon(ImageList2.at(connected ? Glyphs::Connected : Glyphs::NotConnected));
    SpeedButton6->setToolTip(connected ? QStringLiteral("Соединение установлено") : QStringLiteral("Нет соединения"));
}

// The operator whose session this was is no longer the one at the station:
// their database session, rights and lists must not serve whoever comes next.
void TForm1::endSession(bool forgetOperator)
{
    m_database.close();
    m_rights.dropRights();
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
    m_objects->model()->clear();
    m_journal->model()->load({});
    m_state.Selected_IMEI.clear();
    m_state.Selected_index = 0;
}

void TForm1::onLoggedIn()
{
    // The new operator is not accepted yet; the previous one has left.
    endSession();
    m_link->Connect_Server();
    Show_Link_State(0);
}

void TForm1::onAuthAnswer(quint8 code)
{
    switch (code) {
    case 1:
        if (!m_database.Connect_Base(QStringLiteral("orvex_base"))) {
            m_state.dialogs->message(this, QStringLiteral("Не удается соединиться с базой данных"));
            return;
        }
        m_rights.Load_User_Groups(ComboBox1);
        m_alarms->Load_PopupMenu();
        m_rights.ButtonEnable();
        m_objects->Load_Objects(ComboBox1->currentText());
        m_objects->Load_States();
        m_state.dialogs->message(this, QStringLiteral("Аутентификация пройдена"));
        break;
    case 2:
        endSession(true);
        m_state.dialogs->message(this, QStringLiteral("Данный пользователь отсутствует"));
        break;
    case 3:
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
    m_state.dialogs->message(this, QStringLiteral("Соединение закрыто"));
}

void TForm1::SpeedButton1Click()
{
    m_reports->SpeedButton1Click();
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
    if (!m_link->isActive())
        m_link->Connect_Server();
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
    if (m_state.Base_connected)
        m_database.close();
    m_state.Base_connected = false;
    m_windows.form3->closeApplication();
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
