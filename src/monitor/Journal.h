#pragma once

#include "JournalSql.h"

#include <QDateTime>
#include <QFrame>
#include <QString>

#include <optional>

class Database;
class JournalModel;
class MonitoringSession;
class QDateTimeEdit;
class QLabel;
class QModelIndex;
class QTableView;
struct StationState;

// The message journal under the object list: the rows of one object, of one
// group or of all the operator's groups from the start of the period on,
// newest first, coloured by message type; reloaded on a selection, a group
// change or an edit of the period, and topped up after state notifications.
// The panel Panel2 holds the title Label2, the period pickers StartDate and
// EndDate and the grid StringGrid1; the period and the group choice are the
// session's.
class Journal final : public QFrame
{
    Q_OBJECT

public:
    static constexpr int ColumnWidths[5] = {102, 106, 75, 317, 78};
    static constexpr int RowHeight = 16;
    static inline const QString DateFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

    Journal(StationState &state, Database &database, MonitoringSession &session, QWidget *parent = nullptr);

    QLabel *Label2 = nullptr;
    QFrame *Panel7 = nullptr;
    QDateTimeEdit *StartDate = nullptr;
    QDateTimeEdit *EndDate = nullptr;
    QTableView *StringGrid1 = nullptr;

    // Rebuilds the journal for an IMEI or for "All" (the group choice), from
    // after StartDate, and up to EndDate when useEnd is set. The title
    // changes with the rows only: a load that cannot run leaves both.
    void Load_Messages(const QString &key, bool useEnd);
    // Puts the rows not shown yet on top, of what the journal shows: the
    // title stays and tells the truth. key is what the station would show,
    // needed only while the journal has not been loaded yet.
    void Refresh_Messages(const QString &key);
    // The operator changed StartDate or EndDate: reload with both bounds.
    void StartDateChange();

    // A load or top-up that could not run (no database, or refused) waits
    // here until catchUp() runs it: rows written meanwhile are not lost to
    // the operator, they come when the database is back.
    bool isBehind() const { return m_pending != Pending::None; }
    // Why the journal is behind, as the server said it; empty when it is not.
    const QString &lastError() const { return m_lastError; }
    // Runs the load or top-up that waits, if any.
    void catchUp();

    JournalModel *model() const { return m_model; }

    // Fits the columns to the rows shown (the first screenfuls of them),
    // none narrower than designed nor wider than a cap, and gives the
    // message column whatever width the grid has left.
    void fitColumns();
    // The widest a column other than the message one may get by fitting,
    // and the widest the message one may get beyond the grid's width.
    int columnCap() const;
    int messageCap() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

signals:
    // A double click on a row that announces a camera frame: the object of
    // that row and the frame's date-time.
    void frameRequested(const QString &imei, const QString &date);
    // The journal fell behind the database or caught up with it.
    void behindChanged(bool behind);

private:
    void StringGrid1DblClick(const QModelIndex &index);
    // Shows the session's period in the pickers without reloading.
    void showPeriod();
    enum class Pending { None, TopUp, Load };
    // Records how a load or top-up went: a load that failed waits in place of
    // anything older; a failed top-up waits unless a load already does.
    void noteOutcome(bool ran, Pending what, const QString &key, bool useEnd = false);

    StationState &m_state;
    Database &m_database;
    MonitoringSession &m_session;
    JournalModel *m_model;
    // What the rows shown are of, as their last load asked for them.
    struct Shown
    {
        QString key;
        GroupChoice groups;
        bool fullRights = false;
    };
    std::optional<Shown> m_shown;
    // Set while the station itself moves the pickers.
    bool m_settingPeriod = false;
    Pending m_pending = Pending::None;
    QString m_pendingKey;
    bool m_pendingUseEnd = false;
    QString m_lastError;
    // The message column's fitted width, before it takes the room left.
    int m_messageFit = 0;
    // The designed widths, widened to the desktop's font: what fitting
    // starts from.
    int m_minWidths[5] = {};
    // Kept apart: compared with, never called, while the grid goes.
    QWidget *m_gridViewport = nullptr;
    void fillWithMessages();
};
