#pragma once

#include <QWidget>

class Database;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTableWidget;
struct StationState;

// "Настройка базы данных": the administrator's editors of the shared tables,
// one tab each. The window keeps nothing between showings: a tab reads its
// rows every time it comes into view, and every change is written at once.
class TForm5 : public QWidget
{
    Q_OBJECT

public:
    TForm5(StationState &state, Database &database, QWidget *parent = nullptr);

    QTabWidget *PageControl1 = nullptr;
    QWidget *TabSheet1 = nullptr;
    QWidget *TabSheet2 = nullptr;
    QWidget *TabSheet3 = nullptr;
    QWidget *TabSheet4 = nullptr;
    QWidget *TabSheet5 = nullptr;
    QWidget *TabSheet6 = nullptr;

    // "Редактор групп"
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QTableWidget *StringGrid1 = nullptr;
    QLineEdit *Edit1 = nullptr;
    QPushButton *SpeedButton1 = nullptr;
    QPushButton *SpeedButton2 = nullptr;

    // "Объекты"
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QTableWidget *StringGrid2 = nullptr;
    QLineEdit *Edit2 = nullptr;
    QLineEdit *Edit3 = nullptr;
    QLineEdit *Edit4 = nullptr;
    QLineEdit *Edit5 = nullptr;
    QLineEdit *Edit6 = nullptr;
    QPlainTextEdit *Memo1 = nullptr;
    QLineEdit *Edit7 = nullptr;
    QLineEdit *Edit8 = nullptr;
    QComboBox *GroupBox = nullptr;
    QPushButton *SpeedButton3 = nullptr;

    // "Пользователи"
    QLabel *Label14 = nullptr;
    QLabel *Label15 = nullptr;
    QTableWidget *StringGrid3 = nullptr;
    QLineEdit *Edit12 = nullptr;
    QLineEdit *Edit13 = nullptr;
    QLineEdit *Edit14 = nullptr;
    QLineEdit *Edit15 = nullptr;
    QCheckBox *RzCheckBox1 = nullptr;
    QListWidget *RzCheckList1 = nullptr;
    QPushButton *SpeedButton5 = nullptr;
    QPushButton *SpeedButton6 = nullptr;
    QPushButton *SpeedButton7 = nullptr;

    // "Текст. сообщения"
    QLabel *Label20 = nullptr;
    QTableWidget *StringGrid4 = nullptr;
    QLineEdit *Edit9 = nullptr;
    QPushButton *SpeedButton8 = nullptr;
    QPushButton *SpeedButton9 = nullptr;

    // "Определение ключей"
    QLabel *Label21 = nullptr;
    QTableWidget *StringGrid5 = nullptr;
    QLineEdit *Edit10 = nullptr;
    QLineEdit *Edit11 = nullptr;
    QPushButton *SpeedButton10 = nullptr;
    QPushButton *SpeedButton11 = nullptr;

    // "Настройка событий"
    QTableWidget *StringGrid6 = nullptr;
    QGroupBox *RzRadioGroup1 = nullptr;
    QLineEdit *Edit16 = nullptr;
    QRadioButton *RzRadioButton1 = nullptr;
    QRadioButton *RzRadioButton2 = nullptr;
    QComboBox *ComboBox2 = nullptr;
    QComboBox *ComboBox3 = nullptr;
    QGroupBox *RzGroupBox1 = nullptr;
    QLineEdit *MaskEdit1 = nullptr;
    QComboBox *ComboBox4 = nullptr;
    QGroupBox *RzGroupBox2 = nullptr;
    QComboBox *ComboBox5 = nullptr;
    QPushButton *SpeedButton12 = nullptr;
    QPushButton *SpeedButton13 = nullptr;

    void TabSheet1Show();
    void SpeedButton1Click();
    void SpeedButton2Click();

    void TabSheet2Show();
    void StringGrid2SelectCell(int row);
    void SpeedButton3Click();

    void TabSheet3Show();
    void StringGrid3SelectCell(int row);
    void SpeedButton5Click();
    void SpeedButton6Click();
    void SpeedButton7Click();

    void TabSheet4Show();
    void SpeedButton8Click();
    void SpeedButton9Click();

    void TabSheet5Show();
    void SpeedButton10Click();
    void SpeedButton11Click();

    void TabSheet6Show();
    void RzRadioButton1Click();
    void SpeedButton12Click();
    void SpeedButton13Click();

    void Load_Group_Names(QComboBox *box);
    void Load_Group_Checklist();

    // The time field's text as the rule stores it: blanks for digits left out.
    QString timeText() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    QWidget *buildGroupTab();
    QWidget *buildObjectTab();
    QWidget *buildUserTab();
    QWidget *buildTextTab();
    QWidget *buildKeyTab();
    QWidget *buildRuleTab();
    void tabShown(int index);

    void say(const QString &text);
    // The server's reason for the last failure, or that there is no connection.
    QString serverError() const;
    // Runs a statement without rows; when the server refuses it, shows
    // failure (or the server's own error when failure is empty).
    bool change(const QString &sql, const QString &failure);
    // A text the tables' code page cannot carry is refused, naming the character.
    bool refuseUnencodable(const QStringList &texts);

    // Runs a read into rows of texts; false when the statement was refused
    // (with failText shown). Rows that ended with an error show the server's
    // text and keep what was read.
    bool readRows(const QString &sql, const QString &failText, QList<QStringList> *rows);
    void showObjectFields(const QStringList &values);
    // Runs account statements in order; when one is refused, takes back the
    // ones before it (in reverse) and returns the refusal's text.
    bool runAccountSteps(const QList<QPair<QString, QString>> &steps, QString *error);
    void runQuietly(const QString &sql);

    StationState &m_state;
    Database &m_database;
};
