#include "lookup/Search.h"

#include "lookup/Pinyin.h"
#include "lookup/Readings.h"
#include "store/Database.h"
#include "store/GbkText.h"

#include <QString>

#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
// bytes or more, which cost more than the search itself.
inline bool contains(std::string_view hay, std::string_view needle)
{
    const size_t n = needle.size();
    if (n == 0)
        return true;
    if (n > hay.size())
        return false;
    const char* h = hay.data();
    const size_t last = hay.size() - n;
    const char first = needle[0];
    if (n == 1)
        return std::memchr(h, first, hay.size()) != nullptr;
    const char second = needle[1];
    for (size_t i = 0; i <= last; ++i)
        if (h[i] == first && h[i + 1] == second && (n == 2 || std::memcmp(h + i + 2, needle.data() + 2, n - 2) == 0))
            return true;
    return false;
}

// True when offset `at` of `name` starts a character, reading the name from
// its first byte as the list does: a lead byte with a byte after it makes a
// two-byte character.
inline bool startsCharacter(std::string_view name, size_t at)
{
    size_t i = 0;
    while (i < at)
        i += gbk::charSize(name, i);
    return i == at;
}

// Bits of a record's 48 bytes at which a run of `n` bytes can start inside a
// field of `capacity` bytes at `offset`, for each value of its length byte.
std::array<uint64_t, 256> fieldStarts(int offset, int capacity, size_t n, bool on)
{
    std::array<uint64_t, 256> starts{};
    for (int lengthByte = 0; on && lengthByte < 256; ++lengthByte) {
        const size_t length = size_t(std::min(lengthByte, capacity));
        if (length >= n)
            starts[size_t(lengthByte)] = ((uint64_t(1) << (length - n + 1)) - 1) << offset;
    }
    return starts;
}

// The record test of one search, set up once for the query and options.
class RecordTest {
public:
    RecordTest(std::string_view query, const QueryOptions& options, const std::vector<LearnedInitial>& learned)
        : m_query(query), m_fuzzy(options.fuzzy), m_options(options), m_initials(learned),
          m_pinyin(query, !options.fuzzy, learned), m_simplified(query)
    {
        // Traditional and variant characters of the query read as simplified in the name.
        m_traditional = options.byName && m_simplified.differs();
        m_pinyinOn = options.byInitials && m_pinyin.possible();
        m_upper.assign(query);
        for (char& c : m_upper)
            if (c >= 'a' && c <= 'z')
                c = char(c - 'a' + 'A');
        // Initials hold only the letters the table gives, 'V' and the
        // no-letter mark: a query with any other byte is never found among
        // them, and the initials need not be worked out at all.
        m_initialsPossible = options.byInitials && m_pinyin.needsPlainInitials();
        for (char c : m_upper)
            m_initialsPossible = m_initialsPossible && m_initials.mayProduce(static_cast<uint8_t>(c));
        // Each letter of the query other than V comes from a two-byte
        // character: a name with none of its lead bytes cannot have it among
        // its initials. Letters whose lead bytes form up to four runs are
        // checked this way, sixteen bytes at a time.
        std::string letters;
        for (char c : m_upper)
            if (c != 'V' && letters.find(c) == std::string::npos)
                letters += c;
        for (size_t k = 0; m_initialsPossible && k < letters.size() && m_leadRuns.size() < 8; ++k) {
            const std::array<bool, 256> leads = m_initials.leadsOf(static_cast<uint8_t>(letters[k]));
            std::vector<std::pair<uint8_t, uint8_t>> runs;
            for (int b = 0; b < 256; ++b)
                if (leads[size_t(b)]) {
                    if (!runs.empty() && runs.back().second == b - 1)
                        runs.back().second = uint8_t(b);
                    else
                        runs.emplace_back(uint8_t(b), uint8_t(b));
                }
            if (runs.size() <= 4)
                m_leadRuns.push_back(runs);
        }
        const size_t n = query.size();
        m_nameStarts = fieldStarts(entry_field::kName, kNameCapacity, n, options.byName);
        m_postStarts = fieldStarts(entry_field::kPost, kPostcodeCapacity, n, options.byPostcode);
        m_areaStarts = fieldStarts(entry_field::kArea, kAreaCodeCapacity, n, options.byAreaCode);
        // No field holds more than 25 bytes, and initials are never longer
        // than their name; full pinyin may be longer.
        m_hopeless = n > size_t(kNameCapacity) && !m_pinyin.spelling();
#if defined(__SSE2__)
        m_first = _mm_set1_epi8(n > 0 ? query[0] : 0);
        m_second = _mm_set1_epi8(n > 1 ? query[1] : 0);
#endif
    }

