#include "cli/Places.h"

#include "store/Database.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

namespace qv::cli {

namespace {

// Whether a digit, ASCII or full-width (EF BC 90 to EF BC 99), begins at `i`.
bool digitAt(std::string_view text, size_t i)
{
    if (text[i] >= '0' && text[i] <= '9')
        return true;
    return text.compare(i, 2, "\xEF\xBC") == 0 && i + 2 < text.size() &&
           static_cast<unsigned char>(text[i + 2]) >= 0x90 && static_cast<unsigned char>(text[i + 2]) <= 0x99;
}

// Where an extension begins: the first of its markers after the first digit.
// Text pasted from a web page often puts a label with brackets, colons or a
// marker of its own before the number ("（分机）", "传真（Fax）：", "＃"): only a
// real digit starts the number.
size_t extensionStart(std::string_view text)
{
    size_t firstDigit = 0;
    while (firstDigit < text.size() && !digitAt(text, firstDigit))
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
    // "+0086": the + and the international prefix both written.
    if (plus && !startsWith(digits, "00"))
        digits.insert(0, "00");
    read.digits = digits;

    // The national number without its trunk 0, or a number abroad.
    std::string national;
    bool trunk = false;         // national, by a trunk 0 or China's country code
    bool trunkWritten = false;  // the 0 itself was written: an area code follows, however short
    bool country = false;
    if (startsWith(digits, "0086") || (startsWith(digits, "86") && digits.size() >= 11)) {
        national = digits.substr(startsWith(digits, "0086") ? 4 : 2);
        // Area codes after the country code never begin with 0: one is the trunk.
        trunkWritten = startsWith(national, "0");
        if (trunkWritten)
            national.erase(0, 1);
        trunk = country = true;
    } else if (startsWith(digits, "00")) {
        read.kind = NumberKind::Dialled;
        return read;
    } else if (startsWith(digits, "0")) {
        national = digits.substr(1);
        trunk = trunkWritten = true;
    } else {
        national = digits;
    }
    // Nationwide service numbers of five digits: banks and insurers (95xxx),
    // carriers (100xx), public services (12xxx).
    const bool shortService = national.size() == 5 &&
                              (startsWith(national, "95") || startsWith(national, "100") || startsWith(national, "12"));
    read.digits = "0" + national;
    if (national.size() == 11 && national[0] == '1' && national[1] >= '3' && national[1] <= '9')
        read.kind = NumberKind::Mobile;
    else if (national.size() == 10 && (startsWith(national, "400") || startsWith(national, "800")))
        read.kind = NumberKind::Service;
    else if (shortService && !trunkWritten)
        read.kind = NumberKind::ShortService;
    else if (national.empty() || (!trunk && national.size() < 10))
        read.kind = NumberKind::Local;
    // After a country code a whole number follows: five digits or fewer
    // hold no area code and subscriber number (an area code alone comes
    // with its trunk 0).
    else if (country && !trunkWritten && national.size() <= 5)
        read.kind = NumberKind::TooShort;
    else
        read.kind = NumberKind::Dialled;
    if (read.kind == NumberKind::Local || read.kind == NumberKind::ShortService)
        read.digits = digits;
    return read;
}

std::string dialDigits(std::string_view text) { return readNumber(text).digits; }

FieldIndex::Key FieldIndex::keyOf(std::string_view text)
{
    Key key{0, unsigned(std::min<size_t>(text.size(), 8))};
    std::memcpy(&key.bytes, text.data(), key.length);
    return key;
}

size_t FieldIndex::slotOf(const Key& key) const
{
    return size_t(((key.bytes ^ (uint64_t(key.length) << 59)) * 0x9E3779B97F4A7C15u) >> (64 - m_bits));
}

// The record's bytes are read a word at a time and cut by masks that keep
// the first bytes of the word.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "FieldIndex reads fields as little-endian words");

FieldIndex::FieldIndex(const DatabaseImage& image, Field field)
    : m_slots(size_t(1) << m_bits), m_first(image.entrySectionStart())
{
    m_codeOf.reserve(size_t(std::max<int64_t>(image.entryCount(), 0)));
    // Eight bytes from the length byte's place on stay inside a record for
    // both fields; the text is what the length leaves of them.
    const bool area = field == Field::AreaCode;
    const int lengthAt = area ? entry_field::kAreaLen : entry_field::kPostLen;
    const unsigned capacity = area ? kAreaCodeCapacity : kPostcodeCapacity;
    const int wordAt = area ? entry_field::kAreaLen - 1 : entry_field::kPost;
    const int shift = area ? 16 : 0;
    static_assert(entry_field::kAreaLen - 1 + 8 <= kEntryRecordSize && entry_field::kArea + kAreaCodeCapacity <= 48);
    static_assert(entry_field::kPost + 8 <= kEntryRecordSize && kPostcodeCapacity == 8);
    image.forEachEntry([&](int32_t, const uint8_t* rec) {
        if (rec[entry_field::kOwner + 3] & 0x80) {  // deleted
            m_codeOf.push_back(kDeleted);
            return;
        }
        uint64_t word;
        std::memcpy(&word, rec + wordAt, 8);
        const unsigned length = std::min<unsigned>(rec[lengthAt], capacity);
        word >>= shift;
        const uint32_t code = add(Key{length == 8 ? word : word & ((uint64_t(1) << (8 * length)) - 1), length});
        m_codeOf.push_back(code);
        ++m_counts[code];
    });
}

int FieldIndex::find(std::string_view text) const
{
    if (text.size() > 8)
        return -1;
    const Key key = keyOf(text);
    const size_t mask = m_slots.size() - 1;
    for (size_t i = slotOf(key);; i = (i + 1) & mask) {
        if (m_slots[i] == 0)
            return -1;
        const Key& k = m_keys[m_slots[i] - 1];
        if (k.bytes == key.bytes && k.length == key.length)
            return int(m_slots[i] - 1);
    }
}

uint32_t FieldIndex::add(const Key& key)
{
    size_t mask = m_slots.size() - 1;
    size_t i = slotOf(key);
    for (; m_slots[i] != 0; i = (i + 1) & mask) {
        const Key& k = m_keys[m_slots[i] - 1];
        if (k.bytes == key.bytes && k.length == key.length)
            return m_slots[i] - 1;
    }
    if (2 * (m_keys.size() + 1) > m_slots.size()) {
        // Half full: twice the slots, every code placed again.
        ++m_bits;
        m_slots.assign(size_t(1) << m_bits, 0);
        mask = m_slots.size() - 1;
        for (uint32_t code = 0; code < m_keys.size(); ++code) {
            size_t k = slotOf(m_keys[code]);
            while (m_slots[k] != 0)
                k = (k + 1) & mask;
            m_slots[k] = code + 1;
        }
        for (i = slotOf(key); m_slots[i] != 0; i = (i + 1) & mask) {
        }
    }
    m_keys.push_back(key);
    m_counts.push_back(0);
    m_slots[i] = uint32_t(m_keys.size());
    return uint32_t(m_keys.size() - 1);
}

std::string_view FieldIndex::text(int code) const
{
    const Key& key = m_keys[size_t(code)];
    return std::string_view(reinterpret_cast<const char*>(&key.bytes), key.length);
}

std::vector<int32_t> FieldIndex::positions(const std::vector<int>& codes) const
{
    if (m_starts.empty()) {
        // Every place by code, each code's places in image order.
        m_starts.assign(m_counts.size() + 1, 0);
        for (size_t c = 0; c < m_counts.size(); ++c)
            m_starts[c + 1] = m_starts[c] + m_counts[c];
        std::vector<uint32_t> next(m_starts.begin(), m_starts.end() - 1);
        m_filed.resize(m_starts.back());
        for (size_t r = 0; r < m_codeOf.size(); ++r)
            if (m_codeOf[r] != kDeleted)
                m_filed[next[m_codeOf[r]]++] = m_first + int32_t(r) * kEntryRecordSize;
    }
    std::vector<int32_t> all;
    for (const int code : codes)
        all.insert(all.end(), m_filed.begin() + m_starts[size_t(code)], m_filed.begin() + m_starts[size_t(code) + 1]);
    if (codes.size() > 1)
        std::sort(all.begin(), all.end());
    return all;
}

int AreaCodeIndex::longestPrefix(std::string_view digits) const
{
    for (size_t n = std::min<size_t>(digits.size(), kAreaCodeCapacity); n > 0; --n)
        if (const int code = m_index.find(digits.substr(0, n)); code >= 0)
            return code;
    return -1;
}

size_t PostcodeIndex::count(const Match& match) const
{
    size_t n = 0;
    for (const int code : match.codes)
        n += m_index.count(code);
    return n;
}

PostcodeIndex::Match PostcodeIndex::find(std::string_view code, size_t minShared) const
{
    Match match;
    if (const int exact = m_index.find(code); exact >= 0) {
        match.codes.push_back(exact);
        match.shared = code.size();
        match.exact = true;
        return match;
    }
    if (m_sorted.empty()) {
        for (size_t c = 0; c < m_index.size(); ++c)
            m_sorted.emplace_back(m_index.text(int(c)), int(c));
        std::sort(m_sorted.begin(), m_sorted.end());
    }
    // The query itself first: "5180" finds every 5180xx.
    for (size_t n = code.size() + 1; n-- > std::max<size_t>(minShared, 1);) {
        const std::string_view prefix = code.substr(0, n);
        auto it = std::lower_bound(m_sorted.begin(), m_sorted.end(), std::pair<std::string_view, int>(prefix, -1));
        for (; it != m_sorted.end() && startsWith(it->first, prefix); ++it)
            match.codes.push_back(it->second);
        if (!match.codes.empty()) {
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
            it = slotOfOwner.emplace(owner, caption == m_captions.end() ? 0 : set.addDirectoryName(caption->second))
                     .first;
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

std::vector<std::string> directoryCompletions(const DirectoryTree& tree, std::string_view prefix)
{
    const size_t slashes = std::min(prefix.find_first_not_of('/'), prefix.size());
    const std::string lead(prefix.substr(0, slashes));
    prefix.remove_prefix(slashes);
    std::vector<std::string> paths;
    std::unordered_map<std::string, int> named;  // own names: how many directories have each
    std::vector<const std::string*> names;       // in tree order
    tree.forEach([&](const DirectoryNode* node, int) {
        if (startsWith(node->caption, prefix) && ++named[node->caption] == 1)
            names.push_back(&node->caption);
        if (std::string path = directoryPath(node); startsWith(path, prefix))
            paths.push_back(std::move(path));
    });
    std::vector<std::string> found;
    std::unordered_set<std::string_view> seen;
    for (const std::string& path : paths)
        if (seen.insert(path).second)
            found.push_back(lead + path);
    for (const std::string* name : names)
        if (named[*name] == 1 && seen.insert(*name).second)
            found.push_back(lead + *name);
    return found;
}

}  // namespace qv::cli
