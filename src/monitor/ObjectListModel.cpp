#include "ObjectListModel.h"

#include <optional>

#include "StateModel.h"

#include <algorithm>

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

bool sortsBefore(int a, int b)
{
    return a != b && StateModel::Compare_States(a, b) < 0;
}

// Goes over the keys in order with each one's place in the index asked for
// some keys ahead of its use: the cache misses of a big index then overlap
// instead of coming one after another. Keys of 0 are not looked for.
template<typename Use>
void forEachAhead(const CaptionIndex &index, const std::vector<quint64> &keys, Use use)
{
    const size_t ahead = ObjectListModel::LookAhead;
    const size_t count = keys.size();
    for (size_t i = 0; i < std::min(ahead, count); ++i) {
        if (keys[i] != 0)
            index.prefetch(keys[i]);
    }
    for (size_t i = 0; i < count; ++i) {
        if (i + ahead < count && keys[i + ahead] != 0)
            index.prefetch(keys[i + ahead]);
        use(i);
    }
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
    const Entry &e = entry(index.row());
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
    beginCaptions();
    for (const QString &caption : captions)
        addEntry(caption, CaptionIndex::numberKey(QStringView(caption)));
    endCaptions();
}

void ObjectListModel::beginCaptions()
{
    m_nextCount = 0;
    m_nextKeys.clear();
}

void ObjectListModel::addCaption(QByteArrayView utf8)
{
    addEntry(QString::fromUtf8(utf8), CaptionIndex::numberKey(utf8));
}

void ObjectListModel::addEntry(const QString &caption, quint64 key)
{
    // The slots of the list before last are used again: its texts are let go
    // one by one while the rows come in.
    const int id = m_nextCount++;
    Entry &e = id < m_next.size() ? m_next[id] : m_next.emplace_back();
    e.caption = caption;
    e.state = caption;
    e.code = codeOf(caption);
    e.image = StateModel::NotConnectedImage;
    e.serial = id;
    m_nextKeys.push_back(key);
}

void ObjectListModel::endCaptions()
{
    m_next.resize(m_nextCount);
    beginResetModel();
    // The entries built aside take the list's place; the ones they replace
    // are kept for the next reload to write over.
    m_entries.swap(m_next);
    m_keys.swap(m_nextKeys);
    const qsizetype count = m_entries.size();
    m_byCaption.reset(count);
    m_sameCaption.clear();
    m_changed.clear();
    m_isChanged.clear();
    forEachAhead(m_byCaption, m_keys, [&](size_t i) {
        const int id = int(i);
        const int first =
            m_keys[i] != 0 ? m_byCaption.addNumber(m_keys[i], id) : m_byCaption.add(m_entries.at(id).caption, id);
        if (first >= 0) {
            if (m_sameCaption.empty())
                m_sameCaption.assign(size_t(count), -1);
            m_sameCaption[size_t(id)] = m_sameCaption[size_t(first)];
            m_sameCaption[size_t(first)] = id;
        }
    });
    m_order.reset(int(count));
    endResetModel();
}

void ObjectListModel::clear()
{
    setCaptions({});
    m_next.clear();
    m_next.squeeze();
}

int ObjectListModel::findFirst(const QString &caption) const
{
    return firstRowOf(m_byCaption.value(caption));
}

int ObjectListModel::findFirstSerialUtf8(QByteArrayView caption) const
{
    const int id = m_byCaption.valueUtf8(caption);
    if (id < 0 || m_sameCaption.empty())
        return id;
    const int row = firstRowOf(id);
    return row < 0 ? -1 : entry(row).serial;
}

int ObjectListModel::rowOfSerial(int serial) const
{
    return serial >= 0 && serial < m_entries.size() ? m_order.rowOf(serial) : -1;
}

quint64 ObjectListModel::captionKeyAt(int row) const
{
    const int id = m_order.idAt(row);
    return size_t(id) < m_keys.size() ? m_keys[size_t(id)] : 0;
}