    // Inlined into the search's pass: a call per record costs as much as
    // the test of most records.
    [[gnu::always_inline]] bool matches(const uint8_t* rec) const
    {
        if (m_hopeless)
            return false;
        if (m_fuzzy ? fuzzyFields(rec) : exactFields(rec))
            return true;
        if (!m_initialsPossible && !m_pinyinOn && !m_traditional)
            return false;
        const std::string_view name = readField(rec + entry_field::kNameLen, kNameCapacity);
        if (m_traditional && m_simplified.recordMatches(rec, !m_fuzzy))
            return true;
        if (m_pinyinOn && (m_pinyin.recordMatchesInitials(rec) || m_pinyin.recordMatchesSpelling(rec)))
            return true;
        if (!m_initialsPossible)
            return false;
        // Initials are never longer than their name.
        if (name.size() < m_query.size())
            return false;
        if (!m_leadRuns.empty() && !hasLeadsOfEveryLetter(rec, name.size()))
            return false;
        char buffer[kNameCapacity];
        const std::string_view ini(buffer, size_t(m_initials.append(name, buffer) - buffer));
        return m_fuzzy ? contains(ini, m_upper) : ini == m_upper;
    }

    // The same as matches for the usual letters query (fuzzy, by the
    // pinyin, nothing read as traditional, no plain initials), with the
    // first look at the initials kept apart, so that the pass keeps it in
    // registers and tests none of the other cases per record. `scan.pairs`
    // is null when the query is not of that kind.
    PinyinQuery::PairScan pinyinScan() const
    {
        if (!m_fuzzy || m_hopeless || m_traditional || m_initialsPossible || !m_pinyinOn)
            return {};
        return m_pinyin.pairScan();
    }
    [[gnu::always_inline]] bool matchesPinyin(const uint8_t* rec, const PinyinQuery::PairScan& scan) const
    {
        return fuzzyFields(rec) ||
               (scan.mayMatch(rec) && m_pinyin.matchesInitials(readField(rec + entry_field::kNameLen, kNameCapacity))) ||
               m_pinyin.recordMatchesSpelling(rec);
    }

private:
    // Name, postcode and area code: whether the query passes in any of them
    // (the initials aside).
    bool exactFields(const uint8_t* rec) const
    {
        auto equals = [&](int lengthAt, int capacity) { return readField(rec + lengthAt, capacity) == m_query; };
        return (m_options.byName && equals(entry_field::kNameLen, kNameCapacity)) ||
               (m_options.byPostcode && equals(entry_field::kPostLen, kPostcodeCapacity)) ||
               (m_options.byAreaCode && equals(entry_field::kAreaLen, kAreaCodeCapacity));
    }

    bool fuzzyFields(const uint8_t* rec) const
    {
        uint64_t candidates = m_nameStarts[rec[entry_field::kNameLen]] | m_postStarts[rec[entry_field::kPostLen]] |
                              m_areaStarts[rec[entry_field::kAreaLen]];
        const size_t n = m_query.size();
        if (candidates == 0)
            return false;
        if (n == 0)
            return true;
        candidates &= firstBytesAt(rec);
        while (candidates) {
            const int at = __builtin_ctzll(candidates);
            candidates &= candidates - 1;
            if (std::memcmp(rec + at, m_query.data(), n) != 0)
                continue;
            if (at >= entry_field::kNameLen + 1 && at <= kNameCapacity) {
                // In the name a run must start on a character.
                const std::string_view name = readField(rec + entry_field::kNameLen, kNameCapacity);
                if (!startsCharacter(name, size_t(at - entry_field::kName)))
                    continue;
            }
            return true;
        }
        return false;
    }

    // True when the name (the record's bytes 1 to `length`) holds, for each
    // letter checked, a lead byte of a character with that initial.
    bool hasLeadsOfEveryLetter(const uint8_t* rec, size_t length) const
    {
        const uint32_t inName = uint32_t(((uint64_t(1) << length) - 1) << 1);
#if defined(__SSE2__)
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rec));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rec + 16));
        for (const auto& runs : m_leadRuns) {
            uint32_t found = 0;
            for (const auto& [first, last] : runs) {
                const __m128i from = _mm_set1_epi8(char(first)), width = _mm_set1_epi8(char(last - first));
                // x - first, unsigned, is at most last - first.
                auto in = [&](__m128i x) {
                    const __m128i d = _mm_sub_epi8(x, from);
                    return uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(d, width), width)));
                };
                found |= in(a) | in(b) << 16;
            }
            if (!(found & inName))
                return false;
        }
        return true;
#else
        for (const auto& runs : m_leadRuns) {
            bool found = false;
            for (size_t i = 1; i <= length && !found; ++i)
                for (const auto& [first, last] : runs)
                    found = found || (rec[i] >= first && rec[i] <= last);
            if (!found)
                return false;
        }
        (void)inName;
        return true;
#endif
    }

    // Bit i set where byte i of the record is the query's first byte and
    // byte i + 1 its second (for a one-byte query, its only byte).
    uint64_t firstBytesAt(const uint8_t* rec) const
    {
#if defined(__SSE2__)
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rec));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rec + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rec + 32));
        auto mask = [&](const __m128i& v) {
            return uint64_t(uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(a, v)))) |
                   uint64_t(uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(b, v)))) << 16 |
                   uint64_t(uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(c, v)))) << 32;
        };
        uint64_t m = mask(m_first);
        if (m_query.size() >= 2)
            m &= mask(m_second) >> 1;
        return m;
