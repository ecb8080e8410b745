#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

// The bytes of one INI file, parsed once, with an index of its sections and
// keys. Reading a key is a lookup; writing one changes only that value's bytes
// (or adds one line, or one section at the end), so that every other byte of
// the file (comments, blank lines, spacing, line ends, lines that are no key)
// stays as it was.
//
// Reading rules: lines end with CR LF, LF or CR; a line opening with ';' or '#'
// is a comment; "[name]" opens a section (text after ']' is ignored); "key=value"
// holds a value, blanks around key and value do not count; anything else is kept
// but means nothing. Names compare without regard to ASCII case. The first
// occurrence of a key counts, also across repeated sections of one name. Keys
// before the first section belong to the section with the empty name. Parsing
// stops at a NUL byte.
class IniDocument
{
public:
    explicit IniDocument(QByteArray bytes = {});

    std::optional<QByteArray> value(QByteArrayView section, QByteArrayView key) const;

    // Returns false, changing nothing, for a name or value that could not be
    // read back: a line break or NUL anywhere, an empty key, a key with '=' or
    // opening like a comment or a section, ']' in a section name, blanks around
    // a name. (Blanks around a value are written; reading drops them.)
    bool setValue(QByteArrayView section, QByteArrayView key, QByteArrayView value);

    // The document as it stands, with every change.
    QByteArray toBytes() const;

    static bool canWrite(QByteArrayView section, QByteArrayView key, QByteArrayView value);

private:
    // One key of the index: an open-addressing table over every (section, key)
    // pair, holding no copies of names, so that a file of millions of keys
    // costs a few bytes a key beyond its own bytes.
    struct Slot
    {
        quint32 hash = 0;
        qint32 section = -1; // -1: empty
        // >= 0: where the key's name starts in m_bytes; < 0: -1 - index into m_added.
        qsizetype key = 0;
    };
    struct AddedKey
    {
        QByteArray key;
        QByteArray value;
    };
    struct Section
    {
        QByteArray name;
        // Where keys added to the section go: after its last key line; -1 for a
        // section that is not in the parsed bytes (it goes at the end).
        qsizetype insertAt = -1;
        std::vector<int> added;
    };

    void parse();
    int sectionOf(QByteArrayView name) const;
    static quint32 hashOf(int section, QByteArrayView key);
    QByteArrayView keyName(const Slot &slot) const;
    // The value's range on the line of a parsed key.
    std::pair<qsizetype, qsizetype> valueRange(qsizetype key) const;
    const Slot *find(int section, QByteArrayView key) const;
    void insert(int section, quint32 hash, qsizetype key);
    void grow(size_t capacity);

    QByteArray m_bytes;
    qsizetype m_end = 0;
    QByteArray m_newline;
    std::vector<Section> m_sections;
    std::unordered_map<std::string, int> m_sectionIndex;
    std::vector<Slot> m_table;
    size_t m_used = 0;
    std::vector<AddedKey> m_added;
    // Parsed keys whose value was changed, by where their name starts.
    std::unordered_map<qsizetype, QByteArray> m_replaced;
};
