#pragma once

#include "GroupChoice.h"

#include <QDateTime>
#include <QIcon>
#include <QList>
#include <QWidget>

class QComboBox;
class QFrame;
class QLabel;
class QSplitter;
class QTimer;
class QToolButton;
class AlarmPanel;
class AlarmWatch;
class Database;
class DatabaseWatcher;
class FrameStore;
class Journal;
class MonitoringSession;
class ObjectList;
class OperatorRights;
class RightColumn;
class ServerLink;
class SoundPlayer;
class StateReports;
struct StationState;

// The main monitoring window: the toolbar with the clock, and the parts of
// the operator's monitoring work (the object list over the journal, the
// right-hand column) around one MonitoringSession. It is handed the
// station's services; Station connects it to the other windows.
class TForm1 : public QWidget
{
    Q_OBJECT

public:
    TForm1(StationState &state, Database &database, DatabaseWatcher &watcher, ServerLink &link, OperatorRights &rights,
           SoundPlayer &sounds, QWidget *parent = nullptr);
    ~TForm1() override;

    // The windows the toolbar opens.
    struct Windows
    {
        QWidget *form2 = nullptr;
        QWidget *form3 = nullptr;
        QWidget *form4 = nullptr;
        QWidget *form5 = nullptr;
        QWidget *form6 = nullptr;
        QWidget *form7 = nullptr;
    };
    void setWindows(const Windows &windows) { m_windows = windows; }

    ServerLink &link() { return m_link; }
    Database &database() { return m_database; }
    OperatorRights &rights() { return m_rights; }
    MonitoringSession &session() { return *m_session; }
    ObjectList &objects() { return *m_objects; }
    StateReports &reports() { return *m_reports; }
    AlarmPanel &alarms() const;
    Journal &journal() { return *m_journal; }
    FrameStore &frames() const;
    // Alarms waiting to be taken: their ages, marks and repeated sound.
    AlarmWatch &alarmWatch() const { return *m_watch; }
    // Where the station's sounds go; tests put a recorder here.
    void setSoundPlayer(SoundPlayer *player);

    void Show_Link_State(quint8 connected);
    // The database indicator LBASE follows Base_connected (every tick).
    void Show_Base_State();
    // How often a lost server link is tried again (tests make it short); 0
    // leaves it to the operator.
    void setRelinkInterval(int milliseconds);
    // How often, while the database is away, the station looks whether it is
    // back (tests make it short).
    void setBaseRetryInterval(int milliseconds);
    void Show_Sound_State(bool on);
    // The clock's tick, every second (Timer1): the time shown, the keep-alive
    // of the database session, its indicator and the alarms' ages and rings.
    void Timer1Timer();

    // The login window reports a login: connect to the server.
    void onLoggedIn();
    // The server's answer to the login.
    void onAuthAnswer(quint8 code);
    void onLinkClosed();

    // Toolbar, from the left.
    QFrame *Panel1 = nullptr;
    QToolButton *SpeedButton6 = nullptr;
    QToolButton *SpeedButton4 = nullptr;
    QToolButton *SpeedButton1 = nullptr;
    QToolButton *SpeedButton7 = nullptr;
    QToolButton *SpeedButton2 = nullptr;
    QToolButton *SpeedButton8 = nullptr;
    QToolButton *SpeedButton3 = nullptr;
    QToolButton *SpeedButton5 = nullptr;
    QComboBox *ComboBox1 = nullptr;
    QLabel *LTIME = nullptr;
    QLabel *LBASE = nullptr;

    QSplitter *Splitter2 = nullptr;
    // The parts' widgets under their own names.
    QWidget *Panel3 = nullptr;
    QWidget *Panel2 = nullptr;
    QWidget *Panel4 = nullptr;

    QTimer *Timer1 = nullptr;
    QList<QIcon> ImageList2;

    void SpeedButton1Click();
    void SpeedButton2Click();
    void SpeedButton3Click();
    void SpeedButton4Click();
    void SpeedButton5Click();
    void SpeedButton6Click();
    void SpeedButton7Click();
    void SpeedButton8Click();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void FormCreate();
    bool FormCloseQuery();
    void FormClose();
    // The window's size, place and split as the operator left them.
    void restoreLayout();
    void saveLayout();
    void buildToolbar();
    void buildParts();
    void groupChosen();
    void loginAccepted();
    // The group selector's text and items.
    GroupChoice selectorChoice() const;
    // What a login does once the database is open: the groups, the alarm
    // menu, the rights, the list and its states. announce: "Аутентификация
    // пройдена" for a login the operator is waiting for.
    void openSession(bool announce);
    // Back to no operator's session, as at start; forgetOperator also drops
    // the credentials, for a login the server refused.
    void endSession(bool forgetOperator = false);
    // The database answers: what waited for it runs.
    void baseAvailable();

    StationState &m_state;
    Database &m_database;
    DatabaseWatcher &m_watcher;
    ServerLink &m_link;
    OperatorRights &m_rights;
    MonitoringSession *m_session = nullptr;
    ObjectList *m_objects = nullptr;
    StateReports *m_reports = nullptr;
    Journal *m_journal = nullptr;
    RightColumn *m_column = nullptr;
    AlarmWatch *m_watch = nullptr;
    Windows m_windows;
    // While the server link of an accepted login is lost, it is tried again
    // at this pace, one attempt at a time.
    QTimer *m_relink = nullptr;
    bool m_relinkOn = true;
    bool m_loginAccepted = false;
    // The link of an accepted login was lost: its next acceptance is the same
    // operator coming back, whose group and period stay.
    bool m_relinking = false;
    // The server accepted the login but the database could not be opened:
    // the session is opened when the database answers.
    bool m_sessionPending = false;
    // Why the link is down beyond its being down, for the link button's hint.
    QString m_linkNote;
    // Relinks answered "already connected" in a row.
    int m_stillConnected = 0;
    // Runs while a link accepted by the server has not yet stayed up long
    // enough to end its outage.
    QTimer *m_linkSteady = nullptr;
};
