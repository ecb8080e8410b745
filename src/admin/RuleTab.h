#pragma once

#include "AdminTab.h"

#include <optional>

class ObjectImeis;
class QGroupBox;
class QRadioButton;

// "Настройка событий": the event rules, each on an object or a group, with a
// source (a keyword, or a time of day) and an action.
class RuleTab final : public AdminTab
{
    Q_OBJECT

public:
    RuleTab(StationState &state, Database &database, ObjectImeis &imeis, QWidget *parent = nullptr);

    void reload() override;
    // RzRadioButton1Click: the object or the group selector, as ticked.
    void showSelector();
    // The time field as a rule stores it: the hour right-aligned with a blank
    // for a digit left out (" 7:30"), "  :  " untouched; none when it is
    // typed only in part or is no time of day.
    std::optional<QString> timeText() const;

    QTableWidget *StringGrid6 = nullptr;
    QGroupBox *RzRadioGroup1 = nullptr;
    QLineEdit *Edit16 = nullptr;
    QRadioButton *RzRadioButton1 = nullptr;
    QRadioButton *RzRadioButton2 = nullptr;
    // The object, found by any part of its IMEI as it is typed.
    QComboBox *ComboBox2 = nullptr;
    QComboBox *ComboBox3 = nullptr;
    QGroupBox *RzGroupBox1 = nullptr;
    QLineEdit *MaskEdit1 = nullptr;
    QComboBox *ComboBox4 = nullptr;
    QGroupBox *RzGroupBox2 = nullptr;
    QComboBox *ComboBox5 = nullptr;
    QPushButton *SpeedButton12 = nullptr;
    QPushButton *SpeedButton13 = nullptr;

private:
    void addRule();
    void removeRule();

    ObjectImeis &m_imeis;
};
