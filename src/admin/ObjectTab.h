#pragma once

#include "AdminTab.h"

class KeptField;
class ObjectImeis;
class QComboBox;
class QPlainTextEdit;

// "Объекты": the objects' IMEIs, and the nine descriptive columns of the one
// chosen, written together by "Сохранить".
class ObjectTab final : public AdminTab
{
    Q_OBJECT

public:
    ObjectTab(StationState &state, Database &database, ObjectImeis &imeis, QWidget *parent = nullptr);

    void reload() override;
    // StringGrid2SelectCell: the object of the row in the fields.
    void showObject(int row);

    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QLineEdit *ObjectFind = nullptr;
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

private:
    void save();
    void find(const QString &imei);

    ObjectImeis &m_imeis;
    // The nine fields in the order of the columns, and those columns.
    QList<KeptField *> m_fields;
    QStringList m_columns;
};
