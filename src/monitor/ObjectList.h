#pragma once

#include "GroupChoice.h"

#include <QElapsedTimer>
#include <QFrame>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <functional>

class Database;
class MonitoringSession;
class ObjectFilterModel;
class ObjectListModel;
class QAction;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QModelIndex;
class QPoint;
class QWidget;
class ServerLink;
struct StationState;

// The object list of the main window (Panel3 with the caption and the list
// OTable): which objects of the session's group choice are listed, their
// states and order, selecting, the hint and the remote commands of the
// list's context menu. A selection goes to the session; what the journal,
// the alarm column and the object card do about it is signalled.
// The search field above the list shows only the objects whose IMEI, model,
// address, clarification or owner hold the text typed; rows of the view are
// then not rows of the model, and everything that takes an entry from the
// view goes through modelRow.
class ObjectList final : public QFrame
{
    Q_OBJECT

public:
    ObjectList(StationState &state, Database &database, ServerLink &link, MonitoringSession &session,
               QWidget *parent = nullptr);

    QListView *OTable = nullptr;
    QLineEdit *SearchEdit = nullptr;
    // Over the list while it is behind the database: what it shows instead
    // of what was asked for.
    QLabel *ListNotice = nullptr;

    ObjectListModel *model() const { return m_model; }
    // What the view shows of the model.
    ObjectFilterModel *filter() const { return m_filter; }
    // The model's row of an entry of the view, -1 for none.
    int modelRow(const QModelIndex &viewIndex) const;
    // The view's index of an entry of the model; invalid while the search hides it.
    QModelIndex viewIndex(int row) const;

    // Refills the list with the objects of a group choice (a group name or
    // "Все"); every caller follows it with Load_States.
    void Load_Objects(const QString &group);
    // Sets every listed object's state from the database, then sorts.
    void Load_States();
    // The list or its states could not be read (the database away, or a
    // refusal): what is shown may be out of date, and ListNotice says so.
    bool isBehind() const { return m_objectsBehind || m_statesBehind; }
    // Reads again what could not be read; nothing when nothing waits.
    void catchUp();
    // The states shown may differ from the database's (a step whose outcome
    // could not be read back): read again at the next catchUp().
    void statesOutOfDate();
    // Empty, as before any login, the search too.
    void clear();
    void Sort_Objects();

    // The row of the first entry with this IMEI, or -1.
    int findEntry(const QString &imei) const;
    // The state text of the first entry with this IMEI; a null text when the
    // object is not listed.
    QString stateText(const QString &imei) const;
    // The state code of a listed object, -1 when it is not listed.
    int stateCode(const QString &imei) const;
    // Sets an entry's state code and icon (not its position: Sort_Objects).
    void setEntryState(int row, int code);
    // The row of the entry selected in the list, or -1.
    int selectedRow() const;
    bool hasSelection() const { return selectedRow() >= 0; }

    // Handlers: the operator chose a group (the session's choice changed),
    // and OTable's own.
    void ComboBox1Change();
    void OTableSelectItem(int row, bool selected);
    void OTableClick();
    void OTableDblClick(int row);
    // Puts the particulars of the object under the mouse into the list's hint.
    void OTableMouseMove(const QPoint &pos);
    // Lines added under the particulars, for an object and its state code.
    void setHintLines(std::function<QString(const QString &imei, int code)> lines) { m_hintLines = std::move(lines); }
    void N1Click();
    void N2Click();
    void N4Click();
    void N5Click();
    // The search text changed: the view shows what it finds. The texts it
    // searches besides the IMEIs are read when first needed after a refill.
    void SearchEditChange(const QString &text);

    QMenu *PopupMenu2 = nullptr;
    QAction *N1 = nullptr;
    QAction *N2 = nullptr;
    QAction *N3 = nullptr;
    QAction *N4 = nullptr;
    QAction *N5 = nullptr;

signals:
    // Load_Messages with this key (an IMEI or AllKey), period end unused.
    void messagesRequested(const QString &key);
    // An object in alarm (code 90 or more) was selected: Add_Alarm. The
    // state text is the entry's at the moment of selection.
    void alarmSelected(const QString &imei, const QString &stateText);
    // After a selection: OpenImage.
    void imageRequested(const QString &imei);
    // The object card shows Selected_IMEI.
    void objectDoubleClicked(const QString &imei);
    // A state code mapped to an icon, with the object it belongs to
    // (Show_Guard_State takes the code).
    void guardStateShown(quint8 code, const QString &imei);
    // The states of the whole list were loaded anew: one signal rather than
    // one per object, since only the object on the card is of interest.
    void statesLoaded();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void sendToSelected(const std::function<QByteArray(const QString &)> &packet);
    void configureView();
    void buildMenu();
    void buildSearch();
    // Reads the texts the search finds objects by, for the group choice.
    void loadSearchTexts(const QString &group);
    // A list cut off midway: told once until a load succeeds.
    void reportCut();
    void showNotice();

    StationState &m_state;
    Database &m_database;
    ServerLink &m_link;
    MonitoringSession &m_session;
    QListView *m_table;
    // Kept apart: the filter also sees the viewport go while the list is destroyed.
    QWidget *m_viewport = nullptr;
    // A mouse button is held on the list: nothing moves under the pointer
    // until it is released (a sort asked for meanwhile waits).
    bool m_buttonHeld = false;
    QElapsedTimer m_heldSince;
    static constexpr qint64 HoldLimitMs = 2000;
    bool m_sortPending = false;
    // The object the last press selected: a double click opens its card,
    // whatever entry the second press lands on after a re-sort.
    QString m_pressedImei;
    // The view must not see the release that ends a double click it did
    // not see either.
    bool m_swallowRelease = false;
    // Where and when the last click ended: a press there soon after is the
    // second press of a double click.
    QElapsedTimer m_lastRelease;
    QPoint m_lastReleasePos;
    ObjectListModel *m_model;
    ObjectFilterModel *m_filter;
    std::function<QString(const QString &, int)> m_hintLines;
    // The group choice the entries are of, and what could not be read.
    QString m_listedGroup;
    bool m_objectsBehind = false;
    bool m_statesBehind = false;
};
