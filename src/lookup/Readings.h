#pragma once
// Every Mandarin reading of a character, for the search by pinyin: initials
// that may come from any reading (重庆 is CQ as well as ZQ), full pinyin
// (xiamen, bei jing, xi'an) and traditional characters read as simplified.
#include "store/Records.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// The syllables of a two-byte character (no tones, ü as v); empty for a
// code with no known reading.
std::vector<std::string_view> charReadings(uint8_t lead, uint8_t trail);

// `text` with each traditional character that has a simplified form in GBK
// replaced by it; other bytes stay as they are.
std::string simplifiedText(std::string_view text);

// The query of the 地区拼音 option, set up once per search. A name matches
// when some choice of one reading per character matches; the Part's range
// letter and the first learned letter of a character count as readings too.
class PinyinQuery {
public:
    PinyinQuery(std::string_view query, bool exact, const std::vector<LearnedInitial>& learned);
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
    bool matchesSpelling(std::string_view name) const;
    // True when the plain initials string must be tested as well: learned
    // records whose letter this class cannot represent (an empty one drops
    // its character from the initials), or an empty or overlong query.
    bool needsPlainInitials() const { return m_plainToo; }

private:
    template <class Mask>
    bool spell(std::string_view name, const Mask* a, const Mask* p) const;

    bool m_exact;
    // Initials: for each code from 0x8100, the query positions whose letter
    // is one of its initials; one-byte characters give V.
    bool m_initialsOn = false;
    bool m_plainToo = false;
    size_t m_length = 0;
    std::vector<uint32_t> m_positions;
    uint32_t m_oneByte = 0;
    // Full pinyin: each code's readings (syllable ids, then a learned letter
    // as a syllable of its own), and per syllable where in the query it
    // occurs whole (a) and where the query ends inside it (p).
    bool m_spellingOn = false;
    bool m_wide = false;  // more than 63 letters: 128-bit masks
    size_t m_letters = 0;
    std::vector<uint8_t> m_learnedLetter;  // per code: a learned 'a'-'z', or 0
    std::vector<uint8_t> m_syllableLength;
    std::vector<uint64_t> m_a64, m_p64;
    std::vector<unsigned __int128> m_a128, m_p128;
};

}  // namespace qv
