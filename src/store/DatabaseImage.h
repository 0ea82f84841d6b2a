#pragma once
// The decompressed database: directory section, learned-initials section and
// entry section, one after another. Between saves only the entry section is
// touched; its records are read, rewritten in place and appended here.
#include "store/Records.h"

#include <cstdint>
#include <vector>

namespace qv {

class DatabaseImage {
public:
    std::vector<uint8_t>& bytes() { return m_bytes; }
    const std::vector<uint8_t>& bytes() const { return m_bytes; }
    int64_t size() const { return int64_t(m_bytes.size()); }

    // Byte position of the first entry record (the length of the front).
    int32_t entrySectionStart() const { return m_entryStart; }

    void assign(std::vector<uint8_t> bytes, int32_t entryStart);
    void clear() { assign({}, 0); }

    // Number of whole records in the entry section.
    int64_t entryCount() const { return (size() - m_entryStart) / kEntryRecordSize; }

    // True when `pos` is the start of a whole record of the entry section.
    bool isEntryPosition(int64_t pos) const
    {
        return pos >= m_entryStart && pos + kEntryRecordSize <= size() && (pos - m_entryStart) % kEntryRecordSize == 0;
    }
    const uint8_t* entryAt(int32_t pos) const { return m_bytes.data() + pos; }
    uint8_t* entryAt(int32_t pos) { return m_bytes.data() + pos; }

    EntryRecord readEntry(int32_t pos) const { return EntryRecord::decode(entryAt(pos)); }
    // Appends a record; returns its position (the image length before).
    int32_t appendEntry(const EntryRecord& record);

    // Calls f(position, recordBytes) for every record, in image order.
    template <class F> void forEachEntry(F&& f) const
    {
        const uint8_t* data = m_bytes.data();
        const int64_t end = size() - kEntryRecordSize;
        for (int64_t p = m_entryStart; p <= end; p += kEntryRecordSize)
            f(int32_t(p), data + p);
    }
    template <class F> void forEachEntryMutable(F&& f)
    {
        uint8_t* data = m_bytes.data();
        const int64_t end = size() - kEntryRecordSize;
        for (int64_t p = m_entryStart; p <= end; p += kEntryRecordSize)
            f(int32_t(p), data + p);
    }

private:
    std::vector<uint8_t> m_bytes;
    int32_t m_entryStart = 0;
};

}  // namespace qv
