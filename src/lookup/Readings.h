#pragma once
// Every Mandarin reading of a character, for the search by pinyin: initials
// that may come from any reading (重庆 is CQ as well as ZQ), full pinyin
// (xiamen, bei jing, xi'an) and traditional characters read as simplified.
#include "store/GbkText.h"
#include "store/Records.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qv {

// The syllables of a two-byte character (no tones, ü as v); empty for a
// code with no known reading.
std::vector<std::string_view> charReadings(uint8_t lead, uint8_t trail);
// The same readings as people write them, in UTF-8: with their tone marks
// where the sources give the tone, ü as ü (圳 zhèn, 吕 lǚ).
std::vector<std::string> charReadingsShown(uint8_t lead, uint8_t trail);

// A place-name word with an official reading of its own (厦门 xià mén,
// 乐亭 lào tíng): full pinyin takes it only inside the word.
struct PlaceWord {
    std::string_view text;                    // GBK
    std::vector<std::string_view> syllables;  // one per character
};
const std::vector<PlaceWord>& placeWords();

// The initials letters ('a' to 'z') that place-name words give a two-byte
// character beyond its own readings (番 p): they count everywhere.
std::string_view wordLetters(uint8_t lead, uint8_t trail);

// The simplified codes a traditional or variant character stands for, the
// preferred first (乾: 干, then 乾 itself); empty for a character with none.
std::vector<uint16_t> simplifiedForms(uint8_t lead, uint8_t trail);

// Bytes of the reading tables built into the program, with the initials
// sets worked out from them once per process.
size_t readingTableBytes();

// `text` with each traditional or variant character that has a simplified
// form in GBK replaced by its preferred one; other bytes stay as they are.
std::string simplifiedText(std::string_view text);

// A query of the 地区名称 option with its traditional and variant characters
// read as simplified: a name matches when it holds the query with each such
// character replaced by one of its forms (乾 is 干 or 乾, 鉅 巨 or 钜).
class TraditionalQuery {
public:
    explicit TraditionalQuery(std::string_view query);
    // Whether some character of the query has another form.
    bool differs() const { return m_differs; }
    // Fuzzy: the query occurs in the name from a character boundary on;
    // exact: it is the whole name.
    bool matches(std::string_view name, bool exact) const;
    // The same for the name of a 48-byte entry record (its length byte at
    // rec[0]), which may read the whole name field at once.
    bool recordMatches(const uint8_t* rec, bool exact) const;

private:
    bool matchesAt(const uint8_t* s, const uint8_t* end, const uint8_t** after) const;
    // Per character of the query, the codes it may stand for (a one-byte
    // character: its byte); no character has more than three simplified
    // forms, and the slots left over repeat the first.
    using Forms = std::array<uint16_t, 4>;
    static bool holds(const Forms& f, uint16_t code)
    {
        // Without branches: int(...) keeps the four tests from short-circuiting.
        return (int(f[0] == code) | int(f[1] == code) | int(f[2] == code) | int(f[3] == code)) != 0;
    }
    std::vector<Forms> m_forms;
    bool m_differs = false;
    bool m_firstTwoByte = false;  // the first character is a two-byte one
    size_t m_firstForms = 0;      // its distinct forms, in the first slots
};

inline bool TraditionalQuery::recordMatches(const uint8_t* rec, bool exact) const
{
    const size_t length = std::min<size_t>(rec[0], size_t(kNameCapacity));
#if defined(__SSE2__)
    if (!exact && m_firstTwoByte) {
        // Where in the name a form of the first character may start, sixteen
        // bytes at a time: most names hold none.
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rec + 1));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rec + 17));
        auto at = [&](uint8_t byte) {
            const __m128i v = _mm_set1_epi8(char(byte));
            return uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(a, v))) |
                   uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(b, v))) << 16;
        };
        uint32_t starts = 0;
        for (size_t f = 0; f < m_firstForms; ++f)
            starts |= at(uint8_t(m_forms[0][f] >> 8)) & (at(uint8_t(m_forms[0][f] & 0xFF)) >> 1);
        if (!(starts & ((uint32_t(1) << length) - 1)))
            return false;
    }
#endif
    return matches(std::string_view(reinterpret_cast<const char*>(rec + 1), length), exact);
}

// Where in a name the query of a PinyinQuery must lie: anywhere (the fuzzy
// search), from the name's first character on (it may end inside the name),
// or over the whole name (the exact search, whose last syllable may be
// unfinished), or over the whole name in complete syllables.
enum class PinyinMatch { Anywhere, Start, Whole, WholeSyllables };

