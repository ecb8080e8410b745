#include "ObjectListModel.h"

#include "StateModel.h"

#include <algorithm>
#include <numeric>
#include <vector>

ObjectListModel::ObjectListModel(QObject *parent)
    : QAbstractListModel(parent)
{
}

int ObjectListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

QVariant ObjectListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Entry &e = m_entries.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return e.caption;
    case Qt::DecorationRole:
        return e.image >= 0 && e.image < m_icons.size() ? QVariant(m_icons.at(e.image)) : QVariant();
    case StateTextRole:
        return e.state;
    case StateCodeRole:
        return e.code;
    case ImageIndexRole:
        return e.image;
    default:
        return {};
    }
}

Qt::ItemFlags ObjectListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void ObjectListModel::setIcons(const QList<QIcon> &icons)
{
    m_icons = icons;
    if (!m_entries.isEmpty())
        emit dataChanged(index(0), index(int(m_entries.size()) - 1), {Qt::DecorationRole});
}

void ObjectListModel::setCaptions(const QStringList &captions)
{
    beginResetModel();
    m_entries.clear();
    m_entries.reserve(captions.size());
    for (const QString &caption : captions) {
        Entry e;
        e.caption = caption;
        assign(e, caption);
        e.image = StateModel::NotConnectedImage;
        m_entries.append(e);
    }
    rebuildIndex();
    endResetModel();
}

void ObjectListModel::clear()
{
    setCaptions({});
}

int ObjectListModel::findFirst(const QString &caption) const
{
    return m_firstRow.value(caption, -1);
}

void ObjectListModel::assign(Entry &entry, const QString &stateText)
{
    entry.state = stateText;
    entry.code = StateModel::stateCode(stateText);
    entry.image = StateModel::State_Image(entry.code);
}

void ObjectListModel::setState(int row, const QString &stateText)
{
    Q_ASSERT(row >= 0 && row < m_entries.size());
    assign(m_entries[row], stateText);
    emit dataChanged(index(row), index(row));
}

void ObjectListModel::setStates(const QList<std::pair<int, QString>> &rowStates)
{
    if (rowStates.isEmpty())
        return;
    int first = int(m_entries.size());
    int last = -1;
    for (const auto &[row, text] : rowStates) {
        Q_ASSERT(row >= 0 && row < m_entries.size());
        assign(m_entries[row], text);
        first = std::min(first, row);
        last = std::max(last, row);
    }
    emit dataChanged(index(first), index(last));
}

void ObjectListModel::sortByState()
{
    const auto before = [](const Entry &a, const Entry &b) { return StateModel::Compare_States(a.code, b.code) < 0; };
    if (std::is_sorted(m_entries.cbegin(), m_entries.cend(), before))
        return;

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> order(size_t(m_entries.size()));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [this, &before](int a, int b) { return before(m_entries.at(a), m_entries.at(b)); });

    std::vector<int> newRowOf(order.size());
    QList<Entry> sorted;
    sorted.reserve(m_entries.size());
    for (size_t newRow = 0; newRow < order.size(); ++newRow) {
        newRowOf[size_t(order[newRow])] = int(newRow);
        sorted.append(std::move(m_entries[order[newRow]]));
    }
    m_entries = std::move(sorted);

    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex &old : from)
        to.append(index(newRowOf[size_t(old.row())]));
    changePersistentIndexList(from, to);
    rebuildIndex();
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void ObjectListModel::rebuildIndex()
{
    m_firstRow.clear();
    m_firstRow.reserve(m_entries.size());
    // From the end, so that the lowest row of a caption is the one kept.
    for (qsizetype row = m_entries.size() - 1; row >= 0; --row)
        m_firstRow.insert(m_entries.at(row).caption, int(row));
}
