#include "ObjectFilterModel.h"

#include "ObjectListModel.h"

#include <algorithm>

namespace {

// Between the fields of an entry and after each entry: a needle never holds
// one, so no match runs from one field into the next.
constexpr char16_t Separator = 0x1f;

bool isBlank(char16_t c)
{
    if (c < 0x80)
        return c <= 0x20 || c == 0x7f;
    return QChar::isSpace(c);
}

// Case-blind, "ё" as "е". Latin and Cyrillic letters, nearly every
// character of the texts, are folded without the Unicode tables.
char16_t folded(char16_t c)
{
    if (c < 0x80)
        return c >= u'A' && c <= u'Z' ? char16_t(c + 0x20) : c;
    if (c >= 0x410 && c <= 0x42f)
        return char16_t(c + 0x20);
    if (c >= 0x430 && c <= 0x44f)
        return c;
    if (c == 0x401 || c == 0x451)
        return 0x435;
    const char16_t f = QChar::toCaseFolded(c);
    return f == 0x451 ? char16_t(0x435) : f;
}

// Folds text[from, to) into place from `to` on, every run of blanks or line
// breaks as one blank, none at the start or end of a field. Returns where
// the folded text ends. Folding only ever shortens the text.
qsizetype foldInto(char16_t *text, qsizetype from, qsizetype end, qsizetype to, bool separators)
{
    bool atStart = true;
    bool blank = false;
    for (qsizetype i = from; i < end; ++i) {
        const char16_t c = text[i];
        if (c == Separator && separators) {
            text[to++] = Separator;
            atStart = true;
            blank = false;
        } else if (isBlank(c) || c == Separator) {
            blank = !atStart;
        } else {
            if (blank)
                text[to++] = u' ';
            blank = false;
            atStart = false;
            text[to++] = folded(c);
        }
    }
    return to;
}

} // namespace

ObjectFilterModel::ObjectFilterModel(ObjectListModel *source, QObject *parent)
    : QAbstractProxyModel(parent)
    , m_source(source)
{
    QAbstractProxyModel::setSourceModel(source);

    connect(source, &QAbstractItemModel::modelAboutToBeReset, this, [this] { beginResetModel(); });
    connect(source, &QAbstractItemModel::modelReset, this, [this] {
        // The texts were those of the entries that have gone.
        m_texts.clear();
        m_hasTexts = false;
        m_indexed = false;
        m_matched.clear();
        if (isFiltering()) {
            buildIndex();
            findMatches();
            mapRows();
        }
        endResetModel();
    });
    connect(source, &QAbstractItemModel::dataChanged, this, &ObjectFilterModel::sourceDataChanged);
    connect(source, &QAbstractItemModel::layoutAboutToBeChanged, this,
            [this](const QList<QPersistentModelIndex> &, QAbstractItemModel::LayoutChangeHint hint) {
                beginLayout(hint);
            });
    connect(source, &QAbstractItemModel::layoutChanged, this,
            [this](const QList<QPersistentModelIndex> &, QAbstractItemModel::LayoutChangeHint hint) { endLayout(hint); });

    // An entry moved: while filtering, its shown row follows from the rows
    // of all; otherwise the view sees the very same move.
    connect(source, &QAbstractItemModel::rowsAboutToBeMoved, this,
            [this](const QModelIndex &, int first, int last, const QModelIndex &, int destination) {
                m_moveAsLayout = isFiltering();
                if (m_moveAsLayout)
                    beginLayout(QAbstractItemModel::VerticalSortHint);
                else
                    beginMoveRows({}, first, last, {}, destination);
            });
    connect(source, &QAbstractItemModel::rowsMoved, this, [this] {
        if (m_moveAsLayout)
            endLayout(QAbstractItemModel::VerticalSortHint);
        else
            endMoveRows();
    });

    // Entries added or taken away one by one: the list does not do that
    // today; should it, the search starts over from the entries there are.
    const auto aboutToChange = [this](bool insert, int first, int last) {
        m_indexed = false;
        m_matched.clear();
        m_changeAsReset = isFiltering();
        if (m_changeAsReset)
            beginResetModel();
        else if (insert)
            beginInsertRows({}, first, last);
        else
            beginRemoveRows({}, first, last);
    };
    const auto changed = [this](bool insert) {
        if (m_changeAsReset) {
            buildIndex();
            findMatches();
            mapRows();
            endResetModel();
        } else if (insert) {
            endInsertRows();
        } else {
            endRemoveRows();
        }
    };
    connect(source, &QAbstractItemModel::rowsAboutToBeInserted, this,
            [aboutToChange](const QModelIndex &, int first, int last) { aboutToChange(true, first, last); });
    connect(source, &QAbstractItemModel::rowsInserted, this, [changed] { changed(true); });
    connect(source, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [aboutToChange](const QModelIndex &, int first, int last) { aboutToChange(false, first, last); });
    connect(source, &QAbstractItemModel::rowsRemoved, this, [changed] { changed(false); });
}

