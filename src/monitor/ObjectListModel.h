#pragma once

#include "CaptionIndex.h"
#include "StateOrder.h"

#include <QAbstractListModel>
#include <QHash>
#include <QIcon>
#include <QList>

#include <functional>
#include <utility>
#include <vector>

// The entries of the object list: one per listed object, captioned with its
// IMEI, carrying the state code as text (the list's "sub-item 0") and the
// state icon. Captions are the key by which the other views find an object;
// the first entry with a caption is the one they mean, and finding it does
// not walk the list.
class ObjectListModel final : public QAbstractListModel
{
    Q_OBJECT

public:
    struct Entry
    {
        QString caption;
        QString state;
        int code = 0;
        int image = 0;
        // The entry's place in the order it was listed in: it moves with the
        // entry through re-sorts, so what is kept about entries elsewhere
        // (the search texts) is kept by it.
        int serial = 0;
    };

    enum Role {
        StateTextRole = Qt::UserRole + 1,
        StateCodeRole,
        ImageIndexRole,
    };

    explicit ObjectListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    void setIcons(const QList<QIcon> &icons);

    // Replaces every entry: one per caption, in order, with icon 0 and the
    // caption itself standing in for the state until the states are loaded.
    void setCaptions(const QStringList &captions);
    void clear();
    // The same, caption by caption as the database hands them over. The new
    // entries are built aside while the rows come in and take the list's
    // place only at endCaptions: a reload cut off midway leaves the list as
    // it was (call beginCaptions again, or nothing).
    void beginCaptions();
    void addCaption(QByteArrayView utf8);
    void endCaptions();

    const Entry &entry(int row) const { return m_entries.at(m_order.idAt(row)); }
    // The entry with this serial: serials run from 0 to rowCount() - 1, and
    // going by them costs no walk through the order.
    const Entry &entryBySerial(int serial) const { return m_entries.at(serial); }
    // The serial of the first entry with this caption, or -1.
    int findFirstSerialUtf8(QByteArrayView caption) const;
    // The row of the first entry with this caption, or -1.
    int findFirst(const QString &caption) const;
    // Whether no entry above this one has its caption (no lookup while
    // every caption is listed once).
    bool isFirstOfCaption(int row) const;
    bool hasRepeatedCaptions() const { return !m_sameCaption.empty(); }
    // The row of the entry with this serial.
    int rowOfSerial(int serial) const;
    // The entry's caption as a key of CaptionIndex::numberKey (0: no number).
    quint64 captionKeyAt(int row) const;
    // findFirst for a caption given as UTF-8 bytes.
    int findFirstUtf8(QByteArrayView caption) const { return firstRowOf(m_byCaption.valueUtf8(caption)); }
    // A caption as the database hands it over, ready for findFirstRows: its
    // number when it is all digits, else its text.
    struct CaptionKey
    {
        quint64 number = 0;
        QString text;
    };
    static CaptionKey captionKey(QByteArrayView utf8);
    // How many keys ahead of its use a lookup is started.
    static constexpr size_t LookAhead = 16;
    // The rows of the first entries with these captions (-1 where none), in
    // one go, as a reload of the states finds them. The entry listed at the
    // same position is tried first: a second statement read through the same
    // index returns the objects in the order they were listed (a group's
    // list). Otherwise each lookup is started LookAhead keys ahead of its
    // use, so that the cache misses of a 400,000-entry index overlap instead
    // of coming one after another.
    std::vector<int> findFirstRows(const std::vector<CaptionKey> &keys) const;

    // The state as text exactly as given; its icon follows from its code.
    void setState(int row, const QString &stateText);
    // Many at once, with one change notification.
    void setStates(const QList<std::pair<int, QString>> &rowStates);
    // A reload of every state, row by row as the database hands them over.
    // Each row's entry is found as the later rows come in (as findFirstRows
    // finds them); the states are set only at endStates, with one change
    // notification, so a reload cut off midway changes nothing. Rows of
    // captions not listed are left out. The buffers are kept for the next
    // reload: with 400,000 objects fresh ones would be faulted in page by
    // page each time.
    void beginStates();
    void addState(QByteArrayView caption, const QString &stateText);
    void endStates();

    // Highest code first. Entries with equal codes keep their order, so a
    // re-sort after one change moves only what has to move, at a cost that
    // does not grow with the list. Persistent indexes (the view's selection
    // and current entry) follow their entries.
    void sortByState();

private:
    void assign(int id, const QString &stateText);
    void addEntry(const QString &caption, quint64 key);
    bool guessedAt(const std::vector<CaptionKey> &keys, size_t i) const;
    void lookAhead(const std::vector<CaptionKey> &keys, size_t i) const;
    int rowFor(const std::vector<CaptionKey> &keys, size_t i) const;
    int firstRowOf(int id) const;
    void sortAll();
    // A re-order's bracket: the persistent indexes (the view's selection and
    // current entry) are noted by entry before it and put on the rows their
    // entries hold after it.
    struct HeldIndexes
    {
        QModelIndexList from;
        std::vector<int> ids;
    };
    HeldIndexes holdIndexes(const std::function<int(int)> &idAtRow);
    void releaseIndexes(const HeldIndexes &held);
    // Whether the entry at this row stands in order with its neighbours.
    bool inOrderAt(int row) const;

    // By id: the order in which the entries were listed.
    QList<Entry> m_entries;
    // A reload of the captions under way, in the slots of the entries before.
    QList<Entry> m_next;
    int m_nextCount = 0;
    std::vector<quint64> m_nextKeys;
    StateOrder m_order;
    // Ids whose code changed since the last sort.
    std::vector<int> m_changed;
    std::vector<bool> m_isChanged;
    // The id of the first listed entry of each caption; further entries
    // with the same caption are chained from it (-1 ends a chain). The chain
    // is empty while every caption is listed once, as IMEIs are.
    CaptionIndex m_byCaption;
    // Each entry's caption key, by id (0 for a caption that is no number).
    std::vector<quint64> m_keys;
    // A reload of the states under way.
    std::vector<CaptionKey> m_stateKeys;
    QList<QString> m_stateTexts;
    std::vector<int> m_stateRows;
    std::vector<int> m_sameCaption;
    QList<QIcon> m_icons;
};