bool ObjectListModel::isFirstOfCaption(int row) const
{
    if (m_sameCaption.empty())
        return row >= 0 && row < rowCount();
    return findFirst(entry(row).caption) == row;
}

ObjectListModel::CaptionKey ObjectListModel::captionKey(QByteArrayView utf8)
{
    CaptionKey key;
    key.number = CaptionIndex::numberKey(utf8);
    if (key.number == 0)
        key.text = QString::fromUtf8(utf8);
    return key;
}

bool ObjectListModel::guessedAt(const std::vector<CaptionKey> &keys, size_t i) const
{
    // Only while the list is as listed (row = id) and every caption is
    // listed once is the entry at the same position the first one.
    return m_order.isListedOrder() && m_sameCaption.empty() && i < m_keys.size() && keys[i].number != 0
        && m_keys[i] == keys[i].number;
}

void ObjectListModel::lookAhead(const std::vector<CaptionKey> &keys, size_t i) const
{
    if (keys[i].number != 0 && !guessedAt(keys, i))
        m_byCaption.prefetch(keys[i].number);
}

int ObjectListModel::rowFor(const std::vector<CaptionKey> &keys, size_t i) const
{
    const CaptionKey &key = keys[i];
    if (key.number == 0)
        return findFirst(key.text);
    if (guessedAt(keys, i))
        return int(i);
    return firstRowOf(m_byCaption.numberValue(key.number));
}

std::vector<int> ObjectListModel::findFirstRows(const std::vector<CaptionKey> &keys) const
{
    std::vector<int> rows;
    rows.reserve(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        lookAhead(keys, i);
        if (i >= LookAhead)
            rows.push_back(rowFor(keys, i - LookAhead));
    }
    while (rows.size() < keys.size())
        rows.push_back(rowFor(keys, rows.size()));
    return rows;
}

int ObjectListModel::firstRowOf(int id) const
{
    if (id < 0)
        return -1;
    int row = m_order.rowOf(id);
    if (!m_sameCaption.empty()) {
        for (int other = m_sameCaption[size_t(id)]; other >= 0; other = m_sameCaption[size_t(other)])
            row = std::min(row, m_order.rowOf(other));
    }
    return row;
}

void ObjectListModel::assign(int id, const QString &stateText)
{
    Entry &entry = m_entries[id];
    entry.state = stateText;
    entry.code = codeOf(stateText);
    entry.image = StateModel::State_Image(entry.code);
    // Before the first sort every entry is sorted anyway.
    if (!m_order.isListedOrder() && !m_isChanged[size_t(id)]) {
        m_isChanged[size_t(id)] = true;
        m_changed.push_back(id);
    }
}

void ObjectListModel::setState(int row, const QString &stateText)
{
    Q_ASSERT(row >= 0 && row < m_entries.size());
    assign(m_order.idAt(row), stateText);
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
        assign(m_order.idAt(row), text);
        first = std::min(first, row);
        last = std::max(last, row);
    }
    emit dataChanged(index(first), index(last));
}

void ObjectListModel::beginStates()
{
    m_stateKeys.clear();
    m_stateTexts.clear();
    m_stateRows.clear();
}

void ObjectListModel::addState(QByteArrayView caption, const QString &stateText)
{
    // Each row's entry is found while the later rows come in, with its
    // place in the index asked for some rows earlier.
    const size_t i = m_stateKeys.size();
    m_stateKeys.push_back(captionKey(caption));
    m_stateTexts.append(stateText);
    lookAhead(m_stateKeys, i);
    if (i >= LookAhead)
        m_stateRows.push_back(rowFor(m_stateKeys, i - LookAhead));
}

