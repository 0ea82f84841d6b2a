#include "lookup/EntryRows.h"

#include "store/DatabaseImage.h"

#include <algorithm>
#include <numeric>

namespace qv {

void EntryRow::setFromRecord(const uint8_t* rec)
{
    setTexts(readField(rec + entry_field::kNameLen, kNameCapacity),
             readField(rec + entry_field::kAreaLen, kAreaCodeCapacity),
             readField(rec + entry_field::kPostLen, kPostcodeCapacity));
}

void EntryRow::setTexts(std::string_view n, std::string_view a, std::string_view p)
{
    nameLen = uint8_t(std::min(n.size(), sizeof name));
    areaLen = uint8_t(std::min(a.size(), sizeof area));
    postLen = uint8_t(std::min(p.size(), sizeof post));
    std::memcpy(name, n.data(), nameLen);
    std::memcpy(area, a.data(), areaLen);
    std::memcpy(post, p.data(), postLen);
}

uint32_t EntryRowSet::addDirectoryName(std::string name)
{
    directoryNames.push_back(std::move(name));
    return uint32_t(directoryNames.size() - 1);
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

namespace {
inline int fold(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - ('a' - 'A') : c; }
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

std::vector<int> sortEntryRows(EntryRowSet& set, int column, int direction)
{
    std::vector<int> order(set.rows.size());
    std::iota(order.begin(), order.end(), 0);
    if (direction == 0 || column < 0 || column > 3)
        return order;
    const auto& rows = set.rows;
    std::stable_sort(order.begin(), order.end(), [&](int x, int y) {
        return compareEntryText(set.cellText(rows[size_t(x)], column), set.cellText(rows[size_t(y)], column)) *
                   direction <
               0;
    });
    std::vector<EntryRow> sorted;
    sorted.reserve(rows.size());
    for (int i : order)
        sorted.push_back(rows[size_t(i)]);
    set.rows.swap(sorted);
    return order;
}

EntryRowSet listDirectory(const DatabaseImage& image, int32_t directoryId, const std::string& directoryName)
{
    EntryRowSet set;
    const uint32_t dir = set.addDirectoryName(directoryName);
    image.forEachEntry([&](int32_t pos, const uint8_t* rec) {
        if (entryOwner(rec) != directoryId)
            return;
        EntryRow& row = set.rows.emplace_back();
        row.position = pos;
        row.directory = dir;
        row.setFromRecord(rec);
    });
    return set;
}

std::vector<int> relocateRows(EntryRowSet& set, const Relocation& relocation)
{
    std::vector<int> dropped;
    if (relocation.isIdentity())
        return dropped;
    size_t out = 0;
    for (size_t i = 0; i < set.rows.size(); ++i) {
        EntryRow row = set.rows[i];
        row.position = relocation.map(row.position);
        if (row.position < 0) {
            dropped.push_back(int(i));
            continue;
        }
        set.rows[out++] = row;
    }
    set.rows.resize(out);
    return dropped;
}

}  // namespace qv
