#include "StateOrder.h"

#include <algorithm>
#include <bit>
#include <numeric>

void RunningCounts::assign(const std::vector<int> &counts)
{
    const size_t n = counts.size();
    m_tree.assign(n + 1, 0);
    for (size_t i = 1; i <= n; ++i) {
        m_tree[i] += counts[i - 1];
        const size_t parent = i + (i & (~i + 1));
        if (parent <= n)
            m_tree[parent] += m_tree[i];
    }
}

void RunningCounts::add(int i, int delta)
{
    const int n = size();
    for (int j = i + 1; j <= n; j += j & -j)
        m_tree[size_t(j)] += delta;
}

int RunningCounts::prefix(int i) const
{
    int sum = 0;
    for (int j = i; j > 0; j -= j & -j)
        sum += m_tree[size_t(j)];
    return sum;
}

int RunningCounts::find(int &k) const
{
    const int n = size();
    int pos = 0;
    for (int step = n > 0 ? int(std::bit_floor(unsigned(n))) : 0; step > 0; step >>= 1) {
        const int next = pos + step;
        if (next <= n && m_tree[size_t(next)] <= k) {
            pos = next;
            k -= m_tree[size_t(next)];
        }
    }
    return pos;
}

void StateOrder::reset(int count)
{
    m_count = count;
    m_listed = true;
    m_places.clear();
    m_buckets.clear();
    m_byRank.clear();
    m_rankCounts.assign({});
    m_byteBucket.fill(-1);
    m_otherBucket.clear();
}

int StateOrder::idAt(int row) const
{
    if (m_listed)
        return row;
    int k = row;
    const int rank = m_rankCounts.find(k);
    const Bucket &b = m_buckets[size_t(m_byRank[size_t(rank)])];
    return b.ids[size_t(b.used.find(k))];
}

int StateOrder::rowOf(int id) const
{
    if (m_listed)
        return id;
    const Place &p = m_places[size_t(id)];
    const Bucket &b = m_buckets[size_t(p.bucket)];
    return m_rankCounts.prefix(b.rank) + b.used.prefix(p.slot);
}

int StateOrder::bucketCode(int id) const
{
    return m_buckets[size_t(m_places[size_t(id)].bucket)].code;
}

std::vector<int> StateOrder::ids() const
{
    std::vector<int> out;
    out.reserve(size_t(m_count));
    if (m_listed) {
        out.resize(size_t(m_count));
        std::iota(out.begin(), out.end(), 0);
        return out;
    }
    for (const int bucket : m_byRank) {
        const Bucket &b = m_buckets[size_t(bucket)];
        for (int slot = b.first; slot < b.end; ++slot) {
            if (b.ids[size_t(slot)] >= 0)
                out.push_back(b.ids[size_t(slot)]);
        }
    }
    return out;
}

void StateOrder::build(const std::vector<int> &order, const std::vector<int> &codes)
{
    reset(int(order.size()));
    m_listed = false;
    m_places.assign(order.size(), Place{});
    std::vector<int> bucketOf(order.size());
    for (size_t i = 0; i < order.size(); ++i) {
        int bucket = -1;
        const int code = codes[i];
        if (code >= 0 && code < int(m_byteBucket.size())) {
            int &known = m_byteBucket[size_t(code)];
            if (known < 0) {
                known = int(m_buckets.size());
                m_buckets.push_back(Bucket{});
                m_buckets.back().code = code;
            }
            bucket = known;
        } else {
            auto it = m_otherBucket.find(code);
            if (it == m_otherBucket.end()) {
                it = m_otherBucket.insert(code, int(m_buckets.size()));
                m_buckets.push_back(Bucket{});
                m_buckets.back().code = code;
            }
            bucket = it.value();
        }
        bucketOf[i] = bucket;
        ++m_buckets[size_t(bucket)].count;
    }
    for (Bucket &b : m_buckets) {
        const int room = b.count / 2 + 8;
        b.ids.assign(size_t(b.count + 2 * room), -1);
        b.first = b.end = room;
    }
    for (size_t i = 0; i < order.size(); ++i) {
        Bucket &b = m_buckets[size_t(bucketOf[i])];
        const int slot = b.end++;
        b.ids[size_t(slot)] = order[i];
        m_places[size_t(order[i])] = Place{bucketOf[i], slot};
    }
    std::vector<int> used;
    for (Bucket &b : m_buckets) {
        used.assign(b.ids.size(), 0);
        std::fill(used.begin() + b.first, used.begin() + b.end, 1);
        b.used.assign(used);
    }
    rank();
}

