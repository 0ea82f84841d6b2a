#include "store/DatabaseImage.h"

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
    std::vector<uint8_t>& bytes = *m_bytes;
    int32_t pos = int32_t(bytes.size());
    bytes.resize(bytes.size() + kEntryRecordSize, 0);
    record.encodeInto(bytes.data() + pos);
    return pos;
}

}  // namespace qv
