#pragma once
// A plain reading of what the search matches, for the tests and fuzz targets
// that compare the search with it: every rule spelled out the slow way (each
// reading of each character tried in turn), nothing shared with the search.
#include "lookup/Pinyin.h"
#include "lookup/Readings.h"
#include "lookup/Search.h"
#include "store/Database.h"
#include "store/GbkText.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <vector>

namespace qvref {

using namespace qv;

inline std::string upper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return s;
}

// A run in the name counts only from the start of a character.
inline bool nameHas(const std::string& name, const std::string& q)
{
    for (size_t i = 0; i + q.size() <= name.size();) {
        if (name.compare(i, q.size(), q) == 0)
            return true;
        i += (gbk::isLeadByte(uint8_t(name[i])) && i + 1 < name.size()) ? 2 : 1;
    }
    return false;
}

// The characters of a name, as the list splits them.
inline std::vector<std::string> charsOf(const std::string& name)
{
    std::vector<std::string> out;
    for (size_t i = 0; i < name.size();) {
        const size_t n = (gbk::isLeadByte(uint8_t(name[i])) && i + 1 < name.size()) ? 2 : 1;
        out.push_back(name.substr(i, n));
        i += n;
    }
    return out;
}

// The first learned letter of a character, or nothing.
inline std::string firstLearned(const Database& db, const std::string& c)
{
    for (const LearnedInitial& li : db.learned)
        if (li.matches(uint8_t(c[0]), uint8_t(c[1])))
            return std::string(li.initial());
    return std::string();
}

// The initials a character may give: V for a one-byte character, else its
// range letter (or learned one, or the no-letter mark), its first learned
// letter and the first letter of each reading.
inline std::string initialChoices(const Database& db, const std::string& c)
{
    if (c.size() == 1)
        return "V";
    std::string out = CharInitial(uint8_t(c[0]), uint8_t(c[1]), db.learned) + firstLearned(db, c);
    for (std::string_view r : charReadings(uint8_t(c[0]), uint8_t(c[1])))
        out += char(r[0] - 'a' + 'A');
    for (char l : wordLetters(uint8_t(c[0]), uint8_t(c[1])))
        out += char(l - 'a' + 'A');
    return out;
}

inline bool initialsByReadings(const Database& db, const std::string& name, const std::string& q, bool exact)
{
    const std::vector<std::string> chars = charsOf(name);
    if (q.empty() || (exact && chars.size() != q.size()))
        return false;
    for (size_t start = 0; start + q.size() <= chars.size() && (!exact || start == 0); ++start) {
        size_t k = 0;
        while (k < q.size() && initialChoices(db, chars[start + k]).find(q[k]) != std::string::npos)
            ++k;
        if (k == q.size())
            return true;
    }
    return false;
}

// Full pinyin, by trying every reading of every character in turn.
struct Spelling {
    const Database& db;
    std::vector<std::string> chars;
    std::string letters;       // a Chinese character of the query stands as 0x01
    std::vector<bool> parted;  // a blank or apostrophe came before letter i
    bool exact;
    std::vector<std::string> hanzi;  // per position: the query's character there, or empty

    bool passedOver(size_t i) const
    {
        const auto b = uint8_t(chars[i][0]);
        return chars[i].size() == 2 ? b >= 0xA1 && b <= 0xA9 : !std::isalnum(b);
    }
    bool restPassedOver(size_t from) const
    {
        for (size_t i = from; i < chars.size(); ++i)
            if (!passedOver(i))
                return false;
        return true;
    }
    std::vector<std::string> readings(size_t i) const
    {
        std::vector<std::string> out;
        const std::string& c = chars[i];
        if (c.size() == 1) {
            if (std::isalpha(uint8_t(c[0])))
                out.push_back(std::string(1, char(std::tolower(uint8_t(c[0])))));
            return out;
        }
        for (std::string_view r : charReadings(uint8_t(c[0]), uint8_t(c[1])))
            out.emplace_back(r);
        // A place-name word's reading where the name holds the whole word.
        for (const PlaceWord& w : placeWords())
            for (size_t t = 0; t < w.syllables.size(); ++t) {
                if (t > i || i - t + w.syllables.size() > chars.size())
                    continue;
                std::string text;
                for (size_t k = i - t; k < i - t + w.syllables.size(); ++k)
                    text += chars[k];
                if (text == w.text)
                    out.emplace_back(w.syllables[t]);
            }
        const std::string learned = firstLearned(db, c);
        if (learned.size() == 1 && learned[0] >= 'A' && learned[0] <= 'Z')
            out.push_back(std::string(1, char(learned[0] - 'A' + 'a')));
        return out;
    }
    static bool same(char q, char r) { return q == r || (q == 'u' && r == 'v'); }
    // Whether the letters from `pos` on can be read from character i on;
    // each (i, pos) is worked out once, so hostile names stay cheap.
    mutable std::vector<int8_t> known;
    bool from(size_t i, size_t pos) const
    {
        if (known.empty())
            known.assign((chars.size() + 1) * (letters.size() + 1), -1);
        int8_t& k = known[i * (letters.size() + 1) + pos];
        if (k < 0)
            k = int8_t(fromUncached(i, pos));
        return k != 0;
    }
    bool fromUncached(size_t i, size_t pos) const
    {
        if (pos == letters.size())
            return !exact || restPassedOver(i);
        if (i == chars.size())
            return false;
        if (passedOver(i))
            return from(i + 1, pos);
        if (!hanzi[pos].empty())
            return chars[i] == hanzi[pos] && from(i + 1, pos + 1);
        for (const std::string& r : readings(i)) {
            const size_t n = std::min(r.size(), letters.size() - pos);
            bool ok = true;
            for (size_t k = 0; k < n; ++k)
                ok = ok && same(letters[pos + k], r[k]) && (k == 0 || !parted[pos + k]);
            if (ok && n == r.size() && from(i + 1, pos + n))
                return true;
            if (ok && n < r.size() && (!exact || restPassedOver(i + 1)))
                return true;  // the query ends inside this syllable
        }
        return false;
    }
};

