#include "cli/Places.h"

#include "lookup/Search.h"
#include "store/Database.h"

#include <algorithm>

namespace qv::cli {

std::string dialDigits(std::string_view text)
{
    std::string digits;
    bool plus = false;
    bool seenDigit = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        int digit = -1;
        bool isPlus = c == '+';
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c == 0xEF && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0xBC) {
            // Full-width forms: ＋ is EF BC 8B, ０ to ９ are EF BC 90 to EF BC 99.
            const unsigned char t = static_cast<unsigned char>(text[i + 2]);
            if (t >= 0x90 && t <= 0x99)
                digit = t - 0x90;
            isPlus = t == 0x8B;
            if (digit >= 0 || isPlus)
                i += 2;
        }
        if (digit >= 0) {
            digits += char('0' + digit);
            seenDigit = true;
        } else if (isPlus && !seenDigit) {
            plus = true;
        }
    }
    if (plus)
        digits.insert(0, "00");
    if (digits.rfind("0086", 0) == 0)
        digits.replace(0, 4, "0");
    return digits;
}

EntryRowSet placesForNumber(const Database& db, std::string_view digits)
{
    QueryOptions exactArea;
    exactArea.exact = true;
    exactArea.fuzzy = false;
    exactArea.byName = exactArea.byInitials = exactArea.byPostcode = false;
    exactArea.byAreaCode = true;
    for (size_t n = std::min<size_t>(digits.size(), kAreaCodeCapacity); n > 0; --n) {
        EntryRowSet rows = searchEntries(db, digits.substr(0, n), exactArea);
        if (!rows.rows.empty())
            return rows;
    }
    return {};
}

namespace {

const DirectoryNode* findBelow(const DirectoryNode* parent, std::string_view rest)
{
    for (const auto& child : parent->children) {
        const std::string& caption = child->caption;
        if (rest.compare(0, caption.size(), caption) != 0)
            continue;
        if (rest.size() == caption.size())
            return child.get();
        if (rest[caption.size()] == '/')
            if (const DirectoryNode* found = findBelow(child.get(), rest.substr(caption.size() + 1)))
                return found;
    }
    return nullptr;
}

}  // namespace

const DirectoryNode* findDirectory(const DirectoryTree& tree, std::string_view path)
{
    while (!path.empty() && path.front() == '/')
        path.remove_prefix(1);
    while (!path.empty() && path.back() == '/')
        path.remove_suffix(1);
    return path.empty() ? nullptr : findBelow(tree.root(), path);
}

std::string directoryPath(const DirectoryNode* node)
{
    std::string path;
    for (; node && node->parent; node = node->parent)
        path = path.empty() ? node->caption : node->caption + '/' + path;
    return path;
}

}  // namespace qv::cli
