#include "IniDocument.h"

#include <algorithm>
#include <utility>

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isLineEnd(char c)
{
    return c == '\n' || c == '\r';
}

char fold(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

std::string folded(QByteArrayView name)
{
    std::string result(name.begin(), name.end());
    for (char &c : result)
        c = fold(c);
    return result;
}

bool sameName(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (fold(a[i]) != fold(b[i]))
            return false;
    }
    return true;
}

} // namespace

IniDocument::IniDocument(QByteArray bytes)
    : m_bytes(std::move(bytes))
{
    parse();
}

quint32 IniDocument::hashOf(int section, QByteArrayView key)
{
    // FNV-1a over the folded name, the section mixed in.
    quint32 h = 2166136261u ^ (quint32(section) * 0x9E3779B1u);
    for (const char c : key) {
        h ^= quint8(fold(c));
        h *= 16777619u;
    }
    return h;
}

QByteArrayView IniDocument::keyName(const Slot &slot) const
{
    if (slot.key < 0)
        return m_added[size_t(-1 - slot.key)].key;
    const char *data = m_bytes.constData();
    qsizetype end = slot.key;
    while (data[end] != '=')
        ++end;
    while (end > slot.key && isBlank(data[end - 1]))
        --end;
    return QByteArrayView(data + slot.key, end - slot.key);
}

std::pair<qsizetype, qsizetype> IniDocument::valueRange(qsizetype key) const
{
    const char *data = m_bytes.constData();
    qsizetype start = key;
    while (data[start] != '=')
        ++start;
    ++start;
    while (start < m_end && isBlank(data[start]))
        ++start;
    qsizetype end = start;
    while (end < m_end && !isLineEnd(data[end]))
        ++end;
    while (end > start && isBlank(data[end - 1]))
        --end;
    return {start, end - start};
}

void IniDocument::grow(size_t capacity)
{
    std::vector<Slot> old = std::move(m_table);
    m_table.assign(capacity, Slot());
    const size_t mask = capacity - 1;
    for (const Slot &slot : old) {
        if (slot.section < 0)
            continue;
        size_t i = slot.hash & mask;
        while (m_table[i].section >= 0)
            i = (i + 1) & mask;
        m_table[i] = slot;
    }
}

const IniDocument::Slot *IniDocument::find(int section, QByteArrayView key) const
{
    if (m_table.empty())
        return nullptr;
    const quint32 hash = hashOf(section, key);
    const size_t mask = m_table.size() - 1;
    for (size_t i = hash & mask; m_table[i].section >= 0; i = (i + 1) & mask) {
        const Slot &slot = m_table[i];
        if (slot.hash == hash && slot.section == section && sameName(keyName(slot), key))
            return &slot;
    }
    return nullptr;
}

void IniDocument::insert(int section, quint32 hash, qsizetype key)
{
    // At most seven tenths full, so that probes stay short.
    if ((m_used + 1) * 10 > m_table.size() * 7)
        grow(std::max<size_t>(16, m_table.size() * 2));
    const size_t mask = m_table.size() - 1;
    size_t i = hash & mask;
    while (m_table[i].section >= 0)
        i = (i + 1) & mask;
    m_table[i] = Slot{hash, section, key};
    ++m_used;
}

void IniDocument::parse()
{
    const char *data = m_bytes.constData();
    m_end = m_bytes.indexOf('\0');
    if (m_end < 0)
        m_end = m_bytes.size();
    const qsizetype end = m_end;

    // New lines follow the file's own line ends.
    const qsizetype firstLf = m_bytes.indexOf('\n');
    m_newline = firstLf > 0 && data[firstLf - 1] == '\r' ? QByteArray("\r\n") : QByteArray("\n");

    // Room for a key on every line, so that the table is built without growing.
    size_t capacity = 16;
    const size_t lines = size_t(QByteArrayView(data, end).count('\n')) + 1;
    while (capacity * 7 < lines * 10)
        capacity *= 2;
    m_table.assign(capacity, Slot());

    qsizetype pos = 0;
    // A UTF-8 byte order mark is not part of the first line.
    if (end >= 3 && m_bytes.startsWith("\xEF\xBB\xBF"))
        pos = 3;

    int current = -1;
    bool firstOccurrence = false;
    const auto enter = [this, &current, &firstOccurrence](QByteArrayView name, qsizetype insertAt) {
        auto [it, inserted] = m_sectionIndex.try_emplace(folded(name), int(m_sections.size()));
        if (inserted) {
            Section section;
            section.insertAt = insertAt;
            m_sections.push_back(std::move(section));
        }
        current = it->second;
        firstOccurrence = inserted;
    };

    while (pos < end) {
        qsizetype lineEnd = pos;
        while (lineEnd < end && !isLineEnd(data[lineEnd]))
            ++lineEnd;
        qsizetype next = lineEnd;
        if (next < end)
            next += data[next] == '\r' && next + 1 < end && data[next + 1] == '\n' ? 2 : 1;

        qsizetype p = pos;
        while (p < lineEnd && isBlank(data[p]))
            ++p;
        if (p == lineEnd || data[p] == ';' || data[p] == '#') {
            // blank line or comment
        } else if (data[p] == '[') {
            qsizetype nameStart = p + 1;
            while (nameStart < lineEnd && isBlank(data[nameStart]))
                ++nameStart;
            qsizetype close = nameStart;
            while (close < lineEnd && data[close] != ']')
                ++close;
            if (close < lineEnd) {
                qsizetype nameEnd = close;
                while (nameEnd > nameStart && isBlank(data[nameEnd - 1]))
                    --nameEnd;
                enter(QByteArrayView(data + nameStart, nameEnd - nameStart), next);
            }
        } else {
            qsizetype equals = p;
            while (equals < lineEnd && data[equals] != '=')
                ++equals;
            qsizetype keyEnd = equals;
            while (keyEnd > p && isBlank(data[keyEnd - 1]))
                --keyEnd;
            if (equals < lineEnd && keyEnd > p) {
                if (current < 0)
                    enter(QByteArrayView(), pos);
                const QByteArrayView key(data + p, keyEnd - p);
                // The first occurrence of a key counts.
                if (!find(current, key))
                    insert(current, hashOf(current, key), p);
                if (firstOccurrence)
                    m_sections[size_t(current)].insertAt = next;
            }
        }
        pos = next;
    }
}

