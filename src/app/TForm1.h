#pragma once

#include "Database.h"
#include "OperatorRights.h"
#include "SoundPlayer.h"

#include <QDateTime>
#include <QIcon>
#include <QList>
#include <QWidget>

class QComboBox;
class QDateTimeEdit;
class QFrame;
class QLabel;
class QListView;
class QScrollArea;
class QSplitter;
class QTableView;
class QTimer;
class QToolButton;
class AlarmPanel;
class FrameStore;
class Journal;
class ObjectList;
class ServerLink;
class StateReports;
class TForm2;
class TForm3;
class TForm4;
class TForm6;
struct StationState;

// The main monitoring window: the frame that holds the toolbar, the clock,
// the object list, the journal and the alarm column, and the one place that
// wires the server link, the database and the other windows together.
class TForm1 : public QWidget
{
    Q_OBJECT

public:
    explicit TForm1(StationState &state, QWidget *parent = nullptr);
    ~TForm1() override;

    struct Windows
    {
        TForm2 *form2 = nullptr;
        TForm3 *form3 = nullptr;
        TForm4 *form4 = nullptr;
        QWidget *form5 = nullptr;
        TForm6 *form6 = nullptr;
        QWidget *form7 = nullptr;
    };
    void attachWindows(const Windows &windows);

    ServerLink &link() { return *m_link; }
    Database &database() { return m_database; }
    OperatorRights &rights() { return m_rights; }
    ObjectList &objects() { return *m_objects; }
    StateReports &reports() { return *m_reports; }
    AlarmPanel &alarms() { return *m_alarms; }
    Journal &journal() { return *m_journal; }
    FrameStore &frames() { return *m_frames; }
    // Where the station's sounds go; tests put a recorder here.
    void setSoundPlayer(SoundPlayer *player);

    void Show_Link_State(quint8 connected);
    void Timer1Timer();
    // One clock tick at the given moment.
    void tick(const QDateTime &now);

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

    QFrame *Panel5 = nullptr;
    QFrame *Panel3 = nullptr;
    QListView *OTable = nullptr;
    QSplitter *Splitter2 = nullptr;
    QFrame *Panel2 = nullptr;
    QLabel *Label2 = nullptr;
    QFrame *Panel7 = nullptr;
    QDateTimeEdit *StartDate = nullptr;
    QDateTimeEdit *EndDate = nullptr;
    QTableView *StringGrid1 = nullptr;

    QFrame *Panel4 = nullptr;
    QScrollArea *RzGroupBar1 = nullptr;
    QLabel *Image1 = nullptr;
    QLabel *Label11 = nullptr;

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
    void buildToolbar();
    void buildCentre();
    void buildAlarmColumn();
    void buildMonitoring();
    void onAuthAnswer(quint8 code);
    void onLinkClosed();
    void onLoggedIn();
    // Back to no operator's session, as at start; forgetOperator also drops
    // the credentials, for a login the server refused.
    void endSession(bool forgetOperator = false);

    StationState &m_state;
    ServerLink *m_link;
    Database m_database;
    OperatorRights m_rights;
    QtSoundPlayer m_sounds;
    ObjectList *m_objects = nullptr;
    StateReports *m_reports = nullptr;
    Journal *m_journal = nullptr;
    FrameStore *m_frames = nullptr;
    AlarmPanel *m_alarms = nullptr;
    Windows m_windows;
};
