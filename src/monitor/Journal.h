#pragma once

#include "JournalSql.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>

class Database;
class JournalModel;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QModelIndex;
class QTableView;
class QWidget;
struct StationState;

// The message journal under the object list: the rows of one object, of one
// group or of all the operator's groups from the start of the period on,
// newest first, coloured by message type; reloaded on a selection, a group
// change or an edit of the period, and topped up after state notifications.
class Journal final : public QObject
{
    Q_OBJECT

public:
    static constexpr int ColumnWidths[5] = {102, 106, 75, 317, 78};
    static constexpr int RowHeight = 16;
    static inline const QString DateFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

    // title is the caption over the grid; window is the parent of message boxes.
    Journal(StationState &state, Database &database, QTableView *StringGrid1, QDateTimeEdit *StartDate,
            QDateTimeEdit *EndDate, QLabel *title, QWidget *window);

    // The main window's group selector ComboBox1; a load for "All" reads its
    // text and items at that moment.
    void setGroupSelector(const QComboBox *ComboBox1);
    // Tells whether an entry of the object list is selected right now. Until
    // it is set, an object counts as selected once Selected_IMEI is not empty.
    void setObjectSelected(std::function<bool()> test);

    // Rebuilds the journal for an IMEI or for "All" (the group choice), from
    // after StartDate, and up to EndDate when useEnd is set.
    void Load_Messages(const QString &key, bool useEnd);
    // Puts the rows newer than the newest one shown on top; the title stays.
    void Refresh_Messages(const QString &key);
    // The operator changed StartDate or EndDate: reload with both bounds.
    void StartDateChange();

    // Moves the period to the 24 hours up to now without reloading, as a
    // click in the object list does.
    void setLastDay(const QDateTime &now);
    // Sets both pickers without reloading.
    void setPeriod(const QDateTime &start, const QDateTime &end);

    JournalModel *model() const { return m_model; }

signals:
    // A double click on a row that announces a camera frame: the object of
    // that row and the frame's date-time.
    void frameRequested(const QString &imei, const QString &date);

private:
    GroupChoice groupChoice() const;
    bool objectSelected() const;
    void StringGrid1DblClick(const QModelIndex &index);

    StationState &m_state;
    Database &m_database;
    QTableView *m_grid;
    QDateTimeEdit *m_start;
    QDateTimeEdit *m_end;
    QLabel *m_title;
    QWidget *m_window;
    JournalModel *m_model;
    const QComboBox *m_groups = nullptr;
    std::function<bool()> m_objectSelected;
    // Set while the station itself moves the pickers.
    bool m_settingPeriod = false;
};