int IniDocument::sectionOf(QByteArrayView name) const
{
    const auto it = m_sectionIndex.find(folded(name));
    return it == m_sectionIndex.end() ? -1 : it->second;
}

std::optional<QByteArray> IniDocument::value(QByteArrayView section, QByteArrayView key) const
{
    const int s = sectionOf(section);
    const Slot *slot = s < 0 ? nullptr : find(s, key);
    if (!slot)
        return std::nullopt;
    if (slot->key < 0)
        return m_added[size_t(-1 - slot->key)].value;
    if (const auto changed = m_replaced.find(slot->key); changed != m_replaced.end())
        return changed->second;
    const auto [start, length] = valueRange(slot->key);
    return m_bytes.mid(start, length);
}

bool IniDocument::canWrite(QByteArrayView section, QByteArrayView key, QByteArrayView value)
{
    const auto clean = [](QByteArrayView text) {
        return std::none_of(text.begin(), text.end(), [](char c) { return c == '\0' || isLineEnd(c); });
    };
    const auto trimmed = [](QByteArrayView text) {
        return text.isEmpty() || (!isBlank(text.front()) && !isBlank(text.back()));
    };
    return clean(section) && clean(key) && clean(value) && !key.isEmpty() && !key.contains('=')
        && !section.contains(']') && trimmed(section) && trimmed(key) && key.front() != ';' && key.front() != '#'
        && key.front() != '[';
}

bool IniDocument::setValue(QByteArrayView section, QByteArrayView key, QByteArrayView value)
{
    if (!canWrite(section, key, value))
        return false;
    int s = sectionOf(section);
    if (s < 0) {
        s = int(m_sections.size());
        m_sectionIndex.emplace(folded(section), s);
        Section fresh;
        fresh.name = section.toByteArray();
        m_sections.push_back(std::move(fresh));
    }
    const Slot *slot = find(s, key);
    if (!slot) {
        const int added = int(m_added.size());
        m_added.push_back(AddedKey{key.toByteArray(), value.toByteArray()});
        m_sections[size_t(s)].added.push_back(added);
        insert(s, hashOf(s, key), -1 - qsizetype(added));
    } else if (slot->key < 0) {
        m_added[size_t(-1 - slot->key)].value = value.toByteArray();
    } else {
        m_replaced[slot->key] = value.toByteArray();
    }
    return true;
}

QByteArray IniDocument::toBytes() const
{
    if (m_added.empty() && m_replaced.empty())
        return m_bytes;

    // Changes to the parsed bytes, in the order of their positions; at one
    // position a changed value comes before added lines.
    struct Change
    {
        qsizetype at;
        qsizetype length;
        int kind; // 0: a value replaced, 1: keys added to a section
        const QByteArray *value;
        int section;
    };
    std::vector<Change> changes;
    for (const auto &[key, value] : m_replaced) {
        const auto [start, length] = valueRange(key);
        changes.push_back(Change{start, length, 0, &value, -1});
    }
    for (size_t i = 0; i < m_sections.size(); ++i) {
        if (!m_sections[i].added.empty() && m_sections[i].insertAt >= 0)
            changes.push_back(Change{m_sections[i].insertAt, 0, 1, nullptr, int(i)});
    }
    std::sort(changes.begin(), changes.end(), [](const Change &a, const Change &b) {
        return a.at != b.at ? a.at < b.at : a.kind < b.kind;
    });

    QByteArray out;
    out.reserve(m_bytes.size() + 1024);
    const auto startLine = [this, &out] {
        if (!out.isEmpty() && !isLineEnd(out.back()))
            out += m_newline;
    };
    const auto addKeys = [this, &out](const Section &s) {
        for (const int a : s.added) {
            out += m_added[size_t(a)].key;
            out += '=';
            out += m_added[size_t(a)].value;
            out += m_newline;
        }
    };
    qsizetype copied = 0;
    for (const Change &c : changes) {
        out.append(m_bytes.constData() + copied, c.at - copied);
        copied = c.at + c.length;
        if (c.kind == 0) {
            out += *c.value;
        } else {
            startLine();
            addKeys(m_sections[size_t(c.section)]);
        }
    }
    out.append(m_bytes.constData() + copied, m_bytes.size() - copied);
    for (const Section &s : m_sections) {
        if (s.insertAt >= 0 || s.added.empty())
            continue;
        startLine();
        out += '[';
        out += s.name;
        out += ']';
        out += m_newline;
        addKeys(s);
    }
    return out;
}
