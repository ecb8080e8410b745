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
    // Where a key's value is: a range of the parsed bytes, or a changed value
    // held in m_values (edit >= 0).
    struct KeyRef
    {
        qsizetype start = 0;
        qsizetype length = 0;
        int edit = -1;
    };
    struct Added
    {
        QByteArray key;
        int edit;
    };
    struct Section
    {
        QByteArray name;
        // Where keys added to the section go: after its last key line; -1 for a
        // section that is not in the parsed bytes yet (it goes at the end).
        qsizetype insertAt = -1;
        std::unordered_map<std::string, KeyRef> keys;
        std::vector<Added> added;
    };

    void parse();
    Section *findSection(QByteArrayView name);
    const Section *findSection(QByteArrayView name) const;

    QByteArray m_bytes;
    QByteArray m_newline;
    std::vector<Section> m_sections;
    std::unordered_map<std::string, int> m_sectionIndex;
    std::vector<QByteArray> m_values;
    // Keys of the parsed bytes whose value was changed: (section, key).
    std::vector<std::pair<int, std::string>> m_replaced;
};
