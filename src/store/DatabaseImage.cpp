#include "store/DatabaseImage.h"

namespace qv {

void DatabaseImage::assign(std::vector<uint8_t> bytes, int32_t entryStart)
{
    m_bytes = std::move(bytes);
    m_entryStart = entryStart;
}

int32_t DatabaseImage::appendEntry(const EntryRecord& record)
{
    int32_t pos = int32_t(m_bytes.size());
    m_bytes.resize(m_bytes.size() + kEntryRecordSize, 0);
    record.encodeInto(m_bytes.data() + pos);
    return pos;
}

}  // namespace qv
