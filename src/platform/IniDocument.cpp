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

std::string folded(QByteArrayView name)
{
    std::string result(name.begin(), name.end());
    for (char &c : result) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return result;
}

} // namespace

IniDocument::IniDocument(QByteArray bytes)
    : m_bytes(std::move(bytes))
{
    parse();
}

void IniDocument::parse()
{
    const char *data = m_bytes.constData();
    qsizetype end = m_bytes.indexOf('\0');
    if (end < 0)
        end = m_bytes.size();

    // New lines follow the file's own line ends.
    const qsizetype firstLf = m_bytes.indexOf('\n');
    m_newline = firstLf > 0 && data[firstLf - 1] == '\r' ? QByteArray("\r\n") : QByteArray("\n");

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
            section.name = name.toByteArray();
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
        if (next < end) {
            next += data[next] == '\r' && next + 1 < end && data[next + 1] == '\n' ? 2 : 1;
        }

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
                qsizetype valueStart = equals + 1;
                while (valueStart < lineEnd && isBlank(data[valueStart]))
                    ++valueStart;
                qsizetype valueEnd = lineEnd;
                while (valueEnd > valueStart && isBlank(data[valueEnd - 1]))
                    --valueEnd;
                if (current < 0)
                    enter(QByteArrayView(), pos);
                Section &section = m_sections[size_t(current)];
                section.keys.try_emplace(folded(QByteArrayView(data + p, keyEnd - p)),
                                         KeyRef{valueStart, valueEnd - valueStart, -1});
                if (firstOccurrence)
                    section.insertAt = next;
            }
        }
        pos = next;
    }
}

const IniDocument::Section *IniDocument::findSection(QByteArrayView name) const
{
    const auto it = m_sectionIndex.find(folded(name));
    return it == m_sectionIndex.end() ? nullptr : &m_sections[size_t(it->second)];
}

IniDocument::Section *IniDocument::findSection(QByteArrayView name)
{
    return const_cast<Section *>(std::as_const(*this).findSection(name));
}

std::optional<QByteArray> IniDocument::value(QByteArrayView section, QByteArrayView key) const
{
    const Section *s = findSection(section);
    if (!s)
        return std::nullopt;
    const auto it = s->keys.find(folded(key));
    if (it == s->keys.end())
        return std::nullopt;
    const KeyRef &ref = it->second;
    if (ref.edit >= 0)
        return m_values[size_t(ref.edit)];
    return m_bytes.mid(ref.start, ref.length);
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
    Section *s = findSection(section);
    if (!s) {
        m_sectionIndex.emplace(folded(section), int(m_sections.size()));
        Section fresh;
        fresh.name = section.toByteArray();
        m_sections.push_back(std::move(fresh));
        s = &m_sections.back();
    }
    std::string folding = folded(key);
    auto it = s->keys.find(folding);
    if (it == s->keys.end()) {
        const int edit = int(m_values.size());
        m_values.push_back(value.toByteArray());
        s->added.push_back(Added{key.toByteArray(), edit});
        s->keys.emplace(std::move(folding), KeyRef{-1, 0, edit});
        return true;
    }
    KeyRef &ref = it->second;
    if (ref.edit >= 0) {
        m_values[size_t(ref.edit)] = value.toByteArray();
        return true;
    }
    ref.edit = int(m_values.size());
    m_values.push_back(value.toByteArray());
    m_replaced.emplace_back(int(s - m_sections.data()), std::move(folding));
    return true;
}

QByteArray IniDocument::toBytes() const
{
    if (m_replaced.empty() && std::all_of(m_sections.begin(), m_sections.end(), [](const Section &s) { return s.added.empty(); }))
        return m_bytes;

    // Changes to the parsed bytes, in the order of their positions; at one
    // position a changed value comes before added lines.
    struct Change
    {
        qsizetype at;
        qsizetype length;
        int kind; // 0: a value replaced, 1: keys added to a section
        int index;
    };
    std::vector<Change> changes;
    for (const auto &[section, key] : m_replaced) {
        const KeyRef &ref = m_sections[size_t(section)].keys.at(key);
        changes.push_back(Change{ref.start, ref.length, 0, ref.edit});
    }
    for (size_t i = 0; i < m_sections.size(); ++i) {
        if (!m_sections[i].added.empty() && m_sections[i].insertAt >= 0)
            changes.push_back(Change{m_sections[i].insertAt, 0, 1, int(i)});
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
        for (const Added &a : s.added) {
            out += a.key;
            out += '=';
            out += m_values[size_t(a.edit)];
            out += m_newline;
        }
    };
    qsizetype copied = 0;
    for (const Change &c : changes) {
        out.append(m_bytes.constData() + copied, c.at - copied);
        copied = c.at + c.length;
        if (c.kind == 0) {
            out += m_values[size_t(c.index)];
        } else {
            startLine();
            addKeys(m_sections[size_t(c.index)]);
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
