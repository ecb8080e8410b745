#pragma once

#include <QWidget>

class QAbstractButton;
class QComboBox;
class QLabel;
class QLineEdit;
class QToolButton;
struct StationState;

// "Аутентификация пользователя": the login window. It is the application's main
// form: the program ends when it closes.
class TForm3 : public QWidget
{
    Q_OBJECT

public:
    explicit TForm3(StationState &state, QWidget *parent = nullptr);

    // The main window it opens and its local user editor button, which a
    // login with the password "Pilot" enables.
    void attachMainWindow(QWidget *mainWindow, QAbstractButton *localUsersButton);

    // Closes the window for good, which ends the program.
    void closeApplication();

    QLabel *Image1 = nullptr;
    QComboBox *ComboBox1 = nullptr;
    QLineEdit *Edit1 = nullptr;
    QToolButton *SpeedButton1 = nullptr;
    QToolButton *SpeedButton2 = nullptr;

    void SpeedButton1Click();
    void SpeedButton2Click();

signals:
    // A local login succeeded and the credentials are in the station state:
    // the main window now connects to the server with them.
    void loggedIn();
    void applicationEnd();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void FormShow();

    StationState &m_state;
    QWidget *m_mainWindow = nullptr;
    QAbstractButton *m_localUsersButton = nullptr;
    bool m_ending = false;
};
