#pragma once

#include "StatusBits.h"

#include <QList>
#include <QWidget>

#include <utility>

class Database;
class Indicator;
class OperatorRights;
class QGridLayout;
class QGroupBox;
class QLabel;
class QPushButton;
class QTimer;
class ServerLink;
struct StationState;

// "Банкомат": the card of one object, its description, guard state and the
// last reported state of the unit's sensors and outputs, with the commands
// for the unit. The window exists from start-up, is shown on demand, hides
// when closed and reloads the object selected in the list on every activation.
class TForm6 : public QWidget
{
    Q_OBJECT

public:
    TForm6(StationState &state, Database &database, ServerLink &link, OperatorRights &rights, QWidget *parent = nullptr);

    // Reloads the selected object from the database.
    void FormActivate();
    // The guard state label for a state code; 3 to 89 leave it unchanged.
    void Show_Guard_State(quint8 code);
    // The same, for a state code of the given object only: the label belongs to
    // the object the card shows, not to whichever object changed last.
    void Show_Object_State(const QString &imei, quint8 code);
    // Redraws every indicator and the SIM label from a status word (bits 0-23)
    // and ends the wait for a status report.
    void StatusDecoding(quint32 word);
    // A status report from the server, with bytes 1-15 as they came: shown
    // only when it is this card's unit's, or when the server left them zero.
    void showStatusReport(const QByteArray &imeiField, quint32 word);
    void IndState(Indicator *shape, int flag);

    // The IMEI of the object shown; empty when the card shows none, and then
    // it sends no command.
    QString shownImei() const { return m_imei; }

    // How long "Ожидание..." waits for the unit's report.
    static constexpr int StatusWaitMilliseconds = 30000;
    void setStatusWaitMilliseconds(int milliseconds);

    void SpeedButton1Click();
    void SpeedButton2Click();
    void SpeedButton3Click();
    void SpeedButton4Click();
    void SpeedButton5Click();
    // An output indicator pressed: the left button asks for the opposite of
    // what the indicator shows.
    void ShapeMouseDown(Indicator *shape, Qt::MouseButton button);
    // Returns whether the command went out.
    bool Send_Output(quint8 output, quint8 value);

    QGroupBox *RzGroupBox1 = nullptr;
    QLabel *Label6 = nullptr;  // name
    QLabel *Label7 = nullptr;  // address
    QLabel *Label8 = nullptr;  // phone 1
    QLabel *Label9 = nullptr;  // phone 2
    QLabel *Label10 = nullptr; // owner

    QGroupBox *RzGroupBox2 = nullptr;
    QLabel *Label24 = nullptr;
    QPushButton *SpeedButton1 = nullptr;
    QPushButton *SpeedButton2 = nullptr;

    QGroupBox *RzGroupBox3 = nullptr;
    Indicator *Shape1 = nullptr;
    Indicator *Shape2 = nullptr;
    Indicator *Shape3 = nullptr;
    Indicator *Shape4 = nullptr;
    Indicator *Shape5 = nullptr;
    Indicator *Shape6 = nullptr;
    Indicator *Shape7 = nullptr;
    Indicator *Shape8 = nullptr;
    Indicator *Shape9 = nullptr;
    Indicator *Shape10 = nullptr;
    Indicator *Shape11 = nullptr;
    Indicator *Shape12 = nullptr;
    QLabel *Label31 = nullptr;

    QGroupBox *RzGroupBox5 = nullptr;
    QPushButton *SpeedButton3 = nullptr;
    QPushButton *SpeedButton4 = nullptr;
    QPushButton *SpeedButton5 = nullptr;

    QGroupBox *RzGroupBox4 = nullptr;
    Indicator *Shape13 = nullptr;
    Indicator *Shape14 = nullptr;
    Indicator *Shape15 = nullptr;
    Indicator *Shape16 = nullptr;
    Indicator *Shape17 = nullptr;
    Indicator *Shape18 = nullptr;

protected:
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildDescription();
    void buildGuard();
    void buildSensors();
    void buildService();
    void buildOutputs();
    Indicator *addIndicatorRow(QWidget *box, QGridLayout *grid, int line, const StatusBits::Row &row);
    void showNoObject();
    void setCommandsEnabled(bool enabled);
    // Whether a command for the shown object may go out now; tells the
    // operator why not where the reason is the object's.
    bool mayCommand();
    void statusWaitEnded();
    QString voiceCallRefusal(QString *number);
    bool ownsWindow(const QWidget *window) const;

    StationState &m_state;
    Database &m_database;
    ServerLink &m_link;
    OperatorRights &m_rights;

    // Every indicator with the row of the status word that drives it.
    QList<std::pair<Indicator *, StatusBits::Row>> m_indicators;
    QString m_imei;
    QTimer *m_statusWait = nullptr;
    bool m_activating = false;
    bool m_backFromOwnWindow = false;
    bool m_placed = false;
};
