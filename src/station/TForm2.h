#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;
class ServerLink;
struct StationState;

// "Настройки соединения": the addresses and ports of the monitoring server and
// of the database server.
class TForm2 : public QWidget
{
    Q_OBJECT

public:
    TForm2(StationState &state, ServerLink &link, QWidget *parent = nullptr);

    QLineEdit *Edit1 = nullptr;
    QLineEdit *Edit2 = nullptr;
    QLineEdit *Edit3 = nullptr;
    QLineEdit *Edit4 = nullptr;
    QToolButton *SpeedButton1 = nullptr;
    QToolButton *SpeedButton2 = nullptr;

    // The window it is centred on when shown.
    void setCentreOn(const QWidget *window) { m_centreOn = window; }

    void SpeedButton1Click();
    void SpeedButton2Click();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormShow();
    void Edit2Change(QLineEdit *box);

    StationState &m_state;
    const QWidget *m_centreOn = nullptr;
    ServerLink &m_link;
};