#else
        auto mask = [&](char byte) {
            uint64_t m = 0;
            for (int i = 0; i < kEntryRecordSize; ++i)
                m |= uint64_t(rec[i] == static_cast<uint8_t>(byte)) << i;
            return m;
        };
        uint64_t m = mask(m_query[0]);
        if (m_query.size() >= 2)
            m &= mask(m_query[1]) >> 1;
        return m;
#endif
    }

    std::string_view m_query;
#if defined(__SSE2__)
    __m128i m_first, m_second;  // the query's first two bytes in every lane
#endif
    std::string m_upper;
    bool m_fuzzy;
    QueryOptions m_options;
    InitialsTable m_initials;
    PinyinQuery m_pinyin;
    bool m_pinyinOn = false;
    TraditionalQuery m_simplified;
    bool m_traditional = false;
    bool m_initialsPossible = false;
    // Per letter of the query, the runs [first, last] of lead bytes of the characters with that initial.
    std::vector<std::vector<std::pair<uint8_t, uint8_t>>> m_leadRuns;
    bool m_hopeless = false;
    std::array<uint64_t, 256> m_nameStarts{}, m_postStarts{}, m_areaStarts{};
};

// Directory names by id: a node's text goes into its id's slot in tree order.
// An array when the ids are few enough for one, otherwise a map: ids come
// from the file and may be anything positive.
class DirectorySlots {
public:
    DirectorySlots(const DirectoryTree& tree, EntryRowSet& set)
    {
        set.addDirectoryName(std::string());  // slot 0: no directory with that id
        int32_t maxId = 0;
        size_t count = 0;
        tree.forEach([&](const DirectoryNode* node, int) {
            maxId = std::max(maxId, node->id);
            ++count;
        });
        m_flat = maxId >= 0 && uint64_t(maxId) <= 64 * uint64_t(count) + 65536;
        if (m_flat)
            m_byId.assign(size_t(maxId) + 1, 0);
        tree.forEach([&](const DirectoryNode* node, int) {
            const uint32_t slot = set.addDirectoryName(node->caption, node->id);
            if (m_flat && node->id >= 0)
                m_byId[size_t(node->id)] = slot;
            else
                m_map[node->id] = slot;
        });
    }
    uint32_t operator()(int32_t owner) const
    {
        if (m_flat && owner >= 0)
            return size_t(owner) < m_byId.size() ? m_byId[size_t(owner)] : 0;
        auto it = m_map.find(owner);
        return it == m_map.end() ? 0 : it->second;
    }

private:
    bool m_flat = false;
    std::vector<uint32_t> m_byId;
    std::unordered_map<int32_t, uint32_t> m_map;
};

// The pass of a search: every live record `accepts` becomes a row, in image
// order. Not inlined, so that each case of the test is compiled on its own:
// one pass's code does not crowd another's registers.
template <class Accepts>
[[gnu::noinline]] void collectRows(const Database& db, const DirectorySlots& slotOf, EntryRowSet& set, Accepts accepts)
{
    int32_t lastOwner = 0;
    uint32_t lastSlot = slotOf(0);
    db.image.forEachEntry([&](int32_t pos, const uint8_t* rec) {
        if (rec[entry_field::kOwner + 3] & 0x80)  // a negative owner: deleted
            return;
        if (!accepts(rec))
            return;
        const int32_t owner = entryOwner(rec);
        if (owner != lastOwner) {
            lastOwner = owner;
            lastSlot = slotOf(owner);
        }
        set.rows.push(pos, lastSlot);
    });
}

}  // namespace

bool nameContainsAtBoundary(std::string_view name, std::string_view query)
{
    if (query.empty())
        return true;
    // A run that starts on the second byte of a two-byte character does not count.
    for (size_t at = name.find(query); at != std::string_view::npos; at = name.find(query, at + 1))
        if (startsCharacter(name, at))
            return true;
    return false;
}

EntryRowSet searchEntries(const Database& db, std::string_view query, const QueryOptions& options)
{
    EntryRowSet set;
    set.rows.bind(db.image.ref());
    const bool anyField = options.byName || options.byInitials || options.byPostcode || options.byAreaCode;
    if ((!options.exact && !options.fuzzy) || !anyField)
        return set;
    const DirectorySlots slotOf(db.tree, set);
    // With both modes set (impossible in the bar), fuzzy wins. The query is
    // tried as typed and, when it reads differently, in its typed form.
    const RecordTest test(query, options, db.learned);
    const std::string typed = typedQueryForm(query);
    std::optional<RecordTest> typedTest;
    if (typed != query && !isBlankQuery(typed))
        typedTest.emplace(typed, options, db.learned);

    // Room for every record costs address space only until rows are written.
    set.rows.reserve(size_t(std::max<int64_t>(db.image.entryCount(), 0)));
    // One pass for each case, so that the common one (the query reads as
    // typed) tests each record with no check for a second form.
    const PinyinQuery::PairScan scan = test.pinyinScan();
    if (typedTest)
        collectRows(db, slotOf, set, [&](const uint8_t* rec) { return test.matches(rec) || typedTest->matches(rec); });
    else if (scan.pairs)
        collectRows(db, slotOf, set, [&test, scan](const uint8_t* rec) { return test.matchesPinyin(rec, scan); });
    else
        collectRows(db, slotOf, set, [&](const uint8_t* rec) { return test.matches(rec); });
    set.rows.shrinkIfSparse();
    return set;
}

