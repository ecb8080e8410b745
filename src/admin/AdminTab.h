#pragma once

#include "Database.h"

#include <QList>
#include <QStringList>
#include <QWidget>

class ObjectImeis;
class QAbstractItemModel;
class QComboBox;
class QCompleter;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
struct StationState;

// One tab of the database administration window. It keeps nothing between
// showings: reload() reads its rows every time the tab comes into view, and
// each change is written at once by one of its buttons.
class AdminTab : public QWidget
{
    Q_OBJECT

public:
    AdminTab(StationState &state, Database &database, const QString &name, QWidget *parent = nullptr);

    virtual void reload() = 0;

protected:
    void say(const QString &text) const;
    // The server's reason for the last failure, or that there is no connection.
    QString serverError() const;
    // Runs a statement without rows; when the server refuses it, shows
    // failure (or the server's own error when failure is empty).
    bool change(const QString &sql, const QString &failure);
    // A text the tables' code page cannot carry is refused, naming the character.
    bool refuseUnencodable(const QStringList &texts) const;
    // Runs a read into rows of texts; false when the statement was refused
    // (with failText shown). Rows that ended with an error show the server's
    // text and keep what was read.
    bool readRows(const QString &sql, const QString &failText, QList<QStringList> *rows);
    // Load_Group_Names: the groups' names as the box's list, nothing chosen.
    void loadGroupNames(QComboBox *box);
    // The objects' IMEIs, read unless read already in this showing of the
    // window; a list that cannot be read stays as it was, to be read again.
    void readImeis(ObjectImeis &imeis);
    SqlEscaper q() const { return m_database.escaper(); }

    StationState &m_state;
    Database &m_database;
};

// The controls every tab is made of, under their names.
namespace AdminWidgets {

QLabel *label(QWidget *parent, const QString &name, const QString &text);
QLineEdit *edit(QWidget *parent, const QString &name, int maxLength = 0);
QPushButton *button(QWidget *parent, const QString &name, const QString &text);
// A read-only grid of whole rows; headers, when given, stand over the columns.
QTableWidget *grid(QWidget *parent, const QString &name, const QStringList &headers, const QList<int> &widths);
// The rows read into the grid; it keeps at least one row, emptied when there
// is nothing to show.
void fillGrid(QTableWidget *grid, const QList<QStringList> &rows);
QString cellText(const QTableWidget *grid, int row, int column);
// The row the grid's buttons act on: the current one, the first when none is.
int actedRow(const QTableWidget *grid);
// Finds an IMEI of the list by any part of it, as it is typed.
QCompleter *imeiCompleter(QAbstractItemModel *imeis, QObject *parent);

} // namespace AdminWidgets
