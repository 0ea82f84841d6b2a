#include "store/DatabaseImage.h"

#include <algorithm>

namespace qv {

void DatabaseImage::assign(std::vector<uint8_t> bytes, int32_t entryStart)
{
    // A new buffer, not new content in the old one: a reader on another
    // thread may still be reading the old bytes.
    m_bytes = std::make_shared<std::vector<uint8_t>>(std::move(bytes));
    m_entryStart = entryStart;
}

int32_t DatabaseImage::appendEntry(const EntryRecord& record)
{
    const size_t pos = m_bytes->size();
    if (pos + kEntryRecordSize > m_bytes->capacity()) {
        auto grown = std::make_shared<std::vector<uint8_t>>();
        grown->reserve(capacityFor(pos + kEntryRecordSize));
        grown->assign(m_bytes->begin(), m_bytes->end());
        if (m_bytes.use_count() > 1)
            m_bytes = std::move(grown);
        else
            m_bytes->swap(*grown);
    }
    m_bytes->resize(pos + kEntryRecordSize, 0);
    record.encodeInto(m_bytes->data() + pos);
    return int32_t(pos);
}

void DatabaseImage::appendEntries(const uint8_t* records, size_t n)
{
    const size_t need = m_bytes->size() + n;
    if (need > m_bytes->capacity()) {
        auto grown = std::make_shared<std::vector<uint8_t>>();
        grown->reserve(need);
        grown->assign(m_bytes->begin(), m_bytes->end());
        m_bytes = std::move(grown);  // readers sharing the old buffer keep it
    }
    m_bytes->insert(m_bytes->end(), records, records + n);
}

}  // namespace qv