std::string typedQueryForm(std::string_view query)
{
    const QString given = gbk::toQString(query);
    // Decomposed, a tone mark is a combining character of its own.
    const QString split = given.normalized(QString::NormalizationForm_KC).normalized(QString::NormalizationForm_D);
    QString out;
    out.reserve(split.size());
    for (const QChar c : split) {
        const char16_t u = c.unicode();
        if (u >= 0x300 && u <= 0x36F) {
            // A diaeresis makes ü of u, which pinyin keeps as v; tone marks go.
            if (u == 0x308 && !out.isEmpty() && (out.back() == u'u' || out.back() == u'U'))
                out.back() = out.back() == u'u' ? u'v' : u'V';
            continue;
        }
        if (u == 0x2018 || u == 0x2019 || u == 0x2032 || u == 0x02BC)
            out += u'\'';  // ’ ‘ ′ ʼ; the full-width ＇ is ' already
        else if (u == u'-' || (u >= 0x2010 && u <= 0x2015) || u == 0x2212 || u == 0x00B7 || u == 0x30FB)
            out += u' ';  // hyphens, dashes and middle dots part syllables
        else
            out += c;
    }
    // Tone numbers: one digit 0 to 5 right after a syllable of two letters
    // or more that ends as syllables do (xia4men2); p1 or a12 stay.
    const auto isLatin = [](QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); };
    QString toneless;
    for (qsizetype i = 0; i < out.size(); ++i) {
        const QChar c = out[i];
        qsizetype run = 0;
        while (run < i && isLatin(out[i - 1 - run]))
            ++run;
        const bool tone = c >= u'0' && c <= u'5' && run >= 2 &&
                          QStringLiteral("aeiouvnrgAEIOUVNRG").contains(out[i - 1]) &&
                          (i + 1 == out.size() || !out[i + 1].isDigit());
        if (!tone)
            toneless += c;
    }
    if (toneless == given)
        return std::string(query);
    std::optional<std::string> gbkForm = gbk::fromQString(toneless);
    return gbkForm ? *gbkForm : std::string(query);
}

