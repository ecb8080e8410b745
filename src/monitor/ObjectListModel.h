#pragma once

#include "CaptionIndex.h"

#include <QAbstractListModel>
#include <QHash>
#include <QIcon>
#include <QList>

#include <utility>

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

    const Entry &entry(int row) const { return m_entries.at(row); }
    // The row of the first entry with this caption, or -1.
    int findFirst(const QString &caption) const;
    int findFirstUtf8(QByteArrayView caption) const { return m_firstRow.valueUtf8(caption); }

    // The state as text exactly as given; its icon follows from its code.
    void setState(int row, const QString &stateText);
    // Many at once, with one change notification.
    void setStates(const QList<std::pair<int, QString>> &rowStates);

    // Highest code first. Entries with equal codes keep their order, so a
    // re-sort after one change moves only what has to move. Persistent
    // indexes (the view's selection and current entry) follow their entries.
    void sortByState();

private:
    void assign(Entry &entry, const QString &stateText);
    void rebuildIndex();

    QList<Entry> m_entries;
    CaptionIndex m_firstRow;
    QList<QIcon> m_icons;
};
