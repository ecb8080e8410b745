#include "AdminTab.h"

#include "AdminSql.h"
#include "Cp1251.h"
#include "Dialogs.h"
#include "ObjectImeis.h"
#include "StationState.h"

#include <QComboBox>
#include <QCompleter>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>

AdminTab::AdminTab(StationState &state, Database &database, const QString &name, QWidget *parent)
    : QWidget(parent)
    , m_state(state)
    , m_database(database)
{
    setObjectName(name);
}

void AdminTab::say(const QString &text) const
{
    if (m_state.dialogs)
        m_state.dialogs->message(window(), text);
}

QString AdminTab::serverError() const
{
    return m_database.errorMessage();
}

bool AdminTab::change(const QString &sql, const QString &failure)
{
    if (m_database.exec(sql))
        return true;
    say(failure.isEmpty() ? serverError() : failure);
    return false;
}

bool AdminTab::refuseUnencodable(const QStringList &texts) const
{
    // The tables hold code page 1251; the server would refuse such a text with
    // a message that does not say which character it was.
    for (const QString &text : texts) {
        const QString character = Cp1251::firstUnencodableCharacter(text);
        if (character.isEmpty())
            continue;
        say(QStringLiteral("Символ \"%1\" нельзя сохранить в базе данных (только кириллица и латиница). "
                           "Данные не сохранены.")
                .arg(character));
        return true;
    }
    return false;
}

bool AdminTab::readRows(const QString &sql, const QString &failText, QList<QStringList> *rows)
{
    const Database::Rows outcome = m_database.forEach(sql, [rows](const DbRow &row) {
        QStringList texts;
        for (unsigned int column = 0; column < row.fields(); ++column)
            texts << row.text(column);
        rows->append(texts);
        return true;
    });
    if (outcome == Database::Rows::Failed) {
        say(failText);
        return false;
    }
    if (outcome == Database::Rows::Cut)
        say(serverError());
    return true;
}

void AdminTab::loadGroupNames(QComboBox *box)
{
    box->clear();
    box->clearEditText();
    QList<QStringList> rows;
    readRows(AdminSql::groupNames(), QStringLiteral("Нет доступа к таблице групп"), &rows);
    for (const QStringList &row : std::as_const(rows))
        box->addItem(row.value(0));
    box->setCurrentIndex(-1);
}

void AdminTab::readImeis(ObjectImeis &imeis)
{
    if (imeis.isFresh())
        return;
    QList<QStringList> rows;
    if (!readRows(AdminSql::objectImeis(), QStringLiteral("Нет доступа к таблице объектов"), &rows))
        return;
    QStringList read;
    read.reserve(rows.size());
    for (const QStringList &row : std::as_const(rows))
        read << row.value(0);
    imeis.setImeis(read);
}

namespace AdminWidgets {

QLabel *label(QWidget *parent, const QString &name, const QString &text)
{
    auto *result = new QLabel(text, parent);
    result->setObjectName(name);
    result->setTextFormat(Qt::PlainText);
    return result;
}

QLineEdit *edit(QWidget *parent, const QString &name, int maxLength)
{
    auto *result = new QLineEdit(parent);
    result->setObjectName(name);
    if (maxLength > 0)
        result->setMaxLength(maxLength);
    return result;
}

QPushButton *button(QWidget *parent, const QString &name, const QString &text)
{
    auto *result = new QPushButton(text, parent);
    result->setObjectName(name);
    result->setAutoDefault(false);
    return result;
}

QTableWidget *grid(QWidget *parent, const QString &name, const QStringList &headers, const QList<int> &widths)
{
    auto *result = new QTableWidget(1, int(widths.size()), parent);
    result->setObjectName(name);
    result->verticalHeader()->hide();
    result->verticalHeader()->setDefaultSectionSize(std::max(16, result->fontMetrics().height() + 4));
    result->setEditTriggers(QAbstractItemView::NoEditTriggers);
    result->setSelectionBehavior(QAbstractItemView::SelectRows);
    result->setSelectionMode(QAbstractItemView::SingleSelection);
    result->setWordWrap(false);
    result->horizontalHeader()->setStretchLastSection(true);
    if (headers.isEmpty())
        result->horizontalHeader()->hide();
    else
        result->setHorizontalHeaderLabels(headers);
    // The laid-out widths, or wider where this desktop's font needs the room
    // for a heading.
    const QFontMetrics metrics = result->horizontalHeader()->fontMetrics();
    for (int column = 0; column < widths.size(); ++column) {
        const int heading = headers.isEmpty() ? 0 : metrics.horizontalAdvance(headers.at(column)) + 16;
        result->setColumnWidth(column, std::max(widths.at(column), heading));
    }
    return result;
}

namespace {

QTableWidgetItem *cellItem(const QString &text)
{
    auto *item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    return item;
}

} // namespace

void fillGrid(QTableWidget *grid, const QList<QStringList> &rows)
{
    const QSignalBlocker blocker(grid);
    const int columns = grid->columnCount();
    grid->setRowCount(std::max(int(rows.size()), 1));
    for (int column = 0; column < columns; ++column)
        grid->setItem(0, column, cellItem(QString()));
    for (int row = 0; row < rows.size(); ++row) {
        for (int column = 0; column < columns; ++column)
            grid->setItem(row, column, cellItem(rows.at(row).value(column)));
    }
    // A column of a headed grid grows to show its longest value whole.
    if (!grid->horizontalHeader()->isHidden()) {
        const QFontMetrics metrics = grid->fontMetrics();
        for (int column = 0; column + 1 < columns; ++column) {
            int width = grid->columnWidth(column);
            for (const QStringList &row : rows)
                width = std::max(width, metrics.horizontalAdvance(row.value(column)) + 12);
            grid->setColumnWidth(column, width);
        }
    }
}

QString cellText(const QTableWidget *grid, int row, int column)
{
    const QTableWidgetItem *item = grid->item(row, column);
    return item ? item->text() : QString();
}

int actedRow(const QTableWidget *grid)
{
    return std::max(grid->currentRow(), 0);
}

QCompleter *imeiCompleter(QAbstractItemModel *imeis, QObject *parent)
{
    auto *completer = new QCompleter(imeis, parent);
    completer->setFilterMode(Qt::MatchContains);
    completer->setCompletionMode(QCompleter::PopupCompletion);
    completer->setMaxVisibleItems(12);
    return completer;
}

} // namespace AdminWidgets