namespace {

// GBK codes of the endings people leave off a name (厦门 for 厦门市).
constexpr uint32_t kCity = 0xCAD0, kCounty = 0xCFD8, kDistrict = 0xC7F8, kProvince = 0xCAA1;  // 市 县 区 省
// The code of the name's last two bytes (0 for a shorter name).
inline uint32_t lastPair(std::string_view name)
{
    const size_t n = name.size();
    return n >= 2 ? uint32_t(uint8_t(name[n - 2]) << 8 | uint8_t(name[n - 1])) : 0;
}
inline std::string_view withoutEnding(std::string_view name)
{
    if (name.size() > 2 && (name.size() % 2) == 0) {
        const uint32_t end = lastPair(name);
        if (end == kCity || end == kCounty || end == kDistrict || end == kProvince)
            return name.substr(0, name.size() - 2);
    }
    return name;
}

// The query's forms a name is compared with: as typed, in its typed form,
// and both with traditional characters read as simplified.
std::vector<std::string> queryForms(std::string_view query)
{
    std::vector<std::string> forms{std::string(query)};
    const std::string typed = typedQueryForm(query);
    for (const std::string& f : {simplifiedText(query), typed, simplifiedText(typed)})
        if (!isBlankQuery(f) && std::find(forms.begin(), forms.end(), f) == forms.end())
            forms.push_back(f);
    return forms;
}

// A name's bytes as four words, zero past its end, and their hash, read
// eight bytes at a time: `p` must have 32 readable bytes (a record's name
// field and what follows it), of which the first `length` count.
struct NameKey {
    uint64_t words[4] = {};
    uint64_t hash = 0;
};
inline NameKey nameKey(const uint8_t* p, size_t length)
{
    NameKey key;
    uint64_t h = uint64_t(length) * 0x9E3779B97F4A7C15ull;
    const auto mix = [&](size_t k) {
        uint64_t w;
        std::memcpy(&w, p + 8 * k, 8);
        const size_t left = length > 8 * k ? length - 8 * k : 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
        const uint64_t mask = left >= 8 ? ~uint64_t(0) : ~(~uint64_t(0) >> (8 * left));
#else
        const uint64_t mask = left >= 8 ? ~uint64_t(0) : (uint64_t(1) << (8 * left)) - 1;
#endif
        key.words[k] = w & mask;
        h = (h ^ key.words[k]) * 0xFF51AFD7ED558CCDull;
    };
    // Most names fit in the first sixteen bytes.
    mix(0);
    mix(1);
    if (length > 16) {
        mix(2);
        mix(3);
    }
    key.hash = h ^ (h >> 31);
    return key;
}
inline uint64_t nameHash(const uint8_t* p, size_t length) { return nameKey(p, length).hash; }
inline uint64_t nameHash(std::string_view text)
{
    uint8_t buffer[32] = {};
    std::memcpy(buffer, text.data(), std::min<size_t>(text.size(), sizeof buffer));
    return nameHash(buffer, text.size());
}

// How likely a person means a place, 0 most: the capital of a province or a
// municipality; a city with districts of its own (a directory of its name)
// or a city right under a province; a county-level city; the rest. Read off
// the tree: a province's first sub-directory is its capital, as the national
// code list puts capitals first. What a directory slot tells is worked out
// once per slot, and a name is looked up among the captions by a hash of its
// bytes read eight at a time: this runs for every row of a result.
class Prominence {
public:
    explicit Prominence(const Database& db, const EntryRowSet& set) : m_names(set.directoryNames)
    {
        size_t nodes = 0;
        db.tree.forEach([&](const DirectoryNode*, int) { ++nodes; });
        size_t size = 16;
        while (size < 2 * nodes)
            size *= 2;
        m_mask = size - 1;
        m_table.assign(size, Place{});
        m_filter.assign(kFilterBits / 64, 0);
        m_captions.reserve(nodes);
        m_text.reserve(nodes * 12);
        db.tree.forEach([&](const DirectoryNode* node, int depth) {
            const std::string_view text = node->caption;
            const uint64_t h = nameHash(text);
            Caption* c = find(text, h);
            if (!c) {
                size_t at = size_t(h) & m_mask;
                while (m_table[at].caption)
                    at = (at + 1) & m_mask;
                m_captions.push_back({uint32_t(m_text.size()), uint32_t(text.size())});
                m_text += text;
                m_table[at] = {uint32_t(h >> 32), uint32_t(m_captions.size())};
                c = &m_captions.back();
                m_filter[filterBit(h) / 64] |= uint64_t(1) << (filterBit(h) % 64);
            }
            c->top = c->top || depth == 0;
            c->city = c->city || depth > 0;
            // The first child (row() would walk the siblings).
            c->capital = c->capital || (depth == 1 && (!node->parent || node->parent->children.front().get() == node));
        });
        // In one pass: the names lie one after another.
        m_slotHash.reserve(m_names.size());
        m_slotTop.reserve(m_names.size());
        for (const std::string& name : m_names) {
            m_slotHash.push_back(nameHash(name));
            const Caption* c = find(name, m_slotHash.back());
            m_slotTop.push_back(c && c->top);
        }
    }