QString ObjectFilterModel::searchKey(QStringView text)
{
    QString key = text.toString();
    auto *data = reinterpret_cast<char16_t *>(key.data());
    key.truncate(foldInto(data, 0, key.size(), 0, false));
    return key;
}

QString ObjectFilterModel::joinTexts(const QStringList &fields)
{
    return fields.join(QChar(Separator));
}

QString ObjectFilterModel::joinUtf8(std::initializer_list<QByteArrayView> fields, QByteArray *buffer)
{
    // The fields are put together as bytes and made a text once.
    buffer->clear();
    bool first = true;
    for (const QByteArrayView field : fields) {
        if (!first)
            buffer->append(char(Separator));
        first = false;
        buffer->append(field);
    }
    return QString::fromUtf8(*buffer);
}

void ObjectFilterModel::setTexts(std::vector<QString> texts)
{
    m_texts = std::move(texts);
    m_hasTexts = true;
    // Indexed at once: the texts are given when a search is about to start.
    if (!isFiltering()) {
        buildIndex();
        return;
    }
    beginLayout(QAbstractItemModel::NoLayoutChangeHint);
    buildIndex();
    findMatches();
    endLayout(QAbstractItemModel::NoLayoutChangeHint);
}

void ObjectFilterModel::setFilterText(const QString &text)
{
    m_text = text;
    QString needle = searchKey(text);
    if (needle == m_needle)
        return;
    beginLayout(QAbstractItemModel::NoLayoutChangeHint);
    m_needle = std::move(needle);
    if (isFiltering()) {
        if (!m_indexed)
            buildIndex();
        findMatches();
    }
    endLayout(QAbstractItemModel::NoLayoutChangeHint);
}

void ObjectFilterModel::buildIndex()
{
    // Serials run from 0 to the count; going by them walks the entries in
    // memory order, not through the list's order.
    const int slotCount = m_source->rowCount();
    // An IMEI listed twice has its texts read once, for its first entry.
    const auto textOf = [this](int serial, const QString &caption) -> const QString & {
        static const QString none;
        if (size_t(serial) < m_texts.size() && !m_texts[size_t(serial)].isNull())
            return m_texts[size_t(serial)];
        if (m_texts.empty())
            return none;
        const int first = m_source->findFirst(caption);
        const int other = first < 0 ? -1 : m_source->entry(first).serial;
        return other >= 0 && size_t(other) < m_texts.size() ? m_texts[size_t(other)] : none;
    };

    qsizetype size = 0;
    for (int serial = 0; serial < slotCount; ++serial) {
        const QString &caption = m_source->entryBySerial(serial).caption;
        size += caption.size() + textOf(serial, caption).size() + 2;
    }
    QString haystack;
    haystack.reserve(size);
    m_begin.assign(size_t(slotCount) + 1, 0);
    for (int serial = 0; serial < slotCount; ++serial) {
        m_begin[size_t(serial)] = haystack.size();
        const QString &caption = m_source->entryBySerial(serial).caption;
        haystack += caption;
        haystack += QChar(Separator);
        haystack += textOf(serial, caption);
        haystack += QChar(Separator);
    }
    m_begin[size_t(slotCount)] = haystack.size();
    // One pass over one buffer, entry by entry, in place.
    auto *data = reinterpret_cast<char16_t *>(haystack.data());
    qsizetype folded = 0;
    for (int serial = 0; serial < slotCount; ++serial) {
        const qsizetype begin = m_begin[size_t(serial)];
        m_begin[size_t(serial)] = folded;
        folded = foldInto(data, begin, m_begin[size_t(serial) + 1], folded, true);
    }
    m_begin[size_t(slotCount)] = folded;
    haystack.truncate(folded);
    m_haystack = std::move(haystack);
    m_found.assign(size_t(slotCount), 0);
    m_matched.clear();
    m_indexed = true;
}

