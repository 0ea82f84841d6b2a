#pragma once
// The decompressed database: directory section, learned-initials section and
// entry section, one after another. Between saves only the entry section is
// touched; its records are read, rewritten in place and appended here.
#include "store/Records.h"

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace qv {

// The image's bytes as they were when taken, shared with whoever reads
// entries beside the image's owner: the list keeps reading the bytes its rows
// were made from while a save builds the next image on another thread, and
// is told where its records went once the save is over. Records rewritten in
// place show through; the image never moves bytes that are shared (it grows
// into a buffer of its own instead), so that a reader on another thread never
// meets freed memory.
struct ImageRef {
    std::shared_ptr<const std::vector<uint8_t>> bytes;
    int32_t entryStart = 0;
    size_t size = 0;  // the length then; records appended since are not read

    // The record at `pos`, or nullptr when no whole record of the entry section starts there.
    const uint8_t* record(int64_t pos) const
    {
        if (!bytes || pos < entryStart || pos + kEntryRecordSize > int64_t(size))
            return nullptr;
        return bytes->data() + pos;
    }
    bool sameBytes(const ImageRef& other) const { return bytes == other.bytes; }
};

class DatabaseImage {
public:
    DatabaseImage() : m_bytes(std::make_shared<std::vector<uint8_t>>()) {}
    // A copy has bytes of its own.
    DatabaseImage(const DatabaseImage& other)
        : m_bytes(std::make_shared<std::vector<uint8_t>>(*other.m_bytes)), m_entryStart(other.m_entryStart)
    {
    }
    DatabaseImage& operator=(const DatabaseImage& other)
    {
        if (this != &other)
            assign(*other.m_bytes, other.m_entryStart);
        return *this;
    }
    DatabaseImage(DatabaseImage&& other) : DatabaseImage() { swap(other); }
    DatabaseImage& operator=(DatabaseImage&& other)
    {
        swap(other);
        return *this;
    }
    void swap(DatabaseImage& other)
    {
        m_bytes.swap(other.m_bytes);
        std::swap(m_entryStart, other.m_entryStart);
    }

    std::vector<uint8_t>& bytes() { return *m_bytes; }
    const std::vector<uint8_t>& bytes() const { return *m_bytes; }
    int64_t size() const { return int64_t(m_bytes->size()); }

    // The bytes for readers that may outlive a replacement of the image
    // (assign); in-place changes (rewrites, appends, compaction) show through.
    ImageRef ref() const { return {m_bytes, m_entryStart, m_bytes->size()}; }

    // Byte position of the first entry record (the length of the front).
    int32_t entrySectionStart() const { return m_entryStart; }

    // Replaces the bytes with new ones; readers holding a ref() keep the old.
    void assign(std::vector<uint8_t> bytes, int32_t entryStart);
    void clear() { assign({}, 0); }

    // Number of whole records in the entry section.
    int64_t entryCount() const { return (size() - m_entryStart) / kEntryRecordSize; }

    // True when `pos` is the start of a whole record of the entry section.
    bool isEntryPosition(int64_t pos) const
    {
        return pos >= m_entryStart && pos + kEntryRecordSize <= size() && (pos - m_entryStart) % kEntryRecordSize == 0;
    }
    const uint8_t* entryAt(int32_t pos) const { return m_bytes->data() + pos; }
    uint8_t* entryAt(int32_t pos) { return m_bytes->data() + pos; }

    EntryRecord readEntry(int32_t pos) const { return EntryRecord::decode(entryAt(pos)); }
    // Appends a record; returns its position (the image length before).
    // The record goes into the room kept behind the image (capacityFor);
    // only when that is used up does the image move to a new buffer, and
    // readers that share the old one (see ImageRef) keep it.
    int32_t appendEntry(const EntryRecord& record);
    // Appends `n` bytes of whole records, growing the buffer once to the
    // exact size: a large import never holds a doubled buffer.
    void appendEntries(const uint8_t* records, size_t n);

    // The buffer size to set aside for an image of `size` bytes: a quarter
    // more and a megabyte, so that places added later land in place rather
    // than in a second copy of the whole image. Room never written to costs
    // address space only, no memory.
    static size_t capacityFor(size_t size) { return size + size / 4 + (size_t(1) << 20); }

    // Calls f(position, recordBytes) for every record, in image order.
    template <class F> void forEachEntry(F&& f) const
    {
        const uint8_t* data = m_bytes->data();
        const int64_t end = size() - kEntryRecordSize;
        for (int64_t p = m_entryStart; p <= end; p += kEntryRecordSize)
            f(int32_t(p), data + p);
    }
    template <class F> void forEachEntryMutable(F&& f)
    {
        uint8_t* data = m_bytes->data();
        const int64_t end = size() - kEntryRecordSize;
        for (int64_t p = m_entryStart; p <= end; p += kEntryRecordSize)
            f(int32_t(p), data + p);
    }

private:
    // Never null.
    std::shared_ptr<std::vector<uint8_t>> m_bytes;
    int32_t m_entryStart = 0;
};

}  // namespace qv
