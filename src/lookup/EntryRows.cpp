#include "lookup/EntryRows.h"

#include <algorithm>
#include <cstdint>
#include <numeric>

namespace qv {

// ---- rows ----

EntryRow EntryRowList::operator[](size_t i) const
{
    EntryRow row;
    row.position = m_slots[i].position;
    row.directory = m_slots[i].directory;
    row.m_record = record(i);
    return row;
}

void EntryRowList::clear()
{
    m_slots.clear();
    m_own.clear();
    m_texts.clear();
}

void EntryRowList::shrinkIfSparse()
{
    if (m_slots.size() < m_slots.capacity() / 2)
        m_slots.shrink_to_fit();
}

uint32_t EntryRowList::addTexts(std::string_view name, std::string_view area, std::string_view post)
{
    std::array<uint8_t, kEntryRecordSize>& rec = m_texts.emplace_back();
    rec.fill(0);
    writeField(rec.data() + entry_field::kNameLen, kNameCapacity, name);
    writeField(rec.data() + entry_field::kAreaLen, kAreaCodeCapacity, area);
    writeField(rec.data() + entry_field::kPostLen, kPostcodeCapacity, post);
    return uint32_t(m_texts.size());
}

void EntryRowList::ensureOwnColumn()
{
    if (m_own.empty())
        m_own.assign(m_slots.size(), 0);
}

void EntryRowList::push(EntryPosition position, uint32_t directory, std::string_view name, std::string_view area,
                        std::string_view post)
{
    ensureOwnColumn();
    m_slots.push_back({position, directory});
    m_own.push_back(addTexts(name, area, post));
}

void EntryRowList::insert(size_t at, EntryPosition position, uint32_t directory, bool textsFromImage,
                          std::string_view name, std::string_view area, std::string_view post)
{
    at = std::min(at, m_slots.size());
    const uint32_t own = textsFromImage ? 0 : addTexts(name, area, post);
    if (own != 0)
        ensureOwnColumn();
    m_slots.insert(m_slots.begin() + ptrdiff_t(at), Slot{position, directory});
    if (!m_own.empty())
        m_own.insert(m_own.begin() + ptrdiff_t(at), own);
}

void EntryRowList::setTexts(size_t i, std::string_view name, std::string_view area, std::string_view post)
{
    ensureOwnColumn();
    m_own[i] = addTexts(name, area, post);
}

void EntryRowList::useRecordTexts(size_t i)
{
    if (!m_own.empty())
        m_own[i] = 0;
}

void EntryRowList::erase(size_t first, size_t last)
{
    m_slots.erase(m_slots.begin() + ptrdiff_t(first), m_slots.begin() + ptrdiff_t(last));
    if (!m_own.empty())
        m_own.erase(m_own.begin() + ptrdiff_t(first), m_own.begin() + ptrdiff_t(last));
}

void EntryRowList::permute(const std::vector<int>& order)
{
    // Gathered into a new array: each read is independent of the others, so
    // that many are under way at once (following the permutation's cycles
    // in place makes every read wait for the one before).
    constexpr size_t kAhead = 16;
    const size_t n = m_slots.size();
    LargeVector<Slot> slots(n);
    for (size_t i = 0; i < n; ++i) {
        if (i + kAhead < n)
            __builtin_prefetch(&m_slots[size_t(order[i + kAhead])]);
        slots[i] = m_slots[size_t(order[i])];
    }
    m_slots.swap(slots);
    if (!m_own.empty()) {
        LargeVector<uint32_t> own(n);
        for (size_t i = 0; i < n; ++i)
            own[i] = m_own[size_t(order[i])];
        m_own.swap(own);
    }
}

void EntryRowList::distribute(const LargeVector<uint16_t>& bucket, std::vector<size_t>& start, std::vector<int>* order)
{
    const size_t n = m_slots.size();
    if (order)
        order->resize(n);
    LargeVector<Slot> slots(n);
    LargeVector<uint32_t> own(m_own.empty() ? 0 : n);
    for (size_t i = 0; i < n; ++i) {
        const size_t to = start[bucket[i]]++;
        slots[to] = m_slots[i];
        if (!m_own.empty())
            own[to] = m_own[i];
        if (order)
            (*order)[to] = int(i);
    }
    m_slots.swap(slots);
    m_own.swap(own);
}

// ---- sets ----

uint32_t EntryRowSet::addDirectoryName(std::string name, int32_t directoryId)
{
    directoryNames.push_back(std::move(name));
    directoryIds.resize(directoryNames.size() - 1, 0);
    directoryIds.push_back(directoryId);
    return uint32_t(directoryNames.size() - 1);
}

bool EntryRowSet::renameDirectory(int32_t id, std::string_view caption)
{
    if (id <= 0)
        return false;
    bool changed = false;
    for (size_t i = 0; i < directoryIds.size() && i < directoryNames.size(); ++i) {
        if (directoryIds[i] != id || directoryNames[i] == caption)
            continue;
        directoryNames[i] = std::string(caption);
        changed = true;
    }
    return changed;
}

std::string_view EntryRowSet::cellText(const EntryRow& row, int column) const
{
    switch (column) {
    case kColumnDirectory:
        return directoryText(row);
    case kColumnName:
        return row.nameText();
    case kColumnAreaCode:
        return row.areaText();
    case kColumnPostcode:
        return row.postText();
    default:
        return {};
    }
}

void EntryRowSet::append(const EntryRowSet& other)
{
    const uint32_t base = uint32_t(directoryNames.size());
    directoryNames.insert(directoryNames.end(), other.directoryNames.begin(), other.directoryNames.end());
    directoryIds.resize(base, 0);
    directoryIds.insert(directoryIds.end(), other.directoryIds.begin(), other.directoryIds.end());
    directoryIds.resize(directoryNames.size(), 0);
    if (rows.empty() && !rows.image().bytes)
        rows.bind(other.rows.image());
    const bool sameImage = rows.image().sameBytes(other.rows.image());
    for (size_t i = 0; i < other.rows.size(); ++i) {
        const EntryRow r = other.rows[i];
        if (sameImage && !other.rows.hasOwnTexts(i))
            rows.push(r.position, base + r.directory);
        else
            rows.push(r.position, base + r.directory, r.nameText(), r.areaText(), r.postText());
    }
}

// ---- comparison and sorting ----

namespace {
inline uint8_t fold(uint8_t c) { return (c >= 'a' && c <= 'z') ? uint8_t(c - ('a' - 'A')) : c; }
}  // namespace

int compareEntryText(std::string_view a, std::string_view b)
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        int d = fold(static_cast<unsigned char>(a[i])) - fold(static_cast<unsigned char>(b[i]));
        if (d)
            return d;
    }
    return int(a.size()) - int(b.size());
}