    // What the name alone tells: 0 the caption of a capital, 1 of another
    // city, -1 neither. `h` is its nameHash.
    int cityTier(std::string_view name, uint64_t h) const
    {
        if (m_filter[filterBit(h) / 64] >> (filterBit(h) % 64) & 1)
            if (const Caption* c = find(name, h); c && c->city)
                return c->capital ? 0 : 1;
        return -1;
    }
    // `h` is the name's nameHash.
    int operator()(std::string_view name, uint64_t h, uint32_t slot, int cityTier) const
    {
        const bool inSlot = slot < m_names.size();
        if (inSlot && h == m_slotHash[slot] && !name.empty() && name == m_names[slot])
            return 0;  // 北京市 in 北京市
        // A city's caption, else by its ending.
        const int top = inSlot ? m_slotTop[slot] : 0;
        const int byEnding = lastPair(name) == kCity ? 2 - top : 3;
        return cityTier >= 0 ? cityTier : byEnding;
    }

private:
    // A caption of the tree and what its directories are.
    struct Caption {
        uint32_t at = 0, length = 0;  // its text in m_text
        bool top = false, city = false, capital = false;
    };
    // A place of the table: the top half of a caption's hash, and which it is.
    struct Place {
        uint32_t tag = 0;
        uint32_t caption = 0;  // 1 + its index in m_captions; 0 for none
    };
    const Caption* find(std::string_view text, uint64_t h) const
    {
        for (size_t at = size_t(h) & m_mask; m_table[at].caption; at = (at + 1) & m_mask)
            if (m_table[at].tag == uint32_t(h >> 32)) {
                const Caption& c = m_captions[m_table[at].caption - 1];
                if (c.length == text.size() && std::memcmp(m_text.data() + c.at, text.data(), text.size()) == 0)
                    return &c;
            }
        return nullptr;
    }
    Caption* find(std::string_view text, uint64_t h)
    {
        return const_cast<Caption*>(static_cast<const Prominence*>(this)->find(text, h));
    }
    // One bit per caption, from bits of its hash that do not pick its place
    // in the table: most names need no look-up there.
    static constexpr size_t kFilterBits = size_t(1) << 17;
    static size_t filterBit(uint64_t h) { return size_t(h >> (64 - 17)); }
    std::vector<uint64_t> m_filter;
    std::vector<Place> m_table;  // open addressing
    size_t m_mask = 0;
    std::vector<Caption> m_captions;
    std::string m_text;  // the captions one after another: the tree's lie all over memory
    const std::vector<std::string>& m_names;  // the set's directory names, by slot
    // Per slot, its name's hash, and whether its name is a top-level
    // directory's caption.
    std::vector<uint64_t> m_slotHash;
    std::vector<uint8_t> m_slotTop;
};

// The distinct area codes of a result (48-bit keys), and the place of each
// among them in ascending order. Open addressing: a look-up is a multiply.
// For results whose codes have too many different bytes to number them as
// rankEntryRows does.
constexpr uint64_t kAreaBits = (uint64_t(1) << 48) - 1;
class AreaCodes {
public:
    void add(uint64_t code)
    {
        if (m_values.size() * 2 >= m_slots.size())
            grow();
        size_t at = slotOf(code);
        while (m_slots[at] != kEmpty && m_slots[at] != code)
            at = (at + 1) & (m_slots.size() - 1);
        if (m_slots[at] == kEmpty) {
            m_slots[at] = code;
            m_values.push_back(code);
        }
    }
    // Sorts the codes; false when there are too many for 24 bits.
    bool number()
    {
        if (m_values.size() >= (size_t(1) << 24))
            return false;
        std::sort(m_values.begin(), m_values.end());
        m_place.assign(m_slots.size(), 0);
        for (size_t i = 0; i < m_values.size(); ++i)
            m_place[find(m_values[i])] = uint32_t(i);
        return true;
    }
    uint64_t placeOf(uint64_t code) const { return m_place[find(code)]; }

private:
    static constexpr uint64_t kEmpty = ~uint64_t(0);
    size_t slotOf(uint64_t code) const { return size_t((code * 0x9E3779B97F4A7C15ull) >> m_shift); }
    size_t find(uint64_t code) const
    {
        size_t at = slotOf(code);
        while (m_slots[at] != code)
            at = (at + 1) & (m_slots.size() - 1);
        return at;
    }
    void grow()
    {
        const size_t size = m_slots.empty() ? 1024 : m_slots.size() * 2;
        m_shift = 64 - __builtin_ctzll(size);
        m_slots.assign(size, kEmpty);
        for (uint64_t v : m_values) {
            size_t at = slotOf(v);
            while (m_slots[at] != kEmpty)
                at = (at + 1) & (size - 1);
            m_slots[at] = v;
        }
    }
    std::vector<uint64_t> m_slots, m_values;
    std::vector<uint32_t> m_place;
    int m_shift = 0;
};

constexpr int kAreaKeyBytes = 6;  // five bytes of code, then its length

// Numbers the area keys of a result by the values each of their bytes takes
// (`seen`: a bit per value of each byte), in mixed radix as the area-code
// sort does: no hashing, and the numbers keep the keys' order. Returns the
// count of numbers, or 0 when there would be more than 65,536.
uint32_t areaRadix(const uint64_t (&seen)[kAreaKeyBytes][4], uint32_t (&weight)[kAreaKeyBytes][256])
{
    uint64_t product = 1;
    for (int b = 0; b < kAreaKeyBytes; ++b) {
        uint32_t r = 0;
        for (unsigned v = 0; v < 256; ++v)
            if (seen[b][v >> 6] >> (v & 63) & 1)
                weight[b][v] = uint32_t(r++ * product);
        product *= std::max<uint32_t>(r, 1);
        if (product > 65536)
            return 0;
    }
    return uint32_t(product);
}
inline uint32_t areaNumber(uint64_t key, const uint32_t (&weight)[kAreaKeyBytes][256])
{
    uint32_t number = 0;
    for (int b = 0; b < kAreaKeyBytes; ++b)
        number += weight[b][(key >> (8 * b)) & 0xFF];
    return number;
}

}  // namespace

