#pragma once

#include <QWidget>

class PasswordDelegate;
class QCheckBox;
class QTableWidget;
class QToolButton;
struct StationState;

// "Локальные пользователи": the editor of the local user list in Config.ini.
class TForm4 : public QWidget
{
    Q_OBJECT

public:
    explicit TForm4(StationState &state, QWidget *parent = nullptr);

    QTableWidget *StringGrid1 = nullptr;
    QToolButton *SpeedButton1 = nullptr;
    QToolButton *SpeedButton2 = nullptr;
    // "Показать пароли": the passwords are dots unless this is checked.
    QCheckBox *CheckBox1 = nullptr;

    // The window it is centred on when shown.
    void setCentreOn(const QWidget *window) { m_centreOn = window; }

    void SpeedButton1Click();
    void SpeedButton2Click();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormShow();

    StationState &m_state;
    const QWidget *m_centreOn = nullptr;
    PasswordDelegate *m_passwords = nullptr;
};
