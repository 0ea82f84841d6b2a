#pragma once
// The search over every entry of the database by name, pinyin initials,
// postcode and area code.
#include "lookup/EntryRows.h"

#include <string_view>

namespace qv {

class Database;

struct QueryOptions {
    bool exact = false;  // 精确查询
    bool fuzzy = true;   // 模糊查询 (the menu can leave neither chosen)
    bool byName = true;
    bool byInitials = true;
    bool byPostcode = true;
    bool byAreaCode = true;
};

// True when the query holds nothing but bytes up to 0x20.
bool isBlankQuery(std::string_view query);

// One pass over the entry section; deleted entries are skipped. Rows come in
// image order with the name of their directory (empty when it is gone).
// The query is used exactly as given, blanks included.
EntryRowSet searchEntries(const Database& db, std::string_view query, const QueryOptions& options);

// The single-field tests, exposed for tests.
bool nameContainsAtBoundary(std::string_view name, std::string_view query);

}  // namespace qv
