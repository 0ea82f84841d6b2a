#pragma once
// Lookups of the command line that the window has no button for: the places
// of a telephone number or a postcode, and a directory named by its path or
// its own name.
#include "lookup/EntryRows.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qv {
class Database;
class DatabaseImage;
class DirectoryTree;
struct DirectoryNode;
}  // namespace qv

namespace qv::cli {

// What a telephone number, as people write it, can be looked up as.
enum class NumberKind {
    Dialled,       // digits to match against area codes
    NoDigits,      // nothing to read
    Mobile,        // a Chinese mobile number: no area code
    Service,       // a 400 or 800 service number: no area code
    ShortService,  // a nationwide five-digit service number (95588, 10086, 12345)
    Local,         // a number without its area code
    TooShort,      // after a country code, too few digits for an area code and a subscriber number
};

struct ReadNumber {
    NumberKind kind = NumberKind::NoDigits;
    std::string digits;  // for Dialled: 0 and the area code first, or 00 and a country code
};

// Reads a number as people write it (UTF-8; full-width digits count too):
// blanks, dashes, dots, brackets and labels ("传真（Fax）：") count for nothing;
// an extension (转, 分机, ext, x, #, and what follows) after the first digit
// is dropped. +, 00, +00 or (from eleven digits on) a bare 86 before China's
// country code, and a trunk 0 or (0) after it, give the national number with
// its trunk 0: "+86 (0)10 6512 3456" gives 01065123456. Any other + stands
// for 00. A national number of ten or more digits written without its trunk 0
// gets it back. Five-digit service numbers (95xxx, 100xx, 12xxx) and, after a
// country code, numbers of five digits or fewer have no area code; a written
// trunk 0 always means one follows.
ReadNumber readNumber(std::string_view text);

// The digits readNumber gives, whatever the kind ("" without digits).
std::string dialDigits(std::string_view text);

// The live places by the text of one field (area code or postcode), built in
// one pass over the entry section: every distinct text gets a number, every
// place the number of its text.
class FieldIndex {
public:
    enum class Field { AreaCode, Postcode };
    FieldIndex(const DatabaseImage& image, Field field);

    // The number of `text`, or -1 when no place has it.
    int find(std::string_view text) const;
    size_t size() const { return m_counts.size(); }
    std::string_view text(int code) const;
    size_t count(int code) const { return m_counts[size_t(code)]; }
    // The positions of the places of these codes, in image order. The first
    // call files every place by code, which a count never needs.
    std::vector<int32_t> positions(const std::vector<int>& codes) const;

private:
    struct Key {
        uint64_t bytes;  // the text, zero-padded
        unsigned length;
    };
    static Key keyOf(std::string_view text);
    size_t slotOf(const Key& key) const;
    uint32_t add(const Key& key);

    // Open addressing: a million records pass through here, and almost every
    // one has another text than the last. A slot holds a code + 1, or 0.
    int m_bits = 10;
    std::vector<uint32_t> m_slots;
    std::vector<Key> m_keys;                 // per code
    std::vector<uint32_t> m_counts;          // per code
    std::vector<uint32_t> m_codeOf;          // per record; kDeleted for a deleted one
    int32_t m_first = 0;                     // position of the first record
    mutable std::vector<uint32_t> m_starts;  // per code, where its places begin in m_filed
    mutable std::vector<int32_t> m_filed;
    static constexpr uint32_t kDeleted = ~uint32_t(0);
};

// The places of a telephone number's area code.
class AreaCodeIndex {
public:
    explicit AreaCodeIndex(const DatabaseImage& image) : m_index(image, FieldIndex::Field::AreaCode) {}
    // The area code that is the longest prefix of `digits` (0755 before 075):
    // its number, or -1 when no place has one.
    int longestPrefix(std::string_view digits) const;
    size_t count(int code) const { return m_index.count(code); }
    std::vector<int32_t> positions(int code) const { return m_index.positions({code}); }

private:
    FieldIndex m_index;
};

class PostcodeIndex {
public:
    explicit PostcodeIndex(const DatabaseImage& image) : m_index(image, FieldIndex::Field::Postcode) {}
    struct Match {
        std::vector<int> codes;
        size_t shared = 0;  // digits in common with the query
        bool exact = false;
    };
    // The postcode `code`; when no place has it, the postcodes that begin
    // with it, else those that share the longest prefix of at least
    // `minShared` bytes with it (`shared` then says how many).
    Match find(std::string_view code, size_t minShared = 4) const;
    size_t count(const Match& match) const;
    std::vector<int32_t> positions(const Match& match) const { return m_index.positions(match.codes); }

private:
    FieldIndex m_index;
    mutable std::vector<std::pair<std::string_view, int>> m_sorted;  // every postcode, in byte order
};

// Rows for records at `positions`, with the names of their directories as
// the search names them.
class RowMaker {
public:
    explicit RowMaker(const Database& db);
    EntryRowSet rows(const std::vector<int32_t>& positions) const;

private:
    const Database& m_db;
    std::unordered_map<int32_t, std::string> m_captions;
};

// The first directory, in tree order, whose captions from the top level down
// joined by '/' spell `path` (GBK). A caption holding '/' itself is matched as
// a whole; slashes at either end are ignored. Null when none does.
const DirectoryNode* findDirectory(const DirectoryTree& tree, std::string_view path);

// Every directory whose own caption is `caption` (GBK), in tree order.
std::vector<const DirectoryNode*> directoriesNamed(const DirectoryTree& tree, std::string_view caption);

// The path of a directory as findDirectory reads it (GBK).
std::string directoryPath(const DirectoryNode* node);

// What `ls` takes that begins with `prefix` (GBK): the paths of directories
// and the own names that no other directory has, each once, in tree order,
// paths first. Slashes before the prefix stay before every answer.
std::vector<std::string> directoryCompletions(const DirectoryTree& tree, std::string_view prefix);

}  // namespace qv::cli