void rankEntryRows(const Database& db, EntryRowSet& set, std::string_view query, const QueryOptions& options)
{
    const size_t n = set.rows.size();
    if (n < 2) {
        sortEntryRows(set, kColumnAreaCode, +1, nullptr);
        return;
    }
    const std::vector<std::string> formTexts = queryForms(query);
    std::vector<std::string_view> forms;
    for (const std::string& f : formTexts)
        if (!f.empty())
            forms.push_back(f);
    const std::string typed = typedQueryForm(query);
    // One query set up serves both modes: the whole name in complete
    // syllables, and from its start.
    std::optional<PinyinQuery> pinyin;
    if (options.byInitials)
        pinyin.emplace(typed, PinyinMatch::WholeSyllables, db.learned);
    const bool pinyinOn = pinyin && pinyin->possible();
    const Prominence prominence(db, set);
    constexpr int kLengths = 32, kTiers = 4, kRanks = 3 * kTiers * kLengths;
    // Each row's key, worked out in the order the rows come (a search gives
    // them in image order, so the records are read one after another): the
    // rank in the top bytes, then the area code (five bytes, compared as the
    // list compares texts), then its length.
    LargeVector<uint64_t> keys(n);
    // Which values each byte of the area keys takes, and which ranks occur.
    uint64_t seen[kAreaKeyBytes][4] = {};
    std::array<bool, kRanks> rankSeen{};
    static const uint8_t kNoRecord[kEntryRecordSize] = {};
    // The class the pinyin gives a name: 0 spelled whole (or without its
    // ending), 1 spelled or its initials from its start, 2 neither. A name
    // whose first character cannot begin the query's pinyin is neither
    // spelled whole nor from its start (most rows of a search that found
    // them by a later syllable); initials from the start stop at the first
    // character that does not fit.
    const auto pinyinClass = [&](std::string_view name, std::string_view bare) {
        const bool twoByteFirst = name.size() >= 2 && gbk::isLeadByte(uint8_t(name[0]));
        // One walk tells whether the name is spelled from its start and
        // whole; one spelled whole without its ending is spelled from its
        // start too, so only those need a second walk.
        const int fit = !twoByteFirst || pinyin->mayBeginWith(uint8_t(name[0]), uint8_t(name[1]))
                            ? pinyin->spellingFromStart(name)
                            : 0;
        if (fit > 0)
            return fit == 2 || (bare.size() != name.size() && pinyin->matchesSpelling(bare)) ? 0 : 1;
        return pinyin->matchesInitials(name, PinyinMatch::Start) ? 1 : 2;
    };
    // What the name alone decides, kept for the names met last by their
    // hash when the pinyin is tried: names repeat (城关镇 in hundreds of
    // counties), and walking their readings costs more than the look-up.
    struct NameFacts {
        uint64_t words[4];
        uint8_t length = 0xFF;  // none yet
        int8_t city = -1;       // Prominence::cityTier
        int8_t pinyin = -1;     // pinyinClass, -1 not yet worked out
    };
    size_t memoSize = 64;
    while (pinyinOn && memoSize < 1024 && memoSize * 8 < n)
        memoSize *= 2;
    std::vector<NameFacts> memo(pinyinOn ? memoSize : 0);
    const size_t memoMask = memoSize - 1;
    constexpr size_t kAhead = 16;
    static_assert(entry_field::kAreaLen + kAreaCodeCapacity + 1 < kEntryRecordSize, "area code read as a word");
    uint64_t lastStored = ~uint64_t(0), areaKey = 0;
    for (size_t i = 0; i < n; ++i) {
        if (i + kAhead < n)
            set.rows.prefetch(i + kAhead);
        const uint8_t* rec = set.rows.record(i);
        if (!rec)
            rec = kNoRecord;
        const std::string_view name = readField(rec + entry_field::kNameLen, kNameCapacity);
        const std::string_view area = readField(rec + entry_field::kAreaLen, kAreaCodeCapacity);
        int cls = 2;
        for (std::string_view f : forms) {
            const auto equalOrStart = [&](bool on, std::string_view field) {
                // The first byte first: most fields differ there.
                if (!on || field.size() < f.size() || field[0] != f[0] ||
                    (f.size() > 1 && std::memcmp(field.data() + 1, f.data() + 1, f.size() - 1) != 0))
                    return;
                cls = std::min(cls, field.size() == f.size() ? 0 : 1);
            };
            equalOrStart(options.byName, name);
            // Without its ending (厦门 for 厦门市) the name is two bytes shorter.
            if (options.byName && name.size() == f.size() + 2 && name[0] == f[0] && withoutEnding(name) == f)
                cls = 0;
            equalOrStart(options.byAreaCode, area);
            equalOrStart(options.byPostcode, readField(rec + entry_field::kPostLen, kPostcodeCapacity));
        }
        const NameKey key = nameKey(rec + entry_field::kName, name.size());
        int city;
        if (pinyinOn) {
            NameFacts& facts = memo[key.hash & memoMask];
            if (facts.length != name.size() || facts.words[0] != key.words[0] || facts.words[1] != key.words[1] ||
                facts.words[2] != key.words[2] || facts.words[3] != key.words[3]) {
                std::memcpy(facts.words, key.words, sizeof key.words);
                facts.length = uint8_t(name.size());
                facts.city = int8_t(prominence.cityTier(name, key.hash));
                facts.pinyin = -1;
            }
            if (cls > 0) {
                if (facts.pinyin < 0)
                    facts.pinyin = int8_t(pinyinClass(name, withoutEnding(name)));
                cls = std::min(cls, int(facts.pinyin));
            }
            city = facts.city;
        } else {
            city = prominence.cityTier(name, key.hash);
        }
        const int tier = prominence(name, key.hash, set.rows.directory(i), city);
        const int rank = (cls * kTiers + tier) * kLengths + int(std::min<size_t>(name.size(), kLengths - 1));
        rankSeen[size_t(rank)] = true;
        // Rows of one directory come together and share their area code:
        // its length byte and bytes as stored tell when it is the last row's.
        uint64_t stored;
        std::memcpy(&stored, rec + entry_field::kAreaLen - 1, 8);
        stored &= uint64_t(0x00FFFFFFFFFFFF00);
        if (stored != lastStored) {
            lastStored = stored;
            areaKey = 0;
            for (size_t k = 0; k < size_t(kAreaCodeCapacity); ++k) {
                const auto c = k < area.size() ? uint8_t(area[k]) : uint8_t(0);
                areaKey = areaKey << 8 | (c >= 'a' && c <= 'z' ? uint8_t(c - 'a' + 'A') : c);
            }
            // The area code as the list compares texts: its bytes, then its length.
            areaKey = areaKey << 8 | area.size();
            for (int b = 0; b < kAreaKeyBytes; ++b) {
                const unsigned v = unsigned(areaKey >> (8 * b)) & 0xFF;
                seen[b][v >> 6] |= uint64_t(1) << (v & 63);
            }
        }
        keys[i] = uint64_t(rank) << 48 | areaKey;
    }
    // The ranks that occur, and the area codes, each become its place among
    // those of the result, so that the keys take few values: a counting pass
    // sorts them when there are at most 65,536, a radix sort of few bytes
    // otherwise.
    std::array<uint32_t, kRanks> rankPlace{};
    uint32_t ranks = 0;
    for (int r = 0; r < kRanks; ++r)
        if (rankSeen[size_t(r)])
            rankPlace[size_t(r)] = ranks++;
    // Rows by bucket number in one counting pass, as the area-code sort
    // moves them: each row's number worked out as it is counted.
    const auto countingSort = [&](uint32_t buckets, auto bucketOf) {
        LargeVector<uint16_t> bucket(n);
        std::vector<size_t> start(size_t(buckets) + 1, 0);
        for (size_t i = 0; i < n; ++i) {
            const uint32_t b = bucketOf(keys[i]);
            bucket[i] = uint16_t(b);
            ++start[b + 1];
        }
        LargeVector<uint64_t>().swap(keys);
        for (size_t k = 1; k < start.size(); ++k)
            start[k] += start[k - 1];
        set.rows.distribute(bucket, start, nullptr);
    };
    uint32_t weight[kAreaKeyBytes][256] = {};
    const uint32_t numbers = areaRadix(seen, weight);
    if (numbers != 0 && uint64_t(ranks) * numbers <= 65536) {
        countingSort(ranks * numbers, [&](uint64_t k) {
            return rankPlace[k >> 48] * numbers + areaNumber(k & kAreaBits, weight);
        });
        return;
    }
    if (numbers != 0) {
        // Many numbers, few of them used: those used, counted again.
        std::vector<uint32_t> place(numbers, 0);
        for (uint64_t& k : keys) {
            const uint32_t a = areaNumber(k & kAreaBits, weight);
            place[a] = 1;
            k = uint64_t(rankPlace[k >> 48]) << 32 | a;
        }
        uint32_t used = 0;
        for (uint32_t& p : place)
            p = p ? used++ : 0;
        if (uint64_t(ranks) * used <= 65536) {
            countingSort(ranks * used, [&](uint64_t k) { return uint32_t(k >> 32) * used + place[uint32_t(k)]; });
            return;
        }
        for (uint64_t& k : keys)
            k = (k >> 32) << 16 | place[uint32_t(k)];
    } else {
        AreaCodes codes;
        for (uint64_t k : keys)
            codes.add(k & kAreaBits);
        if (codes.number())
            for (uint64_t& k : keys)
                k = (k >> 48) << 24 | codes.placeOf(k & kAreaBits);
    }
    sortEntryRowsByKey(set, keys);
}

