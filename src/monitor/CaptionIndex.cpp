#include "CaptionIndex.h"

#include <algorithm>

namespace {

constexpr qsizetype MaxDigits = 17;
constexpr int LengthShift = 57; // 10^17 < 2^57

unsigned unit(QChar c)
{
    return c.unicode();
}

unsigned unit(char c)
{
    return static_cast<unsigned char>(c);
}

template<typename Text>
bool digitsKey(const Text &caption, quint64 *key)
{
    const qsizetype size = caption.size();
    if (size == 0 || size > MaxDigits)
        return false;
    quint64 number = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const unsigned c = unit(caption[i]);
        if (c < '0' || c > '9')
            return false;
        number = number * 10 + (c - '0');
    }
    *key = (quint64(size) << LengthShift) | number;
    return true;
}

} // namespace

bool CaptionIndex::numberOf(QStringView caption, quint64 *key)
{
    return digitsKey(caption, key);
}

bool CaptionIndex::numberOf(QByteArrayView caption, quint64 *key)
{
    return digitsKey(caption, key);
}

quint64 CaptionIndex::numberKey(QStringView caption)
{
    quint64 key = 0;
    return digitsKey(caption, &key) ? key : 0;
}

quint64 CaptionIndex::numberKey(QByteArrayView caption)
{
    quint64 key = 0;
    return digitsKey(caption, &key) ? key : 0;
}

void CaptionIndex::prefetch(quint64 key) const
{
    if (!m_slots.empty())
        __builtin_prefetch(&m_slots[slotOf(key)]);
}

void CaptionIndex::clear()
{
    m_slots.clear();
    m_numberCount = 0;
    m_shift = 64;
    m_texts.clear();
}

void CaptionIndex::reserve(qsizetype size)
{
    if (size > m_numberCount)
        growTo(size);
}

size_t CaptionIndex::slotOf(quint64 key) const
{
    // Fibonacci hashing: IMEIs differ in their last digits, and the multiply
    // spreads those over the top bits, which pick the slot.
    return size_t((key * 0x9E3779B97F4A7C15ULL) >> m_shift);
}

size_t CaptionIndex::capacityFor(qsizetype count, int *shift)
{
    // At most half full, so that a probe ends within a few slots.
    size_t capacity = 16;
    *shift = 60;
    while (capacity < size_t(count) * 2) {
        capacity *= 2;
        --*shift;
    }
    return capacity;
}

void CaptionIndex::reset(qsizetype expected)
{
    m_texts.clear();
    m_numberCount = 0;
    int shift = 64;
    const size_t capacity = capacityFor(expected, &shift);
    if (capacity == m_slots.size()) {
        std::fill(m_slots.begin(), m_slots.end(), Slot{});
        return;
    }
    m_slots.clear();
    m_slots.shrink_to_fit();
    if (expected > 0) {
        m_slots.assign(capacity, Slot{});
        m_shift = shift;
    }
}

void CaptionIndex::growTo(qsizetype count)
{
    int shift = 64;
    const size_t capacity = capacityFor(count, &shift);
    if (capacity <= m_slots.size())
        return;
    std::vector<Slot> old;
    old.swap(m_slots);
    m_slots.assign(capacity, Slot{});
    m_shift = shift;
    const size_t mask = capacity - 1;
    for (const Slot &slot : old) {
        if (slot.key == 0)
            continue;
        size_t at = slotOf(slot.key);
        while (m_slots[at].key != 0)
            at = (at + 1) & mask;
        m_slots[at] = slot;
    }
}

int CaptionIndex::numberValue(quint64 key) const
{
    if (m_slots.empty())
        return -1;
    const size_t mask = m_slots.size() - 1;
    for (size_t at = slotOf(key);; at = (at + 1) & mask) {
        const Slot &slot = m_slots[at];
        if (slot.key == key)
            return slot.value;
        if (slot.key == 0)
            return -1;
    }
}

int CaptionIndex::addNumber(quint64 key, int value)
{
    if (size_t(m_numberCount + 1) * 2 > m_slots.size())
        growTo(m_numberCount + 1);
    const size_t mask = m_slots.size() - 1;
    size_t at = slotOf(key);
    for (; m_slots[at].key != 0; at = (at + 1) & mask) {
        if (m_slots[at].key == key)
            return m_slots[at].value;
    }
    m_slots[at] = Slot{key, value};
    ++m_numberCount;
    return -1;
}

int CaptionIndex::value(const QString &caption) const
{
    quint64 key = 0;
    if (numberOf(QStringView(caption), &key))
        return numberValue(key);
    return m_texts.value(caption, -1);
}

int CaptionIndex::valueUtf8(QByteArrayView caption) const
{
    quint64 key = 0;
    if (numberOf(caption, &key))
        return numberValue(key);
    return m_texts.value(QString::fromUtf8(caption), -1);
}

int CaptionIndex::add(const QString &caption, int value)
{
    quint64 key = 0;
    if (numberOf(QStringView(caption), &key))
        return addNumber(key, value);
    const auto it = m_texts.constFind(caption);
    if (it != m_texts.cend())
        return it.value();
    m_texts.insert(caption, value);
    return -1;
}