// The query of the 地区拼音 option, set up once per search. A name matches
// when some choice of one reading per character matches; the range
// letter and the first learned letter of a character count as readings too.
// In full pinyin a Chinese character of the query stands for itself (深zhen),
// and a query of one unfinished syllable (zhon, be) is read as the beginning
// of a syllable.
class PinyinQuery {
public:
    PinyinQuery(std::string_view query, bool exact, const std::vector<LearnedInitial>& learned)
        : PinyinQuery(query, exact ? PinyinMatch::Whole : PinyinMatch::Anywhere, learned)
    {
    }
    PinyinQuery(std::string_view query, PinyinMatch match, const std::vector<LearnedInitial>& learned);
    ~PinyinQuery();
    PinyinQuery(const PinyinQuery&) = delete;
    PinyinQuery& operator=(const PinyinQuery&) = delete;

    // Whether any name could match: false for a query of bytes no reading gives.
    bool possible() const { return m_initialsOn || m_spellingOn; }
    // Whether the full pinyin of a name is tried (the query holds a syllable
    // of two letters or more).
    bool spelling() const { return m_spellingOn; }
    // The query against one name's initials (the upper-cased query) and,
    // for a spelling query, its full pinyin.
    bool matches(std::string_view name) const { return matchesInitials(name) || matchesSpelling(name); }
    bool matchesInitials(std::string_view name) const;
    // The same for the name of a 48-byte entry record (its length byte at
    // rec[0]), which may read the whole name field at once.
    bool recordMatchesInitials(const uint8_t* rec) const;
    // A first look at a record's name for the initials of a query matched
    // anywhere: false when they cannot hold it, true when matchesInitials
    // must tell. Small enough for a pass to keep in registers.
    struct PairScan {
        const uint8_t* pairs = nullptr;  // none: no such look for this query
        uint32_t ends = 0;
        uint32_t minLength = 0;
        bool mayMatch(const uint8_t* rec) const;
    };
    PairScan pairScan() const;
    bool recordMatchesSpelling(const uint8_t* rec) const;
    bool matchesSpelling(std::string_view name) const { return m_spellingOn && spellingMatches(name, m_mode); }
    // The same two tests in another mode: the tables do not depend on it,
    // so that one query set up serves several.
    bool matchesInitials(std::string_view name, PinyinMatch match) const;
    // How the name's full pinyin fits the query from the name's start, in
    // one walk: 0 not at all; 1 the query begins it (PinyinMatch::Start);
    // 2 the query is all of it in complete syllables (WholeSyllables, which
    // implies Start).
    int spellingFromStart(std::string_view name) const;
    bool matchesSpelling(std::string_view name, PinyinMatch match) const
    {
        return m_spellingOn && spellingMatches(name, modeOf(match));
    }
    // Whether the full pinyin of a name beginning with this two-byte
    // character can match from its start: false rules out matchesSpelling
    // in the Start and Whole modes.
    bool mayBeginWith(uint8_t lead, uint8_t trail) const
    {
        const uint32_t code = uint32_t(lead << 8 | trail);
        return m_spellingOn && code >= 0x8100 && code - 0x8100 < m_startable.size() && m_startable[code - 0x8100];
    }
    // True when the plain initials string must be tested as well: learned
    // records whose letter this class cannot represent (an empty one drops
    // its character from the initials), or an empty or overlong query.
    bool needsPlainInitials() const { return m_plainToo; }
    // Bytes of the tables this query set up.
    size_t tableBytes() const;

private:
    // Inline: the search calls these for each of a million names.
    struct Mode {
        bool exact;     // over the whole name
        bool anchored;  // from the name's first character on
        bool complete;  // in complete syllables only
    };
    static Mode modeOf(PinyinMatch match)
    {
        return {match == PinyinMatch::Whole || match == PinyinMatch::WholeSyllables, match == PinyinMatch::Start,
                match == PinyinMatch::WholeSyllables};
    }
    // `positions(lead, trail)`: the query positions a two-byte character may stand at.
    template <class Positions> bool initials(std::string_view name, Positions positions, Mode mode) const;
    // Calls f with the `positions` function of the table this query keeps.
    template <class F> bool withPositions(F f) const;
    // The index into m_pairs of a two-byte character: its two bytes as a
    // 16-bit load from the name reads them.
    static uint16_t pairIndex(uint8_t lead, uint8_t trail)
    {
        const uint8_t bytes[2] = {lead, trail};
        uint16_t v;
        std::memcpy(&v, bytes, 2);
        return v;
    }
    bool spellingMatches(std::string_view name, Mode mode) const;
    // Whether bytes 1 to `length` of a record are all lead bytes.
    static bool twoByteOnly(const uint8_t* rec, size_t length);
    template <bool kFit, class Mask> int spell(std::string_view name, const Mask* a, const Mask* p, Mode mode) const;