namespace {

// Sort keys. A text's key at offset `off` holds its seven bytes from there,
// case-folded, big-endian and padded with zeros, then how many bytes it has
// from `off` on, counting at most 8. Texts with different keys compare as
// their keys do; equal keys whose count is under 8 mean equal texts; texts
// with equal keys and a count of 8 go on at the next offset, off + 7.
constexpr size_t kKeyBytes = 7;
constexpr uint64_t kGoesOn = 8;

uint64_t textKey(std::string_view text, size_t off)
{
    uint64_t key = 0;
    for (size_t i = 0; i < kKeyBytes; ++i) {
        const size_t at = off + i;
        key = key << 8 | (at < text.size() ? fold(static_cast<uint8_t>(text[at])) : 0);
    }
    const size_t left = text.size() > off ? text.size() - off : 0;
    return key << 8 | std::min<uint64_t>(left, kGoesOn);
}

struct KeyedIndex {
    uint64_t key;
    uint32_t index;
};

// Stable LSD radix sort on the given key bytes (0 = least significant), in
// that order; `tmp` is scratch of the same size.
template <class T, class KeyOf>
void lsdSort(LargeVector<T>& items, LargeVector<T>& tmp, const std::vector<int>& bytes, KeyOf keyOf)
{
    tmp.resize(items.size());
    for (int b : bytes) {
        const int shift = 8 * b;
        size_t count[256] = {};
        for (const T& x : items)
            ++count[(keyOf(x) >> shift) & 0xFF];
        size_t sum = 0;
        for (size_t& c : count) {
            const size_t t = c;
            c = sum;
            sum += t;
        }
        for (const T& x : items)
            tmp[count[(keyOf(x) >> shift) & 0xFF]++] = x;
        items.swap(tmp);
    }
}

// The rows' order by keys whose varying bytes (at most four) fit in 32 bits:
// each key becomes one number, those bytes above its row's index, and
// sorting the numbers sorts the rows. The keys are overwritten.
std::vector<int> sortPackedKeys(LargeVector<uint64_t>& keys, const std::vector<int>& bytes)
{
    const size_t n = keys.size();
    for (size_t i = 0; i < n; ++i) {
        uint64_t packed = 0;
        for (auto b = bytes.rbegin(); b != bytes.rend(); ++b)
            packed = packed << 8 | ((keys[i] >> (8 * *b)) & 0xFF);
        keys[i] = packed << 32 | i;
    }
    std::vector<int> packedBytes;
    for (size_t b = 0; b < bytes.size(); ++b)
        packedBytes.push_back(4 + int(b));
    {
        LargeVector<uint64_t> tmp;
        lsdSort(keys, tmp, packedBytes, [](uint64_t x) { return x; });
    }
    std::vector<int> order(n);
    for (size_t i = 0; i < n; ++i)
        order[i] = int(uint32_t(keys[i]));
    return order;
}

// How the rows are ordered: a key per row (see textKey), sorted stably by a
// single counting pass when the keys take few enough values, as area codes
// and directory names do, or by a radix sort, and then rows whose texts
// reach past their key are ordered by the rest of their texts.
class RowSorter {
public:
    RowSorter(EntryRowSet& set, int column, int direction)
        : m_set(set), m_column(column), m_flip(direction < 0 ? ~uint64_t(0) : 0)
    {
    }

