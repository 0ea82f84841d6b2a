#pragma once
// Changes to place entries, made directly in the image. Positions come from
// rows of the entry list; a position that is not a record of the current
// image is refused rather than written through.
#include "store/Database.h"

#include <string>

namespace qv {

struct EntryText {
    std::string name;      // GBK, cut to 25 bytes when stored
    std::string areaCode;  // GBK, cut to 5 bytes
    std::string postcode;  // GBK, cut to 8 bytes
};

// Appends a live entry owned by `owner`; returns its position, or -1 when the
// image cannot grow any further.
int32_t appendEntry(Database& db, int32_t owner, const EntryText& text);

// Replaces name, postcode and area code of the record at `pos`; the owner and
// every other byte stay. Rows showing the record are told.
bool rewriteEntry(Database& db, int32_t pos, const EntryText& text);

// Marks the record at `pos` deleted (its owner negated); a record already
// deleted stays as it is.
bool deleteEntry(Database& db, int32_t pos);
// The same for many records; rows showing them are told once.
void deleteEntries(Database& db, const std::vector<int32_t>& positions);

// Files the record at `pos` under another directory.
bool moveEntry(Database& db, int32_t pos, int32_t owner);
// Files many records under `owner`; rows showing them are told once. With
// no records (rows dropped on their own directory) the drop still counts
// as an edit.
void moveEntries(Database& db, const std::vector<int32_t>& positions, int32_t owner);

}  // namespace qv