int StateOrder::bucketFor(int code)
{
    int *known = nullptr;
    if (code >= 0 && code < int(m_byteBucket.size())) {
        known = &m_byteBucket[size_t(code)];
    } else {
        auto it = m_otherBucket.find(code);
        if (it == m_otherBucket.end())
            it = m_otherBucket.insert(code, -1);
        known = &it.value();
    }
    if (*known >= 0)
        return *known;
    // A code not seen since the last build: rare (a byte has 256 values),
    // so the buckets are simply ranked anew.
    const int bucket = int(m_buckets.size());
    *known = bucket;
    Bucket b;
    b.code = code;
    const int room = 8;
    b.ids.assign(size_t(2 * room), -1);
    b.first = b.end = room;
    b.used.assign(std::vector<int>(b.ids.size(), 0));
    m_buckets.push_back(std::move(b));
    rank();
    return bucket;
}

void StateOrder::rank()
{
    m_byRank.resize(m_buckets.size());
    std::iota(m_byRank.begin(), m_byRank.end(), 0);
    std::sort(m_byRank.begin(), m_byRank.end(),
              [this](int a, int b) { return m_buckets[size_t(a)].code > m_buckets[size_t(b)].code; });
    std::vector<int> counts(m_byRank.size());
    for (size_t rank = 0; rank < m_byRank.size(); ++rank) {
        Bucket &b = m_buckets[size_t(m_byRank[rank])];
        b.rank = int(rank);
        counts[rank] = b.count;
    }
    m_rankCounts.assign(counts);
}

void StateOrder::remove(int id)
{
    Place &p = m_places[size_t(id)];
    Bucket &b = m_buckets[size_t(p.bucket)];
    b.ids[size_t(p.slot)] = -1;
    b.used.add(p.slot, -1);
    --b.count;
    m_rankCounts.add(b.rank, -1);
    if (b.count == 0)
        b.first = b.end = int(b.ids.size()) / 2;
    p = Place{};
}

void StateOrder::pushFront(int id, int code)
{
    const int bucket = bucketFor(code);
    if (m_buckets[size_t(bucket)].first == 0)
        respace(bucket, m_buckets[size_t(bucket)].count / 2 + 8);
    put(id, bucket, --m_buckets[size_t(bucket)].first);
}

void StateOrder::pushBack(int id, int code)
{
    const int bucket = bucketFor(code);
    if (m_buckets[size_t(bucket)].end == int(m_buckets[size_t(bucket)].ids.size()))
        respace(bucket, m_buckets[size_t(bucket)].count / 2 + 8);
    put(id, bucket, m_buckets[size_t(bucket)].end++);
}

void StateOrder::put(int id, int bucket, int slot)
{
    Bucket &b = m_buckets[size_t(bucket)];
    b.ids[size_t(slot)] = id;
    b.used.add(slot, 1);
    ++b.count;
    m_rankCounts.add(b.rank, 1);
    m_places[size_t(id)] = Place{bucket, slot};
}

void StateOrder::respace(int bucket, int room)
{
    Bucket &b = m_buckets[size_t(bucket)];
    std::vector<int> ids(size_t(b.count + 2 * room), -1);
    std::vector<int> used(ids.size(), 0);
    int slot = room;
    for (int old = b.first; old < b.end; ++old) {
        const int id = b.ids[size_t(old)];
        if (id < 0)
            continue;
        ids[size_t(slot)] = id;
        used[size_t(slot)] = 1;
        m_places[size_t(id)].slot = slot;
        ++slot;
    }
    b.ids = std::move(ids);
    b.used.assign(used);
    b.first = room;
    b.end = slot;
}
