#pragma once

#include "AdminTab.h"

#include <functional>

// A tab that edits a small table as a list of rows: the groups, the canned
// texts, the keys. Its rows in a grid, a field per column to add one, and
// "Добавить" and "Удалить". The three differ only in what the description
// below says.
class ListEditorTab final : public AdminTab
{
    Q_OBJECT

public:
    struct Field
    {
        QString name;
        QString caption;
        int maxLength = 0;
    };
    struct Description
    {
        QString tab;
        // The title over the grid, and, when named, the label after it that
        // counts the rows.
        QString titleName;
        QString title;
        QString countName;
        QString grid;
        QStringList headers;
        QList<int> widths;
        QList<Field> fields;
        QString addName;
        QString deleteName;
        // The rows, and what is said when they cannot be read.
        QString select;
        QString readFailure;
        // Said when a field is empty at "Добавить".
        QString emptyField;
        std::function<QString(const SqlEscaper &, const QStringList &)> insert;
        // Deletes the rows with the key of the grid's first column.
        std::function<QString(const SqlEscaper &, const QString &)> remove;
    };

    ListEditorTab(StationState &state, Database &database, Description description, QWidget *parent = nullptr);

    void reload() override;

    QLabel *title = nullptr;
    QLabel *count = nullptr;
    QTableWidget *rows = nullptr;
    QList<QLineEdit *> fields;
    QPushButton *add = nullptr;
    QPushButton *remove = nullptr;

private:
    void addRow();
    void removeRow();

    Description m_description;
};
