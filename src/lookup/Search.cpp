#include "lookup/Search.h"

#include "lookup/Pinyin.h"
#include "store/Database.h"
#include "store/GbkText.h"

#include <cstring>
#include <string>
#include <unordered_map>

namespace qv {

bool isBlankQuery(std::string_view query)
{
    for (char c : query)
        if (static_cast<unsigned char>(c) > 0x20)
            return false;
    return true;
}

namespace {

// The fields searched hold at most 25 bytes. A plain scan beats memmem here:
// glibc's memmem sets up a shift table on every call for needles of three
// bytes or more, which cost more than the search itself (a third of a pass
// over a million entries).
inline bool contains(std::string_view hay, std::string_view needle)
{
    const size_t n = needle.size();
    if (n == 0)
        return true;
    if (n > hay.size())
        return false;
    const char first = needle[0];
    const char* h = hay.data();
    for (size_t i = 0, last = hay.size() - n; i <= last; ++i)
        if (h[i] == first && std::memcmp(h + i + 1, needle.data() + 1, n - 1) == 0)
            return true;
    return false;
}

}  // namespace

bool nameContainsAtBoundary(std::string_view name, std::string_view query)
{
    if (query.empty())
        return true;
    if (!contains(name, query))
        return false;
    // A run that starts on the second byte of a two-byte character does not count.
    for (size_t i = 0; i + query.size() <= name.size();) {
        if (std::memcmp(name.data() + i, query.data(), query.size()) == 0)
            return true;
        i += (gbk::isLeadByte(static_cast<unsigned char>(name[i])) && i + 1 < name.size()) ? 2 : 1;
    }
    return false;
}

EntryRowSet searchEntries(const Database& db, std::string_view query, const QueryOptions& options)
{
    EntryRowSet set;
    const bool anyField = options.byName || options.byInitials || options.byPostcode || options.byAreaCode;
    if ((!options.exact && !options.fuzzy) || !anyField)
        return set;
    const bool fuzzy = options.fuzzy;  // with both set (impossible in the bar), fuzzy wins

    // Directory names by id: a node's text goes into its id's slot in tree
    // order. A map, not an array indexed by ids from the file.
    std::unordered_map<int32_t, uint32_t> dirIndex;
    set.addDirectoryName(std::string());  // slot 0: no directory with that id
    db.tree.forEach([&](const DirectoryNode* node, int) {
        dirIndex[node->id] = set.addDirectoryName(node->caption);
    });

    std::string upperQuery(query);
    for (char& c : upperQuery)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    const InitialsTable initials(db.learned);
    char initialsBuffer[kNameCapacity];

    int32_t lastOwner = 0;
    uint32_t lastDir = 0;
    bool haveLast = false;
    db.image.forEachEntry([&](int32_t pos, const uint8_t* rec) {
        const int32_t owner = entryOwner(rec);
        if (owner < 0)
            return;
        const std::string_view name = readField(rec + entry_field::kNameLen, kNameCapacity);
        bool match = false;
        if (options.byName)
            match = fuzzy ? nameContainsAtBoundary(name, query) : name == query;
        if (!match && options.byInitials) {
            std::string_view ini(initialsBuffer, size_t(initials.append(name, initialsBuffer) - initialsBuffer));
            match = fuzzy ? contains(ini, upperQuery) : ini == upperQuery;
        }
        if (!match && options.byPostcode) {
            std::string_view post = readField(rec + entry_field::kPostLen, kPostcodeCapacity);
            match = fuzzy ? contains(post, query) : post == query;
        }
        if (!match && options.byAreaCode) {
            std::string_view area = readField(rec + entry_field::kAreaLen, kAreaCodeCapacity);
            match = fuzzy ? contains(area, query) : area == query;
        }
        if (!match)
            return;
        if (!haveLast || owner != lastOwner) {
            auto it = dirIndex.find(owner);
            lastDir = it == dirIndex.end() ? 0 : it->second;
            lastOwner = owner;
            haveLast = true;
        }
        EntryRow& row = set.rows.emplace_back();
        row.position = pos;
        row.directory = lastDir;
        row.setFromRecord(rec);
    });
    return set;
}

}  // namespace qv