// Every syllable of the table, for telling a pinyin query from initials.
inline const std::set<std::string>& allSyllables()
{
    static const std::set<std::string> all = [] {
        std::set<std::string> s;
        for (int lead = 0x81; lead <= 0xFE; ++lead)
            for (int trail = 0x40; trail <= 0xFE; ++trail)
                for (std::string_view r : charReadings(uint8_t(lead), uint8_t(trail)))
                    s.emplace(r);
        for (const PlaceWord& w : placeWords())
            s.insert(w.syllables.begin(), w.syllables.end());
        return s;
    }();
    return all;
}

inline bool spellingMatches(const Database& db, const std::string& name, const std::string& q, bool exact)
{
    // Traditional characters read as simplified; symbols part syllables as blanks do.
    std::string letters;
    std::vector<bool> parted(q.size() + 1, false);
    std::vector<std::string> hanzi(q.size() + 1);
    for (const std::string& c : charsOf(simplifiedText(q))) {
        const auto b = uint8_t(c[0]);
        if (c == " " || c == "'" || (c.size() == 2 && b >= 0xA1 && b <= 0xA9)) {
            parted[letters.size()] = true;
        } else if (c.size() == 2) {
            hanzi[letters.size()] = c;
            letters += '\x01';
        } else if (!std::isalpha(b)) {
            return false;
        } else {
            letters += char(std::tolower(b));
        }
    }
    const size_t characters = size_t(std::count(letters.begin(), letters.end(), '\x01'));
    if (characters == letters.size() || letters.size() > 127)
        return false;
    bool holdsSyllable = characters > 0;
    std::string asU = letters;
    std::replace(asU.begin(), asU.end(), 'v', 'u');
    for (std::string syl : allSyllables()) {
        std::replace(syl.begin(), syl.end(), 'v', 'u');
        holdsSyllable = holdsSyllable || (syl.size() >= 2 && asU.find(syl) != std::string::npos);
    }
    // One unfinished syllable, typed past its initial.
    const bool vowel = letters.find_first_of("aeiouv") != std::string::npos;
    for (const std::string& syl : allSyllables())
        holdsSyllable = holdsSyllable || (characters == 0 && vowel && letters.size() >= 2 &&
                                          syl.size() > letters.size() &&
                                          std::equal(letters.begin(), letters.end(), syl.begin(), Spelling::same));
    if (!holdsSyllable)
        return false;
    const Spelling sp{db, charsOf(name), letters, parted, exact, hanzi, {}};
    for (size_t start = 0; start < sp.chars.size() && (!exact || start == 0); ++start)
        if (sp.from(start, 0))
            return true;
    return false;
}

// The query with each character that has simplified forms read as any of
// them or itself, from a character of the name on (fuzzy) or as the whole name.
inline bool traditionalMatches(const std::string& name, const std::string& q, bool fuzzy)
{
    const std::vector<std::string> n = charsOf(name), query = charsOf(q);
    for (size_t start = 0; start + query.size() <= n.size() && (fuzzy || start == 0); ++start) {
        if (!fuzzy && query.size() != n.size())
            return false;
        bool all = true;
        for (size_t k = 0; k < query.size() && all; ++k) {
            const std::string& c = n[start + k];
            bool same = c == query[k];
            if (query[k].size() == 2 && c.size() == 2)
                for (uint16_t f : simplifiedForms(uint8_t(query[k][0]), uint8_t(query[k][1])))
                    same = same || uint16_t(uint8_t(c[0]) << 8 | uint8_t(c[1])) == f;
            all = same;
        }
        if (all)
            return true;
    }
    return false;
}

// Whether a record matches the query as given under the options, field by field.
inline bool matchesAsGiven(const Database& db, const EntryRecord& e, const std::string& q, const QueryOptions& o)
{
    if (!(o.exact || o.fuzzy))
        return false;
    auto test = [&](const std::string& field, const std::string& query) {
        return o.fuzzy ? field.find(query) != std::string::npos : field == query;
    };
    return (o.byName && (o.fuzzy ? nameHas(e.name, q) : e.name == q)) ||
           (o.byName && traditionalMatches(e.name, q, o.fuzzy)) ||
           (o.byInitials && test(NameInitials(e.name, db.learned), upper(q))) ||
           (o.byInitials && initialsByReadings(db, e.name, upper(q), !o.fuzzy)) ||
           (o.byInitials && spellingMatches(db, e.name, q, !o.fuzzy)) || (o.byPostcode && test(e.postcode, q)) ||
           (o.byAreaCode && test(e.areaCode, q));
}

// The query as given, or as people type it (full-width forms, tone marks and
// numbers, apostrophes and hyphens: typedQueryForm, checked on its own).
inline bool matches(const Database& db, const EntryRecord& e, const std::string& q, const QueryOptions& o)
{
    if (matchesAsGiven(db, e, q, o))
        return true;
    const std::string typed = typedQueryForm(q);
    return typed != q && !isBlankQuery(typed) && matchesAsGiven(db, e, typed, o);
}

}  // namespace qvref
