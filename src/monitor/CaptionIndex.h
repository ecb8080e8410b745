#pragma once

#include <QByteArrayView>
#include <QHash>
#include <QString>

#include <vector>

// A number (the object list's entry) for each caption. Captions are IMEIs, so a
// caption of up to 17 decimal digits is kept by its number (and its length,
// so that "012" and "12" stay apart): an integer key is hashed and compared
// without touching the text, which matters with 100,000 entries. Any other
// caption is kept by its text.
//
// The numbers sit in one flat table with open addressing: a lookup among
// 400,000 of them touches one cache line where a node-based hash touches two
// or three, and a list reload makes one lookup per object.
class CaptionIndex
{
public:
    void clear();
    void reserve(qsizetype size);
    // Empties the index for about this many captions. A table of the right
    // size is kept and wiped rather than given back and taken anew: a list
    // reload would otherwise fault in megabytes of fresh pages each time.
    void reset(qsizetype expected);
    qsizetype size() const { return m_numberCount + m_texts.size(); }

    // The number of a caption, -1 when it has none.
    int value(const QString &caption) const;
    // The same for a caption given as UTF-8 bytes, as the database hands it over.
    int valueUtf8(QByteArrayView caption) const;
    // Gives the caption this number unless it has one: then that one stays
    // and is returned, else -1.
    int add(const QString &caption, int value);

    // A caption of digits as its key, 0 for any other caption.
    static quint64 numberKey(QStringView caption);
    static quint64 numberKey(QByteArrayView caption);
    // The number of a caption by its key (non-zero), -1 when it has none.
    int numberValue(quint64 key) const;
    // add() for a caption given by its key (non-zero).
    int addNumber(quint64 key, int value);
    // Asks the processor for the place of a key ahead of its lookup.
    void prefetch(quint64 key) const;

private:
    static bool numberOf(QStringView caption, quint64 *key);
    static bool numberOf(QByteArrayView caption, quint64 *key);

    struct Slot
    {
        // 0 marks a free slot: a number's key always carries its length.
        quint64 key = 0;
        int value = -1;
    };
    size_t slotOf(quint64 key) const;
    void growTo(qsizetype count);
    static size_t capacityFor(qsizetype count, int *shift);

    std::vector<Slot> m_slots;
    qsizetype m_numberCount = 0;
    int m_shift = 64;
    QHash<QString, int> m_texts;
};