    Mode m_mode;
    // Initials: for each code from 0x8100, the query positions whose letter
    // is one of its initials; one-byte characters give V.
    bool m_initialsOn = false;
    bool m_plainToo = false;
    size_t m_length = 0;
    std::vector<uint32_t> m_positions;
    std::vector<uint8_t> m_positions8;  // the same in a byte, for 8 letters
    // For up to 7 letters, none of them V, the same per pair of bytes,
    // indexed by pairIndex, so that a record's name is read two bytes per
    // load: a pair of one-byte characters stands at no position (as neither
    // does); a one-byte character and a lead byte get bit 7.
    std::vector<uint8_t> m_pairs;
    uint32_t m_pairHit = 0;                   // bit 7 and the bit of the query's last letter
    uint32_t m_oneByte = 0;
    // Full pinyin: each code's readings (syllable ids, then a learned letter
    // as a syllable of its own), and per syllable where in the query it
    // occurs whole (a) and where the query ends inside it (p).
    bool m_spellingOn = false;
    bool m_wide = false;  // more than 63 letters: 128-bit masks
    size_t m_letters = 0;
    static constexpr uint16_t kPassOver = 0xFFFF;
    std::vector<uint16_t> m_kind;  // per code: its list of readings in the query, or kPassOver
    std::vector<uint32_t> m_kindStart;
    std::vector<uint16_t> m_kindReadings;
    bool m_kindOverflow = false;           // then the table's own readings and:
    std::vector<uint8_t> m_learnedLetter;  // per code: a learned 'a'-'z', or 0
    std::vector<std::pair<uint32_t, uint16_t>> m_hanziIds;  // a character of the query: its code, its id
    std::vector<uint8_t> m_syllableLength;
    std::vector<uint8_t> m_startable;  // per code: 1 when a reading can begin the query
    // Readings of place-name words the query holds: ids from m_firstPart on
    // in the lists above stand for m_wordParts[id - m_firstPart].
    struct WordPart {
        uint16_t word;
        uint8_t offset;  // the character's place in the word
        uint16_t syllable;
    };
    uint16_t m_firstPart = 0;
    std::vector<WordPart> m_wordParts;
    std::vector<std::pair<uint16_t, uint16_t>> m_partsByCode;  // with m_kindOverflow: code index, part
    std::vector<uint64_t> m_a64, m_p64;
    std::vector<unsigned __int128> m_a128, m_p128;
};

inline bool PinyinQuery::twoByteOnly(const uint8_t* rec, size_t length)
{
#if defined(__SSE2__)
    // Every byte 0x81 to 0xFE: the name is read in pairs.
    const __m128i low = _mm_set1_epi8(char(0x80)), high = _mm_set1_epi8(char(0xFF));
    auto leads = [&](const __m128i x) {
        return uint32_t(_mm_movemask_epi8(_mm_andnot_si128(
            _mm_or_si128(_mm_cmpeq_epi8(x, low), _mm_cmpeq_epi8(x, high)), _mm_cmplt_epi8(x, _mm_setzero_si128()))));
    };
    const uint32_t all = leads(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rec + 1))) |
                         leads(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rec + 17))) << 16;
    const uint32_t want = (uint32_t(1) << length) - 1;
    return (all & want) == want;
#else
    for (size_t i = 1; i <= length; ++i)
        if (rec[i] < 0x81 || rec[i] == 0xFF)
            return false;
    return true;
#endif
}

inline bool PinyinQuery::recordMatchesSpelling(const uint8_t* rec) const
{
    if (!m_spellingOn)
        return false;
    const size_t length = std::min<size_t>(rec[0], size_t(kNameCapacity));
    if (twoByteOnly(rec, length)) {
        // Only a name with a character that can begin the query needs the
        // walk through its readings.
        const uint8_t* startable = m_startable.data();
        const uint8_t* p = rec + 1;
        const size_t chars = (m_mode.exact || m_mode.anchored) ? std::min<size_t>(length / 2, 1) : length / 2;
        uint32_t any = 0;
        for (size_t j = 0; j < 4; ++j) {
            // Past the name the bytes may be anything: entry 0, masked off.
            const uint32_t inName = -uint32_t(j < chars);
            any |= startable[(uint32_t(p[2 * j] << 8 | p[2 * j + 1]) - 0x8100) & inName] & inName;
        }
        for (size_t j = 4; j < chars; ++j)
            any |= startable[uint32_t(p[2 * j] << 8 | p[2 * j + 1]) - 0x8100];
        if (!any)
            return false;
    }
    return spellingMatches(std::string_view(reinterpret_cast<const char*>(rec + 1), length), m_mode);
}

