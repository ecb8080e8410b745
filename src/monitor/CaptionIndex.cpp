#include "CaptionIndex.h"

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

void CaptionIndex::clear()
{
    m_numbers.clear();
    m_texts.clear();
}

void CaptionIndex::reserve(qsizetype size)
{
    m_numbers.reserve(size);
}

int CaptionIndex::value(const QString &caption) const
{
    quint64 key = 0;
    if (numberOf(QStringView(caption), &key))
        return m_numbers.value(key, -1);
    return m_texts.value(caption, -1);
}

int CaptionIndex::valueUtf8(QByteArrayView caption) const
{
    quint64 key = 0;
    if (numberOf(caption, &key))
        return m_numbers.value(key, -1);
    return m_texts.value(QString::fromUtf8(caption), -1);
}

namespace {

template<typename Hash, typename Key>
int addTo(Hash &hash, const Key &key, int value)
{
    const auto it = hash.constFind(key);
    if (it != hash.cend())
        return it.value();
    hash.insert(key, value);
    return -1;
}

} // namespace

int CaptionIndex::add(const QString &caption, int value)
{
    quint64 key = 0;
    if (numberOf(QStringView(caption), &key))
        return addTo(m_numbers, key, value);
    return addTo(m_texts, caption, value);
}