std::vector<const DirectoryNode*> searchDirectories(const Database& db, std::string_view query,
                                                   const QueryOptions& options)
{
    std::vector<const DirectoryNode*> found;
    if ((!options.exact && !options.fuzzy) || !(options.byName || options.byInitials) || isBlankQuery(query))
        return found;
    const std::vector<std::string> forms = queryForms(query);
    std::optional<PinyinQuery> pinyin;
    if (options.byInitials)
        pinyin.emplace(typedQueryForm(query), options.fuzzy ? PinyinMatch::Start : PinyinMatch::Whole,
                       db.learned);
    std::optional<PinyinQuery> whole;
    if (options.byInitials)
        whole.emplace(typedQueryForm(query), PinyinMatch::WholeSyllables, db.learned);
    // Those the query names whole (广东 for 广东省) first, each part in tree order.
    std::vector<const DirectoryNode*> later;
    db.tree.forEach([&](const DirectoryNode* node, int) {
        const std::string& caption = node->caption;
        const std::string_view bare = withoutEnding(caption);
        bool hit = false, named = false;
        for (const std::string& f : forms) {
            hit = hit || (options.byName && (options.fuzzy ? nameContainsAtBoundary(caption, f) : caption == f));
            named = named || (options.byName && (caption == f || bare == f));
        }
        hit = hit || (pinyin && pinyin->matches(caption));
        named = named || (whole && (whole->matchesSpelling(caption) || whole->matchesSpelling(bare)));
        if (hit)
            (named ? found : later).push_back(node);
    });
    found.insert(found.end(), later.begin(), later.end());
    return found;
}

}  // namespace qv