inline bool PinyinQuery::PairScan::mayMatch(const uint8_t* rec) const
{
    const size_t length = std::min<size_t>(rec[0], size_t(kNameCapacity));
    if (length < minLength)
        return false;
    // Shift-and over the name read in pairs of bytes: bit k of d is set
    // when the query's first k + 1 letters end at this pair. Pairs past the
    // name, whatever they hold, can only add bits, so a name with no bit of
    // the query's end has not the query among its initials; the few others
    // are read again character by character, and so is a name with a
    // one-byte character before a lead byte (bit 7), which it reads
    // otherwise.
    const uint8_t* p = rec + 1;
    uint32_t d = 0, hit = 0, any = 0;
    const auto step = [&](size_t j) {
        uint16_t v;
        std::memcpy(&v, p + 2 * j, 2);
        const uint32_t t = pairs[v];
        d = ((d << 1) | 1u) & t;
        hit |= d;
        any |= t;
    };
    // Four pairs, then four more for a longer name, then one by one:
    // reading past a short name costs more than the branch.
    for (size_t j = 0; j < 4; ++j)
        step(j);
    if (length > 8) {
        for (size_t j = 4; j < 8; ++j)
            step(j);
        for (size_t j = 8; j < (length + 1) / 2; ++j)
            step(j);
    }
    return (hit | (any & 0x80u)) & ends;
}

inline PinyinQuery::PairScan PinyinQuery::pairScan() const
{
    if (!m_initialsOn || m_mode.exact || m_mode.anchored || m_pairs.empty())
        return {};
    return {m_pairs.data(), m_pairHit, uint32_t(m_length)};
}

inline bool PinyinQuery::recordMatchesInitials(const uint8_t* rec) const
{
    const size_t length = std::min<size_t>(rec[0], size_t(kNameCapacity));
    if (!m_initialsOn || length < m_length)
        return false;
    if (!m_mode.exact && !m_mode.anchored && !m_pairs.empty() && !pairScan().mayMatch(rec))
        return false;
    return matchesInitials(std::string_view(reinterpret_cast<const char*>(rec + 1), length));
}

template <class F> inline bool PinyinQuery::withPositions(F f) const
{
    if (!m_pairs.empty())
        return f([p = m_pairs.data()](uint8_t lead, uint8_t trail) { return uint32_t(p[pairIndex(lead, trail)]); });
    if (!m_positions8.empty())
        return f([p = m_positions8.data()](uint8_t lead, uint8_t trail) {
            return uint32_t(p[uint32_t(lead << 8 | trail) - 0x8100]);
        });
    return f([p = m_positions.data()](uint8_t lead, uint8_t trail) { return p[uint32_t(lead << 8 | trail) - 0x8100]; });
}

inline bool PinyinQuery::matchesInitials(std::string_view name) const
{
    if (!m_initialsOn || name.size() < m_length)
        return false;
    return withPositions([&](auto positions) { return initials(name, positions, m_mode); });
}

inline bool PinyinQuery::matchesInitials(std::string_view name, PinyinMatch match) const
{
    if (!m_initialsOn || name.size() < m_length)
        return false;
    const Mode mode = modeOf(match);
    return withPositions([&](auto positions) { return initials(name, positions, mode); });
}

template <class Positions>
inline bool PinyinQuery::initials(std::string_view name, Positions positions, Mode mode) const
{
    const auto* s = reinterpret_cast<const uint8_t*>(name.data());
    const auto* end = s + name.size();
    // The query positions the next character's initials may stand at.
    auto next = [&]() -> uint32_t {
        if (gbk::isLeadByte(*s) && s + 1 < end) {
            const uint32_t b = positions(s[0], s[1]);
            s += 2;
            return b;
        }
        ++s;
        return m_oneByte;
    };
    if (mode.exact) {
        size_t k = 0;
        while (s < end) {
            const uint32_t b = next();
            if (k >= m_length || !((b >> k) & 1u))
                return false;
            ++k;
        }
        return k == m_length;
    }
    // Shift-and over the characters: bit k of d is set when the query's
    // first k + 1 letters end at this character.
    // From the first character only, when anchored.
    uint32_t d = 0, hit = 0, seed = 1u;
    while (s < end) {
        d = ((d << 1) | seed) & next();
        seed = mode.anchored ? 0u : 1u;
        hit |= d;
        // Anchored, nothing more is reached once no letter is (most names
        // fail at their first character).
        if (mode.anchored && !d)
            break;
    }
    return hit & (1u << (m_length - 1));
}

}  // namespace qv
