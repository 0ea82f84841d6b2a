#pragma once
// Rows of the entry list: the owning directory's name, the entry's name,
// area code and postcode, and the position of its record in the image.
// Rows copy the texts into fixed fields, so that listing a million entries
// allocates nothing per row.
#include "store/Records.h"
#include "store/Relocation.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

class DatabaseImage;

enum EntryColumn : int { kColumnDirectory = 0, kColumnName = 1, kColumnAreaCode = 2, kColumnPostcode = 3 };

struct EntryRow {
    EntryPosition position = -1;
    uint32_t directory = 0; // index into EntryRowSet::directoryNames
    uint8_t nameLen = 0, areaLen = 0, postLen = 0;
    char name[kNameCapacity];
    char area[kAreaCodeCapacity];
    char post[kPostcodeCapacity];

    std::string_view nameText() const { return {name, nameLen}; }
    std::string_view areaText() const { return {area, areaLen}; }
    std::string_view postText() const { return {post, postLen}; }

    // Copies name, area code and postcode from a record.
    void setFromRecord(const uint8_t* rec);
    void setTexts(std::string_view n, std::string_view a, std::string_view p);
};

struct EntryRowSet {
    std::vector<std::string> directoryNames;  // GBK, as the tree showed them when listed
    std::vector<EntryRow> rows;

    void clear()
    {
        directoryNames.clear();
        rows.clear();
    }
    uint32_t addDirectoryName(std::string name);
    std::string_view directoryText(const EntryRow& row) const
    {
        return row.directory < directoryNames.size() ? std::string_view(directoryNames[row.directory])
                                                     : std::string_view();
    }
    std::string_view cellText(const EntryRow& row, int column) const;
};

// The list's text comparison: bytes as unsigned values with ASCII a-z folded to
// A-Z; a prefix sorts first. Negative, zero or positive.
int compareEntryText(std::string_view a, std::string_view b);

// Sorts by the text of `column`, ascending for direction +1 and descending
// for -1; with direction 0 every pair compares equal and nothing moves.
// Rows that compare equal keep their order. Returns the permutation applied:
// result[newIndex] = oldIndex.
std::vector<int> sortEntryRows(EntryRowSet& set, int column, int direction);

// The rows of one directory, in image order.
EntryRowSet listDirectory(const DatabaseImage& image, int32_t directoryId, const std::string& directoryName);

// Carries rows along when the image was rebuilt; rows whose record is gone
// are dropped. Returns the indices (ascending) of the dropped rows.
std::vector<int> relocateRows(EntryRowSet& set, const Relocation& relocation);

}  // namespace qv
