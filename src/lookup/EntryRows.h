#pragma once
// Rows of the entry list: the owning directory's name, the entry's name,
// area code and postcode, and the position of its record in the image.
// A row is stored as eight bytes, its record's position and its directory's
// slot; its texts are read from the image when asked for, so that a list of a
// million places costs 8 MB. A row whose record does not hold what the row
// must show (an edit not yet written, rows made from texts alone) keeps texts
// of its own.
#include "lookup/RowMemory.h"
#include "store/DatabaseImage.h"
#include "store/Records.h"
#include "store/Relocation.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

enum EntryColumn : int { kColumnDirectory = 0, kColumnName = 1, kColumnAreaCode = 2, kColumnPostcode = 3 };

// One row as read from its set. The texts are views of the image the set
// reads or of the set's own texts: valid until the set or the image changes.
struct EntryRow {
    EntryPosition position = -1;
    uint32_t directory = 0;  // index into EntryRowSet::directoryNames

    std::string_view nameText() const { return field(entry_field::kNameLen, kNameCapacity); }
    std::string_view areaText() const { return field(entry_field::kAreaLen, kAreaCodeCapacity); }
    std::string_view postText() const { return field(entry_field::kPostLen, kPostcodeCapacity); }

private:
    friend class EntryRowList;
    std::string_view field(int offset, int capacity) const
    {
        return m_record ? readField(m_record + offset, capacity) : std::string_view();
    }
    const uint8_t* m_record = nullptr;  // 48 bytes in the record layout, or none
};

// The rows of a set, in the order shown.
class EntryRowList {
public:
    struct Slot {
        EntryPosition position;
        uint32_t directory;
    };

    size_t size() const { return m_slots.size(); }
    bool empty() const { return m_slots.empty(); }
    EntryRow operator[](size_t i) const;
    EntryRow front() const { return (*this)[0]; }
    EntryRow back() const { return (*this)[size() - 1]; }

    class const_iterator {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = EntryRow;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = EntryRow;
        const_iterator() = default;
        const_iterator(const EntryRowList* list, size_t i) : m_list(list), m_i(i) {}
        EntryRow operator*() const { return (*m_list)[m_i]; }
        EntryRow operator[](difference_type d) const { return (*m_list)[size_t(difference_type(m_i) + d)]; }
        const_iterator& operator++()
        {
            ++m_i;
            return *this;
        }
        const_iterator operator++(int)
        {
            const_iterator t = *this;
            ++m_i;
            return t;
        }
        const_iterator& operator--()
        {
            --m_i;
            return *this;
        }
        const_iterator operator--(int)
        {
            const_iterator t = *this;
            --m_i;
            return t;
        }
        const_iterator& operator+=(difference_type d)
        {
            m_i = size_t(difference_type(m_i) + d);
            return *this;
        }
        const_iterator& operator-=(difference_type d) { return *this += -d; }
        const_iterator operator+(difference_type d) const
        {
            const_iterator t = *this;
            return t += d;
        }
        const_iterator operator-(difference_type d) const
        {
            const_iterator t = *this;
            return t -= d;
        }
        difference_type operator-(const_iterator o) const { return difference_type(m_i) - difference_type(o.m_i); }
        bool operator==(const_iterator o) const { return m_i == o.m_i; }
        bool operator!=(const_iterator o) const { return m_i != o.m_i; }
        bool operator<(const_iterator o) const { return m_i < o.m_i; }
        bool operator>(const_iterator o) const { return m_i > o.m_i; }
        bool operator<=(const_iterator o) const { return m_i <= o.m_i; }
        bool operator>=(const_iterator o) const { return m_i >= o.m_i; }

