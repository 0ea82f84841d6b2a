#pragma once
// The search over every entry of the database by name, pinyin initials,
// postcode and area code.
#include "lookup/EntryRows.h"

#include <string>
#include <string_view>
#include <vector>

namespace qv {

class Database;
struct DirectoryNode;

struct QueryOptions {
    bool exact = false;  // 精确查询
    bool fuzzy = true;   // 模糊查询 (the menu can leave neither chosen)
    bool byName = true;
    bool byInitials = true;
    bool byPostcode = true;
    bool byAreaCode = true;

    bool operator==(const QueryOptions& o) const
    {
        return exact == o.exact && fuzzy == o.fuzzy && byName == o.byName && byInitials == o.byInitials &&
               byPostcode == o.byPostcode && byAreaCode == o.byAreaCode;
    }
};

// True when the query holds nothing but bytes up to 0x20.
bool isBlankQuery(std::string_view query);

// One pass over the entry section; deleted entries are skipped. Rows come in
// image order with the name of their directory (empty when it is gone).
// The query is used exactly as given, blanks included.
EntryRowSet searchEntries(const Database& db, std::string_view query, const QueryOptions& options);

// The query as an input method may have typed it, in the form the names and
// their pinyin are kept in: full-width letters, digits and blanks as
// half-width (NFKC), tone marks and tone numbers dropped (xià mén,
// xia4men2), ü as v, and curly or full-width apostrophes, hyphens and dashes
// as the blanks that part syllables. Returns the query unchanged when there
// is nothing to read differently. searchEntries tries both forms.
std::string typedQueryForm(std::string_view query);

// Orders the rows of a search by how well they match `query`, best first:
// the whole name (or its full pinyin, or a code) equal to the query, then
// names (or codes) beginning with it, then the rest; within each, the places
// a person most likely means (a province's capital or a municipality before
// other cities with districts of their own, those before county-level
// cities, those before the rest), then shorter names, then ascending area
// code. Costs a pass over the rows and one radix sort of a key per row.
void rankEntryRows(const Database& db, EntryRowSet& set, std::string_view query, const QueryOptions& options);

// The directories whose caption matches `query` as a name would under
// `options` (by the characters, traditional ones read as simplified, or by
// its pinyin, which must begin the caption: gd finds 广东省, not every
// caption with a G and a D): those it names whole (广东, guangdong for
// 广东省) first, each part in tree order. They are few: a search lists
// them apart from its rows of places.
std::vector<const DirectoryNode*> searchDirectories(const Database& db, std::string_view query,
                                                   const QueryOptions& options);

// The single-field tests, exposed for tests.
bool nameContainsAtBoundary(std::string_view name, std::string_view query);

}  // namespace qv
