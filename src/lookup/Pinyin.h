#pragma once
// Pinyin initials of GBK names: one letter per character. The first level of
// GB2312 is ordered by pinyin, so fixed code ranges give most letters; other
// characters come from the learned table that the user fills in.
#include "store/Records.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

class DatabaseImage;

// The no-letter mark: one byte 0x00.
constexpr char kNoInitial = '\0';

// The letter of the fixed range table for a two-byte code, or 0 outside it.
char rangeInitial(uint16_t code);

// CharInitial: the ranges first, then the first matching learned record
// (its stored initial, possibly empty), else the no-letter mark.
std::string CharInitial(uint8_t lead, uint8_t trail, const std::vector<LearnedInitial>& learned);

// NameInitials: one contribution per character; "V" for each one-byte
// character, CharInitial for each two-byte one.
std::string NameInitials(std::string_view name, const std::vector<LearnedInitial>& learned);

// A lookup table of all 65,536 codes, built once per search, so that a pass
// over a million names makes no range tests and no learned-table scans.
class InitialsTable {
public:
    explicit InitialsTable(const std::vector<LearnedInitial>& learned);
    // Appends the initials of `name` to `out`, which must have room for
    // name.size() bytes; returns the new end.
    char* append(std::string_view name, char* out) const;
    std::string initials(std::string_view name) const;
    // True when some name's initials can hold `byte`.
    bool mayProduce(uint8_t byte) const { return m_produced[byte]; }
    // The lead bytes of the two-byte characters whose initial is `letter`.
    std::array<bool, 256> leadsOf(uint8_t letter) const;

private:
    static constexpr uint16_t kEmpty = 0x100;  // a learned record with no letter
    std::vector<uint16_t> m_code;              // 65,536 entries: byte value or kEmpty
    std::array<bool, 256> m_produced{};
    // The same for two-byte characters alone, one byte each (32 KB, which
    // stays in the first-level cache during a pass), with `m_none` standing
    // for kEmpty; unused when every byte value is some character's initial.
    std::vector<uint8_t> m_pair;
    int m_none = -1;
};

// Asked for a character that has no known initial; returns the letter the
// user gave (A-Z) or nullopt when the question was not answered with OK.
using AskInitialFn = std::function<std::optional<char>(uint8_t lead, uint8_t trail)>;

// Which two-byte characters have a known initial, kept up to date as
// learned records are added: a long pass that asks about unknown characters
// (the import) looks each up in a table instead of scanning the learned
// records, with the answers LearnInitials and CharInitial would give.
class KnownInitials {
public:
    KnownInitials();
    // Takes in the learned records added since the last call. The first
    // record of a character decides, as in CharInitial; a stored 0x00 letter
    // leaves it unknown.
    void note(const std::vector<LearnedInitial>& learned);
    // Whether LearnInitials would ask about some character of `name`.
    bool anyUnknown(std::string_view name) const;

private:
    std::vector<uint8_t> m_known;
    std::vector<uint8_t> m_seen;
    size_t m_noted = 0;
};

// LearnInitials: asks about every two-byte character of `name` without a
// known initial and appends each answer (a-z taken as A-Z; any other answer
// stores nothing). Returns how many were learned.
int LearnInitials(std::vector<LearnedInitial>& learned, std::string_view name, const AskInitialFn& ask);

// One record of the learned table as the 拼音首字母 dialog lists it.
struct LearnedRow {
    std::string character;  // its GBK bytes (as stored: up to two)
    char letter = 0;        // the stored letter, 0 when it holds none
    bool inUse = false;     // false for a later record of the same character, or one that names no character
};
std::vector<LearnedRow> learnedRows(const std::vector<LearnedInitial>& learned);

// Where a learned record's character is used: the live places whose names
// hold it, counted once per place, with the first `examples` of their names
// in image order.
struct LearnedUse {
    size_t places = 0;
    std::vector<std::string> examples;  // GBK
};
// One per record, in the table's order; a record that names no character is
// used nowhere. One pass over the entry section.
std::vector<LearnedUse> learnedUses(const std::vector<LearnedInitial>& learned, const DatabaseImage& image,
                                    size_t examples);

// Gives record `index` the letter (a-z taken as A-Z); false, changing
// nothing, for anything but a letter or an index out of range.
bool changeLearnedLetter(std::vector<LearnedInitial>& learned, size_t index, char letter);
// Removes record `index`; every other record stays as it is.
bool removeLearned(std::vector<LearnedInitial>& learned, size_t index);

// True for an answer the question dialog accepts: one letter A to Z.
bool isAcceptableInitial(std::string_view answer);

}  // namespace qv
