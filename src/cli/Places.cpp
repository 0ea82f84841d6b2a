#include "cli/Places.h"

#include "store/Database.h"

#include <algorithm>
#include <cstring>

namespace qv::cli {

namespace {

// Where an extension begins: the first of its markers after the first digit.
size_t extensionStart(std::string_view text)
{
    size_t firstDigit = 0;
    while (firstDigit < text.size() && !(text[firstDigit] >= '0' && text[firstDigit] <= '9') &&
           text.compare(firstDigit, 2, "\xEF\xBC") != 0)
        ++firstDigit;
    size_t end = text.size();
    for (const std::string_view marker : {"转", "分机", "#", "＃", "x", "X", "ｘ"})
        end = std::min(end, text.find(marker, firstDigit));
    return end;
}

bool startsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

}  // namespace

ReadNumber readNumber(std::string_view text)
{
    text = text.substr(0, extensionStart(text));
    std::string digits;
    bool plus = false;
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
        if (digit >= 0)
            digits += char('0' + digit);
        else if (isPlus && digits.empty())
            plus = true;
    }
    ReadNumber read;
    if (digits.empty())
        return read;
    if (plus)
        digits.insert(0, "00");
    read.digits = digits;

    // The national number without its trunk 0, or a number abroad.
    std::string national;
    bool trunk = false;
    if (startsWith(digits, "0086") || (startsWith(digits, "86") && digits.size() >= 11)) {
        national = digits.substr(startsWith(digits, "0086") ? 4 : 2);
        // Area codes after the country code never begin with 0: one is the trunk.
        if (startsWith(national, "0"))
            national.erase(0, 1);
        trunk = true;
    } else if (startsWith(digits, "00")) {
        read.kind = NumberKind::Dialled;
        return read;
    } else if (startsWith(digits, "0")) {
        national = digits.substr(1);
        trunk = true;
    } else {
        national = digits;
    }
    read.digits = "0" + national;
    if (national.size() == 11 && national[0] == '1' && national[1] >= '3' && national[1] <= '9')
        read.kind = NumberKind::Mobile;
    else if (national.size() == 10 && (startsWith(national, "400") || startsWith(national, "800")))
        read.kind = NumberKind::Service;
    else if (national.empty() || (!trunk && national.size() < 10))
        read.kind = NumberKind::Local;
    else
        read.kind = NumberKind::Dialled;
    if (read.kind == NumberKind::Local)
        read.digits = digits;
    return read;
}

std::string dialDigits(std::string_view text) { return readNumber(text).digits; }

namespace {

// A field of at most eight bytes as one key: its bytes, then its length.
uint64_t fieldKey(std::string_view field)
{
    uint64_t key = 0;
    std::memcpy(&key, field.data(), std::min<size_t>(field.size(), 7));
    return key << 8 | field.size();
}

}  // namespace

AreaCodeIndex::AreaCodeIndex(const DatabaseImage& image)
{
    // Runs of places share an area code: the last list is looked up once per run.
    uint64_t lastKey = ~uint64_t(0);
    std::vector<int32_t>* last = nullptr;
    image.forEachEntry([&](int32_t pos, const uint8_t* rec) {
        if (rec[entry_field::kOwner + 3] & 0x80)  // deleted
            return;
        const uint64_t key = fieldKey(readField(rec + entry_field::kAreaLen, kAreaCodeCapacity));
        if (key != lastKey || !last) {
            last = &m_byCode[key];
            lastKey = key;
        }
        last->push_back(pos);
    });
}

const std::vector<int32_t>* AreaCodeIndex::longestPrefix(std::string_view digits) const
{
    for (size_t n = std::min<size_t>(digits.size(), kAreaCodeCapacity); n > 0; --n) {
        const auto it = m_byCode.find(fieldKey(digits.substr(0, n)));
        if (it != m_byCode.end())
            return &it->second;
    }
    return nullptr;
}

PostcodeIndex::PostcodeIndex(const DatabaseImage& image)
{
    image.forEachEntry([&](int32_t pos, const uint8_t* rec) {
        if (rec[entry_field::kOwner + 3] & 0x80)
            return;
        const std::string_view code = readField(rec + entry_field::kPostLen, kPostcodeCapacity);
        auto it = m_byCode.find(code);
        if (it == m_byCode.end())
            it = m_byCode.emplace(std::string(code), std::vector<int32_t>()).first;
        it->second.push_back(pos);
    });
}

PostcodeIndex::Match PostcodeIndex::find(std::string_view code, size_t minShared) const
{
    Match match;
    if (const auto it = m_byCode.find(code); it != m_byCode.end()) {
        match.positions = it->second;
        match.shared = code.size();
        match.exact = true;
        return match;
    }
    for (size_t n = code.size(); n-- > std::max<size_t>(minShared, 1);) {
        const std::string_view prefix = code.substr(0, n);
        for (auto it = m_byCode.lower_bound(prefix); it != m_byCode.end() && startsWith(it->first, prefix); ++it)
            match.positions.insert(match.positions.end(), it->second.begin(), it->second.end());
        if (!match.positions.empty()) {
            std::sort(match.positions.begin(), match.positions.end());
            match.shared = n;
            return match;
        }
    }
    return match;
}

RowMaker::RowMaker(const Database& db) : m_db(db)
{
    // As the search names directories: a later node with the same id wins.
    db.tree.forEach([&](const DirectoryNode* node, int) { m_captions[node->id] = node->caption; });
}

EntryRowSet RowMaker::rows(const std::vector<int32_t>& positions) const
{
    EntryRowSet set;
    set.rows.bind(m_db.image.ref());
    set.addDirectoryName(std::string());  // slot 0: no directory with that id
    std::unordered_map<int32_t, uint32_t> slotOfOwner;
    set.rows.reserve(positions.size());
    for (const int32_t pos : positions) {
        const int32_t owner = entryOwner(m_db.image.entryAt(pos));
        auto it = slotOfOwner.find(owner);
        if (it == slotOfOwner.end()) {
            const auto caption = m_captions.find(owner);
            it = slotOfOwner.emplace(owner, caption == m_captions.end() ? 0 : set.addDirectoryName(caption->second)).first;
        }
        set.rows.push(pos, it->second);
    }
    return set;
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

std::vector<const DirectoryNode*> directoriesNamed(const DirectoryTree& tree, std::string_view caption)
{
    std::vector<const DirectoryNode*> found;
    tree.forEach([&](const DirectoryNode* node, int) {
        if (node->caption == caption)
            found.push_back(node);
    });
    return found;
}

std::string directoryPath(const DirectoryNode* node)
{
    std::string path;
    for (; node && node->parent; node = node->parent)
        path = path.empty() ? node->caption : node->caption + '/' + path;
    return path;
}

}  // namespace qv::cli