    void sort(std::vector<int>* order)
    {
        const size_t n = m_set.rows.size();
        LargeVector<uint64_t> keys(n);
        bool exact = true;
        uint64_t seen[8][4] = {};
        if (m_column == kColumnDirectory) {
            const std::vector<uint64_t> rank = directoryRanks();
            for (size_t i = 0; i < n; ++i)
                keys[i] = rank[std::min<size_t>(m_set.rows.directory(i), rank.size() - 1)] ^ m_flip;
        } else {
            // The records lie anywhere in the image: ask for them well ahead.
            constexpr size_t kAhead = 16;
            for (size_t i = 0; i < n; ++i) {
                if (i + kAhead < n)
                    m_set.rows.prefetch(i + kAhead);
                const uint64_t key = textKey(text(i), 0);
                exact = exact && (key & 0xFF) != kGoesOn;
                keys[i] = key ^ m_flip;
            }
        }
        // Which values each varying key byte takes: for the counting pass.
        uint64_t orAll = 0, andAll = ~uint64_t(0);
        for (uint64_t k : keys) {
            orAll |= k;
            andAll &= k;
        }
        std::vector<int> varying;
        for (int b = 0; b < 8; ++b)
            if (((orAll ^ andAll) >> (8 * b)) & 0xFF)
                varying.push_back(b);
        if (exact) {
            for (uint64_t k : keys)
                for (int b : varying) {
                    const unsigned v = unsigned(k >> (8 * b)) & 0xFF;
                    seen[b][v >> 6] |= uint64_t(1) << (v & 63);
                }
            if (countingSort(keys, varying, seen, order))
                return;
        }
        radixSort(keys, varying, exact, order);
    }

private:
    // Each key becomes a bucket number: the rank of each varying byte among
    // the values that byte takes, in mixed radix. Gives up when there would
    // be more than 65,536 buckets.
    bool countingSort(LargeVector<uint64_t>& keys, const std::vector<int>& varying, const uint64_t (&seen)[8][4],
                      std::vector<int>* order)
    {
        uint32_t rank[8][256] = {};
        uint64_t buckets = 1;
        for (auto b = varying.begin(); b != varying.end(); ++b) {
            uint32_t r = 0;
            for (unsigned v = 0; v < 256; ++v)
                if (seen[*b][v >> 6] >> (v & 63) & 1)
                    rank[*b][v] = uint32_t(r++ * buckets);
            buckets *= r;
            if (buckets > 65536)
                return false;
        }
        const size_t n = keys.size();
        LargeVector<uint16_t> bucket(n);
        std::vector<size_t> start(size_t(buckets) + 1, 0);
        for (size_t i = 0; i < n; ++i) {
            uint32_t number = 0;
            for (int b : varying)
                number += rank[b][(keys[i] >> (8 * b)) & 0xFF];
            bucket[i] = uint16_t(number);
            ++start[number + 1];
        }
        LargeVector<uint64_t>().swap(keys);
        for (size_t k = 1; k < start.size(); ++k)
            start[k] += start[k - 1];
        m_set.rows.distribute(bucket, start, order);
        return true;
    }