void ObjectFilterModel::findMatches()
{
    const QStringView haystack(m_haystack);
    const size_t slotCount = m_found.size();
    // One more character typed: only what was found already can still be.
    if (!m_matched.isEmpty() && m_needle.contains(m_matched)) {
        for (size_t serial = 0; serial < slotCount; ++serial) {
            if (m_found[serial]) {
                const qsizetype begin = m_begin[serial];
                m_found[serial] = haystack.sliced(begin, m_begin[serial + 1] - begin).contains(m_needle) ? 1 : 0;
            }
        }
    } else {
        std::fill(m_found.begin(), m_found.end(), 0);
        qsizetype from = 0;
        for (;;) {
            const qsizetype at = haystack.indexOf(m_needle, from);
            if (at < 0)
                break;
            const auto next = std::upper_bound(m_begin.begin(), m_begin.end(), at);
            const size_t serial = size_t(next - m_begin.begin()) - 1;
            if (serial >= slotCount)
                break;
            m_found[serial] = 1;
            // The entry is found; its other matches do not matter.
            from = m_begin[serial + 1];
        }
    }
    m_matched = m_needle;
}

void ObjectFilterModel::mapRows()
{
    const int count = m_source->rowCount();
    m_rows.clear();
    m_shownRow.assign(size_t(count), -1);
    const size_t slotCount = m_found.size();
    for (int row = 0; row < count; ++row) {
        const size_t serial = size_t(m_source->entry(row).serial);
        if (serial < slotCount && m_found[serial]) {
            m_shownRow[size_t(row)] = int(m_rows.size());
            m_rows.push_back(row);
        }
    }
}

void ObjectFilterModel::beginLayout(QAbstractItemModel::LayoutChangeHint hint)
{
    emit layoutAboutToBeChanged({}, hint);
    // Few: the view's current and selected entries.
    const QModelIndexList shown = persistentIndexList();
    m_saved.clear();
    m_saved.reserve(shown.size());
    for (const QModelIndex &index : shown)
        m_saved.append({index, QPersistentModelIndex(mapToSource(index))});
}

void ObjectFilterModel::endLayout(QAbstractItemModel::LayoutChangeHint hint)
{
    if (isFiltering())
        mapRows();
    else
        m_rows.clear();
    QModelIndexList from;
    QModelIndexList to;
    from.reserve(m_saved.size());
    to.reserve(m_saved.size());
    for (const auto &[shown, entry] : std::as_const(m_saved)) {
        from.append(shown);
        to.append(mapFromSource(entry));
    }
    m_saved.clear();
    changePersistentIndexList(from, to);
    emit layoutChanged({}, hint);
}

void ObjectFilterModel::sourceDataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                                          const QList<int> &roles)
{
    if (!topLeft.isValid() || !bottomRight.isValid())
        return;
    if (!isFiltering()) {
        emit dataChanged(index(topLeft.row(), 0), index(bottomRight.row(), 0), roles);
        return;
    }
    // Shown rows keep the list's order: the first and the last shown entry
    // of the range bound what changed.
    int first = topLeft.row();
    int last = bottomRight.row();
    while (first <= last && m_shownRow[size_t(first)] < 0)
        ++first;
    while (last >= first && m_shownRow[size_t(last)] < 0)
        --last;
    if (first > last)
        return;
    emit dataChanged(index(m_shownRow[size_t(first)], 0), index(m_shownRow[size_t(last)], 0), roles);
}

QModelIndex ObjectFilterModel::index(int row, int column, const QModelIndex &parent) const
{
    if (parent.isValid() || column != 0 || row < 0 || row >= rowCount())
        return {};
    return createIndex(row, 0);
}

QModelIndex ObjectFilterModel::parent(const QModelIndex &) const
{
    return {};
}

QModelIndex ObjectFilterModel::sibling(int row, int column, const QModelIndex &idx) const
{
    return idx.isValid() ? index(row, column) : QModelIndex();
}

int ObjectFilterModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    return isFiltering() ? int(m_rows.size()) : m_source->rowCount();
}

int ObjectFilterModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 1;
}

bool ObjectFilterModel::hasChildren(const QModelIndex &parent) const
{
    return !parent.isValid() && rowCount() > 0;
}

QModelIndex ObjectFilterModel::mapToSource(const QModelIndex &proxyIndex) const
{
    if (!proxyIndex.isValid() || proxyIndex.model() != this)
        return {};
    const int row = proxyIndex.row();
    if (!isFiltering())
        return m_source->index(row);
    return size_t(row) < m_rows.size() ? m_source->index(m_rows[size_t(row)]) : QModelIndex();
}

QModelIndex ObjectFilterModel::mapFromSource(const QModelIndex &sourceIndex) const
{
    if (!sourceIndex.isValid() || sourceIndex.model() != m_source)
        return {};
    const int row = sourceIndex.row();
    if (!isFiltering())
        return index(row, 0);
    return size_t(row) < m_shownRow.size() && m_shownRow[size_t(row)] >= 0 ? index(m_shownRow[size_t(row)], 0)
                                                                              : QModelIndex();
}