    private:
        const EntryRowList* m_list = nullptr;
        size_t m_i = 0;
    };
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }

    // The image the rows read their texts from. Binding another image
    // changes nothing else: the positions must address the same records there.
    void bind(ImageRef image) { m_image = std::move(image); }
    const ImageRef& image() const { return m_image; }

    void clear();
    void reserve(size_t n) { m_slots.reserve(n); }
    // Rows added at the end are empty: no record (position -1), directory slot 0.
    void resize(size_t n)
    {
        m_slots.resize(n, Slot{-1, 0});
        if (!m_own.empty())
            m_own.resize(n, 0);
    }
    // Frees spare room (after a pass that reserved for every record).
    void shrinkIfSparse();

    // A row whose texts are its record's.
    void push(EntryPosition position, uint32_t directory)
    {
        m_slots.push_back({position, directory});
        if (!m_own.empty())
            m_own.push_back(0);
    }
    // A row with texts of its own, each cut to its field's capacity.
    void push(EntryPosition position, uint32_t directory, std::string_view name, std::string_view area,
              std::string_view post);
    // Inserts a row before row `at`, with its own texts or (textsFromImage) its record's.
    void insert(size_t at, EntryPosition position, uint32_t directory, bool textsFromImage, std::string_view name = {},
                std::string_view area = {}, std::string_view post = {});

    EntryPosition position(size_t i) const { return m_slots[i].position; }
    uint32_t directory(size_t i) const { return m_slots[i].directory; }
    void setPosition(size_t i, EntryPosition position) { m_slots[i].position = position; }
    void setDirectory(size_t i, uint32_t directory) { m_slots[i].directory = directory; }
    // Gives row i texts of its own / back to its record's texts.
    void setTexts(size_t i, std::string_view name, std::string_view area, std::string_view post);
    void useRecordTexts(size_t i);
    bool hasOwnTexts(size_t i) const { return !m_own.empty() && m_own[i] != 0; }

    // The 48 bytes holding row i's texts, or nullptr.
    const uint8_t* record(size_t i) const
    {
        if (!m_own.empty() && m_own[i] != 0)
            return m_texts[m_own[i] - 1].data();
        return m_image.record(m_slots[i].position);
    }

    // Hints that row i's record will be read soon: both ends, since 48
    // bytes may lie across two cache lines. Rows in list order visit the
    // image at random, and a walk over many of them waits on memory.
    void prefetch(size_t i) const
    {
        if (const uint8_t* rec = record(i)) {
            __builtin_prefetch(rec);
            __builtin_prefetch(rec + kEntryRecordSize - 1);
        }
    }

    // Removes rows [first, last).
    void erase(size_t first, size_t last);
    // Keeps the rows for which keep(i) is true, in their order.
    template <class Keep> void keepIf(Keep&& keep)
    {
        size_t out = 0;
        for (size_t i = 0; i < m_slots.size(); ++i) {
            if (!keep(i))
                continue;
            m_slots[out] = m_slots[i];
            if (!m_own.empty())
                m_own[out] = m_own[i];
            ++out;
        }
        m_slots.resize(out);
        if (!m_own.empty())
            m_own.resize(out);
    }
    // Reorders the rows: row i becomes old row order[i].
    void permute(const std::vector<int>& order);
    // Reorders the rows by bucket: rows of bucket 0 first, each bucket in the
    // rows' present order; `start` holds each bucket's first new index and is
    // used up. Tells the permutation when `order` is given.
    void distribute(const LargeVector<uint16_t>& bucket, std::vector<size_t>& start, std::vector<int>* order);

private:
    uint32_t addTexts(std::string_view name, std::string_view area, std::string_view post);
    void ensureOwnColumn();

    LargeVector<Slot> m_slots;
    // Empty while no row has texts of its own; else one per row: 0 for the
    // record's texts, k for m_texts[k - 1]. Kept beside the slots so that
    // rows stay eight bytes.
    LargeVector<uint32_t> m_own;
    std::deque<std::array<uint8_t, kEntryRecordSize>> m_texts;  // stable while added to
    ImageRef m_image;
};

struct EntryRowSet {
    std::vector<std::string> directoryNames;  // GBK, as the tree shows them
    // The directory each name belongs to (0: none), so that a rename reaches
    // the rows that show it.
    std::vector<int32_t> directoryIds;
    EntryRowList rows;

    void clear()
    {
        directoryNames.clear();
        directoryIds.clear();
        rows.clear();
        rows.bind({});
    }
    uint32_t addDirectoryName(std::string name, int32_t directoryId = 0);
    // Shows `caption` for directory `id`; true when some name changed.
    bool renameDirectory(int32_t id, std::string_view caption);
    std::string_view directoryText(const EntryRow& row) const
    {
        return row.directory < directoryNames.size() ? std::string_view(directoryNames[row.directory])
                                                     : std::string_view();
    }
    std::string_view cellText(const EntryRow& row, int column) const;
    // Adds the rows of `other` after these, with their directory names and
    // texts (own texts where `other` reads another image).
    void append(const EntryRowSet& other);
};

// The list's text comparison: bytes as unsigned values with ASCII a-z folded to
// A-Z; a prefix sorts first. Negative, zero or positive.
int compareEntryText(std::string_view a, std::string_view b);

// Sorts by the text of `column`, ascending for direction +1 and descending
// for -1; with direction 0 every pair compares equal and nothing moves.
// Rows that compare equal keep their order. Returns the permutation applied:
// result[newIndex] = oldIndex.
std::vector<int> sortEntryRows(EntryRowSet& set, int column, int direction);
// The same, telling the permutation only when `applied` is given: without it
// a long list sorts in less memory.
void sortEntryRows(EntryRowSet& set, int column, int direction, std::vector<int>* applied);

// Sorts the rows by a key per row (keys[i] for row i), ascending and stable;
// the keys are used up. Keys all below 65,536 sort in one counting pass.
void sortEntryRowsByKey(EntryRowSet& set, LargeVector<uint64_t>& keys);

// The rows of one directory, in image order.
EntryRowSet listDirectory(const DatabaseImage& image, int32_t directoryId, const std::string& directoryName);

// Carries rows along when the image was rebuilt; rows whose record is gone
// are dropped, and the rows read the image the relocation names. Returns the
// indices (ascending) of the dropped rows.
std::vector<int> relocateRows(EntryRowSet& set, const Relocation& relocation);

}  // namespace qv