    void radixSort(LargeVector<uint64_t>& keys, const std::vector<int>& bytes, bool exact, std::vector<int>* order)
    {
        const size_t n = keys.size();
        std::vector<int> result;  // made once the scratch is gone
        if (exact && bytes.size() <= 4) {
            result = sortPackedKeys(keys, bytes);
        } else {
            LargeVector<KeyedIndex> items(n);
            for (size_t i = 0; i < n; ++i)
                items[i] = {keys[i], uint32_t(i)};
            LargeVector<uint64_t>().swap(keys);
            {
                LargeVector<KeyedIndex> tmp;
                lsdSort(items, tmp, bytes, [](const KeyedIndex& x) { return x.key; });
            }
            if (!exact)
                refineRuns(items, 0, n, 0);
            result.resize(n);
            for (size_t i = 0; i < n; ++i)
                result[i] = int(items[i].index);
        }
        LargeVector<uint64_t>().swap(keys);
        m_set.rows.permute(result);
        if (order)
            order->swap(result);
    }

    std::string_view text(size_t i) const { return m_set.cellText(m_set.rows[i], m_column); }

    // One number per directory slot, ordered as the names compare; equal
    // names share one. The last one stands for rows whose slot has no name.
    std::vector<uint64_t> directoryRanks() const
    {
        const auto& names = m_set.directoryNames;
        auto nameOf = [&](size_t i) { return i < names.size() ? std::string_view(names[i]) : std::string_view(); };
        std::vector<size_t> byName(names.size() + 1);
        std::iota(byName.begin(), byName.end(), 0);
        std::stable_sort(byName.begin(), byName.end(),
                         [&](size_t a, size_t b) { return compareEntryText(nameOf(a), nameOf(b)) < 0; });
        std::vector<uint64_t> rank(byName.size());
        uint64_t r = 0;
        for (size_t i = 0; i < byName.size(); ++i) {
            if (i > 0 && compareEntryText(nameOf(byName[i - 1]), nameOf(byName[i])) != 0)
                ++r;
            rank[byName[i]] = r;
        }
        return rank;
    }

    // Items [first, last) are sorted by their keys at `off`; runs of equal
    // keys whose texts go on are sorted by the next seven bytes, and so on.
    void refineRuns(LargeVector<KeyedIndex>& items, size_t first, size_t last, size_t off)
    {
        for (size_t i = first; i < last;) {
            size_t j = i + 1;
            while (j < last && items[j].key == items[i].key)
                ++j;
            if (j - i > 1 && ((items[i].key ^ m_flip) & 0xFF) == kGoesOn) {
                const size_t next = off + kKeyBytes;
                constexpr size_t kAhead = 16;
                for (size_t k = i; k < j; ++k) {
                    if (k + kAhead < j)
                        m_set.rows.prefetch(items[k + kAhead].index);
                    items[k].key = textKey(text(items[k].index), next) ^ m_flip;
                }
                std::sort(items.begin() + ptrdiff_t(i), items.begin() + ptrdiff_t(j),
                          [](const KeyedIndex& a, const KeyedIndex& b) {
                              return a.key != b.key ? a.key < b.key : a.index < b.index;
                          });
                refineRuns(items, i, j, next);
            }
            i = j;
        }
    }

