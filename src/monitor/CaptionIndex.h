#pragma once

#include <QByteArrayView>
#include <QHash>
#include <QString>

// The row of each caption of the object list. Captions are IMEIs, so a
// caption of up to 17 decimal digits is kept by its number (and its length,
// so that "012" and "12" stay apart): an integer key is hashed and compared
// without touching the text, which matters with 100,000 entries. Any other
// caption is kept by its text.
class CaptionIndex
{
public:
    void clear();
    void reserve(qsizetype size);
    qsizetype size() const { return m_numbers.size() + m_texts.size(); }

    // The row of a caption, -1 when it is not listed.
    int value(const QString &caption) const;
    // The same for a caption given as UTF-8 bytes, as the database hands it over.
    int valueUtf8(QByteArrayView caption) const;
    void set(const QString &caption, int row);
    // Keeps the row already known for the caption, if any.
    void setIfAbsent(const QString &caption, int row);

    // Gives every row a new number.
    template<typename NewRow>
    void remap(const NewRow &newRow)
    {
        for (auto it = m_numbers.begin(); it != m_numbers.end(); ++it)
            it.value() = int(newRow(it.value()));
        for (auto it = m_texts.begin(); it != m_texts.end(); ++it)
            it.value() = int(newRow(it.value()));
    }

private:
    static bool numberOf(QStringView caption, quint64 *key);
    static bool numberOf(QByteArrayView caption, quint64 *key);

    QHash<quint64, int> m_numbers;
    QHash<QString, int> m_texts;
};
