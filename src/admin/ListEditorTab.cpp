#include "ListEditorTab.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace AdminWidgets;

ListEditorTab::ListEditorTab(StationState &state, Database &database, Description description, QWidget *parent)
    : AdminTab(state, database, description.tab, parent)
    , m_description(std::move(description))
{
    const Description &d = m_description;
    title = label(this, d.titleName, d.title);
    rows = grid(this, d.grid, d.headers, d.widths);
    int width = 40;
    for (const int column : d.widths)
        width += column;
    rows->setMaximumWidth(width);
    auto *form = new QFormLayout;
    for (const Field &field : d.fields) {
        QLineEdit *line = edit(this, field.name, field.maxLength);
        fields << line;
        form->addRow(label(this, QString(), field.caption), line);
        // Enter in any field adds, as the button does.
        connect(line, &QLineEdit::returnPressed, this, &ListEditorTab::addRow);
    }
    add = button(this, d.addName, QStringLiteral("Добавить"));
    remove = button(this, d.deleteName, QStringLiteral("Удалить"));
    connect(add, &QPushButton::clicked, this, &ListEditorTab::addRow);
    connect(remove, &QPushButton::clicked, this, &ListEditorTab::removeRow);

    auto *heading = new QHBoxLayout;
    heading->addWidget(title);
    if (!d.countName.isEmpty()) {
        count = label(this, d.countName, QStringLiteral("0"));
        heading->addWidget(count);
    }
    heading->addStretch();
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(remove);
    auto *side = new QVBoxLayout;
    side->addLayout(form);
    side->addLayout(buttons);
    side->addStretch();
    auto *layout = new QGridLayout(this);
    layout->addLayout(heading, 0, 0);
    layout->addWidget(rows, 1, 0);
    layout->addLayout(side, 1, 1);
    layout->setColumnStretch(1, 1);
}

void ListEditorTab::reload()
{
    QList<QStringList> read;
    if (!readRows(m_description.select, m_description.readFailure, &read))
        return;
    if (count)
        count->setText(QString::number(read.size()));
    fillGrid(rows, read);
}

void ListEditorTab::addRow()
{
    QStringList values;
    for (const QLineEdit *field : std::as_const(fields)) {
        if (field->text().isEmpty()) {
            say(m_description.emptyField);
            return;
        }
        // A pasted line break would make one group name two in an
        // operator's list of groups, which is kept one name a line.
        if (field->text().contains(QLatin1Char('\n')) || field->text().contains(QLatin1Char('\r'))) {
            say(QStringLiteral("Перевод строки сохранить нельзя: введите значение одной строкой"));
            return;
        }
        values << field->text();
    }
    if (refuseUnencodable(values))
        return;
    if (change(m_description.insert(q(), values), QStringLiteral("Ошибка при добавлении данных")))
        reload();
}

void ListEditorTab::removeRow()
{
    const QString key = cellText(rows, actedRow(rows), 0);
    if (change(m_description.remove(q(), key), QStringLiteral("Ошибка при удалении данных")))
        reload();
}