    EntryRowSet& m_set;
    int m_column;
    uint64_t m_flip;  // all ones for a descending sort: inverted keys sort in reverse
};

}  // namespace

void sortEntryRows(EntryRowSet& set, int column, int direction, std::vector<int>* applied)
{
    const size_t n = set.rows.size();
    if (direction == 0 || column < 0 || column > 3 || n < 2) {
        if (applied) {
            applied->resize(n);
            std::iota(applied->begin(), applied->end(), 0);
        }
        return;
    }
    RowSorter(set, column, direction).sort(applied);
}

void sortEntryRowsByKey(EntryRowSet& set, LargeVector<uint64_t>& keys)
{
    const size_t n = set.rows.size();
    if (n < 2 || keys.size() != n)
        return;
    uint64_t orAll = 0, andAll = ~uint64_t(0);
    for (uint64_t k : keys) {
        orAll |= k;
        andAll &= k;
    }
    if (orAll < 65536) {
        // Few keys (bucket numbers): one counting pass moves the rows.
        LargeVector<uint16_t> bucket(n);
        std::vector<size_t> start(size_t(orAll) + 2, 0);
        for (size_t i = 0; i < n; ++i) {
            bucket[i] = uint16_t(keys[i]);
            ++start[keys[i] + 1];
        }
        LargeVector<uint64_t>().swap(keys);
        for (size_t k = 1; k < start.size(); ++k)
            start[k] += start[k - 1];
        set.rows.distribute(bucket, start, nullptr);
        return;
    }
    std::vector<int> bytes;
    for (int b = 0; b < 8; ++b)
        if (((orAll ^ andAll) >> (8 * b)) & 0xFF)
            bytes.push_back(b);
    std::vector<int> result;
    if (bytes.size() <= 4) {
        result = sortPackedKeys(keys, bytes);
    } else {
        result.resize(n);
        LargeVector<KeyedIndex> items(n);
        for (size_t i = 0; i < n; ++i)
            items[i] = {keys[i], uint32_t(i)};
        LargeVector<KeyedIndex> tmp;
        lsdSort(items, tmp, bytes, [](const KeyedIndex& x) { return x.key; });
        for (size_t i = 0; i < n; ++i)
            result[i] = int(items[i].index);
    }
    LargeVector<uint64_t>().swap(keys);
    set.rows.permute(result);
}

std::vector<int> sortEntryRows(EntryRowSet& set, int column, int direction)
{
    std::vector<int> order;
    sortEntryRows(set, column, direction, &order);
    return order;
}

EntryRowSet listDirectory(const DatabaseImage& image, int32_t directoryId, const std::string& directoryName)
{
    EntryRowSet set;
    const uint32_t dir = set.addDirectoryName(directoryName, directoryId);
    set.rows.bind(image.ref());
    // Room for every record costs address space only: pages never written
    // are never taken.
    set.rows.reserve(size_t(std::max<int64_t>(image.entryCount(), 0)));
    image.forEachEntry([&](int32_t pos, const uint8_t* rec) {
        if (entryOwner(rec) == directoryId)
            set.rows.push(pos, dir);
    });
    set.rows.shrinkIfSparse();
    return set;
}

std::vector<int> relocateRows(EntryRowSet& set, const Relocation& relocation)
{
    std::vector<int> dropped;
    if (!relocation.isIdentity()) {
        for (size_t i = 0; i < set.rows.size(); ++i) {
            const int32_t now = relocation.map(set.rows.position(i));
            if (now < 0)
                dropped.push_back(int(i));
            set.rows.setPosition(i, now);
        }
        if (!dropped.empty())
            set.rows.keepIf([&](size_t i) { return set.rows.position(i) >= 0; });
    }
    if (relocation.target().bytes)
        set.rows.bind(relocation.target());
    return dropped;
}

}  // namespace qv