void ObjectListModel::endStates()
{
    while (m_stateRows.size() < m_stateKeys.size())
        m_stateRows.push_back(rowFor(m_stateKeys, m_stateRows.size()));
    int first = int(m_entries.size());
    int last = -1;
    for (size_t i = 0; i < m_stateRows.size(); ++i) {
        const int row = m_stateRows[i];
        if (row < 0)
            continue;
        assign(m_order.idAt(row), m_stateTexts.at(qsizetype(i)));
        first = std::min(first, row);
        last = std::max(last, row);
    }
    // Texts not kept past the reload: the entries share the ones they need.
    m_stateTexts.clear();
    if (last >= 0)
        emit dataChanged(index(first), index(last));
}

bool ObjectListModel::inOrderAt(int row) const
{
    const int code = entry(row).code;
    if (row > 0 && sortsBefore(code, entry(row - 1).code))
        return false;
    return row + 1 >= rowCount() || !sortsBefore(entry(row + 1).code, code);
}

void ObjectListModel::sortByState()
{
    if (m_order.isListedOrder()) {
        sortAll();
        return;
    }
    // Entries sit in the bucket of the code they had at the last sort; the
    // ones whose code differs now are the ones to move.
    struct Mover
    {
        int row;
        int id;
        int from;
    };
    std::vector<Mover> movers;
    for (const int id : m_changed) {
        m_isChanged[size_t(id)] = false;
        const int from = m_order.bucketCode(id);
        if (m_entries.at(id).code != from)
            movers.push_back({m_order.rowOf(id), id, from});
    }
    m_changed.clear();
    if (movers.empty())
        return;
    // Many changed at once (a reload of the states): one pass over all.
    if (movers.size() > size_t(m_entries.size()) / 16 + 1) {
        sortAll();
        return;
    }

    // The order is broken only next to an entry that changed; an entry
    // changed into a neighbouring state may well stay where it is.
    const bool moves = std::any_of(movers.cbegin(), movers.cend(), [this](const Mover &m) { return !inOrderAt(m.row); });
    std::optional<HeldIndexes> held;
    if (moves)
        held = holdIndexes([this](int row) { return m_order.idAt(row); });

    // What a stable sort does to entries with a new code: among the entries
    // already holding that code, those that came from above (a higher code)
    // go first and those from below go last, each group in its old order.
    std::sort(movers.begin(), movers.end(), [](const Mover &a, const Mover &b) { return a.row < b.row; });
    for (const Mover &m : movers)
        m_order.remove(m.id);
    for (auto it = movers.crbegin(); it != movers.crend(); ++it) {
        if (sortsBefore(it->from, m_entries.at(it->id).code))
            m_order.pushFront(it->id, m_entries.at(it->id).code);
    }
    for (const Mover &m : movers) {
        if (sortsBefore(m_entries.at(m.id).code, m.from))
            m_order.pushBack(m.id, m_entries.at(m.id).code);
    }

    if (held)
        releaseIndexes(*held);
}

ObjectListModel::HeldIndexes ObjectListModel::holdIndexes(const std::function<int(int)> &idAtRow)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    HeldIndexes held;
    held.from = persistentIndexList();
    held.ids.reserve(size_t(held.from.size()));
    for (const QModelIndex &index : std::as_const(held.from))
        held.ids.push_back(idAtRow(index.row()));
    return held;
}

void ObjectListModel::releaseIndexes(const HeldIndexes &held)
{
    QModelIndexList to;
    to.reserve(held.from.size());
    for (const int id : held.ids)
        to.append(index(m_order.rowOf(id)));
    changePersistentIndexList(held.from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void ObjectListModel::sortAll()
{
    const std::vector<int> order = m_order.ids();
    std::vector<int> codes(order.size());
    bool moves = false;
    for (size_t row = 0; row < order.size(); ++row) {
        codes[row] = m_entries.at(order[row]).code;
        if (row > 0 && sortsBefore(codes[row], codes[row - 1]))
            moves = true;
    }
    std::optional<HeldIndexes> held;
    if (moves)
        held = holdIndexes([&order](int row) { return order[size_t(row)]; });
    // A stable counting sort: states are few, entries many.
    m_order.build(order, codes);
    m_changed.clear();
    m_isChanged.assign(order.size(), false);
    if (held)
        releaseIndexes(*held);
}
