#pragma once

#include <QByteArrayView>
#include <QHash>
#include <QString>

// A number (the object list's entry) for each caption. Captions are IMEIs, so a
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

    // The number of a caption, -1 when it has none.
    int value(const QString &caption) const;
    // The same for a caption given as UTF-8 bytes, as the database hands it over.
    int valueUtf8(QByteArrayView caption) const;
    // Gives the caption this number unless it has one: then that one stays
    // and is returned, else -1.
    int add(const QString &caption, int value);

private:
    static bool numberOf(QStringView caption, quint64 *key);
    static bool numberOf(QByteArrayView caption, quint64 *key);

    QHash<quint64, int> m_numbers;
    QHash<QString, int> m_texts;
};
