#include "ObjectListModel.h"

#include "StateModel.h"

#include <algorithm>
#include <array>
#include <numeric>
#include <vector>

namespace {

// StateModel::stateCode with shortcuts for the two texts a list is filled
// with: a short number (a state) and a long one (the IMEI standing in for a
// state until the states are loaded). Anything else is left to stateCode.
int codeOf(const QString &text)
{
    const qsizetype size = text.size();
    if (size > 0 && size <= 9) {
        int value = 0;
        for (const QChar c : text) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return StateModel::stateCode(text);
            value = value * 10 + (c.unicode() - u'0');
        }
        return value;
    }
    // Over ten characters after the sign and no leading zero: too many
    // digits for an int, or no number at all; 0 either way.
    const qsizetype sign = size > 0 && (text.at(0) == QLatin1Char('-') || text.at(0) == QLatin1Char('+')) ? 1 : 0;
    if (size - sign > 10 && text.at(sign) != QLatin1Char('0'))
        return 0;
    return StateModel::stateCode(text);
}

bool sortsBefore(const ObjectListModel::Entry &a, const ObjectListModel::Entry &b)
{
    return a.code != b.code && StateModel::Compare_States(a.code, b.code) < 0;
}

} // namespace

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
    m_firstRow.clear();
    m_firstRow.reserve(captions.size());
    for (const QString &caption : captions) {
        Entry e;
        e.caption = caption;
        assign(e, caption);
        e.image = StateModel::NotConnectedImage;
        e.serial = int(m_entries.size());
        // Indexed while the text is at hand: going over 100,000 texts again
        // later costs more than the hashing itself.
        m_firstRow.setIfAbsent(caption, int(m_entries.size()));
        m_entries.append(e);
    }
    endResetModel();
}

void ObjectListModel::clear()
{
    setCaptions({});
}

int ObjectListModel::findFirst(const QString &caption) const
{
    return m_firstRow.value(caption);
}

void ObjectListModel::assign(Entry &entry, const QString &stateText)
{
    entry.state = stateText;
    entry.code = codeOf(stateText);
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
    const qsizetype count = m_entries.size();
    // The places where the order breaks: none in a sorted list, exactly one
    // after a single entry's state changed (a notification).
    qsizetype breaks = 0;
    qsizetype at = -1;
    for (qsizetype row = 1; row < count && breaks < 2; ++row) {
        if (sortsBefore(m_entries.at(row), m_entries.at(row - 1))) {
            ++breaks;
            at = row - 1;
        }
    }
    if (breaks == 0)
        return;

    // Captions that occur once: their first row is simply their row, and a
    // reordering can shift the index instead of rebuilding it.
    const bool unique = m_firstRow.size() == count;
    const auto reorder = [this](const auto &newRow) {
        const QModelIndexList from = persistentIndexList();
        QModelIndexList to;
        to.reserve(from.size());
        for (const QModelIndex &old : from)
            to.append(index(newRow(old.row())));
        changePersistentIndexList(from, to);
    };

    // One entry out of place: a stable sort moves it alone, past the entries
    // that go before it and past those with an equal state that stood above
    // it, and leaves the rest in their order. A full sort of a long list for
    // every notification would make a burst of them crawl.
    const auto moveOne = [&](qsizetype moved) {
        const auto other = [&](qsizetype i) -> const Entry & { return m_entries.at(i < moved ? i : i + 1); };
        const qsizetype left = moved - 1;
        const qsizetype right = moved + 1;
        if (left >= 0 && right < count && sortsBefore(m_entries.at(right), m_entries.at(left)))
            return false;
        const Entry &entry = m_entries.at(moved);
        qsizetype lo = 0;
        qsizetype hi = count - 1;
        while (lo < hi) {
            const qsizetype mid = (lo + hi) / 2;
            if (sortsBefore(other(mid), entry))
                lo = mid + 1;
            else
                hi = mid;
        }
        qsizetype end = lo;
        hi = count - 1;
        while (end < hi) {
            const qsizetype mid = (end + hi) / 2;
            if (!sortsBefore(entry, other(mid)))
                end = mid + 1;
            else
                hi = mid;
        }
        const qsizetype target = std::clamp(moved, lo, end);
        if (target == moved)
            return true;

        emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        const auto begin = m_entries.begin();
        if (target < moved)
            std::rotate(begin + target, begin + moved, begin + moved + 1);
        else
            std::rotate(begin + moved, begin + moved + 1, begin + target + 1);
        const qsizetype first = std::min(moved, target);
        const qsizetype last = std::max(moved, target);
        const qsizetype shift = target < moved ? 1 : -1;
        const auto newRow = [=](qsizetype row) {
            if (row == moved)
                return target;
            return row >= first && row <= last ? row + shift : row;
        };
        reorder(newRow);
        if (!unique) {
            rebuildIndex();
        } else if ((last - first + 1) * 8 < count) {
            for (qsizetype row = first; row <= last; ++row)
                m_firstRow.set(m_entries.at(row).caption, int(row));
        } else {
            m_firstRow.remap(newRow);
        }
        emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
        return true;
    };
    // The entry out of place is the lower one of the break if it went up,
    // the upper one if it went down.
    if (breaks == 1 && (moveOne(at + 1) || moveOne(at)))
        return;

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // A stable counting sort: states are few, entries many. Their order is
    // the order Compare_States gives the distinct codes.
    std::vector<int> codes;
    std::array<int, 256> smallBucket;
    smallBucket.fill(-1);
    QHash<int, int> otherBucket;
    std::vector<int> bucketOf(static_cast<size_t>(count));
    for (qsizetype row = 0; row < count; ++row) {
        const int code = m_entries.at(row).code;
        int *bucket = nullptr;
        if (code >= 0 && code < int(smallBucket.size())) {
            bucket = &smallBucket[size_t(code)];
        } else {
            auto it = otherBucket.find(code);
            if (it == otherBucket.end())
                it = otherBucket.insert(code, -1);
            bucket = &it.value();
        }
        if (*bucket < 0) {
            *bucket = int(codes.size());
            codes.push_back(code);
        }
        bucketOf[size_t(row)] = *bucket;
    }
    std::vector<int> order(codes.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(),
              [&codes](int a, int b) { return StateModel::Compare_States(codes[size_t(a)], codes[size_t(b)]) < 0; });
    std::vector<qsizetype> next(codes.size());
    std::vector<qsizetype> sizes(codes.size(), 0);
    for (const int bucket : bucketOf)
        ++sizes[size_t(bucket)];
    qsizetype start = 0;
    for (const int bucket : order) {
        next[size_t(bucket)] = start;
        start += sizes[size_t(bucket)];
    }
    std::vector<int> newRowOf(static_cast<size_t>(count));
    QList<Entry> sorted(count);
    for (qsizetype row = 0; row < count; ++row) {
        const qsizetype to = next[size_t(bucketOf[size_t(row)])]++;
        newRowOf[size_t(row)] = int(to);
        sorted[to] = std::move(m_entries[row]);
    }
    m_entries = std::move(sorted);

    reorder([&newRowOf](qsizetype row) { return qsizetype(newRowOf[size_t(row)]); });
    if (unique) {
        m_firstRow.remap([&newRowOf](int row) { return newRowOf[size_t(row)]; });
    } else {
        rebuildIndex();
    }
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void ObjectListModel::rebuildIndex()
{
    m_firstRow.clear();
    m_firstRow.reserve(m_entries.size());
    // From the end, so that the lowest row of a caption is the one kept.
    for (qsizetype row = m_entries.size() - 1; row >= 0; --row)
        m_firstRow.set(m_entries.at(row).caption, int(row));
}
