#include "lookup/Readings.h"

#include "lookup/Pinyin.h"
#include "lookup/PinyinData.h"
#include "store/GbkText.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <map>
#include <type_traits>

namespace qv {

namespace {

namespace pd = pinyin_data;

constexpr uint32_t kFirstCode = 0x8100;
constexpr size_t kCodes = 0xFF00 - kFirstCode;

// Whether a two-byte code has a place in the tables: a stored learned record
// may hold any two bytes (0xFFxx, say), which no table covers.
constexpr bool inTables(uint32_t code) { return code >= kFirstCode && code - kFirstCode < kCodes; }

// Bits of an initials set: A-Z are bits 0 to 25, the no-letter mark bit 26,
// and other bytes a stored file may hold as a letter get bits 27 to 31.
constexpr int kNoLetterBit = 26;
constexpr int kFirstOtherBit = 27;

std::string_view syllable(int id)
{
    return std::string_view(pd::kSyllableText + pd::kSyllableStart[id],
                            size_t(pd::kSyllableStart[id + 1] - pd::kSyllableStart[id]));
}

// The initials sets of every code from its range letter and its readings,
// built once per process; the learned letters are added per search.
const std::vector<uint32_t>& baseInitials()
{
    static const std::vector<uint32_t> sets = [] {
        std::vector<uint32_t> s(kCodes, 0);
        for (uint32_t i = 0; i < kCodes; ++i) {
            const uint16_t code = uint16_t(kFirstCode + i);
            // The no-letter mark stands for a character the ranges do not
            // identify, until a learned record does.
            const char letter = rangeInitial(code);
            s[i] |= letter ? 1u << (letter - 'A') : 1u << kNoLetterBit;
            for (int r = pd::kReadingStart[i]; r < pd::kReadingStart[i + 1]; ++r)
                s[i] |= 1u << (syllable(pd::kReadings[r])[0] - 'a');
        }
        for (int w = 0; w < pd::kWordLetterCount; ++w)
            for (const char* c = pd::kWordLetters[w]; *c; ++c)
                s[pd::kWordLetterCode[w] - kFirstCode] |= 1u << (*c - 'a');
        return s;
    }();
    return sets;
}

// How many codes' base sets hold each bit: whether some character gives a
// letter, told without a pass over every code.
const std::array<uint32_t, 32>& baseBitCounts()
{
    static const std::array<uint32_t, 32> counts = [] {
        std::array<uint32_t, 32> c{};
        for (uint32_t set : baseInitials())
            for (uint32_t bits = set; bits; bits &= bits - 1)
                ++c[size_t(__builtin_ctz(bits))];
        return c;
    }();
    return counts;
}

// Whether `at` starts a character of the name that begins at `begin`.
bool startsCharacterAt(const uint8_t* begin, const uint8_t* end, const uint8_t* at)
{
    const uint8_t* s = begin;
    while (s < at)
        s += gbk::isLeadByte(*s) && s + 1 < end ? 2 : 1;
    return s == at;
}

// The symbol rows of GB2312 (blanks and punctuation), passed over in full pinyin.
bool isPassedOver(uint32_t code) { return code >= 0xA100 && code <= 0xA9FF; }

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

// A query letter against a syllable's letter: u stands for ü as well.
bool sameLetter(char query, char syl) { return query == syl || (query == 'u' && syl == 'v'); }

}  // namespace

std::vector<std::string_view> charReadings(uint8_t lead, uint8_t trail)
{
    std::vector<std::string_view> out;
    const uint32_t code = uint32_t(lead << 8 | trail);
    if (!inTables(code))
        return out;
    const uint32_t i = code - kFirstCode;
    for (int r = pd::kReadingStart[i]; r < pd::kReadingStart[i + 1]; ++r)
        out.push_back(syllable(pd::kReadings[r]));
    return out;
}

std::vector<std::string> charReadingsShown(uint8_t lead, uint8_t trail)
{
    // Per vowel (a e i o u ü), the forms of tones 1 to 4.
    static const char* const kMarked[6][4] = {
        {"ā", "á", "ǎ", "à"}, {"ē", "é", "ě", "è"}, {"ī", "í", "ǐ", "ì"},
        {"ō", "ó", "ǒ", "ò"}, {"ū", "ú", "ǔ", "ù"}, {"ǖ", "ǘ", "ǚ", "ǜ"},
    };
    static const std::string_view kVowels = "aeiouv";
    std::vector<std::string> out;
    const uint32_t code = uint32_t(lead << 8 | trail);
    if (!inTables(code))
        return out;
    const uint32_t i = code - kFirstCode;
    for (int r = pd::kReadingStart[i]; r < pd::kReadingStart[i + 1]; ++r) {
        const std::string_view syl = syllable(pd::kReadings[r]);
        const int tone = pd::kReadingTones[r];
        // The mark goes on a or e, on the o of ou, else on the last vowel.
        size_t at = syl.find('a');
        if (at == std::string_view::npos)
            at = syl.find('e');
        if (at == std::string_view::npos)
            at = syl.find("ou");
        if (at == std::string_view::npos)
            at = syl.find_last_of("iouv");
        std::string shown;
        for (size_t k = 0; k < syl.size(); ++k) {
            const size_t vowel = kVowels.find(syl[k]);
            if (k == at && tone >= 1 && tone <= 4)
                shown += kMarked[vowel][tone - 1];
            else if (syl[k] == 'v')
                shown += "ü";
            else
                shown += syl[k];
        }
        out.push_back(std::move(shown));
    }
    return out;
}

size_t readingTableBytes()
{
    const size_t syllables = size_t(pd::kSyllableCount);
    return pd::kSyllableStart[syllables] + (syllables + 1) * sizeof(uint16_t) + (kCodes + 1) * sizeof(uint16_t) +
           pd::kReadingStart[kCodes] * (sizeof(uint16_t) + sizeof(uint8_t)) + size_t(pd::kSimplifiedCount) * 2 * sizeof(uint16_t) +
           baseInitials().size() * sizeof(uint32_t);
}

namespace {

// The simplified forms of a code, the preferred first; empty when it has none.
std::pair<const uint16_t (*)[2], const uint16_t (*)[2]> formsOf(uint16_t code)
{
    const auto* end = pd::kSimplified + pd::kSimplifiedCount;
    const auto* from =
        std::lower_bound(pd::kSimplified, end, code, [](const uint16_t* pair, uint16_t c) { return pair[0] < c; });
    const auto* to = from;
    while (to != end && (*to)[0] == code)
        ++to;
    return {from, to};
}

}  // namespace

const std::vector<PlaceWord>& placeWords()
{
    static const std::vector<PlaceWord> words = [] {
        std::vector<PlaceWord> out;
        for (int w = 0; w < pd::kWordCount; ++w) {
            PlaceWord word;
            word.text = std::string_view(pd::kWordText + pd::kWordStart[w],
                                         size_t(pd::kWordStart[w + 1] - pd::kWordStart[w]));
            for (size_t j = 0; 2 * j < word.text.size(); ++j)
                word.syllables.push_back(syllable(pd::kWordSyllables[pd::kWordStart[w] / 2 + j]));
            out.push_back(std::move(word));
        }
        return out;
    }();
    return words;
}

std::string_view wordLetters(uint8_t lead, uint8_t trail)
{
    const auto code = uint16_t(lead << 8 | trail);
    const auto* end = pd::kWordLetterCode + pd::kWordLetterCount;
    const auto* it = std::lower_bound(pd::kWordLetterCode, end, code);
    return it != end && *it == code ? std::string_view(pd::kWordLetters[it - pd::kWordLetterCode]) : std::string_view();
}

std::vector<uint16_t> simplifiedForms(uint8_t lead, uint8_t trail)
{
    std::vector<uint16_t> out;
    const auto [from, to] = formsOf(uint16_t(lead << 8 | trail));
    for (const auto* it = from; it != to; ++it)
        out.push_back((*it)[1]);
    return out;
}

std::string simplifiedText(std::string_view text)
{
    std::string out(text);
    for (size_t i = 0; i < out.size(); i += gbk::charSize(out, i)) {
        if (gbk::charSize(out, i) != 2)
            continue;
        const auto [from, to] = formsOf(uint16_t(uint8_t(out[i]) << 8 | uint8_t(out[i + 1])));
        if (from != to) {
            out[i] = char((*from)[1] >> 8);
            out[i + 1] = char((*from)[1] & 0xFF);
        }
    }
    return out;
}

TraditionalQuery::TraditionalQuery(std::string_view query)
{
    for (size_t i = 0; i < query.size(); i += gbk::charSize(query, i)) {
        if (gbk::charSize(query, i) != 2) {
            m_forms.push_back(Forms{});
            m_forms.back().fill(uint16_t(uint8_t(query[i])));
            continue;
        }
        const auto code = uint16_t(uint8_t(query[i]) << 8 | uint8_t(query[i + 1]));
        std::vector<uint16_t> forms = simplifiedForms(uint8_t(query[i]), uint8_t(query[i + 1]));
        // A name may hold the character itself as well (乾安).
        if (std::find(forms.begin(), forms.end(), code) == forms.end())
            forms.push_back(code);
        m_differs = m_differs || forms.size() > 1;
        Forms f;
        f.fill(forms[0]);
        std::copy_n(forms.begin(), std::min(forms.size(), f.size()), f.begin());
        m_forms.push_back(f);
        if (m_forms.size() == 1)
            m_firstForms = std::min(forms.size(), f.size());
    }
    m_firstTwoByte = !query.empty() && gbk::charSize(query, 0) == 2;
}

bool TraditionalQuery::matchesAt(const uint8_t* s, const uint8_t* end, const uint8_t** after) const
{
    for (const Forms& forms : m_forms) {
        if (s >= end)
            return false;
        const bool two = gbk::isLeadByte(*s) && s + 1 < end;
        if (!holds(forms, two ? uint16_t(s[0] << 8 | s[1]) : uint16_t(*s)))
            return false;
        s += two ? 2 : 1;
    }
    *after = s;
    return true;
}

bool TraditionalQuery::matches(std::string_view name, bool exact) const
{
    const auto* s = reinterpret_cast<const uint8_t*>(name.data());
    const auto* end = s + name.size();
    const uint8_t* after = nullptr;
    if (exact)
        return matchesAt(s, end, &after) && after == end;
    if (m_forms.empty())
        return true;
    // The rest of the query is tried only where its first character stands.
    const Forms& first = m_forms[0];
    while (s < end) {
        const bool two = gbk::isLeadByte(*s) && s + 1 < end;
        if (holds(first, two ? uint16_t(s[0] << 8 | s[1]) : uint16_t(*s)) && matchesAt(s, end, &after))
            return true;
        s += two ? 2 : 1;
    }
    return false;
}

PinyinQuery::PinyinQuery(std::string_view query, PinyinMatch match, const std::vector<LearnedInitial>& learned)
    : m_mode(modeOf(match))
{
    // The first learned record of a character is one more reading of it.
    std::array<int, 256> bitOf{};
    bitOf.fill(-1);
    for (int c = 'A'; c <= 'Z'; ++c)
        bitOf[size_t(c)] = c - 'A';
    bitOf[0] = kNoLetterBit;
    int nextOther = kFirstOtherBit;
    const std::vector<uint32_t>& base = baseInitials();
    // The first record of each learned character, with its initials set.
    std::vector<std::pair<uint32_t, uint32_t>> learnedSets;    // index from kFirstCode, set
    std::vector<std::pair<uint32_t, uint8_t>> learnedLetters;  // index, 'a' to 'z'
    std::vector<bool> seen(kCodes, false);
    for (const LearnedInitial& li : learned) {
        if (li.raw[0] != 2)
            continue;
        const uint32_t code = uint32_t(li.raw[1] << 8 | li.raw[2]);
        if (!inTables(code) || seen[code - kFirstCode])
            continue;
        const uint32_t i = code - kFirstCode;
        seen[i] = true;
        uint32_t set = base[i] & ~(1u << kNoLetterBit);
        if (rangeInitial(uint16_t(code)))
            set = base[i];
        const std::string_view letter = li.initial();
        if (letter.empty()) {
            // Such a character drops out of the plain initials string.
            m_plainToo = m_plainToo || !rangeInitial(uint16_t(code));
            learnedSets.emplace_back(i, set);
            continue;
        }
        const auto byte = uint8_t(letter[0]);
        if (bitOf[byte] < 0 && nextOther < 32)
            bitOf[byte] = nextOther++;
        if (bitOf[byte] < 0)
            m_plainToo = true;
        else
            set |= 1u << bitOf[byte];
        learnedSets.emplace_back(i, set);
        if (byte >= 'A' && byte <= 'Z')
            learnedLetters.emplace_back(i, uint8_t(byte - 'A' + 'a'));
    }

    // Initials: the upper-cased query, one letter per character.
    std::string upper(query);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    m_length = upper.size();
    m_initialsOn = m_length > 0 && m_length <= 32;
    m_plainToo = m_plainToo || m_length == 0 || m_length > 32;
    for (char c : upper)
        m_initialsOn = m_initialsOn && (bitOf[uint8_t(c)] >= 0 || c == 'V');
    if (m_initialsOn) {
        std::vector<uint32_t> wanted(m_length, 0);  // per query position, the bit of its letter
        for (size_t k = 0; k < m_length; ++k) {
            const int bit = bitOf[uint8_t(upper[k])];
            wanted[k] = bit >= 0 ? 1u << bit : 0;
            if (upper[k] == 'V')
                m_oneByte |= 1u << k;
        }
        // Per letter bit, the query positions holding that letter: a set's
        // positions are those of its bits (one or two for most characters).
        uint32_t atBit[32] = {};
        for (size_t k = 0; k < m_length; ++k)
            if (wanted[k])
                atBit[__builtin_ctz(wanted[k])] |= 1u << k;
        uint32_t inQuery = 0;
        for (uint32_t w : wanted)
            inQuery |= w;
        const auto positionsOf = [&](uint32_t set) {
            uint32_t out = 0;
            for (uint32_t bits = set & inQuery; bits; bits &= bits - 1)
                out |= atBit[__builtin_ctz(bits)];
            return out;
        };
        // A letter no character gives (I, U or V in full pinyin, say): no
        // name has these initials. Told from how many codes give each
        // letter, less the learned ones, whose sets stand in for theirs.
        std::array<uint32_t, 32> counts = baseBitCounts();
        uint32_t givenSets = 0;
        for (const auto& [i, set] : learnedSets) {
            for (uint32_t bits = base[i]; bits; bits &= bits - 1)
                --counts[size_t(__builtin_ctz(bits))];
            givenSets |= set;
        }
        for (size_t b = 0; b < counts.size(); ++b)
            givenSets |= uint32_t(counts[b] > 0) << b;
        m_initialsOn = (positionsOf(givenSets) | m_oneByte) == uint32_t((uint64_t(1) << m_length) - 1);
        const auto fill = [&](auto& table) {
            using Entry = typename std::decay_t<decltype(table)>::value_type;
            table.resize(kCodes);
            for (uint32_t i = 0; i < kCodes; ++i)
                table[i] = Entry(positionsOf(base[i]));
            for (const auto& [i, set] : learnedSets)
                table[i] = Entry(positionsOf(set));
        };
        // A byte per code keeps the table in the first-level cache.
        if (m_initialsOn && m_length <= 8)
            fill(m_positions8);
        else if (m_initialsOn)
            fill(m_positions);
        if (m_initialsOn && m_length <= 7 && m_oneByte == 0) {
            // The same by pairs of bytes, for the pass over the records.
            m_pairs.assign(size_t(1) << 16, 0);
            for (uint32_t first = 0; first < 256; ++first)
                for (uint32_t second = 0; second < 256; ++second) {
                    const uint32_t code = first << 8 | second;
                    uint8_t& entry = m_pairs[pairIndex(uint8_t(first), uint8_t(second))];
                    if (gbk::isLeadByte(uint8_t(first)))
                        entry = m_positions8[code - kFirstCode];
                    else if (gbk::isLeadByte(uint8_t(second)))
                        entry = 0x80;
                }
            std::vector<uint8_t>().swap(m_positions8);
            m_pairHit = (1u << (m_length - 1)) | 0x80u;
        }
    }

    // Full pinyin: letters only once blanks and apostrophes are gone. They
    // still part syllables: xi'an is 西安, never 县 (xian) alone. A Chinese
    // character (read as simplified) takes one position of its own, which
    // only that character fills.
    std::string letters;
    std::vector<bool> parted(query.size() + 1, false);  // a syllable must end before letter i
    std::vector<std::pair<size_t, uint32_t>> hanzi;     // position in letters, code
    bool spellable = true;
    const std::string simple = simplifiedText(query);
    for (size_t i = 0; i < simple.size();) {
        const size_t n = gbk::charSize(simple, i);
        const char c = simple[i];
        if (n == 2) {
            const uint32_t code = uint32_t(uint8_t(c) << 8 | uint8_t(simple[i + 1]));
            if (isPassedOver(code)) {
                parted[letters.size()] = true;
            } else {
                hanzi.emplace_back(letters.size(), code);
                letters += '\x01';  // no syllable holds it
            }
        } else if (c == ' ' || c == '\'') {
            parted[letters.size()] = true;
        } else {
            spellable = spellable && isLetter(c);
            letters += lower(c);
        }
        i += n;
    }
    m_letters = letters.size();
    if (!spellable || letters.size() == hanzi.size() || m_letters > 127)
        return;
    const int count = pd::kSyllableCount;
    m_spellingOn = !hanzi.empty();
    for (int id = 0; id < count && !m_spellingOn; ++id) {
        const std::string_view s = syllable(id);
        for (size_t at = 0; s.size() >= 2 && at + s.size() <= m_letters && !m_spellingOn; ++at)
            m_spellingOn = std::equal(s.begin(), s.end(), letters.begin() + long(at),
                                      [](char syl, char q) { return sameLetter(q, syl); });
    }
    // One unfinished syllable, typed past its initial (zhon, be; not zh,
    // which reads as two initials).
    const bool vowel = letters.find_first_of("aeiouv") != std::string::npos;
    for (int id = 0; id < count && !m_spellingOn && vowel && m_letters >= 2 && hanzi.empty(); ++id) {
        const std::string_view s = syllable(id);
        m_spellingOn = s.size() > m_letters && std::equal(letters.begin(), letters.end(), s.begin(),
                                                          [](char q, char syl) { return sameLetter(q, syl); });
    }
    if (!m_spellingOn)
        return;
    std::vector<uint8_t> learnedLetter(learnedLetters.empty() ? 0 : kCodes, 0);  // most databases have none
    for (const auto& [i, letter] : learnedLetters)
        learnedLetter[i] = letter;
    // Syllable ids: the table's, then a to z for a learned letter or a
    // one-byte letter of the name.
    m_wide = m_letters > 63;
    const int letterIds = count + 26;
    const int total = letterIds + int(hanzi.size());
    m_syllableLength.resize(size_t(total));
    std::vector<unsigned __int128> a(size_t(total), 0), p(size_t(total), 0);
    for (size_t k = 0; k < hanzi.size(); ++k) {
        const size_t id = size_t(letterIds) + k;
        m_syllableLength[id] = 1;
        a[id] = static_cast<unsigned __int128>(1) << hanzi[k].first;
        m_hanziIds.emplace_back(hanzi[k].second, uint16_t(id));
    }
    for (int id = 0; id < letterIds; ++id) {
        const std::string s = id < count ? std::string(syllable(id)) : std::string(1, char('a' + id - count));
        m_syllableLength[size_t(id)] = uint8_t(s.size());
        for (size_t j = 0; j < m_letters; ++j) {
            const size_t rest = m_letters - j;
            const size_t n = std::min(rest, s.size());
            if (std::find(parted.begin() + long(j) + 1, parted.begin() + long(j + n), true) !=
                parted.begin() + long(j + n))
                continue;
            if (!std::equal(s.begin(), s.begin() + long(n), letters.begin() + long(j),
                            [](char syl, char q) { return sameLetter(q, syl); }))
                continue;
            if (rest >= s.size())
                a[size_t(id)] |= static_cast<unsigned __int128>(1) << j;
            else
                p[size_t(id)] |= static_cast<unsigned __int128>(1) << j;
        }
    }
    // Per code, the readings that occur in the query (most codes have none),
    // as one of a few distinct lists; and whether one can begin it.
    // A byte per syllable: the loop over every code's readings below reads
    // it rather than two 128-bit masks.
    std::vector<uint8_t> held(size_t(total), 0);
    for (size_t id = 0; id < held.size(); ++id)
        held[id] = (a[id] | p[id]) != 0;
    const auto relevant = [&](uint16_t id) { return held[id] != 0; };
    // A place-name word's reading that the query holds and its character
    // lacks: a step of its own, taken only inside the word.
    m_firstPart = uint16_t(total);
    std::vector<std::pair<uint16_t, uint16_t>> partsByCode;  // code index, part
    for (int w = 0; w < pd::kWordCount; ++w) {
        for (int j = 0; 2 * j < pd::kWordStart[w + 1] - pd::kWordStart[w]; ++j) {
            const char* c = pd::kWordText + pd::kWordStart[w] + 2 * j;
            const uint32_t i = uint32_t(uint8_t(c[0]) << 8 | uint8_t(c[1])) - kFirstCode;
            const uint16_t id = pd::kWordSyllables[pd::kWordStart[w] / 2 + j];
            const bool own = std::find(pd::kReadings + pd::kReadingStart[i], pd::kReadings + pd::kReadingStart[i + 1],
                                       id) != pd::kReadings + pd::kReadingStart[i + 1];
            if (own || !relevant(id) || m_firstPart + m_wordParts.size() >= kPassOver)
                continue;
            partsByCode.emplace_back(uint16_t(i), uint16_t(m_wordParts.size()));
            m_wordParts.push_back({uint16_t(w), uint8_t(j), id});
        }
    }
    std::sort(partsByCode.begin(), partsByCode.end());
    std::map<std::vector<uint16_t>, uint16_t> lists;
    std::vector<uint16_t> ids;
    m_startable.assign(kCodes, 0);
    m_kind.assign(kCodes, 0);
    m_kindStart.assign(2, 0);  // list 0: none
    for (uint32_t i = 0; i < kCodes; ++i) {
        if (isPassedOver(kFirstCode + i)) {
            // Symbols are passed over: what follows them may begin the query.
            m_kind[i] = kPassOver;
            m_startable[i] = 1;
            continue;
        }
        ids.clear();
        for (int r = pd::kReadingStart[i]; r < pd::kReadingStart[i + 1]; ++r)
            if (relevant(pd::kReadings[r]))
                ids.push_back(pd::kReadings[r]);
        if (!learnedLetter.empty() && learnedLetter[i] && relevant(uint16_t(count + learnedLetter[i] - 'a')))
            ids.push_back(uint16_t(count + learnedLetter[i] - 'a'));
        for (const auto& [code, id] : m_hanziIds)
            if (code == kFirstCode + i)
                ids.push_back(id);
        const auto firstPart = std::make_pair(uint16_t(i), uint16_t(0));
        for (auto it = std::lower_bound(partsByCode.begin(), partsByCode.end(), firstPart);
             it != partsByCode.end() && it->first == i; ++it)
            ids.push_back(uint16_t(m_firstPart + it->second));
        if (ids.empty())
            continue;
        for (uint16_t id : ids) {
            const uint16_t own = id < m_firstPart ? id : m_wordParts[id - m_firstPart].syllable;
            m_startable[i] |= uint8_t((a[own] | p[own]) & 1);
        }
        auto [it, added] = lists.emplace(ids, uint16_t(m_kindStart.size() - 1));
        if (added) {
            if (m_kindStart.size() - 1 >= kPassOver) {
                m_kindOverflow = true;
                break;
            }
            m_kindReadings.insert(m_kindReadings.end(), ids.begin(), ids.end());
            m_kindStart.push_back(uint32_t(m_kindReadings.size()));
        }
        m_kind[i] = it->second;
    }
    if (m_kindOverflow) {
        // Too many distinct lists: every code keeps all of its readings.
        m_startable.assign(kCodes, 1);
        learnedLetter.resize(kCodes, 0);
        m_learnedLetter = std::move(learnedLetter);
        m_partsByCode = std::move(partsByCode);
    }
    if (m_wide) {
        m_a128 = std::move(a);
        m_p128 = std::move(p);
    } else {
        for (int id = 0; id < total; ++id) {
            m_a64.push_back(uint64_t(a[size_t(id)]));
            m_p64.push_back(uint64_t(p[size_t(id)]));
        }
    }
}

PinyinQuery::~PinyinQuery() = default;

size_t PinyinQuery::tableBytes() const
{
    return m_positions.capacity() * sizeof(uint32_t) + m_positions8.capacity() + m_pairs.capacity() +
           m_startable.capacity() +
           m_kind.capacity() * sizeof(uint16_t) + m_kindStart.capacity() * sizeof(uint32_t) +
           m_kindReadings.capacity() * sizeof(uint16_t) + m_learnedLetter.capacity() + m_syllableLength.capacity() +
           m_wordParts.capacity() * sizeof(WordPart) + m_partsByCode.capacity() * sizeof(m_partsByCode[0]) +
           m_hanziIds.capacity() * sizeof(m_hanziIds[0]) +
           (m_a64.capacity() + m_p64.capacity()) * sizeof(uint64_t) +
           (m_a128.capacity() + m_p128.capacity()) * sizeof(unsigned __int128);
}

template <bool kFit, class Mask>
int PinyinQuery::spell(std::string_view name, const Mask* a, const Mask* p, Mode mode) const
{
    // kFit: the walk of the whole name in complete syllables, noting on the
    // way whether the query was spelled from the start (all of it reached,
    // or ending inside a syllable): Start's positions are these and the end.
    bool fromStart = false;
    // The set of query positions reached at each character boundary, all
    // choices of readings at once.
    const Mask done = Mask(1) << m_letters;
    const int letterBase = pd::kSyllableCount;
    const auto* s = reinterpret_cast<const uint8_t*>(name.data());
    const auto* begin = s;
    const auto* end = s + name.size();
    Mask reached = 1;
    while (s < end) {
        if (!mode.exact && !mode.anchored)
            reached |= 1;
        Mask next = 0;
        auto step = [&](int id) {
            next |= (reached & a[id]) << m_syllableLength[size_t(id)];
            if (kFit)
                fromStart = fromStart || (reached & p[id]) != 0;
            else if (!mode.complete && (reached & p[id]))
                next |= done;
        };
        // A word's reading where the name holds the whole word around this character.
        auto wordStep = [&](size_t part) {
            const WordPart& w = m_wordParts[part];
            const size_t length = size_t(pd::kWordStart[w.word + 1] - pd::kWordStart[w.word]);
            if (s - begin < 2 * std::ptrdiff_t(w.offset))
                return;
            const uint8_t* at = s - 2 * size_t(w.offset);
            if (size_t(end - at) < length || std::memcmp(at, pd::kWordText + pd::kWordStart[w.word], length) != 0 ||
                !startsCharacterAt(begin, end, at))
                return;
            step(w.syllable);
        };
        // Blanks and punctuation (GB2312's symbol rows) are passed over, as
        // blanks and apostrophes in the query are.
        if ((gbk::isLeadByte(*s) && s + 1 < end) ? isPassedOver(uint32_t(s[0] << 8 | s[1])) : !std::isalnum(*s)) {
            s += gbk::isLeadByte(*s) && s + 1 < end ? 2 : 1;
            continue;
        }
        if (gbk::isLeadByte(*s) && s + 1 < end) {
            const uint32_t i = uint32_t(s[0] << 8 | s[1]) - kFirstCode;
            if (m_kindOverflow) {
                for (int r = pd::kReadingStart[i]; r < pd::kReadingStart[i + 1]; ++r)
                    step(pd::kReadings[r]);
                if (m_learnedLetter[i])
                    step(letterBase + m_learnedLetter[i] - 'a');
                for (const auto& [code, id] : m_hanziIds)
                    if (code == kFirstCode + i)
                        step(id);
                for (auto it = std::lower_bound(m_partsByCode.begin(), m_partsByCode.end(),
                                                std::make_pair(uint16_t(i), uint16_t(0)));
                     it != m_partsByCode.end() && it->first == i; ++it)
                    wordStep(it->second);
            } else {
                for (uint32_t r = m_kindStart[m_kind[i]]; r < m_kindStart[m_kind[i] + 1u]; ++r) {
                    const uint16_t id = m_kindReadings[r];
                    if (id < m_firstPart)
                        step(id);
                    else
                        wordStep(id - m_firstPart);
                }
            }
            s += 2;
        } else {
            if (isLetter(char(*s)))
                step(letterBase + lower(char(*s)) - 'a');
            ++s;
        }
        reached = next;
        if (kFit) {
            fromStart = fromStart || (reached & done) != 0;
            if (!reached)
                return fromStart ? 1 : 0;
            continue;
        }
        if (!mode.exact && (reached & done))
            return 1;
        if ((mode.exact || mode.anchored) && !reached)
            return 0;
    }
    if (kFit)
        return fromStart ? ((reached & done) ? 2 : 1) : 0;
    return mode.exact && (reached & done) ? 1 : 0;
}

bool PinyinQuery::spellingMatches(std::string_view name, Mode mode) const
{
    return m_wide ? spell<false>(name, m_a128.data(), m_p128.data(), mode) != 0
                  : spell<false>(name, m_a64.data(), m_p64.data(), mode) != 0;
}

int PinyinQuery::spellingFromStart(std::string_view name) const
{
    if (!m_spellingOn)
        return 0;
    const Mode whole = modeOf(PinyinMatch::WholeSyllables);
    return m_wide ? spell<true>(name, m_a128.data(), m_p128.data(), whole)
                  : spell<true>(name, m_a64.data(), m_p64.data(), whole);
}

}  // namespace qv
