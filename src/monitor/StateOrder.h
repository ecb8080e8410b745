#pragma once

#include <QHash>

#include <array>
#include <vector>

// Counts kept in a Fenwick tree: a count changed, the sum of the first i and
// the place where a running sum passes k, each in O(log n).
class RunningCounts
{
public:
    // Replaces every count (O(n)).
    void assign(const std::vector<int> &counts);
    int size() const { return int(m_tree.size()) - 1; }
    void add(int i, int delta);
    // The sum of counts 0 .. i-1.
    int prefix(int i) const;
    // The place i whose count holds unit k (0-based) of the running sum; k
    // becomes the unit's number within that place's count.
    int find(int &k) const;

private:
    std::vector<int> m_tree{0};
};

// The order of the object list. Entries are numbered as they were listed
// (their id) and sit in one bucket per state code, buckets highest code
// first, each bucket keeping its entries in list order. A bucket's code is
// the code its entries had when the list was last sorted; an entry whose
// code changed since stays where it is until it is moved.
//
// An entry's row, the entry at a row and moving an entry to either end of a
// bucket each cost O(log n), whatever the list's size: a notification moves
// one entry, and must not cost more with 100,000 entries than with 1,000.
//
// Until the first build the list is in the order it was listed (row = id).
class StateOrder
{
public:
    // Every entry in its listed order.
    void reset(int count);
    int size() const { return m_count; }
    bool isListedOrder() const { return m_listed; }

    int idAt(int row) const;
    int rowOf(int id) const;
    // The code of the bucket the entry sits in.
    int bucketCode(int id) const;
    // Every id, row by row.
    std::vector<int> ids() const;

    // The entries in this order (codes[i] the code of order[i]), each in
    // the bucket of its code: a stable counting sort, O(n + distinct codes).
    void build(const std::vector<int> &order, const std::vector<int> &codes);

    // Takes the entry out of its bucket; it has no row until it is put back.
    void remove(int id);
    void pushFront(int id, int code);
    void pushBack(int id, int code);

private:
    struct Place
    {
        int bucket = -1;
        int slot = -1;
    };
    // Members sit in slots [first, end) with free slots between them where
    // members left; room is kept at both ends, and made anew (all members
    // packed in the middle) when an end runs out, which happens only after
    // as many pushes as the bucket then held: amortised O(1) a push.
    struct Bucket
    {
        int code = 0;
        int rank = 0;
        int count = 0;
        int first = 0;
        int end = 0;
        std::vector<int> ids; // -1 for a free slot
        RunningCounts used;
    };

    int bucketFor(int code);
    void rank();
    void respace(int bucket, int room);
    void put(int id, int bucket, int slot);

    int m_count = 0;
    bool m_listed = true;
    std::vector<Place> m_places;
    std::vector<Bucket> m_buckets;
    std::vector<int> m_byRank;
    RunningCounts m_rankCounts;
    // The bucket of a byte code (the usual ones) without hashing.
    std::array<int, 256> m_byteBucket{};
    QHash<int, int> m_otherBucket;
};
